// The settings dialog driven as a user drives it: clicks on its format list
// and boxes, typed keys, focus moves, its three buttons; and what Ok stores
// converted through the main window's Start.
#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <fstream>
#include <sstream>

#include "GuiTestSupport.h"
#include "app/GlobalUnit.h"
#include "engine/libav/FFmpegApi.h"
#include "gui/widgets/FormatListBox.h"
#include "gui/windows/settings/WinSettings.h"
#include "platform/IniFile.h"
#include "profiles/FormatList.h"
#include "profiles/SettingsInput.h"
#include "support/MediaFactory.h"
#include "support/ModalWindow.h"

namespace {

constexpr const char* kCaption = "Quor MP4 to AVI Converter";

class SettingsDialogTest : public MainWindowTest {
 protected:
  TfrmSettings* Open() {
    dlg_ = main_->SettingsDialog();
    dlg_->show();
    dlg_->activateWindow();
    // Focus moves, and so the checks, happen in the active window only.
    EXPECT_TRUE(WaitFor([this] { return QApplication::activeWindow() == dlg_; }));
    return dlg_;
  }
  void TearDown() override {
    if (dlg_) dlg_->reject();
    MainWindowTest::TearDown();
  }

  std::string Stored(const std::string& section, const std::string& key) const {
    return platform::ReadIniString(main_->SettingsFile(), section, key, "<none>");
  }
  void Store(const std::string& section, const std::string& key, const std::string& value) const {
    ASSERT_TRUE(platform::WriteIniString(main_->SettingsFile(), section, key, value));
  }
  std::string SettingsText() const {
    std::ifstream in(main_->SettingsFile());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Opens the list by its arrow, opens the format's group by its glyph and
  // clicks the format's row.
  void PickByClicks(int code) {
    TFormatListBox* list = dlg_->lst1;
    if (!list->isVisible()) user::Click(dlg_->imgbtn1);
    ASSERT_TRUE(list->isVisible());
    ClickFormatRow(*list, code);
    EXPECT_EQ(dlg_->CurrentFormatCode(), code);
  }
  int RowOf(int code, bool header) const { return FormatRowOf(*dlg_->lst1, code, header); }

  // Types into a box as the keyboard does, then leaves it with Tab.
  void TypeAndLeave(QComboBox* box, const QString& keys) {
    Replace(box, "");
    user::Type(box, keys);
    Leave(box);
  }
  // Puts text into a box the way a paste does (past the key filter).
  static void Replace(QComboBox* box, const QString& text) {
    box->setFocus();
    box->lineEdit()->selectAll();
    box->lineEdit()->insert(text);
  }
  static void Leave(QComboBox* box) { user::Key(box, Qt::Key_Tab); }
  // Chooses an item with a click in the box's open list.
  static void ChooseByClick(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box->showPopup();
    QAbstractItemView* view = box->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    user::Click(view->viewport(), view->visualRect(view->model()->index(index, 0)).center());
    EXPECT_EQ(box->currentIndex(), index);
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : ui_.Messages) texts.push_back(box.Caption + "|" + box.Text);
    return texts;
  }

  TfrmSettings* dlg_ = nullptr;
};

TEST_F(SettingsDialogTest, TheMainWindowOpensItModallyAndOnlyOkStores) {
  for (QAction* a : main_->mnuFile->actions()) {
    if (a->text() == "Se&ttings") {
      EXPECT_TRUE(a->isEnabled());
    }
  }
  ASSERT_TRUE(main_->btnSettings->isEnabled());
  ASSERT_TRUE(main_->btnOptions->isEnabled());

  // The toolbar button, then Cancel: nothing is written.
  TfrmSettings* seen = nullptr;
  QString field, volume;
  int selectedRow = 0;
  const std::string before = SettingsText();
  ASSERT_TRUE(WhileModal<TfrmSettings>([&] { user::Click(main_->btnSettings); },
                                       [&](TfrmSettings& window) {
                                         seen = &window;
                                         field = window.edt1->text();
                                         selectedRow = window.lst1->CurrentRow();
                                         volume = window.cmbVolume->currentText();
                                         user::Click(window.btnCancel);
                                       }));
  EXPECT_EQ(seen->size(), QSize(475, 370));
  EXPECT_EQ(seen->windowTitle(), "Settings");
  EXPECT_EQ(field, "Apple iPod Video MPEG-4 Movie (*.mp4)");
  EXPECT_EQ(selectedRow, -1);  // the default format's name is no row of the list
  EXPECT_EQ(volume, "100%");   // the factory choice stored at start, not the list's first item
  EXPECT_EQ(SettingsText(), before);

  // The button beside the format field, then Ok without picking a format:
  // the dialog's own name for the default format becomes the current one.
  TfrmSettings* again = nullptr;
  ASSERT_TRUE(WhileModal<TfrmSettings>([&] { user::Click(main_->btnOptions); },
                                       [&](TfrmSettings& window) {
                                         again = &window;
                                         user::Click(window.btnOk);
                                       }));
  EXPECT_EQ(again, seen);  // created once and kept
  EXPECT_EQ(Stored("settings", "FormatName"), "iPod Video MPEG-4");
  EXPECT_EQ(Stored("settings", "FormatCode"), "1");
  EXPECT_EQ(Stored("formatInfo1", "Description"), "iPod Video MPEG-4");
  EXPECT_EQ(Stored("formatInfo1", "paraVideoEncoder"), "mpeg4");
  EXPECT_EQ(main_->edt1->text(), "iPod Video MPEG-4");
  EXPECT_TRUE(ui_.Messages.empty());
}

TEST_F(SettingsDialogTest, TheFormatListOpensDownwardsAndAPickRefillsTheBoxes) {
  Open();
  TFormatListBox* list = dlg_->lst1;
  EXPECT_FALSE(list->isVisible());
  user::Click(dlg_->edt1);
  ASSERT_TRUE(list->isVisible());
  EXPECT_EQ(list->geometry().top(), dlg_->edt1->geometry().bottom());
  EXPECT_EQ(list->width(), 331);
  EXPECT_EQ(list->height(), 80);  // three closed groups: three rows and one more
  EXPECT_TRUE(list->hasFocus());
  // A press elsewhere in the dialog closes it.
  user::Click(dlg_->grpAudio, QPoint(5, 60));
  EXPECT_FALSE(list->isVisible());

  // Every group open: the rows outgrow the list, which stops at 247 pixels.
  user::Click(dlg_->imgbtn1);
  for (int group = 2; group >= 0; --group)
    user::Click(list->viewport(), list->RowRect(RowOf(group, true)).topLeft() + QPoint(8, 10));
  user::Click(dlg_->imgbtn1);
  EXPECT_FALSE(list->isVisible());
  user::Click(dlg_->imgbtn1);
  EXPECT_EQ(list->height(), 247);

  PickByClicks(200);
  EXPECT_EQ(dlg_->edt1->text(), "MP3 MPEG Layer-3 Audio (*.mp3)");
  EXPECT_EQ(dlg_->CurrentFormatName(), "MP3 MPEG Layer-3 Audio (*.mp3)");
  EXPECT_EQ(dlg_->cmbSamplerate->itemText(4), "22050");
  EXPECT_EQ(dlg_->cmbSamplerate->maxVisibleItems(), dlg_->cmbSamplerate->count());
  // Nothing is written before Ok.
  EXPECT_EQ(Stored("settings", "FormatCode"), "<none>");
}

TEST_F(SettingsDialogTest, TheFieldAndArrowToggleTheListAndEveryGroupToggleSizesIt) {
  Open();
  TFormatListBox* list = dlg_->lst1;
  for (QWidget* opener : std::initializer_list<QWidget*>{dlg_->edt1, dlg_->imgbtn1}) {
    user::Click(opener);
    ASSERT_TRUE(list->isVisible());
    user::Click(opener);  // a second click only closes it
    EXPECT_FALSE(list->isVisible());
  }
  user::Click(dlg_->imgbtn1);
  const auto sizedToRows = [&] {
    return list->height() == GroupedListHeight(list->List().Count(), kSettingsListCap) &&
           list->geometry().top() == dlg_->edt1->geometry().bottom();
  };
  for (int group = 2; group >= 0; --group) {
    list->EnsureVisible(RowOf(group, true));
    user::Click(list->viewport(), list->RowRect(RowOf(group, true)).topLeft() + QPoint(8, 10));
    EXPECT_TRUE(sizedToRows()) << "after opening group " << group;
  }
  EXPECT_EQ(list->height(), 247);
  // Closing a group by a double-click on its header shrinks the list again.
  user::DoubleClick(list->viewport(), list->RowRect(RowOf(0, true)).center());
  EXPECT_TRUE(sizedToRows());

  user::Key(list, Qt::Key_End);
  EXPECT_EQ(list->CurrentRow(), list->List().Count() - 1);
  user::Key(list, Qt::Key_Home);
  EXPECT_EQ(list->CurrentRow(), 0);
  EXPECT_TRUE(list->isVisible());
}

TEST_F(SettingsDialogTest, TheVideoGroupIsOffForAFormatWithoutVideoEncoders) {
  Open();
  PickByClicks(200);  // MP3: no video encoder list, though a frame size list would do
  for (QComboBox* box : {dlg_->cmbVideoSize, dlg_->cmbVideoBitRate, dlg_->cmbVideoEncoder,
                         dlg_->cmbFrameRate, dlg_->cmbZoom})
    EXPECT_FALSE(box->isEnabled()) << box->objectName().toStdString();
  for (QComboBox* box : {dlg_->cmbSamplerate, dlg_->cmbAudioBitRate, dlg_->cmbAudioEncoder,
                         dlg_->cmbChannel, dlg_->cmbVolume})
    EXPECT_TRUE(box->isEnabled()) << box->objectName().toStdString();
  PickByClicks(204);  // WAV: no audio bit rates, so that box alone is off
  EXPECT_FALSE(dlg_->cmbAudioBitRate->isEnabled());
  EXPECT_TRUE(dlg_->cmbSamplerate->isEnabled());
}

TEST_F(SettingsDialogTest, ATypedFrameSizeReturnsWhenTheDialogOpensButNotAfterAPick) {
  Store("settings", "FormatName", "AVI Video (*.avi)");
  Store("settings", "FormatCode", "104");
  Store("formatInfo104", "iVideoSize", "-1");
  Store("formatInfo104", "paraVideoSize", "720x576");
  Store("formatInfo104", "iVideoEncoder", "50");  // edited by hand past the end of its list
  Store("formatInfo104", "paraZoom", "center");
  Open();
  EXPECT_EQ(dlg_->lst1->CurrentRow(), RowOf(104, false));
  EXPECT_EQ(dlg_->cmbVideoSize->currentText(), "720x576");
  EXPECT_EQ(dlg_->cmbVideoEncoder->currentIndex(), -1);
  EXPECT_EQ(dlg_->cmbZoom->currentIndex(), -1);

  PickByClicks(103);
  PickByClicks(104);
  EXPECT_EQ(dlg_->cmbVideoSize->currentText(), "");
  EXPECT_EQ(dlg_->cmbVideoSize->currentIndex(), -1);

  // Ok stores no zoom for a box without a choice, and -1 for the boxes
  // without one.
  user::Click(dlg_->btnOk);
  EXPECT_FALSE(dlg_->isVisible());
  EXPECT_EQ(Stored("formatInfo104", "paraZoom"), "center");
  EXPECT_EQ(Stored("formatInfo104", "iVideoEncoder"), "-1");
  EXPECT_EQ(Stored("formatInfo104", "iVideoSize"), "-1");
  EXPECT_EQ(Stored("formatInfo104", "paraVideoSize"), "");
}

// The rules themselves are the window-free core's; here: the box shows the
// verdict, with the message, when the user leaves it.
TEST_F(SettingsDialogTest, BoxesAreCheckedWhenLeft) {
  Open();
  PickByClicks(104);
  QComboBox* size = dlg_->cmbVideoSize;
  TypeAndLeave(size, "641x480");
  ASSERT_EQ(ui_.Messages.size(), 1u);
  EXPECT_EQ(MessageTexts()[0],
            "Input Error!|Frame Size must be a multiple of 2.\nThe correct value:640x480");
  EXPECT_EQ(size->currentText(), "640x480");

  // Letters only arrive by paste: "as source" in any case is kept, a capital
  // X is refused and the box reset to its second item.
  Replace(size, "As Source");
  Leave(size);
  EXPECT_EQ(size->currentText(), "As Source");
  Replace(size, "640X480");
  Leave(size);
  ASSERT_EQ(ui_.Messages.size(), 2u);
  EXPECT_EQ(MessageTexts()[1], std::string(kCaption) + "|Frame Size is not a valid value!");
  EXPECT_EQ(size->currentIndex(), 1);
  EXPECT_EQ(size->currentText(), size->itemText(1));

  // A fraction only in the audio bit rate.
  Replace(dlg_->cmbAudioBitRate, "12.5");
  Leave(dlg_->cmbAudioBitRate);
  EXPECT_EQ(dlg_->cmbAudioBitRate->currentText(), "12.5");
  Replace(dlg_->cmbSamplerate, "12.5");
  Leave(dlg_->cmbSamplerate);
  ASSERT_EQ(ui_.Messages.size(), 3u);
  EXPECT_EQ(MessageTexts()[2], std::string(kCaption) + "|Audio SampleRate is not a valid value!");
  EXPECT_EQ(dlg_->cmbSamplerate->currentText(), dlg_->cmbSamplerate->itemText(1));
}

TEST_F(SettingsDialogTest, KeyFiltersBeepAndSayWhy) {
  Open();
  PickByClicks(104);
  QComboBox* size = dlg_->cmbVideoSize;
  Replace(size, "");
  user::Type(size, "64a0x4xX80");
  EXPECT_EQ(size->currentText(), "640x480");
  EXPECT_EQ(ui_.Beeps, 3);
  EXPECT_TRUE(ui_.Messages.empty());
  user::Key(size, Qt::Key_Backspace);
  EXPECT_EQ(size->currentText(), "640x48");

  QComboBox* rate = dlg_->cmbVideoBitRate;
  Replace(rate, "");
  user::Type(rate, "12.5");
  EXPECT_EQ(rate->currentText(), "125");
  EXPECT_EQ(ui_.Beeps, 4);
  ASSERT_EQ(ui_.Messages.size(), 1u);
  EXPECT_EQ(MessageTexts()[0], std::string(kCaption) + "|Please enter numerical.");
  // Typed text never becomes an item, and the box does not complete it.
  user::Type(rate, "0");
  EXPECT_EQ(rate->currentText(), "1250");
  user::Key(rate, Qt::Key_Tab);
  EXPECT_EQ(rate->findText("1250"), -1);
}

TEST_F(SettingsDialogTest, PastedLineBreaksNeverReachTheSettingsFile) {
  Open();
  PickByClicks(104);
  QApplication::clipboard()->setText("500\n600");
  QComboBox* rate = dlg_->cmbSamplerate;
  Replace(rate, "");
  user::Key(rate, Qt::Key_V, Qt::ControlModifier);
  Leave(rate);
  const std::string text = rate->currentText().toStdString();
  EXPECT_EQ(CheckBoxText(ckSampleRate, text).Verdict, TBoxCheck::bcAccepted) << text;
  user::Click(dlg_->btnOk);
  EXPECT_FALSE(dlg_->isVisible());
  EXPECT_EQ(Stored("formatInfo104", "paraSampleRate"), text);
  EXPECT_EQ(Stored("settings", "FormatCode"), "104");
}

TEST_F(SettingsDialogTest, ARefusalOnTheWayToOkHoldsOkOnce) {
  Open();
  PickByClicks(104);
  // The press on Ok leaves the box: its refusal keeps the dialog open.
  Replace(dlg_->cmbVideoBitRate, "0");
  user::Click(dlg_->btnOk);
  EXPECT_TRUE(dlg_->isVisible());
  EXPECT_EQ(ui_.Messages.size(), 1u);
  EXPECT_EQ(dlg_->cmbVideoBitRate->currentText(), "256");

  // Enter in a box presses Ok without leaving the box; the check still runs.
  Replace(dlg_->cmbAudioBitRate, "abc");
  user::Key(dlg_->cmbAudioBitRate, Qt::Key_Return);
  EXPECT_TRUE(dlg_->isVisible());
  EXPECT_EQ(ui_.Messages.size(), 2u);

  // Cancel stores nothing, so leaving a box for it checks nothing.
  Replace(dlg_->cmbSamplerate, "abc");
  user::Click(dlg_->btnCancel);
  EXPECT_FALSE(dlg_->isVisible());
  EXPECT_EQ(ui_.Messages.size(), 2u);
  EXPECT_EQ(Stored("settings", "FormatCode"), "<none>");

  // Pressed again after a refusal, Ok stores the reset value.
  Open();
  PickByClicks(104);
  Replace(dlg_->cmbVideoBitRate, "0");
  user::Click(dlg_->btnOk);
  user::Click(dlg_->btnOk);
  EXPECT_FALSE(dlg_->isVisible());
  EXPECT_EQ(Stored("formatInfo104", "paraVideoBitRate"), "256");
  EXPECT_EQ(Stored("formatInfo104", "iVideoBitRate"), "1");
}

TEST_F(SettingsDialogTest, DefaultChoosesTheFactoryItemsAndWritesNothing) {
  Store("settings", "FormatName", "AVI Video (*.avi)");
  Store("settings", "FormatCode", "104");
  Store("formatInfo104", "iVideoSize", "7");
  Store("formatInfo104", "iVolume", "0");
  Store("formatInfo104", "paraZoom", "pan");
  Open();
  EXPECT_EQ(dlg_->cmbVideoSize->currentText(), "720x576");
  EXPECT_EQ(dlg_->cmbZoom->currentText(), "Pan and Scan");
  const std::string before = SettingsText();
  user::Click(dlg_->btnDefault);
  EXPECT_EQ(dlg_->cmbVideoSize->currentText(), "320x240");
  EXPECT_EQ(dlg_->cmbVideoBitRate->currentText(), "768");
  EXPECT_EQ(dlg_->cmbFrameRate->currentText(), "25");
  EXPECT_EQ(dlg_->cmbVideoEncoder->currentText(), "MPEG-4");
  EXPECT_EQ(dlg_->cmbSamplerate->currentText(), "44100");
  EXPECT_EQ(dlg_->cmbVolume->currentText(), "100%");
  EXPECT_EQ(dlg_->cmbZoom->currentText(), "Full screen");
  EXPECT_EQ(SettingsText(), before);

  // Closing the window stores nothing either; the next showing starts again
  // from the file.
  dlg_->close();
  Open();
  EXPECT_EQ(dlg_->cmbVideoSize->currentText(), "720x576");
}

TEST_F(SettingsDialogTest, OkStoresTheDialogListsGroupsAndRebuildsTheMainList) {
  Open();
  PickByClicks(103);  // opens the video group of the dialog's list
  ChooseByClick(dlg_->cmbVideoEncoder, "H264");
  ChooseByClick(dlg_->cmbZoom, "Letterbox");
  ChooseByClick(dlg_->cmbVolume, "150%");
  user::Click(dlg_->btnOk);
  EXPECT_EQ(Stored("formatInfo103", "Description"), "H.264/MPEG-4 AVC Video (*.mp4)");
  EXPECT_EQ(Stored("formatInfo103", "paraVideoEncoder"), "libx264");
  EXPECT_EQ(Stored("formatInfo103", "paraGop"), "250");  // the tuning copy
  EXPECT_EQ(Stored("formatInfo103", "paraZoom"), "lbox");
  EXPECT_EQ(Stored("formatInfo103", "paraVolume"), "384");
  EXPECT_EQ(Stored("lstformat", "1"), "0");
  EXPECT_EQ(Stored("settings", "FormatName"), "H.264/MPEG-4 AVC Video (*.mp4)");
  EXPECT_EQ(main_->edt1->text(), "H.264/MPEG-4 AVC Video (*.mp4)");
  // The main list opens its groups as the dialog's did.
  const TFormatList& rows = main_->FormatList()->List();
  EXPECT_GE(rows.FindRow("H.264/MPEG-4 AVC Video (*.mp4)"), 0);
}

// ---- what Ok stores is what Start converts ----

// Bits per second of the first video stream: its packets' bytes over its length.
double VideoBitRate(const std::string& path) {
  AVFormatContext* ic = nullptr;
  if (FF.avformat_open_input(&ic, path.c_str(), nullptr, nullptr) < 0) return -1;
  double bits = 0;
  int stream = -1;
  if (FF.avformat_find_stream_info(ic, nullptr) >= 0)
    stream = FF.av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVPacket* packet = FF.av_packet_alloc();
  while (stream >= 0 && FF.av_read_frame(ic, packet) >= 0) {
    if (packet->stream_index == stream) bits += 8.0 * packet->size;
    FF.av_packet_unref(packet);
  }
  FF.av_packet_free(&packet);
  FF.avformat_close_input(&ic);
  const TestMedia::VideoStats video = TestMedia::ScanVideo(path);
  return video.Duration > 0 ? bits / video.Duration : -1;
}

TEST_F(SettingsDialogTest, WhatOkStoresIsWhatStartConverts) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(640, 480).Seconds(4).Grainy());
  main_->AddFileList({QString::fromStdString(clip)});
  ASSERT_EQ(main_->SourceList().Count(), 1);
  const auto convert = [&] {
    EXPECT_TRUE(main_->Batch().Start());
    // Without a progress window Start only starts the tasks; the notice for
    // all of them (task -1) ends the batch.
    EXPECT_TRUE(WaitFor(
        [&] {
          return !main_->Batch().Notices().empty() &&
                 main_->Batch().Notices().back().TaskIndex == -1;
        },
        50000));
    EXPECT_TRUE(main_->Batch().Notices().front().Completed)
        << main_->Batch().Notices().front().ErrorMessage;
    return main_->Batch().OutputFiles().at(0);
  };

  // A video format at a typed size and bit rate.
  Open();
  PickByClicks(104);
  ChooseByClick(dlg_->cmbZoom, "Full screen");
  TypeAndLeave(dlg_->cmbVideoSize, "320x240");
  TypeAndLeave(dlg_->cmbVideoBitRate, "500");
  user::Click(dlg_->btnOk);
  ASSERT_FALSE(dlg_->isVisible());
  const std::string avi = convert();
  EXPECT_EQ(avi.substr(avi.size() - 4), ".avi");
  const TestMedia::VideoStats video = TestMedia::ScanVideo(avi);
  ASSERT_TRUE(video.Ok);
  EXPECT_EQ(video.Width, 320);
  EXPECT_EQ(video.Height, 240);
  EXPECT_NEAR(VideoBitRate(avi), 500000, 75000);

  // An audio format at a chosen sample rate, mono.
  Open();
  PickByClicks(200);
  TypeAndLeave(dlg_->cmbSamplerate, "22050");
  ChooseByClick(dlg_->cmbChannel, "mono 1 channel");
  user::Click(dlg_->btnOk);
  ASSERT_FALSE(dlg_->isVisible());
  const std::string mp3 = convert();
  EXPECT_EQ(mp3.substr(mp3.size() - 4), ".mp3");
  const TestMedia::AudioStats audio = TestMedia::ScanAudio(mp3);
  ASSERT_TRUE(audio.Ok);
  EXPECT_EQ(audio.SampleRate, 22050);
  EXPECT_EQ(audio.Channels, 1);
  EXPECT_FALSE(TestMedia::ScanVideo(mp3).Ok);
}

}  // namespace
