// The file information window as the Edit menu opens it for the selected
// row: a clip with picture and sound under a long name, a sound-only file of
// 83.005 seconds, and a file deleted after it was added.
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include "EditTestSupport.h"
#include "gui/windows/dialogs/WinFileInfo.h"
#include "support/ModalWindow.h"

namespace {

class FileInfoTest : public EditWindowTest {
 protected:
  // Opens the window through the Edit menu's entry and runs `inside` while
  // it is up; Ok closes it.
  void WhileOpen(const std::function<void(TfrmFileInfo&)>& inside) {
    main_->mnuEdit->aboutToShow();  // the menu's entries as a user would find them
    ASSERT_TRUE(main_->actInfo->isEnabled());
    EXPECT_TRUE(WhileModal<TfrmFileInfo>([this] { main_->actInfo->trigger(); },
                                         [&](TfrmFileInfo& w) {
                                           inside(w);
                                           user::Click(w.btn1);
                                           EXPECT_FALSE(w.isVisible());
                                         }));
  }
  // A copy of `clip` whose full path has exactly `length` characters.
  std::string CopyNamed(const std::string& clip, size_t length) {
    const std::string folder = scratch_.Path();
    const std::string ext = std::filesystem::path(clip).extension().string();
    EXPECT_GT(length, folder.size() + ext.size());
    const std::string path = folder + std::string(length - folder.size() - ext.size(), 'c') + ext;
    std::filesystem::copy_file(clip, path);
    return path;
  }
  static std::string Text(QLineEdit* e) { return e->text().toStdString(); }
};

}  // namespace

TEST_F(FileInfoTest, AClipWithPictureAndSoundUnderALongName) {
  const std::string path = CopyNamed(TestMedia::Get(MediaSpec::Mp4()), 46);
  AddFile(path);
  TfrmFileInfo* first = nullptr;
  WhileOpen([&](TfrmFileInfo& w) {
    first = &w;
    EXPECT_EQ(w.size(), QSize(420, 460));
    EXPECT_EQ(w.windowTitle(), "File infomation");
    EXPECT_EQ(w.lblSourceName->text().toStdString(), path.substr(0, 40) + "...mp4  ");
    // At least 270 pixels, and the shortened name fits whole; the whole
    // path shows on hover.
    const QLabel& name = *w.lblSourceName;
    EXPECT_GE(name.width(), 270);
    EXPECT_GE(name.contentsRect().width(), name.fontMetrics().horizontalAdvance(name.text()));
    EXPECT_LE(name.geometry().right(), w.width());
    EXPECT_EQ(name.toolTip().toStdString(), path);
    EXPECT_TRUE(w.lblFileLength->text().startsWith("2.0"));
    EXPECT_TRUE(w.lblFileLength->text().endsWith(" Second"));
    EXPECT_EQ(Text(w.edtFormat), "mov,mp4,m4a,3gp,3g2,mj2");
    EXPECT_EQ(Text(w.edtResloution), "320x240");
    EXPECT_EQ(Text(w.edtFrameRate), "25");
    EXPECT_EQ(Text(w.edtTotalFrame), "50");
    EXPECT_FALSE(Text(w.edtBitRate).empty());
    EXPECT_EQ(Text(w.edtAudioForamt).substr(0, 3), "aac");
    EXPECT_EQ(Text(w.edtSampleRate), "44100");
    EXPECT_EQ(Text(w.edtChannel), "2");
    EXPECT_FALSE(Text(w.edtAudioBitRate).empty());
    for (QLineEdit* e : w.findChildren<QLineEdit*>()) EXPECT_TRUE(e->isReadOnly());
    EXPECT_EQ(w.Converter().TaskCount(), 1);
  });
  // Closing lets go of the file.
  EXPECT_EQ(first->Converter().TaskCount(), 0);
  EXPECT_FALSE(first->Converter().AVProbe().Loaded());
  WhileOpen([&](TfrmFileInfo& w) { EXPECT_EQ(&w, first); });  // created once and kept
}

TEST_F(FileInfoTest, ASoundOnlyFileShowsEmptyVideoFieldsAndItsExactLength) {
  // 8-bit mono at 8000 Hz: 664 040 bytes of sound last 83.005 seconds.
  AddFile(TestMedia::WavOfSize(44 + 664040));
  WhileOpen([&](TfrmFileInfo& w) {
    EXPECT_EQ(w.lblFileLength->text(), "83.005 Second");
    EXPECT_EQ(Text(w.edtFormat), "wav");
    for (QLineEdit* e : {w.edtResloution, w.edtFrameRate, w.edtTotalFrame, w.edtBitRate})
      EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    EXPECT_EQ(Text(w.edtAudioForamt), "pcm_u8 ([1][0][0][0] / 0x0001)");
    EXPECT_EQ(Text(w.edtSampleRate), "8000");
    EXPECT_EQ(Text(w.edtChannel), "1");
    EXPECT_EQ(Text(w.edtAudioBitRate), "64000");
  });
}

TEST_F(FileInfoTest, AFileDeletedAfterAddIsReportedAndShowsOnlyItsName) {
  const std::string path = CopyNamed(TestMedia::Get(MediaSpec::Mp4()), 40);
  AddFile(path);
  WhileOpen([&](TfrmFileInfo& w) { EXPECT_EQ(Text(w.edtResloution), "320x240"); });
  std::filesystem::remove(path);
  WhileOpen([&](TfrmFileInfo& w) {
    EXPECT_EQ(w.lblSourceName->text().toStdString(), path);  // short enough to show whole
    EXPECT_GT(w.lblSourceName->width(), 270);
    EXPECT_TRUE(w.lblFileLength->text().isEmpty());
    for (QLineEdit* e : w.findChildren<QLineEdit*>()) EXPECT_TRUE(e->text().isEmpty());
  });
  ASSERT_EQ(ui_.Warnings.size(), 1u);
  EXPECT_FALSE(ui_.Warnings[0].Text.empty());
}
