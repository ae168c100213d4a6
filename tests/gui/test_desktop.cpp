// The main window as a desktop citizen: files and folders dropped from a file
// manager, the "All media files" filter.
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "GuiTestSupport.h"
#include "gui/widgets/SourceListView.h"
#include "support/MediaFactory.h"

namespace {

// Drops `urls` on the list as a file manager does.
void Drop(TfrmMain& main, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  QWidget* target = main.ListView()->viewport();
  const QPointF at(100, 100);
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

}  // namespace

TEST_F(MainWindowTest, DroppedFilesAndFoldersAreAddedAsAddAddsThem) {
  const std::string a = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(1));
  const std::string b = TestMedia::Get(MediaSpec::Wav().Seconds(1));
  const std::string folder = scratch_.Sub("dropped");
  std::filesystem::copy_file(a, folder + "z clip.mp4");
  std::filesystem::copy_file(b, folder + "a sound.wav");
  std::ofstream(folder + "readme.txt") << "not media";
  std::filesystem::create_directories(folder + ".thumbnails");
  std::filesystem::copy_file(a, folder + ".thumbnails/hidden.mp4");

  Drop(*main_, {QUrl::fromLocalFile(QString::fromStdString(a)),
                QUrl::fromLocalFile(QString::fromStdString(folder)),
                QUrl("https://example.org/video.mp4")});
  ASSERT_TRUE(WaitFor([&] { return main_->SourceList().Count() == 3; }, 10000));
  EXPECT_EQ(main_->SourceList().Row(0).Caption, a);
  EXPECT_EQ(main_->SourceList().Row(1).Caption, folder + "a sound.wav");
  EXPECT_EQ(main_->SourceList().Row(2).Caption, folder + "z clip.mp4");
  EXPECT_TRUE(ui_.Warnings.empty());

  // The same drop again adds nothing: the duplicate rule holds.
  Drop(*main_, {QUrl::fromLocalFile(QString::fromStdString(folder))});
  Idle(200);
  EXPECT_EQ(main_->SourceList().Count(), 3);

  // Only addresses of other machines: nothing is taken.
  Drop(*main_, {QUrl("https://example.org/video.mp4"), QUrl("smb://server/share/a.mp4")});
  Idle(100);
  EXPECT_EQ(main_->SourceList().Count(), 3);
}

TEST_F(MainWindowTest, ManyDroppedFilesKeepTheWindowTurning) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(1));
  const std::string folder = scratch_.Sub("many");
  for (int i = 0; i < 40; ++i)
    std::filesystem::create_symlink(clip, folder + "clip" + std::to_string(100 + i) + ".mp4");
  for (int i = 0; i < 2000; ++i) std::ofstream(folder + "note" + std::to_string(i) + ".txt") << "x";
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(20);
  Drop(*main_, {QUrl::fromLocalFile(QString::fromStdString(folder))});
  ASSERT_TRUE(WaitFor([&] { return main_->SourceList().Count() == 40; }, 30000));
  // The event loop ran while the files were probed one by one.
  EXPECT_GT(ticks, 3);
  EXPECT_EQ(main_->SourceList().Row(0).Caption, folder + "clip100.mp4");
}

TEST(AddFilter, TheProgramsFiltersComeFirstThenEveryMediaExtension) {
  const QString filter = TfrmMain::AddFileFilter();
  EXPECT_TRUE(filter.startsWith(
      "MPEG4 files (*.mp4);;Itunes Video files (*.m4v);;MPEG-4 Audio files (*.m4a);;"));
  const int all = filter.indexOf("All media files (");
  ASSERT_GT(all, 0);
  for (const char* ext : {"*.mkv", "*.avi", "*.webm", "*.mov", "*.mp3", "*.wav", "*.flac", "*.ts"})
    EXPECT_TRUE(filter.mid(all).contains(QString(ext) + " ") ||
                filter.mid(all).contains(QString(ext) + ")"))
        << ext;
  EXPECT_FALSE(filter.contains("*.txt"));
}
