// The preview playback rules on a real player playing a real clip: the
// buttons each mode offers, the rewind at the end under each window's rules,
// the seek gate, reports that come late, and the stored volume and mute.
// The player's state reports are queued by its event thread and handed to the
// controller on the test thread, as the windows do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "app/GlobalUnit.h"
#include "app/PlaybackControl.h"
#include "platform/IniFile.h"
#include "player/PlayerTestUtil.h"
#include "support/TestFolder.h"

namespace {

constexpr std::int64_t kSecond = 1000000;

TPlaybackRules MainRules() { return {}; }

TPlaybackRules EditRules() {
  TPlaybackRules rules;
  rules.RewindFlags = 0;
  rules.FollowPlayerReports = true;
  rules.EndKeepsStopAndBar = true;
  return rules;
}

TPlaybackRules WatermarkRules() {
  TPlaybackRules rules;
  rules.SeekOnPress = true;
  rules.PlayAfterEndResumes = true;
  rules.Rounding = TBarRounding::KeepWithoutDuration;
  return rules;
}

class PlaybackControlTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    player.SetTriggerEventInMainThread(false);
    player.SetOnState([this](TFFPlayer*, TPlayState s) {
      std::lock_guard lock(statesMutex_);
      states_.push_back(s);
    });
  }

  void Make(const TPlaybackRules& rules) {
    control_ = std::make_unique<TPlaybackControl>(player, rules, settings_.In("settings.ini"));
  }
  // Opens the clip as a window does: the file-open event during Open.
  bool Open(const std::string& clip) {
    player.SetOnFileOpen(
        [this](TFFPlayer*, std::int64_t d, int, int, int&, int&) { control_->FileOpened(d); });
    const bool ok = OpenClip(clip);
    control_->Opened(ok);
    return ok;
  }
  // Hands the queued state reports to the controller until `state` came.
  bool DeliverUntil(TPlayState state, int ms = 5000) {
    bool seen = false;
    WaitFor(
        handOver,
        [&] {
          std::deque<TPlayState> now;
          {
            std::lock_guard lock(statesMutex_);
            now.swap(states_);
          }
          for (TPlayState s : now) {
            control_->StateReported(s);
            seen = seen || s == state;
          }
          return seen;
        },
        ms);
    return seen;
  }

  TTestFolder settings_;
  std::unique_ptr<TPlaybackControl> control_;
  std::mutex statesMutex_;
  std::deque<TPlayState> states_;
};

const TPlaybackButtons kStopped{true, false, false, false};
const TPlaybackButtons kPlaying{false, true, true, true};
const TPlaybackButtons kPaused{true, false, true, true};

}  // namespace

TEST_F(PlaybackControlTest, EachModeOffersItsButtonsAndPlayResumesOnlyAPause) {
  Make(MainRules());
  EXPECT_EQ(control_->Buttons(), kStopped);
  EXPECT_EQ(control_->Play(), TPlaybackControl::TPlayStep::OpenFile);

  ASSERT_TRUE(Open(TestMedia::Get(MediaSpec::Mp4().Seconds(4))));
  EXPECT_EQ(control_->Mode(), TPlayMode::Playing);
  EXPECT_EQ(control_->Buttons(), kPlaying);
  ASSERT_TRUE(WaitPictures(2));

  EXPECT_TRUE(control_->Pause());
  EXPECT_TRUE(player.Paused());
  EXPECT_EQ(control_->Buttons(), kPaused);
  EXPECT_EQ(control_->Play(), TPlaybackControl::TPlayStep::Resumed);
  EXPECT_FALSE(player.Paused());
  EXPECT_EQ(control_->Buttons(), kPlaying);
  // Playing, Play opens the file again (a double-clicked row, Next).
  EXPECT_EQ(control_->Play(), TPlaybackControl::TPlayStep::OpenFile);

  // Stop resumes a paused player first, so that it can stop.
  control_->Pause();
  control_->Stop();
  EXPECT_FALSE(player.FileOpen());
  EXPECT_EQ(control_->Buttons(), kStopped);
  // Nothing open: Pause changes nothing.
  EXPECT_FALSE(control_->Pause());
  EXPECT_EQ(control_->Mode(), TPlayMode::Stopped);
}

TEST_F(PlaybackControlTest, AFileWithoutDurationOffersNoBar) {
  Make(MainRules());
  control_->FileOpened(-5);
  EXPECT_EQ(control_->DurationUs(), 0);
  control_->Opened(true);
  EXPECT_FALSE(control_->Buttons().Bar);
  EXPECT_EQ(control_->BarPosition(kSecond, 100), 0);
  // The watermark editor's bar keeps its place instead.
  Make(WatermarkRules());
  control_->FileOpened(0);
  EXPECT_FALSE(control_->BarPosition(kSecond, 100).has_value());
}

TEST_F(PlaybackControlTest, TheEndRewindsPausedAndEachWindowPlaysOnItsWay) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Seconds(1));
  struct Case {
    const char* name;
    TPlaybackRules rules;
    TPlaybackButtons atEnd;
    TPlaybackControl::TPlayStep play;
  };
  const Case cases[] = {
      {"main", MainRules(), kStopped, TPlaybackControl::TPlayStep::OpenFile},
      {"watermark", WatermarkRules(), kStopped, TPlaybackControl::TPlayStep::Resumed},
      // The trim and crop windows keep Stop and the bar; the pause the
      // rewind makes counts as the user's, so Play resumes.
      {"edit", EditRules(), kPaused, TPlaybackControl::TPlayStep::Resumed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Make(c.rules);
    ASSERT_TRUE(Open(clip));
    ASSERT_TRUE(DeliverUntil(psEnd));
    ASSERT_TRUE(WaitFor(
        handOver, [&] { return player.Paused(); }, 2000));
    if (c.rules.FollowPlayerReports) {
      ASSERT_TRUE(DeliverUntil(psPause));
    }
    EXPECT_EQ(control_->Buttons(), c.atEnd);
    EXPECT_TRUE(player.FileOpen());
    EXPECT_TRUE(WaitFor(
        handOver, [&] { return player.Position() < kSecond / 2; }, 2000))
        << player.Position();
    EXPECT_EQ(control_->Play(), c.play);
    if (c.play == TPlaybackControl::TPlayStep::Resumed) {
      EXPECT_FALSE(player.Paused());
    }
    control_->Stop();
  }
}

TEST_F(PlaybackControlTest, LateReportsOfAClosedOrReplacedFileChangeNothing) {
  Make(EditRules());
  ASSERT_TRUE(Open(TestMedia::Get(MediaSpec::Mp4().Seconds(4))));
  // The stop of the file before this one arrives after the new file opened.
  EXPECT_FALSE(control_->StateReported(psStop));
  EXPECT_EQ(control_->Mode(), TPlayMode::Playing);
  control_->Stop();
  // The end of a file stopped since does not rewind anything.
  EXPECT_FALSE(control_->StateReported(psEnd));
  EXPECT_EQ(control_->Mode(), TPlayMode::Stopped);
  EXPECT_TRUE(control_->StateReported(psStop));

  // The main window's pause is the user's only.
  Make(MainRules());
  ASSERT_TRUE(Open(TestMedia::Get(MediaSpec::Mp4().Seconds(4))));
  EXPECT_FALSE(control_->StateReported(psPause));
  EXPECT_EQ(control_->Mode(), TPlayMode::Playing);
}

TEST_F(PlaybackControlTest, ASeekAtTheReleaseIsMadeOnceAndReportsWaitTillItSettles) {
  Make(MainRules());
  ASSERT_TRUE(Open(TestMedia::Get(MediaSpec::Mp4().Seconds(6))));
  ASSERT_TRUE(WaitPictures(2));
  EXPECT_EQ(control_->SettleMs(), playback::kSeekSettleMs);

  EXPECT_FALSE(control_->BarPressed(10, 100));  // no seek at the press
  EXPECT_TRUE(control_->SeekPending());
  EXPECT_FALSE(control_->BarPosition(kSecond, 100).has_value());
  control_->BarDragged(90, 100);  // the bar follows the mouse; no seek yet
  EXPECT_LT(player.Position(), 2 * kSecond);

  EXPECT_TRUE(control_->BarReleased(50, 100));
  // The release reaches the filter of every bar it passes: one seek only.
  EXPECT_FALSE(control_->BarReleased(90, 100));
  EXPECT_TRUE(
      WaitFor(handOver, [&] { return std::llabs(player.Position() - 3 * kSecond) < 700000; }));
  EXPECT_TRUE(control_->SeekPending());
  control_->Settled();
  EXPECT_FALSE(control_->SeekPending());
  EXPECT_EQ(control_->BarPosition(3 * kSecond, 100), 50);
  // A release without a press seeks nowhere.
  EXPECT_FALSE(control_->BarReleased(10, 100));
}

TEST_F(PlaybackControlTest, ASeekAtThePressPausesUntilItSettlesThenPlaysOn) {
  Make(WatermarkRules());
  ASSERT_TRUE(Open(TestMedia::Get(MediaSpec::Mp4().Seconds(6))));
  ASSERT_TRUE(WaitPictures(2));
  EXPECT_EQ(control_->SettleMs(), playback::kScrubSettleMs);
  EXPECT_FALSE(control_->BarPressed(3, 0));  // a bar without a maximum
  EXPECT_FALSE(control_->SeekPending());

  EXPECT_TRUE(control_->BarPressed(4, 6));
  EXPECT_TRUE(control_->SeekPending());
  EXPECT_TRUE(player.Paused());
  EXPECT_TRUE(
      WaitFor(handOver, [&] { return std::llabs(player.Position() - 4 * kSecond) < 700000; }));
  // A second press before the first settled keeps the promise to play on.
  EXPECT_TRUE(control_->BarPressed(2, 6));
  control_->BarDragged(3, 6);
  EXPECT_TRUE(
      WaitFor(handOver, [&] { return std::llabs(player.Position() - 3 * kSecond) < 700000; }));
  EXPECT_FALSE(control_->BarReleased(3, 6));  // the press already sought
  control_->Settled();
  EXPECT_FALSE(player.Paused());
  EXPECT_FALSE(control_->SeekPending());

  // A press while paused leaves the player paused.
  control_->Pause();
  EXPECT_TRUE(control_->BarPressed(1, 6));
  control_->Settled();
  EXPECT_TRUE(player.Paused());
}

TEST_F(PlaybackControlTest, TheStoredMuteAppliesAtOpenAndVolumeAndMuteAreStored) {
  Make(MainRules());
  const TAppSettings settings(settings_.In("settings.ini"));
  settings.SetMute(true);
  control_->FileOpened(kSecond);
  EXPECT_TRUE(player.Mute());
  settings.SetMute(false);
  control_->FileOpened(kSecond);
  EXPECT_FALSE(player.Mute());
  player.SetMute(true);
  platform::WriteIniString(settings.File(), "settings", "mute", "7");
  control_->FileOpened(kSecond);
  EXPECT_TRUE(player.Mute());  // a value neither 0 nor 1 leaves the player

  control_->SetVolume(90);
  control_->SetMuted(false);
  EXPECT_EQ(player.AudioVolume(), 90);
  EXPECT_FALSE(player.Mute());
  EXPECT_EQ(settings.Volume(), 90);
  EXPECT_EQ(settings.Mute(), 0);
}
