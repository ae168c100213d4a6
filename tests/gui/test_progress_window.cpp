// The whole batch as a user runs it: files added with Add, a format picked in
// the grouped list by clicks, Start, the progress window running the batch
// to its end (or paused and cancelled on the way), and the outputs opened
// again afterwards.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <fstream>

#include "GuiTestSupport.h"
#include "app/BatchJobs.h"
#include "app/GlobalUnit.h"
#include "app/ProgressRules.h"
#include "engine/libav/FFmpegApi.h"
#include "gui/widgets/FormatListBox.h"
#include "gui/widgets/SourceListView.h"
#include "gui/widgets/TitleBar.h"
#include "gui/windows/dialogs/WinProgress.h"
#include "profiles/FormatList.h"
#include "support/MediaFactory.h"

namespace {

constexpr int kAviCode = 104;  // "AVI Video (*.avi)": MPEG-4 part 2 and MP3

// A short clip; distinct lengths give distinct files.
std::string Clip(double seconds) {
  return TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(seconds));
}
// A clip that takes the converter long enough to be caught in the middle.
std::string LongClip() {
  return TestMedia::Get(MediaSpec::Mp4().Size(640, 360).Seconds(12).Grainy());
}

// What an output holds, read back with the media libraries.
struct TShape {
  std::string Container, Video, Audio;
  double Duration = -1;  // seconds
};

TShape ShapeOf(const std::string& path) {
  TShape shape;
  AVFormatContext* ic = nullptr;
  if (FF.avformat_open_input(&ic, path.c_str(), nullptr, nullptr) < 0) return shape;
  if (FF.avformat_find_stream_info(ic, nullptr) >= 0) {
    shape.Container = ic->iformat->name;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
      const AVCodecParameters* p = ic->streams[i]->codecpar;
      if (p->codec_type == AVMEDIA_TYPE_VIDEO && shape.Video.empty())
        shape.Video = FF.avcodec_get_name(p->codec_id);
      if (p->codec_type == AVMEDIA_TYPE_AUDIO && shape.Audio.empty())
        shape.Audio = FF.avcodec_get_name(p->codec_id);
    }
  }
  FF.avformat_close_input(&ic);
  shape.Duration = TestMedia::ScanVideo(path).Duration;
  return shape;
}

// A click as the window system delivers it: on the top-level window, at the
// place of the widget's centre.
void ClickThroughWindow(QWidget* widget) {
  QWidget* top = widget->window();
  QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                    widget->mapTo(top, widget->rect().center()));
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class ProgressWindowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    out_ = scratch_.Sub("out");
    TAppSettings(main_->SettingsFile()).SetOutPutDir(out_);
    shutdownLog_ = scratch_.Path() + "shutdown.log";
    platform::SetEnv("QUOR_SHUTDOWN_COMMAND", "echo shutdown >> '" + shutdownLog_ + "'");
    // Reports as often as the converter gives them, so that a file of a
    // second or two is seen while it runs.
    main_->Converter().SetProgressInterval(100);
    // One file after another, unless a test asks for more.
    TAppSettings(main_->SettingsFile()).SetFilesAtOnce(1);
  }

  void AddByClick(const std::vector<std::string>& files) {
    main_->ChooseFiles = [files] {
      QStringList list;
      for (const auto& f : files) list << QString::fromStdString(f);
      return list;
    };
    user::Click(main_->btnAdd);
    ASSERT_EQ(main_->SourceList().Count(), int(files.size()));
  }

  // Opens the format list with its arrow, opens the format's group when it
  // is closed, and clicks the format's row.
  void PickFormatByClicks(int code) {
    TFormatListBox* list = main_->FormatList();
    user::Click(main_->imgbtn1);
    ASSERT_TRUE(list->isVisible());
    ClickFormatRow(*list, code);
    ASSERT_EQ(TAppSettings(main_->SettingsFile()).FormatCode(), code);
  }

  // Clicks Start and calls `step` every few milliseconds while the progress
  // window is up (Start returns only once it has closed), then waits for
  // the batch's final notice.
  void StartAndWatch(const std::function<void(TfrmProgress&)>& step) {
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto* window = qobject_cast<TfrmProgress*>(QApplication::activeModalWidget());
      if (window && window->isVisible()) step(*window);
    });
    watch.start();
    user::Click(main_->btnStart);
    watch.stop();
    ASSERT_TRUE(
        WaitFor([&] { return !Notices().empty() && Notices().back().TaskIndex == -1; }, 50000));
    ASSERT_NE(Window(), nullptr);
    EXPECT_FALSE(Window()->isVisible());
  }
  const std::vector<TTerminateInfo>& Notices() { return main_->Batch().Notices(); }
  TfrmProgress* Window() { return main_->findChild<TfrmProgress*>(); }

  // The lines the shut-down command wrote, once its detached process ran.
  std::string ShutdownLog(bool expectSome) {
    WaitFor([&] { return !expectSome || std::filesystem::exists(shutdownLog_); },
            expectSome ? 5000 : 300);
    return ReadAll(shutdownLog_);
  }
  std::vector<std::string> OpenedLines(bool expectSome) {
    WaitFor([&] { return !expectSome || !Opened().empty(); }, expectSome ? 5000 : 300);
    return Opened();
  }

  std::string out_, shutdownLog_;
};

TEST_F(ProgressWindowTest, StartRunsTheBatchThroughTheWindowToOutputsThatOpenAgain) {
  // Long enough for several turns of the window's 100 ms picture timer in
  // each file, however fast the machine converts.
  const std::vector<std::string> clips = {Clip(2.4), Clip(3.2), Clip(4.0)};
  AddByClick(clips);
  PickFormatByClicks(kAviCode);

  bool sawStart = false, sawSecond = false, sawPicture = false, sawTitle = false, sawLeft = false;
  QString firstCaption;
  StartAndWatch([&](TfrmProgress& w) {
    if (!sawStart) {
      sawStart = true;
      firstCaption = w.Caption();
      // The choices as every batch starts: the folder on, the shut-down off.
      EXPECT_TRUE(w.ckOpen->isChecked());
      EXPECT_FALSE(w.ckShutDown->isChecked());
      EXPECT_TRUE(w.btnPause->isEnabled());
      EXPECT_FALSE(w.btnResume->isEnabled());
      user::Click(w.ckShutDown);
    }
    sawSecond |= w.lblProgress->text() == "[2/3]";
    sawTitle |= w.Caption().startsWith("Progress - ") && w.Caption().endsWith("%");
    sawLeft |= w.lblTimeLeft->text().endsWith(" left");
    // A frame, not only the ground, in the middle of the picture.
    const TBitmap& shown = w.ShownPicture();
    if (!shown.Empty()) {
      const std::uint8_t* centre = shown.ScanLine(shown.Height() / 2) + shown.Width() / 2 * 3;
      sawPicture |= !(centre[0] == kProgressGroundB && centre[1] == kProgressGroundG &&
                      centre[2] == kProgressGroundR);
    }
  });
  EXPECT_TRUE(sawStart);
  EXPECT_EQ(firstCaption, "Progress");
  EXPECT_TRUE(sawSecond);
  EXPECT_TRUE(sawTitle);
  EXPECT_TRUE(sawLeft);
  EXPECT_TRUE(sawPicture);
  EXPECT_EQ(Window()->progbarFile->value(), 100);

  ASSERT_EQ(Notices().size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(Notices()[size_t(i)].Completed) << Notices()[size_t(i)].ErrorMessage;
    EXPECT_EQ(main_->SourceList().Row(i).Progress, "100%");
    const std::string output = main_->Batch().OutputFiles().at(size_t(i));
    EXPECT_EQ(std::filesystem::path(output).parent_path().string() + "/", out_);
    const TShape shape = ShapeOf(output);
    EXPECT_EQ(shape.Container, "avi") << output;
    EXPECT_EQ(shape.Video, "mpeg4");
    EXPECT_EQ(shape.Audio, "mp3");
    EXPECT_NEAR(shape.Duration, TestMedia::ScanVideo(clips[size_t(i)]).Duration, 0.1) << output;
  }
  // Both end-of-batch actions ran, once, after the last file.
  EXPECT_EQ(OpenedLines(true), std::vector<std::string>{out_});
  EXPECT_EQ(ShutdownLog(true), "shutdown\n");
  EXPECT_TRUE(main_->btnStart->isEnabled());
}

TEST_F(ProgressWindowTest, AnOutputFolderNothingOpensAfterTheLastFileIsSaidSo) {
  platform::SetEnv("QUOR_OPEN_COMMAND", "exit 3;");
  AddByClick({Clip(1.0)});
  StartAndWatch([](TfrmProgress&) {});
  ASSERT_EQ(Notices().size(), 2u);
  EXPECT_TRUE(Notices()[0].Completed) << Notices()[0].ErrorMessage;
  ASSERT_EQ(ui_.Warnings.size(), 1u);
  EXPECT_EQ(ui_.Warnings[0].Text, NotOpenedText(out_));
  // Said with the batch row and the caption showing the batch whole.
  EXPECT_EQ(Window()->lblBatch->text().toStdString(), "1 of 1 done");
  EXPECT_EQ(Window()->windowTitle().toStdString(), "Progress - 100%");
}

TEST_F(ProgressWindowTest, CancelInTheSecondFileKeepsItsPartAndStartsNoThird) {
  // A first batch, stopped after the user changed both choices: the folder
  // is asked for again at the next show, the shut-down is kept.
  AddByClick({LongClip()});
  StartAndWatch([&](TfrmProgress& w) {
    if (w.ckOpen->isChecked()) user::Click(w.ckOpen);
    if (!w.ckShutDown->isChecked()) user::Click(w.ckShutDown);
    user::Click(w.btnCancel);
  });
  user::Click(main_->btnClear);

  const std::vector<std::string> clips = {Clip(1.0), LongClip(), Clip(1.4)};
  AddByClick(clips);
  bool checkedChoices = false, cancelled = false;
  StartAndWatch([&](TfrmProgress& w) {
    if (!checkedChoices) {
      checkedChoices = true;
      EXPECT_TRUE(w.ckOpen->isChecked());
      EXPECT_TRUE(w.ckShutDown->isChecked());
    }
    if (!cancelled && w.lblProgress->text() == "[2/3]" && w.progbarFile->value() > 0) {
      cancelled = true;
      user::Click(w.btnCancel);
    }
  });
  ASSERT_TRUE(cancelled);

  ASSERT_EQ(Notices().size(), 4u);
  EXPECT_TRUE(Notices()[0].Completed);
  for (int i = 1; i < 3; ++i) {
    EXPECT_FALSE(Notices()[size_t(i)].Completed);
    EXPECT_FALSE(Notices()[size_t(i)].Failed);
  }
  const auto& outputs = main_->Batch().OutputFiles();
  ASSERT_EQ(outputs.size(), 3u);
  EXPECT_NEAR(ShapeOf(outputs[0]).Duration, 1.0, 0.1);
  // The second output stays as far as it got, and opens.
  const TShape part = ShapeOf(outputs[1]);
  EXPECT_FALSE(part.Video.empty());
  EXPECT_GT(part.Duration, 0.0);
  EXPECT_LT(part.Duration, 10.0);
  // The third never started: nothing of it is left.
  EXPECT_FALSE(std::filesystem::exists(outputs[2])) << outputs[2];
  EXPECT_EQ(main_->SourceList().Row(0).Progress, "100%");
  EXPECT_NE(main_->SourceList().Row(1).Progress, "100%");
  EXPECT_EQ(main_->SourceList().Row(2).Progress, "");
  EXPECT_TRUE(OpenedLines(false).empty());
  EXPECT_EQ(ShutdownLog(false), "");
}

TEST_F(ProgressWindowTest, PauseHoldsTheFileResumeGoesOnAndCancelWhilePausedCloses) {
  AddByClick({LongClip()});
  enum { Running, Paused, Resumed, Done } stage = Running;
  QString sizeWhenPaused;
  StartAndWatch([&](TfrmProgress& w) {
    if (stage == Running && w.progbarFile->value() > 0) {
      user::Click(w.btnPause);
      EXPECT_FALSE(w.btnPause->isEnabled());
      EXPECT_TRUE(w.btnResume->isEnabled());
      // Reports already on their way may still come; then nothing moves.
      Idle(300);
      sizeWhenPaused = w.lblSize->text();
      Idle(400);
      EXPECT_EQ(w.lblSize->text(), sizeWhenPaused);
      user::Click(w.btnResume);
      EXPECT_TRUE(w.btnPause->isEnabled());
      EXPECT_FALSE(w.btnResume->isEnabled());
      stage = Paused;
    } else if (stage == Paused && w.lblSize->text() != sizeWhenPaused) {
      stage = Resumed;
      user::Click(w.btnPause);
      user::Click(w.btnCancel);
      stage = Done;
    }
  });
  EXPECT_EQ(stage, Done);
  ASSERT_EQ(Notices().size(), 2u);
  EXPECT_FALSE(Notices()[0].Completed);
  EXPECT_FALSE(Notices()[0].Failed) << Notices()[0].ErrorMessage;
  EXPECT_GT(ShapeOf(main_->Batch().OutputFiles().at(0)).Duration, 0.0);
}

TEST_F(ProgressWindowTest, EscapeAndTheCloseButtonStopTheBatch) {
  AddByClick({LongClip()});
  for (const bool escape : {true, false}) {
    bool closed = false;
    StartAndWatch([&](TfrmProgress& w) {
      if (closed || w.progbarFile->value() <= 0) return;
      closed = true;
      if (escape)
        user::Key(&w, Qt::Key_Escape);
      else
        user::Click(w.btnClose);
    });
    EXPECT_TRUE(closed);
    ASSERT_EQ(Notices().size(), 2u) << escape;
    EXPECT_FALSE(Notices()[0].Completed) << escape;
  }
  EXPECT_TRUE(OpenedLines(false).empty());
}

TEST_F(ProgressWindowTest, SnapshotSavesTheFrameAndThePictureAsShownWithoutOpeningTheFolder) {
  const std::string snaps = scratch_.Sub("snaps");
  TAppSettings(main_->SettingsFile()).SetSnapOutPutDir(snaps);
  const std::string unmakeable = scratch_.Path() + "a-file/snaps";
  std::ofstream(scratch_.Path() + "a-file") << "not a folder";
  AddByClick({LongClip()});
  bool taken = false;
  StartAndWatch([&](TfrmProgress& w) {
    if (taken || w.ShownPicture().Empty() || main_->Batch().PreviewCount() == 0) return;
    w.TimerTick();
    taken = true;
    user::Click(w.imgbtnSnap);
    // A folder that cannot be made: the user is told, and the default one
    // is made, stored and used.
    TAppSettings(main_->SettingsFile()).SetSnapOutPutDir(unmakeable);
    user::Click(w.imgbtnSnap);
    user::Click(w.btnCancel);
  });
  ASSERT_TRUE(taken);
  const std::string fallback = home_ + "videoconverter";
  ASSERT_EQ(ui_.Warnings.size(), 1u);
  EXPECT_EQ(ui_.Warnings[0].Caption, "Warning");
  EXPECT_EQ(ui_.Warnings[0].Text, "Cannot create output directory:" + unmakeable +
                                      ".It will create default directory " + fallback + "!");
  EXPECT_TRUE(std::filesystem::exists(fallback + "/Snapshot_small.jpg"));
  EXPECT_EQ(TAppSettings(main_->SettingsFile()).SnapOutPutDir(), fallback);
  // The full picture at the output's frame size, the small one as the
  // window shows it.
  const std::string full = snaps + "Snapshot_full.bmp", small = snaps + "Snapshot_small.bmp";
  ASSERT_TRUE(std::filesystem::exists(full));
  ASSERT_TRUE(std::filesystem::exists(small));
  EXPECT_TRUE(std::filesystem::exists(snaps + "Snapshot_full.jpg"));
  EXPECT_TRUE(std::filesystem::exists(snaps + "Snapshot_small.jpg"));
  QImage fullImage(QString::fromStdString(full)), smallImage(QString::fromStdString(small));
  EXPECT_EQ(fullImage.size(), QSize(320, 240));
  EXPECT_EQ(smallImage.size(), QSize(kProgressPictureWidth, kProgressPictureHeight));
  // 320 x 240 in 372 x 210: full height, the sides left in the ground colour.
  EXPECT_EQ(smallImage.pixelColor(3, 105),
            QColor(kProgressGroundR, kProgressGroundG, kProgressGroundB));
  EXPECT_NE(smallImage.pixelColor(186, 105),
            QColor(kProgressGroundR, kProgressGroundG, kProgressGroundB));
  EXPECT_TRUE(OpenedLines(false).empty());
}

TEST_F(ProgressWindowTest, ASourceRemovedAfterAddSaysWhyInItsRowAndTheOtherConverts) {
  const std::string gone = scratch_.Sub("sources") + "gone.mp4";
  std::filesystem::copy_file(Clip(1.2), gone);
  AddByClick({gone, Clip(1.0)});
  std::filesystem::remove(gone);
  StartAndWatch([](TfrmProgress&) {});
  ASSERT_EQ(Notices().size(), 2u);
  EXPECT_TRUE(Notices()[0].Completed);
  QAbstractItemModel* model = main_->ListView()->model();
  const QString cell = model->data(model->index(0, 4)).toString();
  EXPECT_TRUE(cell.contains("No such file or directory")) << cell.toStdString();
  EXPECT_EQ(model->data(model->index(0, 4), Qt::ToolTipRole).toString(), cell);
  EXPECT_EQ(model->data(model->index(1, 4)).toString(), "100%");
}

TEST_F(ProgressWindowTest, EndingTheProgramDuringABatchStopsItAndClosesTheWindow) {
  AddByClick({LongClip()});
  bool ended = false;
  QTimer watch;
  watch.setInterval(5);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* w = qobject_cast<TfrmProgress*>(QApplication::activeModalWidget());
    if (ended || !w || w->progbarFile->value() <= 0) return;
    ended = true;
    // As the desktop session's end or a termination signal does.
    main_->CloseWithoutQuestion();
  });
  watch.start();
  user::Click(main_->btnStart);
  watch.stop();
  ASSERT_TRUE(ended);
  EXPECT_FALSE(main_->isVisible());
  ASSERT_NE(Window(), nullptr);
  EXPECT_FALSE(Window()->isVisible());
  EXPECT_EQ(main_->Converter().TaskCount(), 1);  // stopped, not cleared: the program is ending
  EXPECT_TRUE(OpenedLines(false).empty());
}

// Two files at once: both rows move, the window follows the first and shows
// the batch, and Pause holds both until Resume.
TEST_F(ProgressWindowTest, TwoAtOnceShowTheBatchAndPauseHoldsBoth) {
  TAppSettings(main_->SettingsFile()).SetFilesAtOnce(2);
  // Long enough for both to be seen half done, however fast the machine.
  const auto medium = [](double seconds) {
    return TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(seconds).Grainy());
  };
  AddByClick({medium(6.0), medium(6.2), Clip(1.0)});
  PickFormatByClicks(kAviCode);
  const TSourceList& rows = main_->SourceList();
  // A row in progress, not one already finished at "100%".
  auto moving = [&](int row) {
    const std::string& progress = rows.Row(row).Progress;
    return progress.ends_with("%") && progress != "100%";
  };
  enum { Running, Paused, Resumed } stage = Running;
  bool sawBatch = false, held = false;
  StartAndWatch([&](TfrmProgress& w) {
    sawBatch |= w.lblBatch->text().contains("of 3 done, 2 running");
    if (stage != Running || !moving(0) || !moving(1)) return;
    // The first running file is the one the window follows.
    EXPECT_EQ(w.lblProgress->text(), "[1/3]");
    ClickThroughWindow(w.btnPause);
    EXPECT_TRUE(w.btnResume->isEnabled());
    stage = Paused;
    Idle(300);
    const std::string first = rows.Row(0).Progress, second = rows.Row(1).Progress;
    Idle(500);
    held = rows.Row(0).Progress == first && rows.Row(1).Progress == second;
    ClickThroughWindow(w.btnResume);
    stage = Resumed;
  });
  EXPECT_EQ(stage, Resumed);
  EXPECT_TRUE(held);
  EXPECT_TRUE(sawBatch);
  EXPECT_EQ(main_->Batch().FilesAtOnce(), 2);
  ASSERT_EQ(Notices().size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(Notices()[size_t(i)].Completed) << Notices()[size_t(i)].ErrorMessage;
    EXPECT_EQ(rows.Row(i).Progress, "100%");
  }
  // The end actions ran once, after the last file.
  EXPECT_EQ(OpenedLines(true), std::vector<std::string>{out_});
}
