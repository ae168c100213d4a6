// The crop window driven as a user drives it: the rubber band dragged over
// the source view, the margin boxes' arrows, the effect controls, a real
// player feeding both views.
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include "EditTestSupport.h"
#include "app/GlobalUnit.h"
#include "controls/RectTracker.h"
#include "controls/Tracker2.h"
#include "gui/widgets/PictureView.h"
#include "gui/windows/edit/WinCrop.h"

namespace {

MediaSpec Vga() { return MediaSpec::Mp4().Size(640, 480).Seconds(4); }

void Arrow(QSpinBox* box, Qt::Key key, int times = 1) {
  for (int i = 0; i < times; ++i) user::Key(box, key);
}

QImage ToImage(const TBitmap& b) {
  return QImage(b.Bits(), b.Width(), b.Height(), b.RowSize(), QImage::Format_BGR888).copy();
}

}  // namespace

class CropWindowTest : public EditWindowTest {
 protected:
  void TearDown() override {
    delete crop_;
    EditWindowTest::TearDown();
  }
  // A new window on the selected row, as the Edit menu makes it.
  TfrmCrop* Show(bool waitForPicture = true) {
    delete crop_;
    crop_ = new TfrmCrop(main_->SourceList(), main_->SettingsFile(), main_.get());
    crop_->show();
    if (waitForPicture) {
      EXPECT_TRUE(WaitFor([&] { return !crop_->imgOutput->Picture().isNull(); }));
    }
    return crop_;
  }
  QRect Band() const { return crop_->RectTracker->geometry(); }

  TfrmCrop* crop_ = nullptr;
};

TEST_F(CropWindowTest, MarginsSetInTheViewAreStoredInEvenSourcePixels) {
  const int row = AddClip(Vga());
  Show();
  EXPECT_EQ(crop_->Frame().Picture(), (TIntRect{9, 1, 402, 301}));
  EXPECT_EQ(Band(), QRect(9, 1, 402, 301));
  EXPECT_TRUE(crop_->RectTracker->isVisible());
  EXPECT_EQ(crop_->trcBrightness->PositionL(), 255);  // from the record
  EXPECT_EQ(crop_->spedBrightness->value(), 255);

  Arrow(crop_->spedUp, Qt::Key_Up, 30);
  EXPECT_EQ(Band(), QRect(9, 31, 402, 271));
  EXPECT_EQ(crop_->SourceCropMargins().Up, 48);
  Arrow(crop_->spedUp, Qt::Key_Up);
  EXPECT_EQ(crop_->SourceCropMargins().Up, 48);  // 49.4 rounds to 49, made even
  Arrow(crop_->spedLeft, Qt::Key_Up, 3);
  EXPECT_EQ(crop_->SourceCropMargins().Left, 4);  // 3 x 640 / 402 = 4.8 -> 5 -> 4
  // The output view shows the cut picture at once. Each arrow press redraws
  // it, so the picture of the last press may come after one of the first.
  EXPECT_TRUE(WaitFor([&] {
    const QSize size = crop_->imgOutput->Picture().size();
    return size == QSize(640 - 4, 480 - 48);
  })) << crop_->imgOutput->Picture().width()
      << "x" << crop_->imgOutput->Picture().height();

  user::Click(crop_->btnOk);
  EXPECT_FALSE(crop_->isVisible());
  const TlvFilesRecord& r = Record(row);
  EXPECT_EQ(r.CropUpView, 31);
  EXPECT_EQ(r.CropLeftView, 3);
  EXPECT_EQ(r.CropTop, 48);
  EXPECT_EQ(r.CropLeft, 4);
  EXPECT_EQ(r.CropBottom, 0);
  EXPECT_EQ(r.CropRight, 0);
  EXPECT_EQ(r.Brightness, 255);

  // A new window restores the band from the view margins.
  Show();
  EXPECT_EQ(Band(), QRect(12, 32, 399, 270));
  EXPECT_EQ(crop_->spedUp->value(), 31);
  // Default and Reset put the band back over the whole picture.
  user::Click(crop_->btnDefault);
  EXPECT_EQ(Band(), QRect(9, 1, 402, 301));
  EXPECT_EQ(crop_->spedUp->value(), 0);
  EXPECT_EQ(crop_->SourceCropMargins(), TCropMargins{});
  // Cancel keeps the record.
  user::Click(crop_->btnCancel);
  EXPECT_EQ(Record(row).CropTop, 48);
}

TEST_F(CropWindowTest, TheBandIsKeptOnThePicture) {
  AddClip(Vga());
  Show();
  TRectTracker* band = crop_->RectTracker;
  // Shrink it by its bottom-right handle.
  Drag(band, {Band().width() - 3, Band().height() - 3},
       {Band().width() - 203, Band().height() - 153});
  ASSERT_EQ(Band(), QRect(9, 1, 202, 151));
  EXPECT_EQ(crop_->spedRight->value(), 200);
  EXPECT_EQ(crop_->spedDown->value(), 150);
  // Its inside dragged past the picture's right edge: same size, at the edge.
  Drag(band, {100, 75}, {400, 75});
  EXPECT_EQ(Band(), QRect(209, 1, 202, 151));
  EXPECT_EQ(crop_->spedRight->value(), 0);
  EXPECT_EQ(crop_->spedLeft->value(), 200);
  // Back to the left; its right handle dragged past the edge ends there.
  Drag(band, {100, 75}, {0, 75});
  ASSERT_EQ(Band().left(), 109);
  const int my = Band().height() / 2 + Band().height() % 2 - 3;
  Drag(band, {Band().width() - 3, my + 2}, {Band().width() + 200, my + 2});
  EXPECT_EQ(Band(), QRect(109, 1, 302, 151));
  EXPECT_EQ(crop_->spedRight->value(), 0);
  // The top-left handle past the corner: the bottom-right corner stays.
  Drag(band, {2, 2}, {-110, -50});
  EXPECT_EQ(Band(), QRect(9, 1, 402, 151));
  EXPECT_EQ(crop_->SourceCropMargins(),
            (TCropMargins{0, 238, 0, 0}));  // 150 x 480 / 301 = 239.2 -> 238
}

TEST_F(CropWindowTest, TheBoxesStopShrinkingTheBandAtTenPixels) {
  AddClip(Vga());
  Show();
  crop_->spedUp->setValue(145);
  crop_->spedDown->setValue(146);
  ASSERT_EQ(Band().height(), 10);
  Arrow(crop_->spedUp, Qt::Key_Up);
  EXPECT_EQ(crop_->spedUp->value(), 145);
  Arrow(crop_->spedDown, Qt::Key_Up);
  EXPECT_EQ(crop_->spedDown->value(), 146);
  EXPECT_EQ(Band().height(), 10);
  Arrow(crop_->spedUp, Qt::Key_Down);
  EXPECT_EQ(crop_->spedUp->value(), 144);
  EXPECT_EQ(Band(), QRect(9, 145, 402, 11));
  // A negative margin is taken as 0.
  Arrow(crop_->spedLeft, Qt::Key_Down);
  EXPECT_EQ(crop_->spedLeft->value(), 0);
  EXPECT_EQ(Band().left(), 9);
}

TEST_F(CropWindowTest, EffectsShowInTheOutputAndResetReturnsThePlainFrame) {
  const int row = AddClip(Vga());
  Show();
  // The spin box and the bar follow each other.
  crop_->spedBrightness->selectAll();
  user::Type(crop_->spedBrightness, "400");
  EXPECT_EQ(crop_->trcBrightness->PositionL(), 400);
  crop_->trcContrast->SetPositionL(-20);
  EXPECT_EQ(crop_->spedContrast->value(), -20);
  user::Click(crop_->imgbtnpause);
  Idle(250);
  const TBitmap frame = crop_->FrameCopy();
  ASSERT_FALSE(frame.Empty());
  const QImage plain = ToImage(CropOutput(frame, {}, {}));
  ASSERT_TRUE(WaitFor([&] {
    return crop_->imgOutput->Picture() == ToImage(CropOutput(frame, crop_->Effects(), {}));
  }));
  EXPECT_NE(crop_->imgOutput->Picture(), plain);
  EXPECT_EQ(crop_->imgPreview->Picture(), plain);  // the source view stays plain

  user::Click(crop_->btnEffectReset);
  EXPECT_EQ(crop_->Effects(), TPictureEffects{});
  EXPECT_EQ(crop_->spedSaturation->value(), 255);
  ASSERT_TRUE(WaitFor([&] { return crop_->imgOutput->Picture() == plain; }, 1000));

  crop_->trcExposure->SetPositionL(-30);
  crop_->trcSaturation->SetPositionL(0);
  user::Click(crop_->btnOk);
  EXPECT_EQ(Record(row).Brightness, 255);
  EXPECT_EQ(Record(row).Exposure, -30);
  EXPECT_EQ(Record(row).Saturation, 0);
  EXPECT_TRUE(Record(row).HasEffects());
}

TEST_F(CropWindowTest, VolumeAndMuteAreWrittenAtOnce) {
  TAppSettings settings(main_->SettingsFile());
  settings.SetVolume(90);
  AddClip(Vga());
  Show();
  EXPECT_EQ(crop_->trcVolume->PositionL(), 90);
  EXPECT_EQ(crop_->Player().AudioVolume(), 90);
  EXPECT_EQ(settings.Volume(), 90);
  crop_->trcVolume->SetPositionL(40);
  EXPECT_EQ(settings.Volume(), 40);
  EXPECT_EQ(crop_->Player().AudioVolume(), 40);
  user::Press(crop_->imgbtnMute);
  user::Release(crop_->imgbtnMute);
  EXPECT_EQ(settings.Mute(), 1);
  EXPECT_TRUE(crop_->Player().Mute());
  user::Click(crop_->btnCancel);
  EXPECT_EQ(settings.Volume(), 40);  // Cancel does not take it back
}

namespace {

// Pixels of `image` inside `r` that are near white.
int LightPixels(const QImage& image, const QRect& r) {
  int count = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (image.rect().contains(x, y) && qGray(image.pixel(x, y)) > 200) ++count;
  return count;
}

}  // namespace

// On the picture and the window's dark blue, both the band's black
// handles and the blue speaker stand out by a light rim.
TEST_F(CropWindowTest, TheHandlesAndTheMuteButtonShowOnDarkGround) {
  AddClip(Vga());
  Show();
  const QImage window = crop_->grab().toImage();
  const QRect band = crop_->RectTracker->geometry();
  const QPoint corner = crop_->RectTracker->mapTo(crop_, QPoint(0, 0));
  const int s = TCustomRectTracker::kHandleSize;
  // The bottom-right handle: black inside, light just around it.
  const QPoint handle = corner + QPoint(band.width() - s, band.height() - s);
  EXPECT_LT(qGray(window.pixel(handle + QPoint(2, 2))), 40);
  EXPECT_GE(LightPixels(window, QRect(handle - QPoint(1, 1), QSize(s + 2, 1))), s);
  QToolButton* mute = crop_->imgbtnMute;
  const QRect button(mute->mapTo(crop_, QPoint(0, 0)), mute->size());
  EXPECT_GT(LightPixels(window, button), 20);
  user::Click(crop_->btnCancel);
}

TEST_F(CropWindowTest, WithoutAPictureTheWindowSaysSoAndStoresNoCrop) {
  const int sound = AddClip(MediaSpec::AudioOnly().Seconds(3));
  Record(sound).CropTop = 20;
  Record(sound).Brightness = 300;
  Show(false);
  ASSERT_TRUE(crop_->Player().FileOpen());
  EXPECT_FALSE(crop_->HasVideo());
  EXPECT_FALSE(crop_->RectTracker->isVisible());
  EXPECT_FALSE(crop_->spedUp->isEnabled());
  EXPECT_FALSE(crop_->trcBrightness->isEnabled());
  EXPECT_FALSE(crop_->imgPreview->Message().isEmpty());
  user::Click(crop_->btnOk);
  EXPECT_EQ(Record(sound).CropTop, 0);
  EXPECT_EQ(Record(sound).CropUpView, 0);
  EXPECT_EQ(Record(sound).Brightness, 256);  // the bars' first positions
  EXPECT_EQ(Record(sound).Saturation, 256);

  // A file gone since it was added: empty views, no playing, margins 0.
  const std::string copy = scratch_.Path() + "gone.mp4";
  std::filesystem::copy_file(TestMedia::Get(Vga()), copy);
  const int gone = AddFile(copy);
  std::filesystem::remove(copy);
  Record(gone).CropLeftView = 40;
  Show(false);
  EXPECT_FALSE(crop_->imgbtnPlay->isEnabled());
  EXPECT_FALSE(crop_->imgbtnpause->isEnabled());
  Idle(250);
  EXPECT_TRUE(crop_->imgPreview->Picture().isNull());
  user::Click(crop_->btnOk);
  EXPECT_EQ(Record(gone).CropLeftView, 0);
  EXPECT_EQ(Record(gone).CropLeft, 0);
}

TEST_F(CropWindowTest, ClosingWhileOpeningOrSeekingNeitherHangsNorCrashes) {
  AddClip(Vga());
  for (int i = 0; i < 5; ++i) {
    Show(false);
    crop_->close();  // before a single picture
  }
  Show(false);
  delete crop_;  // shown and destroyed without closing first
  crop_ = nullptr;
  Show();
  Drag(crop_->trcPreview, {20, 12}, {300, 12}, 40);
  crop_->close();  // the seek still settling
  Show();
  user::Click(crop_->imgbtnStop);
  user::Click(crop_->imgbtnPlay);
  delete crop_;  // while the file opens again
  crop_ = nullptr;
  Show();
  EXPECT_TRUE(crop_->Player().FileOpen());
}
