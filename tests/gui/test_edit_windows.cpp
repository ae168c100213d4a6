// The trim and crop windows as the main window's Edit menu opens them, and
// what they store converted through the same path as Start.
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include "EditTestSupport.h"
#include "app/GlobalUnit.h"
#include "controls/RectTracker.h"
#include "controls/Tracker2.h"
#include "gui/windows/edit/WinCrop.h"
#include "gui/windows/edit/WinTrim.h"
#include "platform/IniFile.h"
#include "support/ModalWindow.h"

namespace {

constexpr std::int64_t kSecond = 1000000;

}  // namespace

class EditMenuTest : public EditWindowTest {
 protected:
  // Runs `inside` once the action's modal window is up; the window must be
  // closed by it.
  template <class W>
  void Open(QAction* action, const std::function<void(W&)>& inside) {
    EXPECT_TRUE(WhileModal<W>([action] { action->trigger(); },
                              [&](W& w) {
                                ASSERT_TRUE(WaitFor([&] {
                                  return w.Player().Position() >= 0 || !w.Player().FileOpen();
                                }));
                                inside(w);
                              }));
  }
};

TEST_F(EditMenuTest, TrimIsKeptCropIsNewAndBothStopThePreview) {
  AddClip(MediaSpec::Mp4().Seconds(3));
  main_->PlayPreview();
  ASSERT_TRUE(WaitFor([&] { return main_->Player().Position() > 0; }));
  TfrmTrim* first = nullptr;
  Open<TfrmTrim>(main_->actTrim, [&](TfrmTrim& trim) {
    EXPECT_FALSE(main_->Player().FileOpen());
    EXPECT_TRUE(trim.Player().FileOpen());
    first = &trim;
  });
  Open<TfrmTrim>(main_->actTrim, [&](TfrmTrim& trim) { EXPECT_EQ(&trim, first); });

  // The crop window writes volume and mute; the main window shows them after.
  QPointer<TfrmCrop> crop;
  Open<TfrmCrop>(main_->actCrop, [&](TfrmCrop& w) {
    crop = &w;
    w.trcVolume->SetPositionL(30);
    user::Press(w.imgbtnMute);
    user::Release(w.imgbtnMute);
  });
  EXPECT_EQ(main_->trcVolume->PositionL(), 30);
  EXPECT_TRUE(main_->imgbtnMute->property("muted").toBool());
  EXPECT_TRUE(crop.isNull());  // its player is freed at once
  Open<TfrmCrop>(main_->actCrop, [&](TfrmCrop& w) { EXPECT_TRUE(w.Player().FileOpen()); });
  EXPECT_LE(main_->findChildren<TfrmCrop*>().size(), 1);
}

TEST_F(EditMenuTest, ATrimmedCroppedBrightenedClipConvertsAsTheWindowsShowedIt) {
  const std::string source = TestMedia::Get(MediaSpec::Mp4().Seconds(6));
  main_->PickFormat("AVI Video (*.avi)", 104);
  // The format keeps the cut picture's size, so output pixels map 1:1.
  platform::WriteIniString(main_->SettingsFile(), "formatInfo104", "paraVideoSize", "288x208");
  const int row = AddFile(source);

  Open<TfrmTrim>(main_->actTrim, [&](TfrmTrim& w) {
    Click(w.trcPosition, {288, 10});  // 280 / 838 x 6 s: 2 s
    Click(w.trcPosition, {693, 10});  // 685 / 822 x 6 s: 5 s
    EXPECT_EQ(w.edtStart->text(), "0:00:02");
    EXPECT_EQ(w.edtTrimLength->text(), "0:00:05");
    user::Click(w.btnOk);
  });
  Open<TfrmCrop>(main_->actCrop, [&](TfrmCrop& w) {
    // 20 view pixels off each side of the 402 x 301 picture: 16 source pixels.
    TRectTracker* band = w.RectTracker;
    Drag(band, {2, 2}, {22, 22});
    Drag(band, {band->width() - 3, band->height() - 3}, {band->width() - 23, band->height() - 23});
    w.spedBrightness->selectAll();
    user::Type(w.spedBrightness, "400");
    EXPECT_EQ(w.SourceCropMargins(), (TCropMargins{16, 16, 16, 16}));
    user::Click(w.btnOk);
  });
  const TlvFilesRecord& r = Record(row);
  EXPECT_EQ(r.TrimStart, 2 * kSecond);
  EXPECT_EQ(r.TrimLength, 3 * kSecond);
  EXPECT_EQ(r.CropTop, 16);
  EXPECT_EQ(r.CropRight, 16);
  EXPECT_EQ(r.Brightness, 400);

  user::Click(main_->btnStart);
  ASSERT_TRUE(WaitFor(
      [&] {
        return !main_->Batch().Notices().empty() && main_->Batch().Notices().back().TaskIndex == -1;
      },
      50000));
  ASSERT_TRUE(main_->Batch().Notices().front().Completed)
      << main_->Batch().Notices().front().ErrorMessage;
  const std::string output = main_->Batch().OutputFiles().at(0);

  const TestMedia::VideoStats v = TestMedia::ScanVideo(output);
  ASSERT_TRUE(v.Ok);
  EXPECT_EQ(v.Width, 288);
  EXPECT_EQ(v.Height, 208);
  // Three seconds of pictures, within one frame.
  EXPECT_NEAR(v.Frames, 75, 1) << v.FirstPts << ".." << v.LastPts << " at " << v.FrameRate;

  TBitmap in, out;
  ASSERT_TRUE(TestMedia::DecodeFrameAt(source, 2 * kSecond, in));
  ASSERT_TRUE(TestMedia::DecodeFrame(output, 0, out));
  // The moving square of frame 50 (2 s) sits at x = 18 / 32 of the width:
  // the output starts there and is shifted by the cut.
  const TestMedia::Rgb square = TestMedia::PixelAt(out, 180 - 16 + 30, 150 - 16 + 30, 3);
  EXPECT_TRUE(TestMedia::ColourNear(square, {255, 255, 0}, 60))
      << square.R << "," << square.G << "," << square.B;
  // Grey ground in the source is clearly brighter at the same place.
  int compared = 0;
  for (int x = 20; x < 300 && compared < 4; x += 23) {
    const int y = 220;
    const TestMedia::Rgb before = TestMedia::PixelAt(in, x, y, 2);
    if (!TestMedia::ColourNear(before, {128, 128, 128}, 20)) continue;
    const TestMedia::Rgb after = TestMedia::PixelAt(out, x - 16, y - 16, 2);
    EXPECT_GT(after.R, before.R + 40) << "at " << x;
    EXPECT_GT(after.G, before.G + 40) << "at " << x;
    EXPECT_GT(after.B, before.B + 40) << "at " << x;
    ++compared;
  }
  EXPECT_EQ(compared, 4);
}
