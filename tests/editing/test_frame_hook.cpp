#include <gtest/gtest.h>

#include <QDir>
#include <QFontDatabase>
#include <QImage>
#include <QTemporaryDir>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "PixelTestUtil.h"
#include "editing/FrameEffects.h"
#include "editing/FrameHook.h"
#include "engine/libav/FFmpegLogger.h"

namespace {

constexpr std::int64_t Second = 1000000;

TBitmap Flat(int w, int h, int grey) { return Filled(w, h, {grey, grey, grey}); }

// Every pixel distinct enough to tell where a picture was taken from.
TBitmap Ramp(int w, int h) {
  TBitmap bmp(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Set(bmp, x, y, {x * 7, y * 11, x + y});
  return bmp;
}

struct TDiff {
  int ChangedInside = 0, SameInside = 0, ChangedOutside = 0;
};

TDiff Compare(const TBitmap& before, const TBitmap& after, const QRect& box) {
  TDiff d;
  for (int y = 0; y < before.Height(); ++y)
    for (int x = 0; x < before.Width(); ++x) {
      const bool changed = !(At(before, x, y) == At(after, x, y));
      if (!box.contains(x, y))
        d.ChangedOutside += changed;
      else if (changed)
        ++d.ChangedInside;
      else
        ++d.SameInside;
    }
  return d;
}

std::string TestFamily() {
  const QString preferred = "DejaVu Sans";
  if (QFontDatabase::families().contains(preferred)) return preferred.toStdString();
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family().toStdString();
}

std::unique_ptr<TWmRec> TextItem(const std::string& text, QRect box, int start, int end) {
  auto item = std::make_unique<TWmRec>();
  item->Kind = TWmRec::wkText;
  item->Text = text;
  item->Font = std::make_unique<TWmFont>(TWmFont{TestFamily(), 20, fsBold, clWhite});
  item->TextLeft = box.left();
  item->TextTop = box.top();
  item->TextWidth = box.width();
  item->TextHeight = box.height();
  item->TextAlpha = 255;
  item->StartTime = start;
  item->EndTime = end;
  return item;
}

std::unique_ptr<TWmRec> ImageItem(const std::string& file, int left, int top, int alpha) {
  auto item = std::make_unique<TWmRec>();
  item->Kind = TWmRec::wkImage;
  item->ImageFile = file;
  item->ImageLeft = left;
  item->ImageTop = top;
  item->ImageAlpha = alpha;
  item->EndTime = 1000;
  return item;
}

TFrameEdits EditsOf(const std::vector<std::unique_ptr<TWmRec>>& items) {
  return TFrameEdits::Of(255, 0, 255, 0, items);
}

// Writes a BMP of the given bitmap's pixels and returns its path.
std::string SaveBmp(const QTemporaryDir& dir, const char* name, const TBitmap& pixels) {
  QImage image(pixels.Width(), pixels.Height(), QImage::Format_RGB888);
  for (int y = 0; y < pixels.Height(); ++y)
    for (int x = 0; x < pixels.Width(); ++x) {
      const Bgr p = At(pixels, x, y);
      image.setPixel(x, y, qRgb(p.r, p.g, p.b));
    }
  const QString path = QDir(dir.path()).filePath(name);
  EXPECT_TRUE(image.save(path, "BMP"));
  return path.toStdString();
}

int Blend(int d, int s, int alpha) { return ((256 - alpha) * d + alpha * s) >> 8; }

THookInfo HookAt(TBitmap& frame, std::int64_t pts) {
  THookInfo info;
  info.TaskIndex = 0;
  info.Bitmap = &frame;
  info.PTS = pts;
  return info;
}

}  // namespace

TEST(FrameHook, EffectsRunColoursThenExposureAndNeutralEditsLeaveTheFrame) {
  const TBitmap source = Ramp(37, 9);
  TFrameHook hook;
  std::vector<std::unique_ptr<TWmRec>> none;

  TBitmap frame = source;
  THookInfo info = HookAt(frame, 0);
  hook.Handle(info, TFrameEdits::Of(300, 20, 100, -80, none));
  TBitmap expected = source;
  AdjustColors(expected, 300, 20, 100);
  AdjustExposure(expected, -80.0f);
  EXPECT_TRUE(SamePixels(frame, expected));
  EXPECT_TRUE(info.Update);
  EXPECT_FALSE(info.StopHook);

  // Exposure alone must not run the colour pass (255 would dim by 1/256).
  frame = source;
  info = HookAt(frame, 0);
  hook.Handle(info, TFrameEdits::Of(255, 0, 255, 40, none));
  expected = source;
  AdjustExposure(expected, 40.0f);
  EXPECT_TRUE(SamePixels(frame, expected));

  frame = source;
  info = HookAt(frame, 0);
  hook.Handle(info, TFrameEdits::Of(255, 0, 255, 0, none));
  EXPECT_TRUE(SamePixels(frame, source));
  EXPECT_FALSE(info.Update) << "an untouched frame need not be converted back";
}

TEST(FrameHook, TextIsDrawnOnlyWithinItsWholeSecondsAndStaysInItsBox) {
  const TBitmap source = Flat(200, 100, 100);
  const QRect box(10, 10, 120, 40);
  std::vector<std::unique_ptr<TWmRec>> items;
  items.push_back(TextItem("HH", box, 5, 5));
  TFrameHook hook;

  for (std::int64_t pts : {5 * Second - 1, 6 * Second, std::int64_t(INT64_MIN)}) {
    TBitmap frame = source;
    THookInfo info = HookAt(frame, pts);
    hook.Handle(info, EditsOf(items));
    EXPECT_TRUE(SamePixels(frame, source)) << pts;
    EXPECT_FALSE(info.Update) << pts;
  }
  for (std::int64_t pts : {5 * Second, 6 * Second - 1}) {
    TBitmap frame = source;
    THookInfo info = HookAt(frame, pts);
    hook.Handle(info, EditsOf(items));
    EXPECT_TRUE(info.Update);
    const TDiff d = Compare(source, frame, box);
    EXPECT_GT(d.ChangedInside, 50) << pts;
    EXPECT_EQ(d.ChangedOutside, 0);
    // Transparent background: the picture shows between and around glyphs.
    EXPECT_GT(d.SameInside, d.ChangedInside);
    EXPECT_EQ(At(frame, box.right(), box.bottom()), At(source, box.right(), box.bottom()));
  }
  EXPECT_EQ(hook.TextRenders(), 1) << "the same item on the same frame size is rendered once";
}

TEST(FrameHook, TextOpacityAndOpaqueBackground) {
  const TBitmap source = Flat(160, 80, 100);
  const QRect box(20, 10, 100, 50);
  std::vector<std::unique_ptr<TWmRec>> items;
  items.push_back(TextItem("Ab", box, 0, 0));
  items[0]->BackOpaque = true;
  items[0]->BackColor = 0x0000FF;  // red
  items[0]->Font->Color = clBlack;
  TFrameHook hook;

  TBitmap frame = source;
  EXPECT_TRUE(hook.Render(frame, 0, EditsOf(items)));
  const TDiff d = Compare(source, frame, box);
  EXPECT_EQ(d.SameInside, 0) << "an opaque box covers all of itself";
  EXPECT_EQ(d.ChangedOutside, 0);
  const Bgr corner{Blend(100, 0, 255), Blend(100, 0, 255), Blend(100, 255, 255)};
  EXPECT_EQ(At(frame, box.right(), box.bottom()), corner);
  EXPECT_EQ(At(frame, box.left(), box.bottom()), corner);

  items[0]->TextAlpha = 0;
  frame = source;
  EXPECT_FALSE(hook.Render(frame, 0, EditsOf(items)));
  EXPECT_TRUE(SamePixels(frame, source));

  items[0]->TextAlpha = 64;
  frame = source;
  hook.Render(frame, 0, EditsOf(items));
  EXPECT_EQ(At(frame, box.right(), box.bottom()),
            (Bgr{Blend(100, 0, 64), Blend(100, 0, 64), Blend(100, 255, 64)}));
}

TEST(FrameHook, LaterItemsAreDrawnOverEarlierOnes) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const TBitmap blue = Filled(10, 10, {255, 0, 0}), green = Filled(10, 10, {0, 255, 0});
  std::vector<std::unique_ptr<TWmRec>> items;
  items.push_back(ImageItem(SaveBmp(dir, "blue.bmp", blue), 0, 0, 255));
  items.push_back(ImageItem(SaveBmp(dir, "green.bmp", green), 5, 0, 255));
  TBitmap frame = Flat(20, 10, 0);
  TFrameHook hook;
  hook.Render(frame, 0, EditsOf(items));
  EXPECT_EQ(At(frame, 2, 2), (Bgr{254, 0, 0}));
  EXPECT_EQ(At(frame, 7, 2), (Bgr{0, 254, 0}));
}

TEST(FrameHook, ImageAppearsAtItsPositionWithItsOpacityAndClipped) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const TBitmap picture = Ramp(20, 10);
  const std::string file = SaveBmp(dir, "mark.bmp", picture);
  const TBitmap source = Flat(64, 32, 100);
  std::vector<std::unique_ptr<TWmRec>> items;
  items.push_back(ImageItem(file, 30, 5, 128));
  TFrameHook hook;

  TBitmap frame = source;
  EXPECT_TRUE(hook.Render(frame, 3 * Second, EditsOf(items)));
  const TDiff d = Compare(source, frame, QRect(30, 5, 20, 10));
  EXPECT_EQ(d.ChangedOutside, 0);
  for (auto [x, y] : {std::pair{0, 0}, {19, 9}, {7, 4}}) {
    const Bgr s = At(picture, x, y);
    EXPECT_EQ(At(frame, 30 + x, 5 + y),
              (Bgr{Blend(100, s.b, 128), Blend(100, s.g, 128), Blend(100, s.r, 128)}));
  }

  // Up and left of the frame: the picture's first columns and rows are cut.
  items[0]->ImageLeft = -5;
  items[0]->ImageTop = -3;
  items[0]->ImageAlpha = 255;
  frame = source;
  hook.Render(frame, 0, EditsOf(items));
  const Bgr s = At(picture, 5, 3);
  EXPECT_EQ(At(frame, 0, 0),
            (Bgr{Blend(100, s.b, 255), Blend(100, s.g, 255), Blend(100, s.r, 255)}));
  EXPECT_EQ(Compare(source, frame, QRect(0, 0, 15, 7)).ChangedOutside, 0);

  // Past the right and bottom edges.
  items[0]->ImageLeft = 60;
  items[0]->ImageTop = 30;
  frame = source;
  hook.Render(frame, 0, EditsOf(items));
  EXPECT_EQ(Compare(source, frame, QRect(60, 30, 4, 2)).ChangedOutside, 0);
  EXPECT_NE(At(frame, 63, 31), At(source, 63, 31));

  EXPECT_EQ(hook.PictureDecodes(), 1) << "an unchanged file is decoded once";
}

TEST(FrameHook, ItemsOutsideOrAtExtremeValuesDrawNothingAndDoNotCrash) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string file = SaveBmp(dir, "mark.bmp", Ramp(8, 8));
  const TBitmap source = Flat(48, 24, 100);
  std::vector<std::unique_ptr<TWmRec>> items;
  items.push_back(ImageItem(file, INT_MAX, INT_MIN, 255));
  items.push_back(ImageItem(file, -8, 0, 255));
  items.push_back(TextItem("Far", QRect(48, 0, 40, 20), 0, 0));
  items.push_back(TextItem("Big", QRect(0, 0, 10, 10), 0, 0));
  items.back()->TextLeft = INT_MIN;
  items.back()->TextWidth = INT_MAX;
  items.back()->TextHeight = INT_MAX;
  items.push_back(TextItem("", QRect(0, 0, 40, 20), 0, 0));
  items.back()->BackOpaque = true;
  items.push_back(ImageItem("", 0, 0, 255));
  items.push_back(TextItem("Zero", QRect(0, 0, 0, 20), 0, 0));
  items.back()->BackOpaque = true;

  TBitmap frame = source;
  THookInfo info = HookAt(frame, 0);
  {
    TFrameHook hook;
    hook.Handle(info, EditsOf(items));
  }
  EXPECT_TRUE(SamePixels(frame, source));
  EXPECT_FALSE(info.Update);

  // A long text in a box reaching past the frame stays inside box and frame.
  std::vector<std::unique_ptr<TWmRec>> edge;
  edge.push_back(TextItem("WWWWWWWWWWWW", QRect(30, 12, 12, 30), 0, 0));
  edge[0]->BackOpaque = true;
  frame = source;
  TFrameHook hook;
  EXPECT_TRUE(hook.Render(frame, 0, EditsOf(edge)));
  const TDiff d = Compare(source, frame, QRect(30, 12, 12, 12));
  EXPECT_EQ(d.ChangedOutside, 0);
  EXPECT_EQ(d.SameInside, 0);
}

TEST(FrameHook, UnreadablePictureIsSkippedTheOtherEditsApplyAndLaterFramesRecover) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string missing = QDir(dir.path()).filePath("missing.bmp").toStdString();
  const std::string broken = QDir(dir.path()).filePath("broken.bmp").toStdString();
  std::ofstream(broken) << "BM this is not a picture";
  const TBitmap source = Ramp(32, 16);
  TFrameHook hook;
  TLogCapture log;

  for (const std::string& file : {missing, broken}) {
    std::vector<std::unique_ptr<TWmRec>> items;
    items.push_back(ImageItem(file, 0, 0, 200));
    TBitmap brightened = source;
    hook.Render(brightened, 0, TFrameEdits::Of(400, 0, 255, 0, {}));
    for (int frameNo = 0; frameNo < 3; ++frameNo) {
      TBitmap frame = source;
      THookInfo info = HookAt(frame, 0);
      info.TaskIndex = 2;
      ASSERT_NO_THROW(hook.Handle(info, TFrameEdits::Of(400, 0, 255, 0, items)));
      EXPECT_TRUE(info.Update) << "the brightness still applies";
      EXPECT_TRUE(SamePixels(frame, brightened));
      EXPECT_FALSE(info.StopHook);
    }
    int lines = 0;
    for (const std::string& line : log.Lines()) lines += line.find(file) != std::string::npos;
    EXPECT_EQ(lines, 1) << file;
    // The reason reaches the batch once per task, and only that task's.
    EXPECT_TRUE(hook.TakeWarnings(1).empty());
    const std::vector<std::string> warnings = hook.TakeWarnings(2);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(file), std::string::npos) << warnings[0];
    EXPECT_TRUE(hook.TakeWarnings(2).empty());
  }
  EXPECT_EQ(hook.PictureDecodes(), 1) << "a broken file is not decoded again while unchanged";

  // Once the file exists the item is drawn.
  SaveBmp(dir, "missing.bmp", Filled(4, 4, {0, 0, 255}));
  std::vector<std::unique_ptr<TWmRec>> items;
  items.push_back(ImageItem(missing, 0, 0, 255));
  TBitmap frame = source;
  THookInfo info = HookAt(frame, 0);
  hook.Handle(info, EditsOf(items));
  EXPECT_TRUE(info.Update);
  EXPECT_EQ(At(frame, 1, 1).r, Blend(At(source, 1, 1).r, 255, 255));
}

TEST(FrameHook, CachesFollowFileChangesItemChangesAndFrameSize) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const TBitmap red = Filled(6, 6, {0, 0, 255}), blue = Filled(6, 6, {255, 0, 0});
  const std::string file = SaveBmp(dir, "mark.bmp", red);
  std::vector<std::unique_ptr<TWmRec>> items;
  items.push_back(ImageItem(file, 0, 0, 255));
  TFrameHook hook;

  TBitmap frame = Flat(16, 16, 0);
  hook.Render(frame, 0, EditsOf(items));
  EXPECT_EQ(At(frame, 2, 2), (Bgr{0, 0, 254}));

  // Same size on disk; only the modification time tells the change.
  const auto stamp = std::filesystem::last_write_time(file);
  SaveBmp(dir, "mark.bmp", blue);
  std::filesystem::last_write_time(file, stamp + std::chrono::seconds(5));
  frame = Flat(16, 16, 0);
  hook.Render(frame, 0, EditsOf(items));
  EXPECT_EQ(At(frame, 2, 2), (Bgr{254, 0, 0}));
  frame = Flat(16, 16, 0);
  hook.Render(frame, 0, EditsOf(items));
  EXPECT_EQ(hook.PictureDecodes(), 2);

  std::vector<std::unique_ptr<TWmRec>> texts;
  texts.push_back(TextItem("Hi", QRect(0, 0, 40, 30), 0, 0));
  frame = Flat(64, 64, 0);
  hook.Render(frame, 0, EditsOf(texts));
  hook.Render(frame, 0, EditsOf(texts));
  EXPECT_EQ(hook.TextRenders(), 1);
  frame = Flat(32, 32, 0);
  hook.Render(frame, 0, EditsOf(texts));
  EXPECT_EQ(hook.TextRenders(), 2) << "a new frame size renders again";
  texts[0]->Font->Style |= fsItalic;
  hook.Render(frame, 0, EditsOf(texts));
  EXPECT_EQ(hook.TextRenders(), 3) << "a restyled item renders again";
}

TEST(FrameHook, WorkerThreadDrawsTheSameTextAsTheMainThread) {
  std::vector<std::unique_ptr<TWmRec>> items;
  items.push_back(TextItem("Quiet", QRect(4, 4, 150, 40), 0, 0));
  items.push_back(TextItem("Loud", QRect(20, 30, 120, 40), 0, 0));
  items.back()->BackOpaque = true;
  items.back()->BackColor = 0x00FF00;
  const TBitmap source = Ramp(160, 80);

  TBitmap onMain = source;
  TFrameHook mainHook;
  mainHook.Render(onMain, 0, EditsOf(items));

  TBitmap onWorker = source;
  THookInfo info = HookAt(onWorker, 0);
  TFrameHook workerHook;
  std::thread worker([&] { workerHook.Handle(info, EditsOf(items)); });
  worker.join();
  EXPECT_TRUE(info.Update);
  EXPECT_FALSE(SamePixels(onWorker, source));
  EXPECT_TRUE(SamePixels(onWorker, onMain));
}
