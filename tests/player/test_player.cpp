// Playback through TFFPlayer with the dummy audio driver and a recording
// display: opening, timing, pause, seeking, the end, hooks, snapshots,
// failures and stopping.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "PlayerTestUtil.h"
#include "support/TestFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Clip3s() { return TestMedia::Get(MediaSpec::Mp4().Seconds(3)); }

int ElapsedMs(Clock::time_point since) {
  return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

}  // namespace

TEST_F(PlayerTest, OpenReportsFileAndPlaysInTime) {
  ASSERT_TRUE(OpenClip(Clip3s())) << player.LastErrMsg();
  EXPECT_NEAR(double(log.Duration), 3e6, 1.5e5);
  EXPECT_EQ(log.FrameWidth, 320);
  EXPECT_EQ(log.FrameHeight, 240);
  EXPECT_EQ(player.ScreenWidth(), 320);  // taken from the display
  EXPECT_EQ(player.AVProbe.VideoStreamCount(), 1);
  EXPECT_EQ(player.AVProbe.AudioStreamCount(), 1);
  ASSERT_TRUE(WaitPictures(1));
  EXPECT_GE(display.LastNumber(), 0);
  EXPECT_TRUE(WaitFor(handOver, [&] { return log.Count(psPlay) == 1; }));

  PumpFor(handOver, 300);
  std::int64_t p1 = log.LastPosition();
  auto t1 = Clock::now();
  PumpFor(handOver, 600);
  std::int64_t p2 = log.LastPosition();
  double advanced = double(p2 - p1) / 1000.0, elapsed = ElapsedMs(t1);
  EXPECT_NEAR(advanced, elapsed, 250) << "position follows the wall clock";
  // The picture on show matches the reported position (25 fps).
  int shown = display.LastNumber();
  EXPECT_NEAR(shown, double(player.Position()) / 40000.0, 4);
}

TEST_F(PlayerTest, PauseHoldsPositionAndResumeContinues) {
  ASSERT_TRUE(OpenClip(Clip3s()));
  ASSERT_TRUE(WaitPictures(3));
  player.Pause();
  EXPECT_TRUE(player.Paused());
  ASSERT_TRUE(WaitFor(handOver, [&] { return log.Count(psPause) == 1; }));
  // Pictures decoded before the pause may still appear, late because the
  // sound has stopped; then the picture stands still.
  PumpFor(handOver, 400);
  std::int64_t held = player.Position();
  int picture = display.LastNumber();
  PumpFor(handOver, 500);
  EXPECT_NEAR(double(player.Position()), double(held), 30000);
  EXPECT_EQ(display.LastNumber(), picture);

  player.Resume();
  EXPECT_FALSE(player.Paused());
  ASSERT_TRUE(WaitFor(handOver, [&] { return log.Count(psResume) == 1; }));
  PumpFor(handOver, 500);
  EXPECT_GT(player.Position(), held + 300000);
}

TEST_F(PlayerTest, SeekWhilePlayingShowsTheTarget) {
  ASSERT_TRUE(OpenClip(Clip3s()));
  ASSERT_TRUE(WaitPictures(2));
  player.Seek(2000000, 0, true);
  ASSERT_TRUE(WaitFor(
      handOver, [&] { return display.LastNumber() >= 38; }, 2000))
      << display.LastNumber();
  // Key frames every 12 pictures: playback resumes at most that far before 2 s.
  EXPECT_LE(display.LastNumber(), 50 + 10);
  EXPECT_TRUE(WaitFor(
      handOver, [&] { return player.Position() >= 1500000; }, 1000))
      << player.Position();
}

TEST_F(PlayerTest, SeekWhilePausedShowsTheTargetAndStaysPaused) {
  ASSERT_TRUE(OpenClip(Clip3s()));
  ASSERT_TRUE(WaitPictures(2));
  player.Pause();
  for (std::int64_t target : {std::int64_t(1920000), std::int64_t(480000)}) {
    player.Seek(target, 1, true);
    int expected = int(target / 40000);
    EXPECT_TRUE(WaitFor(
        handOver, [&] { return display.LastNumber() == expected; }, 2000))
        << "shown " << display.LastNumber() << ", wanted " << expected;
    EXPECT_TRUE(player.Paused());
    std::int64_t pts = -1;
    TBitmap snap = player.CurrentFrame(pts);
    EXPECT_EQ(TestMedia::ReadFrameNumber(snap), expected);
    EXPECT_NEAR(double(pts), double(target), 1000);
  }
  EXPECT_EQ(log.Count(psResume), 0);
}

TEST_F(PlayerTest, TheLastOfQuickSeeksWins) {
  // A drag along the seek bar asks for one seek per mouse move without
  // waiting: the picture must end where the thumb stopped, not at the first
  // place the read thread happened to take.
  ASSERT_TRUE(OpenClip(Clip3s()));
  ASSERT_TRUE(WaitPictures(2));
  player.Pause();
  for (std::int64_t target = 400000; target < 2400000; target += 400000) player.Seek(target, 1);
  player.Seek(2400000, 1, true);
  EXPECT_TRUE(WaitFor(
      handOver, [&] { return display.LastNumber() == 60; }, 2000))
      << "shown " << display.LastNumber();
  EXPECT_TRUE(player.Paused());
}

TEST_F(PlayerTest, SeekBeyondTheEndGoesToTheEnd) {
  ASSERT_TRUE(OpenClip(Clip3s()));
  ASSERT_TRUE(WaitPictures(1));
  player.Seek(60000000, 0, true);
  EXPECT_TRUE(WaitFor(
      handOver, [&] { return log.Count(psEnd) == 1; }, 3000));
}

TEST_F(PlayerTest, EndWithVideoIsReportedOnce) {
  ASSERT_TRUE(OpenClip(TestMedia::Get(MediaSpec::Mp4().Seconds(2))));
  ASSERT_TRUE(WaitFor(
      handOver, [&] { return log.Count(psEnd) >= 1; }, 5000));
  PumpFor(handOver, 600);
  EXPECT_EQ(log.Count(psEnd), 1);
  EXPECT_FALSE(player.Paused()) << "the file stays open at its end";
  EXPECT_NEAR(double(log.LastPosition()), double(log.Duration), 100000);
}

TEST_F(PlayerTest, EndOfAudioOnlyIsReportedRepeatedly) {
  ASSERT_TRUE(OpenClip(TestMedia::Get(MediaSpec::AudioOnly().Seconds(2))));
  EXPECT_EQ(log.FrameWidth, -1);
  EXPECT_EQ(log.FrameHeight, -1);
  ASSERT_TRUE(WaitPictures(1)) << "the wave display draws";
  ASSERT_TRUE(WaitFor(
      handOver, [&] { return log.Count(psEnd) >= 3; }, 5000));
  std::int64_t pts = 0;
  EXPECT_TRUE(player.CurrentFrame(pts).Empty());
  EXPECT_EQ(pts, -1);
}

TEST_F(PlayerTest, StepShowsOnePictureAndPausesAgain) {
  ASSERT_TRUE(OpenClip(Clip3s()));
  ASSERT_TRUE(WaitPictures(2));
  player.Pause();
  PumpFor(handOver, 200);
  int before = display.LastNumber();
  player.Step();
  EXPECT_TRUE(WaitFor(
      handOver, [&] { return player.Paused(); }, 1000));
  PumpFor(handOver, 300);
  EXPECT_GT(display.LastNumber(), before);
  EXPECT_LE(display.LastNumber(), before + 3);
  EXPECT_TRUE(WaitFor(handOver, [&] { return log.Count(psStep) == 1; }));
}

TEST_F(PlayerTest, CurrentFrameBeforeTheFirstPictureIsBlack) {
  std::int64_t pts = 0;
  TBitmap none = player.CurrentFrame(pts);
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(pts, -1);

  // Holding the first picture in the hook keeps it from being shown.
  auto release = std::make_shared<std::atomic<bool>>(false);
  player.SetHook(true);
  player.SetOnHook([release](TFFPlayer*, TBitmap&, std::int64_t) {
    while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  });
  bool opened = OpenClip(Clip3s());
  TBitmap black = player.CurrentFrame(pts);
  *release = true;
  ASSERT_TRUE(opened);
  ASSERT_EQ(black.Width(), 320);
  ASSERT_EQ(black.Height(), 240);
  EXPECT_TRUE(
      TestMedia::ColourNear(TestMedia::PixelAt(black, 160, 120), TestMedia::Rgb{0, 0, 0}, 0));
}

TEST_F(PlayerTest, HookChangesWhatIsShown) {
  std::atomic<int> calls{0};
  std::atomic<std::int64_t> lastPts{-1};
  std::atomic<bool> ordered{true};
  player.SetHook(true);
  player.SetOnHook([&](TFFPlayer*, TBitmap& bmp, std::int64_t pts) {
    if (pts <= lastPts) ordered = false;
    lastPts = pts;
    ++calls;
    bmp.Fill(0, 0, 255);  // red
  });
  ASSERT_TRUE(OpenClip(Clip3s()));
  ASSERT_TRUE(WaitPictures(3));
  TBitmap shown = display.Last();
  EXPECT_TRUE(
      TestMedia::ColourNear(TestMedia::PixelAt(shown, 100, 100), TestMedia::Rgb{255, 0, 0}));
  EXPECT_GE(calls, 3);
  EXPECT_TRUE(ordered);

  // A failing handler leaves the picture as decoded.
  player.SetOnHook([](TFFPlayer*, TBitmap&, std::int64_t) { throw std::runtime_error("boom"); });
  int count = display.Count();
  ASSERT_TRUE(WaitPictures(count + 4));
  EXPECT_GE(display.LastNumber(), 0);
  player.Stop(true);  // the first handler's captures end with this test
}

TEST_F(PlayerTest, OpenFailuresLeaveAReason) {
  std::string audio = TestMedia::Get(MediaSpec::AudioOnly().Seconds(2));
  player.DisableAudio = true;
  EXPECT_FALSE(OpenClip(audio));
  EXPECT_EQ(player.LastErrMsg(), audio + ": could not open codecs, no stream to play.");
  player.DisableAudio = false;

  EXPECT_FALSE(OpenClip(TestMedia::Garbage(20000)));
  EXPECT_FALSE(player.LastErrMsg().empty());
  std::string missing = TestMedia::MissingFile();
  EXPECT_FALSE(OpenClip(missing));
  EXPECT_EQ(player.LastErrMsg().rfind(missing + ": ", 0), 0u) << player.LastErrMsg();
  EXPECT_TRUE(player.Paused());
  EXPECT_EQ(log.Count(psPlay), 0);
}

TEST_F(PlayerTest, DamagedFilesPlayOrFailCleanly) {
  for (const std::string& path : {TestMedia::Corrupted(MediaSpec::Mp4().Seconds(2)),
                                  TestMedia::Truncated(MediaSpec::Mkv().Seconds(2), 0.5)}) {
    if (OpenClip(path)) {
      WaitFor(
          handOver, [&] { return log.Count(psEnd) > 0; }, 4000);
      auto t = Clock::now();
      player.Stop(true);
      EXPECT_LT(ElapsedMs(t), 1000) << path;
    } else {
      EXPECT_FALSE(player.LastErrMsg().empty()) << path;
    }
  }
}

TEST_F(PlayerTest, StopReturnsPromptlyFromEveryState) {
  std::string clip = Clip3s();
  auto stopTimed = [&](const char* what) {
    int stops = log.Count(psStop);
    auto t = Clock::now();
    player.Stop(true);
    EXPECT_LT(ElapsedMs(t), 1000) << what;
    EXPECT_FALSE(player.FileOpen()) << what;
    EXPECT_TRUE(WaitFor(handOver, [&] { return log.Count(psStop) == stops + 1; })) << what;
  };
  ASSERT_TRUE(OpenClip(clip));
  stopTimed("just opened");
  EXPECT_FALSE(player.AVProbe.Loaded());
  ASSERT_TRUE(OpenClip(clip));
  ASSERT_TRUE(WaitPictures(display.Count() + 2));
  player.Pause();
  stopTimed("paused");
  ASSERT_TRUE(OpenClip(clip));
  player.Step();
  stopTimed("stepping");
  ASSERT_TRUE(OpenClip(clip));
  player.Seek(2900000);
  ASSERT_TRUE(WaitFor(handOver, [&] { return log.Count(psEnd) > 0; }));
  stopTimed("at the end");
  auto t = Clock::now();
  player.Stop(true);  // nothing open
  EXPECT_LT(ElapsedMs(t), 200);
}

TEST_F(PlayerTest, OpeningASecondFileStopsTheFirst) {
  ASSERT_TRUE(OpenClip(Clip3s()));
  ASSERT_TRUE(WaitPictures(2));
  std::string second = TestMedia::Get(MediaSpec::Mp4().Seconds(2).Size(160, 120));
  ASSERT_TRUE(OpenClip(second));
  EXPECT_EQ(log.FrameWidth, 160);
  EXPECT_NEAR(double(log.Duration), 2e6, 1.5e5);
  ASSERT_TRUE(WaitFor(handOver, [&] { return log.Count(psPlay) == 2; }));
  std::lock_guard lock(log.Mutex);
  auto firstStop = std::find(log.States.begin(), log.States.end(), psStop);
  ASSERT_NE(firstStop, log.States.end());
  EXPECT_NE(std::find(firstStop, log.States.end(), psPlay), log.States.end())
      << "stop of the first, then play";
}

TEST_F(PlayerTest, VolumeAndMuteAreLiveSettings) {
  player.SetAudioVolume(300);
  EXPECT_EQ(player.AudioVolume(), 128);
  player.SetAudioVolume(-1);
  EXPECT_EQ(player.AudioVolume(), 0);
  ASSERT_TRUE(OpenClip(TestMedia::Get(MediaSpec::AudioOnly().Seconds(2))));
  player.SetMute(true);
  player.SetAudioVolume(64);
  PumpFor(handOver, 200);
  EXPECT_TRUE(player.Mute());
  std::int64_t p = player.Position();
  PumpFor(handOver, 300);
  EXPECT_GT(player.Position(), p) << "muted sound still plays on";
}

TEST_F(PlayerTest, SeekToTheStartAndAspectChangesWhilePaused) {
  player.SetOnFileOpen([](TFFPlayer*, std::int64_t, int, int, int& sw, int& sh) {
    sw = 400;  // the handler may choose the display size
    sh = 200;
  });
  ASSERT_TRUE(OpenClip(Clip3s()));
  EXPECT_EQ(player.ScreenWidth(), 400);
  ASSERT_TRUE(WaitFor(
      handOver, [&] { return display.LastNumber() >= 20; }, 3000));
  player.Pause();
  // At or before 0 the ranged seek has an empty range; the plain seek moves.
  player.Seek(-5, 0, true);
  EXPECT_TRUE(WaitFor(
      handOver, [&] { return display.LastNumber() == 0; }, 2000))
      << display.LastNumber();
  TDisplayRect own = display.Rect();
  EXPECT_EQ(own.Width, 266);  // 4:3 in 400x200
  EXPECT_EQ(own.Left, 67);
  player.SetAspectRatio(-1);
  EXPECT_TRUE(WaitFor(
      handOver, [&] { return display.Rect().Width == 400; }, 1000))
      << "redrawn while paused";
  EXPECT_EQ(display.Rect().Height, 200);
  EXPECT_EQ(display.LastNumber(), 0);
}

TEST_F(PlayerTest, WaveDisplayDrawsTheToneAndEventsCanStayOffTheMainThread) {
  player.SetTriggerEventInMainThread(false);
  auto offMain = std::make_shared<std::atomic<bool>>(false);
  std::thread::id mainId = std::this_thread::get_id();
  player.SetOnState([offMain, mainId](TFFPlayer*, TPlayState) {
    *offMain = std::this_thread::get_id() != mainId;
  });
  ASSERT_TRUE(OpenClip(TestMedia::Get(MediaSpec::AudioOnly().Seconds(2))));
  ASSERT_TRUE(WaitPictures(10));
  TBitmap waves = display.Last();
  ASSERT_EQ(waves.Width(), 320);
  int white = 0;
  for (int x = 0; x < waves.Width(); ++x)
    for (int y = 0; y < waves.Height(); ++y) white += waves.ScanLine(y)[x * 3] == 255;
  // Two channel bands with a 0.5-level sine: far more than the separator line.
  EXPECT_GT(white, waves.Width() * 20);
  EXPECT_TRUE(WaitFor(
      handOver, [&] { return bool(*offMain); }, 1000));
}

// Names the library would misread or that are no valid UTF-8 play as the
// converter opens them: non-ASCII text, bytes of another character set, and a
// name whose first part reads like a protocol.
TEST_F(PlayerTest, UnusualFileNamesPlay) {
  namespace fs = std::filesystem;
  TTestFolder folder;
  const fs::path dir = folder.Path();
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(1));
  const std::string names[] = {"Grüße 日本 🎬.mp4",
                               "Gr\xfc\xdf"
                               "e.mp4",
                               "take:1.mp4"};
  for (const std::string& name : names) fs::copy_file(clip, dir / name);

  const fs::path before = fs::current_path();
  fs::current_path(dir);
  // Relative "take:1.mp4" would be read as the protocol "take".
  const std::string opened[] = {(dir / names[0]).string(), (dir / names[1]).string(), names[2],
                                (dir / names[2]).string()};
  for (const std::string& path : opened) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(OpenClip(path)) << player.LastErrMsg();
    EXPECT_TRUE(WaitPictures(display.Count() + 1));
    EXPECT_GE(display.LastNumber(), 0);
    EXPECT_NEAR(double(log.Duration), 1e6, 1.5e5);
    player.Stop(true);
    PumpFor(handOver, 20);
  }
  // A name with the colon that is no file stays a (failing) address.
  EXPECT_FALSE(OpenClip("take:2.mp4"));
  EXPECT_FALSE(player.LastErrMsg().empty());
  fs::current_path(before);
}
