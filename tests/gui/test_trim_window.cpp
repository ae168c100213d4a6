// The trim window driven as a user drives it: presses and drags on its
// range bar, its buttons, real clips in a real player.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "EditTestSupport.h"
#include "app/GlobalUnit.h"
#include "controls/Tracker2.h"
#include "gui/widgets/SourceListView.h"
#include "gui/windows/edit/WinTrim.h"
#include "player/qt/PlayerWidget.h"

namespace {

constexpr std::int64_t kSecond = 1000000;

// Ten minutes of a tiny picture: cheap to make and to play.
MediaSpec TenMinutes() { return MediaSpec::VideoOnly().Size(64, 48).Fps(1).Seconds(600); }

QString Cell(TfrmMain& main, int row, int column) {
  QAbstractItemModel* model = main.ListView()->model();
  return model->data(model->index(row, column)).toString();
}

}  // namespace

class TrimWindowTest : public EditWindowTest {
 protected:
  // Opens the window on the selected row and waits until the file plays.
  TfrmTrim* Show(bool waitForPlay = true) {
    if (!trim_) trim_ = new TfrmTrim(main_->SourceList(), main_->SettingsFile(), main_.get());
    trim_->show();
    if (waitForPlay) {
      EXPECT_TRUE(WaitFor([&] { return trim_->Player().Position() >= 0; }));
    }
    return trim_;
  }
  void PressRange(int x) { Click(trim_->trcPosition, {x, 10}); }

  TfrmTrim* trim_ = nullptr;
};

TEST_F(TrimWindowTest, AMinuteToThreeMinutesIsStoredAndShownInTheRow) {
  const int row = AddClip(TenMinutes());
  Show();
  EXPECT_EQ(trim_->lblPTS->text(), "0:10:00");
  EXPECT_EQ(trim_->trcPreview->Max(), 600);
  EXPECT_EQ(trim_->edtStart->text(), "0:00:00");
  EXPECT_EQ(trim_->edtTrimLength->text(), "0:10:00");
  EXPECT_FALSE(trim_->imgbtnPlay->isEnabled());
  EXPECT_TRUE(trim_->imgbtnpause->isEnabled());

  // The start thumb by a press, the end thumb by a press beyond the middle
  // and a drag back to three minutes.
  PressRange(92);
  EXPECT_EQ(trim_->edtStart->text(), "0:01:00");
  EXPECT_EQ(trim_->trcPreview->PositionL(), 60);
  // The press's seek settles before the next (the player takes one seek at
  // a time).
  ASSERT_TRUE(WaitFor([&] { return !trim_->Playback().SeekPending(); }, 2000));
  Drag(trim_->trcPosition, {800, 10}, {255, 10});
  EXPECT_EQ(trim_->edtTrimLength->text(), "0:03:00");
  EXPECT_EQ(trim_->Range().RightThumbX(), 247);
  // The release sought the player to the end thumb's time; position reports
  // wait until the seek has settled.
  EXPECT_TRUE(trim_->Playback().SeekPending());
  EXPECT_EQ(trim_->trcPreview->PositionL(), 180);
  ASSERT_TRUE(WaitFor(
      [&] { return std::llabs(trim_->Player().Position() - 180 * kSecond) < 3 * kSecond; }));
  ASSERT_TRUE(WaitFor([&] { return !trim_->Playback().SeekPending(); }, 2000));

  user::Click(trim_->btnOk);
  EXPECT_FALSE(trim_->isVisible());
  EXPECT_EQ(Record(row).TrimStart, 60 * kSecond);
  EXPECT_EQ(Record(row).TrimLength, 120 * kSecond);
  EXPECT_EQ(Cell(*main_, row, 2), "120");
  // Closing told the player to stop.
  ASSERT_TRUE(WaitFor([&] { return !trim_->Player().FileOpen(); }));

  // The next showing takes the record's trim again.
  Show();
  EXPECT_EQ(trim_->edtStart->text(), "0:01:00");
  EXPECT_EQ(trim_->edtTrimLength->text(), "0:03:00");
  EXPECT_EQ(trim_->Range().LeftThumbX(), 82);
  EXPECT_EQ(trim_->Range().RightThumbX(), 247);
}

TEST_F(TrimWindowTest, DefaultAndTheWholeFileStoreNoTrim) {
  const int row = AddClip(TenMinutes());
  Record(row).TrimStart = 60 * kSecond;
  Record(row).TrimLength = 120 * kSecond;
  Show();
  const int left = trim_->Range().LeftThumbX(), right = trim_->Range().RightThumbX();
  user::Click(trim_->btnDefault);
  EXPECT_EQ(trim_->edtStart->text(), "00:00:00");
  EXPECT_EQ(trim_->edtTrimLength->text(), "0:10:00");
  EXPECT_EQ(trim_->Range().LeftThumbX(), left);  // the thumbs stay
  EXPECT_EQ(trim_->Range().RightThumbX(), right);
  user::Click(trim_->btnOk);
  EXPECT_EQ(Record(row).TrimStart, 0);
  EXPECT_EQ(Record(row).TrimLength, 0);
  EXPECT_EQ(Cell(*main_, row, 2), "600");

  // Cancel and the title area's close button change nothing.
  Show();
  PressRange(300);
  user::Click(trim_->btnCancel);
  Show();
  PressRange(300);
  user::Click(trim_->btnClose);
  EXPECT_FALSE(trim_->isVisible());
  EXPECT_EQ(Record(row).TrimStart, 0);
  EXPECT_EQ(Cell(*main_, row, 2), "600");
}

TEST_F(TrimWindowTest, PressesAndDragsOnTheRangeBar) {
  const int row = AddClip(TenMinutes());
  Record(row).TrimStart = 100 * kSecond;
  Record(row).TrimLength = 1 * kSecond;
  Show();
  // A part under two seconds does not follow a drag ...
  Drag(trim_->trcPosition, {0, 10}, {60, 10});
  EXPECT_EQ(trim_->Range().StartSec(), 100);
  EXPECT_EQ(trim_->Range().EndSec(), 101);
  // ... a press still moves a thumb, left of half a thumb to the beginning.
  PressRange(5);
  EXPECT_EQ(trim_->Range().StartSec(), 0);
  EXPECT_EQ(trim_->edtStart->text(), "0:00:00");
  // Now the part is long enough to drag the start thumb along.
  Drag(trim_->trcPosition, {10, 10}, {60, 10});
  EXPECT_EQ(trim_->Range().LeftThumbX(), 52);
  EXPECT_EQ(trim_->trcPosition->PositionL(), 42);
  user::Click(trim_->btnOk);
  EXPECT_EQ(Record(row).TrimStart, 37 * kSecond);  // trunc(52 / 838 x 600)
  EXPECT_EQ(Record(row).TrimLength, 64 * kSecond);
}

TEST_F(TrimWindowTest, PlayPauseStopAndTheEndOfAFile) {
  AddClip(MediaSpec::Mp4().Seconds(2));
  Show();
  user::Click(trim_->imgbtnpause);
  EXPECT_TRUE(trim_->Playback().PlayPaused());
  EXPECT_TRUE(trim_->imgbtnPlay->isEnabled());
  EXPECT_TRUE(trim_->Player().Paused());
  user::Click(trim_->imgbtnPlay);
  EXPECT_FALSE(trim_->Player().Paused());
  user::Click(trim_->imgbtnStop);
  EXPECT_TRUE(trim_->Playback().PlayStopped());
  EXPECT_FALSE(trim_->Player().FileOpen());
  EXPECT_EQ(trim_->lblTime->text(), "00:00:00");
  EXPECT_FALSE(trim_->trcPreview->isEnabled());
  EXPECT_FALSE(trim_->imgbtnStop->isEnabled());
  // Play opens the file again; at its end the player goes back to the
  // start, paused, and Play resumes it.
  user::Click(trim_->imgbtnPlay);
  ASSERT_TRUE(trim_->Player().FileOpen());
  EXPECT_TRUE(trim_->trcPreview->isEnabled());
  ASSERT_TRUE(
      WaitFor([&] { return trim_->Player().Paused() && trim_->imgbtnPlay->isEnabled(); }, 15000));
  EXPECT_FALSE(trim_->imgbtnpause->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return trim_->Player().Position() < 500000; }));
  user::Click(trim_->imgbtnPlay);
  EXPECT_FALSE(trim_->Player().Paused());
  EXPECT_TRUE(trim_->Player().FileOpen());
}

TEST_F(TrimWindowTest, FilesWithoutDurationPictureOrEndingEarlyLeaveItUsable) {
  // A raw stream has no duration: the bars stay off, Ok keeps the whole file.
  MediaSpec raw = MediaSpec::VideoOnly().Seconds(2);
  raw.Format = "h264";
  const int rawRow = AddClip(raw);
  Record(rawRow).TrimStart = 1 * kSecond;
  Show();
  EXPECT_FALSE(trim_->Range().HasDuration());
  EXPECT_FALSE(trim_->trcPosition->isEnabled());
  EXPECT_FALSE(trim_->trcPreview->isEnabled());
  PressRange(300);  // a disabled bar takes no press
  user::Click(trim_->btnOk);
  EXPECT_EQ(Record(rawRow).TrimStart, 0);
  EXPECT_EQ(Record(rawRow).TrimLength, 0);

  // Sound only: the bars work as for a picture.
  const int soundRow = AddClip(MediaSpec::AudioOnly().Seconds(4));
  Show();
  EXPECT_TRUE(trim_->trcPosition->isEnabled());
  PressRange(300);
  EXPECT_EQ(trim_->Range().StartSec(), 1);
  user::Click(trim_->btnOk);
  EXPECT_EQ(Record(soundRow).TrimStart, 1 * kSecond);

  // A file cut off half-way ends early; the window goes on working.
  const int cutRow = AddFile(TestMedia::Truncated(MediaSpec::Mkv().Seconds(4), 0.5));
  Show();
  ASSERT_TRUE(WaitFor([&] { return trim_->imgbtnPlay->isEnabled(); }, 15000));
  // Play starts it again from the start; a short rest of the file may end
  // again before the click's events are all handled, so either is seen.
  const std::int64_t parked = trim_->Player().Position();
  user::Click(trim_->imgbtnPlay);
  EXPECT_TRUE(WaitFor(
      [&] { return !trim_->imgbtnPlay->isEnabled() || trim_->Player().Position() > parked; }, 5000))
      << "parked at " << parked << ", now at " << trim_->Player().Position() << ", open "
      << trim_->Player().FileOpen() << ", paused " << trim_->Player().Paused();
  PressRange(700);
  user::Click(trim_->btnOk);
  EXPECT_GT(Record(cutRow).TrimLength, 0);
}

TEST_F(TrimWindowTest, ClosingWhileOpeningOrSeekingNeitherHangsNorCrashes) {
  AddClip(MediaSpec::Mp4().Seconds(6));
  for (int i = 0; i < 5; ++i) {
    Show(false);
    trim_->close();  // before the player has shown a single picture
  }
  Show();
  user::Press(trim_->trcPreview, {300, 10});
  user::Release(trim_->trcPreview, {300, 10});
  trim_->close();  // while the seek is under way
  Show();
  user::Click(trim_->imgbtnpause);
  Drag(trim_->trcPreview, {100, 10}, {600, 10}, 40);
  delete trim_;  // the window goes away with the seek still settling
  trim_ = nullptr;
  Idle(400);
  Show();
  EXPECT_TRUE(trim_->Player().FileOpen());
}
