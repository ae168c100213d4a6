// The watermark editor's window-free core: the canvas arithmetic, the row
// list and its rules, making rows from files and stored items and writing
// them back, the preview arithmetic and the crop outline.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <thread>

#include "PixelTestUtil.h"
#include "editing/BmpCache.h"
#include "editing/WmCanvasGeometry.h"
#include "editing/WmColors.h"
#include "editing/WmEditItem.h"
#include "editing/WmLayerStack.h"
#include "editing/WmPreview.h"
#include "editing/WmText.h"
#include "engine/common/FFmpegException.h"

namespace {

constexpr std::int64_t Second = 1000000;

TWmFont Font(int size, TColor colour = clBlue) { return TWmFont{"DejaVu Sans", size, 0, colour}; }

TWmItemRec Text(const std::string& text, int start = 0, int end = 10) {
  TWmItemRec item = MakeTextItem(text, Font(20), clGreen, 200, end);
  item.Rec.StartTime = start;
  return item;
}

// A picture file of one colour.
std::string Picture(const QTemporaryDir& dir, const QString& name, int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  const QString path = dir.filePath(name);
  EXPECT_TRUE(image.save(path));
  return path.toStdString();
}

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A PNG whose header claims 20000 x 20000 pixels, without the pixels.
std::string HugePngHeader(const QTemporaryDir& dir) {
  std::string ihdr = "IHDR";
  for (std::uint32_t v : {20000u, 20000u})
    for (int shift = 24; shift >= 0; shift -= 8) ihdr += char((v >> shift) & 0xFF);
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
  std::string file = "\x89PNG\r\n\x1a\n";
  auto put32 = [&](std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) file += char((v >> shift) & 0xFF);
  };
  auto chunk = [&](const std::string& typeAndData) {
    put32(std::uint32_t(typeAndData.size() - 4));
    file += typeAndData;
    put32(Crc32(typeAndData));
  };
  chunk(ihdr);
  chunk("IDAT");
  chunk("IEND");
  const std::string path = dir.filePath("huge.png").toStdString();
  std::ofstream(path, std::ios::binary) << file;
  return path;
}

std::vector<std::string> Captions(const TWmLayerStack& stack) {
  std::vector<std::string> captions;
  for (int i = 0; i < stack.Count(); ++i) captions.push_back(stack.Item(i).Caption());
  return captions;
}

}  // namespace

TEST(WmCanvasGeometry, TheFrameIsFittedCentredAndPointsMapBothWays) {
  const TWmViewMapping mapping(QSize(592, 427), QSize(320, 240));
  EXPECT_EQ(mapping.FrameRect(), QRect(11, 0, 569, 427));
  EXPECT_NEAR(mapping.ToFrame(QPointF(11, 0)).x(), 0, 1e-9);
  const QPointF corner = mapping.ToFrame(QPointF(11 + 569, 427));
  EXPECT_NEAR(corner.x(), 320, 0.5);
  EXPECT_NEAR(corner.y(), 240, 1e-9);
  const QPointF p(123.25, 77.5);
  EXPECT_NEAR(mapping.ToFrame(mapping.ToControl(p)).x(), p.x(), 1e-9);
  EXPECT_NEAR(mapping.ToFrame(mapping.ToControl(p)).y(), p.y(), 1e-9);

  // A tall frame is fitted by its height and centred across.
  const TWmViewMapping tall(QSize(592, 427), QSize(100, 400));
  EXPECT_EQ(tall.FrameRect().height(), 427);
  EXPECT_EQ(tall.FrameRect().left(), (592 - tall.FrameRect().width()) / 2);

  // Without a frame, control pixels are frame pixels.
  const TWmViewMapping none(QSize(592, 427), QSize());
  EXPECT_EQ(none.ToFrame(QPointF(40, 50)), QPointF(40, 50));
}

TEST(WmCanvasGeometry, NewItemsAreCentredOnTheControlsMiddle) {
  const TWmViewMapping mapping(QSize(592, 427), QSize(320, 240));
  const QRectF box = NewItemLocation(mapping, QSize(592, 427), QSizeF(60, 20));
  const QPointF middle = mapping.ToFrame(QPointF(296, 213));
  EXPECT_NEAR(box.center().x(), middle.x(), 1e-9);
  EXPECT_NEAR(box.center().y(), middle.y(), 1e-9);
  EXPECT_NEAR(box.width(), 60, 1e-9);
  EXPECT_NEAR(box.height(), 20, 1e-9);
}

TEST(WmCanvasGeometry, TheBandResizesAboutItsCentreWithHalfSizesOfAtLeastTwo) {
  const QRectF old(100, 50, 40, 20);  // centre (120, 60)
  EXPECT_EQ(GripAt(QRectF(100, 50, 40, 20), QPointF(120, 60)), TWmGrip::Move);
  EXPECT_EQ(GripAt(old, QPointF(141, 60)), TWmGrip::Right);
  EXPECT_EQ(GripAt(old, QPointF(99, 49)), TWmGrip::TopLeft);
  EXPECT_EQ(GripAt(old, QPointF(120, 71)), TWmGrip::Bottom);
  EXPECT_EQ(GripAt(old, QPointF(200, 60)), TWmGrip::None);

  // The dragged edge follows the pointer and the opposite one mirrors it.
  const QRectF wider = CentredResize(old, TWmGrip::Right, QPointF(150, 10));
  EXPECT_EQ(wider, QRectF(90, 50, 60, 20));
  const QRectF taller = CentredResize(old, TWmGrip::TopLeft, QPointF(110, 40));
  EXPECT_EQ(taller, QRectF(110, 40, 20, 40));
  // Dragged across the centre it cannot collapse: 2 pixels each way remain.
  const QRectF tiny = CentredResize(old, TWmGrip::Left, QPointF(120.5, 60));
  EXPECT_EQ(tiny, QRectF(118, 50, 4, 20));
  EXPECT_EQ(CentredResize(old, TWmGrip::Move, QPointF(0, 0)), old);
}

TEST(WmCanvasGeometry, StoredPixelsRoundHalvesToEvenAndTheCheckerAlternates) {
  EXPECT_EQ(RoundedLocation(QRectF(10.5, 11.5, 20.5, 7.49)), QRect(10, 12, 20, 7));
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(1e12), INT32_MAX);
  EXPECT_TRUE(CheckerSquareIsGrey(0, 0));
  EXPECT_FALSE(CheckerSquareIsGrey(1, 0));
  EXPECT_TRUE(CheckerSquareIsGrey(3, 5));
}

TEST(WmLayerStack, DeleteSelectsTheRowAboveOrTheNewFirstRow) {
  TWmLayerStack stack;
  for (const char* t : {"a", "b", "c"}) stack.Append(Text(t));
  EXPECT_EQ(stack.Selected(), 2);

  stack.Select(0);
  stack.Delete(0);
  EXPECT_EQ(Captions(stack), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(stack.Selected(), 0);

  stack.Delete(1);
  EXPECT_EQ(Captions(stack), std::vector<std::string>{"b"});
  EXPECT_EQ(stack.Selected(), 0);

  stack.Delete(0);
  EXPECT_EQ(stack.Count(), 0);
  EXPECT_EQ(stack.Selected(), -1);
  stack.Delete(0);  // nothing left: no effect
  EXPECT_EQ(stack.Count(), 0);
}

TEST(WmLayerStack, UpAndDownMoveRowAndLayerTogetherAndTheSelectionFollows) {
  TWmLayerStack stack;
  for (const char* t : {"a", "b", "c"}) stack.Append(Text(t));
  stack.Select(2);
  EXPECT_FALSE(stack.MoveDown(2));
  EXPECT_TRUE(stack.MoveUp(2));
  EXPECT_EQ(Captions(stack), (std::vector<std::string>{"a", "c", "b"}));
  EXPECT_EQ(stack.Selected(), 1);
  EXPECT_TRUE(stack.MoveUp(1));
  EXPECT_FALSE(stack.MoveUp(0));
  EXPECT_EQ(stack.Selected(), 0);
  EXPECT_TRUE(stack.MoveDown(0));
  EXPECT_EQ(Captions(stack), (std::vector<std::string>{"a", "c", "b"}));
  EXPECT_EQ(stack.Selected(), 1);
  // The drawing order is the list order: the last row lies on top.
  const auto layers = stack.VisibleLayers();
  ASSERT_EQ(layers.size(), 3u);
  EXPECT_EQ(layers[2].Location, stack.Item(2).Layer.Location);
}

TEST(WmLayerStack, ARowIsShownForEveryFrameOfItsWholeSeconds) {
  TWmLayerStack stack;
  stack.Append(Text("five", 5, 5));
  stack.Append(Text("always", 0, 10));
  EXPECT_TRUE(stack.ShowAt(4999999));
  EXPECT_FALSE(stack.Visible(0));
  EXPECT_TRUE(stack.Visible(1));
  EXPECT_TRUE(stack.ShowAt(5 * Second));
  EXPECT_TRUE(stack.Visible(0));
  EXPECT_FALSE(stack.ShowAt(5 * Second + 999999));  // nothing changed
  EXPECT_TRUE(stack.Visible(0));
  EXPECT_TRUE(stack.ShowAt(6 * Second));
  EXPECT_FALSE(stack.Visible(0));
  EXPECT_EQ(stack.VisibleLayers().size(), 1u);

  // A hidden layer is not hit; the topmost visible one is.
  stack.Item(0).Layer.Location = QRectF(0, 0, 50, 50);
  stack.Item(1).Layer.Location = QRectF(10, 10, 50, 50);
  EXPECT_EQ(stack.LayerAt(QPointF(20, 20)), 1);
  EXPECT_EQ(stack.LayerAt(QPointF(5, 5)), -1);
  stack.SetTimes(0, 0, 10);
  stack.ShowAt(6 * Second);
  EXPECT_EQ(stack.LayerAt(QPointF(5, 5)), 0);
  EXPECT_EQ(stack.Item(0).Rec.EndTime, 10);
}

TEST(WmLayerStack, RowsDeletedWhileAnotherThreadWalksThemForEachFrame) {
  // The player's video thread walks the rows for every picture while the
  // user deletes and adds rows; run under the address and thread checkers.
  TWmLayerStack stack;
  for (int i = 0; i < 8; ++i) stack.Append(Text("row", i % 3, 2));
  std::atomic<bool> stop{false};
  std::atomic<int> frames{0};
  std::thread video([&] {
    for (std::int64_t pts = 0; !stop; pts = (pts + 40000) % (4 * Second)) {
      stack.ShowAt(pts);
      ++frames;
    }
  });
  for (int round = 0; round < 300; ++round) {
    stack.Select(round % std::max(stack.Count(), 1));
    stack.Delete(stack.Selected());
    stack.Append(Text("new", 0, round % 4));
    stack.SetTimes(0, 1, 3);
    if (round % 7 == 0) stack.MoveUp(stack.Count() - 1);
  }
  while (frames < 100) std::this_thread::yield();
  stop = true;
  video.join();
  EXPECT_EQ(stack.Count(), 8);
}

TEST(WmEditItem, PicturesThatCannotBeUsedAreRefusedBeforeDecoding) {
  QTemporaryDir dir;
  TWmItemRec item;
  std::string error;
  const std::string empty = dir.filePath("empty.png").toStdString();
  std::ofstream(empty).close();
  const std::string text = dir.filePath("notes.bmp").toStdString();
  std::ofstream(text) << "not a picture at all";
  for (const std::string& bad :
       {dir.filePath("missing.bmp").toStdString(), empty, text, HugePngHeader(dir)}) {
    error.clear();
    EXPECT_FALSE(MakeImageItem(bad, 128, 5, item, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_NE(error.find("too large"), std::string::npos) << error;

  // The conversion refuses the same file with a message naming it.
  TBmpCache cache;
  try {
    cache.Get(HugePngHeader(dir));
    ADD_FAILURE() << "a 20000 x 20000 picture was decoded";
  } catch (const FFmpegException& e) {
    EXPECT_NE(std::string(e.what()).find("huge.png"), std::string::npos);
  }

  const std::string good = Picture(dir, "logo.png", 40, 30, QColor(10, 200, 30));
  ASSERT_TRUE(MakeImageItem(good, 128, 5, item, error)) << error;
  EXPECT_EQ(item.Rec.Kind, TWmRec::wkImage);
  EXPECT_EQ(item.Caption(), good);
  EXPECT_EQ(item.Layer.Location.size(), QSizeF(40, 30));
  EXPECT_EQ(item.Layer.MasterAlpha, 128);
  EXPECT_EQ(item.Rec.EndTime, 5);
  EXPECT_EQ(item.Layer.Bitmap.pixelColor(20, 15), QColor(10, 200, 30));
}

TEST(WmEditItem, ANewTextIsTransparentAndARedrawKeepsItsCorner) {
  TWmItemRec item = MakeTextItem("Holiday", Font(26), clGreen, 125, 7);
  EXPECT_FALSE(item.Rec.BackOpaque);
  EXPECT_EQ(item.Rec.BackColor, clGreen);
  EXPECT_EQ(item.Rec.EndTime, 7);
  EXPECT_EQ(item.Layer.Location.size(), QSizeF(MeasureText("Holiday", Font(26))));
  EXPECT_EQ(item.Layer.Bitmap.pixelColor(0, 0).alpha(), 0);

  item.Layer.Location.moveTopLeft(QPointF(30.5, 12));
  item.Rec.BackOpaque = true;
  item.Rec.Font->Size = 40;
  RedrawTextLayer(item);
  EXPECT_EQ(item.Layer.Location.topLeft(), QPointF(30.5, 12));
  EXPECT_EQ(item.Layer.Location.size(), QSizeF(MeasureText("Holiday", Font(40))));
  EXPECT_EQ(item.Layer.Bitmap.pixelColor(0, 0), QColor(0, 128, 0));

  item.Rec.Text.clear();
  RedrawTextLayer(item);
  EXPECT_TRUE(item.Layer.Bitmap.isNull());
  EXPECT_EQ(item.Layer.Location.topLeft(), QPointF(30.5, 12));
}

TEST(WmEditItem, LongAndRightToLeftTextRendersOrIsCut) {
  const TWmItemRec longText = MakeTextItem(std::string(10000, 'W'), Font(70), clGreen, 255, 1);
  EXPECT_EQ(longText.Layer.Bitmap.width(), kMaxTextBoxWidth);
  // Hebrew and Arabic with combining marks, and a base letter with a stack
  // of accents.
  const TWmItemRec mixed =
      MakeTextItem("שָׁלוֹם مَرْحَبًا e\u0301\u0302\u0303", Font(20, clBlack), clWhite, 255, 1);
  ASSERT_FALSE(mixed.Layer.Bitmap.isNull());
  int ink = 0;
  for (int y = 0; y < mixed.Layer.Bitmap.height(); ++y)
    for (int x = 0; x < mixed.Layer.Bitmap.width(); ++x)
      ink += mixed.Layer.Bitmap.pixelColor(x, y).alpha() > 0;
  EXPECT_GT(ink, 20);
}

TEST(WmEditItem, StoredItemsComeBackAsRowsAndOkWritesThemBack) {
  QTemporaryDir dir;
  TWmRec text;
  text.Kind = TWmRec::wkText;
  text.Text = "Caption";
  text.Font = std::make_unique<TWmFont>(TWmFont{"DejaVu Sans", 18, fsBold | fsItalic, clRed});
  text.TextLeft = 12, text.TextTop = 34, text.TextWidth = 150, text.TextHeight = 30,
  text.TextAlpha = 90;
  text.BackColor = clYellow, text.BackOpaque = true;
  text.StartTime = 2, text.EndTime = 2;
  text.ImageFile = "left over";  // a field of the other kind is kept as it was
  TWmRec image;
  image.Kind = TWmRec::wkImage;
  image.ImageFile = Picture(dir, "logo.bmp", 20, 10, QColor(255, 0, 0));
  image.ImageLeft = -5, image.ImageTop = 7, image.ImageWidth = 80, image.ImageHeight = 60,
  image.ImageAlpha = 128;
  image.EndTime = 9;

  std::string error;
  const TWmItemRec textRow = ItemFromRecord(text, error);
  EXPECT_EQ(textRow.Layer.Location, QRectF(12, 34, 150, 30));
  EXPECT_EQ(textRow.Layer.Bitmap.size(), QSize(150, 30));
  EXPECT_EQ(textRow.Layer.Bitmap.pixelColor(149, 29), QColor(255, 255, 0));
  EXPECT_EQ(textRow.Layer.MasterAlpha, 90);
  TWmItemRec imageRow = ItemFromRecord(image, error);
  EXPECT_TRUE(error.empty()) << error;
  // Stretched over its stored box, drawn from the picture at its own size.
  EXPECT_EQ(imageRow.Layer.Location, QRectF(-5, 7, 80, 60));
  EXPECT_EQ(imageRow.Layer.Bitmap.size(), QSize(20, 10));

  TWmRec slot;
  StoreItem(textRow, slot);
  EXPECT_EQ(slot.Text, "Caption");
  EXPECT_EQ(std::tie(slot.TextLeft, slot.TextTop, slot.TextWidth, slot.TextHeight, slot.TextAlpha),
            std::make_tuple(12, 34, 150, 30, 90));
  ASSERT_TRUE(slot.Font);
  EXPECT_EQ(*slot.Font, *text.Font);
  EXPECT_NE(slot.Font.get(), textRow.Rec.Font.get());
  EXPECT_TRUE(slot.BackOpaque);
  EXPECT_EQ(std::tie(slot.StartTime, slot.EndTime), std::make_tuple(2, 2));

  imageRow.Layer.Location.moveTopLeft(QPointF(10.5, 3.5));
  StoreItem(imageRow, slot);  // the same slot now holds the picture
  EXPECT_EQ(slot.Kind, TWmRec::wkImage);
  EXPECT_EQ(
      std::tie(slot.ImageLeft, slot.ImageTop, slot.ImageWidth, slot.ImageHeight, slot.ImageAlpha),
      std::make_tuple(10, 4, 80, 60, 128));
  EXPECT_EQ(slot.Text, "Caption");
  EXPECT_EQ(slot.EndTime, 9);

  // A picture deleted since keeps its row, so Ok cannot lose it.
  image.ImageFile = dir.filePath("gone.bmp").toStdString();
  const TWmItemRec gone = ItemFromRecord(image, error);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(gone.Layer.Location, QRectF(-5, 7, 80, 60));
  EXPECT_FALSE(gone.Layer.Bitmap.isNull());
  StoreItem(gone, slot);
  EXPECT_EQ(slot.ImageFile, image.ImageFile);
}

TEST(WmPreview, BarArithmeticAndTheCropOutline) {
  EXPECT_EQ(LastWholeSecond(4999999), 4);
  EXPECT_EQ(LastWholeSecond(-1), 0);
  EXPECT_EQ(PreviewBarMax(4500000), 4);  // halves to even
  EXPECT_EQ(PreviewBarMax(5500000), 6);
  EXPECT_EQ(PreviewBarPosition(6, 3 * Second, 6 * Second), 3);
  EXPECT_EQ(PreviewBarPosition(6, 9 * Second, 6 * Second), 6);
  EXPECT_FALSE(PreviewBarPosition(6, Second, 0).has_value());

  TBitmap frame = Filled(100, 80, {50, 50, 50});
  DrawCropOutline(frame, 10, 8, 100 - 20, 80 - 4);
  const Bgr green{0, 128, 0}, grey{50, 50, 50};
  EXPECT_EQ(At(frame, 9, 40), green);
  EXPECT_EQ(At(frame, 10, 40), green);
  EXPECT_EQ(At(frame, 11, 40), grey);  // inside: untouched
  EXPECT_EQ(At(frame, 8, 40), grey);   // outside: untouched
  EXPECT_EQ(At(frame, 50, 7), green);
  EXPECT_EQ(At(frame, 80, 40), green);
  EXPECT_EQ(At(frame, 50, 76), green);
  EXPECT_EQ(At(frame, 50, 40), grey);
  // Without margins the outline runs along the picture's edges, clipped.
  TBitmap whole = Filled(20, 10, {50, 50, 50});
  DrawCropOutline(whole, 0, 0, 20, 10);
  EXPECT_EQ(At(whole, 0, 5), green);
  EXPECT_EQ(At(whole, 19, 5), green);
  EXPECT_EQ(At(whole, 10, 9), green);
  EXPECT_EQ(At(whole, 10, 5), grey);
}

TEST(WmColors, TheNamedColoursComeInTheDesktopsOrder) {
  const auto& colours = NamedColors();
  const char* first[] = {"Black",  "Maroon",      "Green",    "Olive",   "Navy",
                         "Purple", "Teal",        "Gray",     "Silver",  "Red",
                         "Lime",   "Yellow",      "Blue",     "Fuchsia", "Aqua",
                         "White",  "Money Green", "Sky Blue", "Cream",   "Medium Gray"};
  ASSERT_GT(colours.size(), std::size(first));
  for (std::size_t i = 0; i < std::size(first); ++i) EXPECT_STREQ(colours[i].Name, first[i]);
  EXPECT_EQ(colours[9].Color, 0x0000FFu);   // red in 0x00BBGGRR
  EXPECT_EQ(colours[12].Color, 0xFF0000u);  // blue
  EXPECT_EQ(NamedColorIndex(clGreen), 2);
  EXPECT_EQ(NamedColorIndex(0x123456u), -1);
  // The system colours follow and resolve to real colours when drawn.
  for (std::size_t i = std::size(first); i < colours.size(); ++i)
    EXPECT_EQ(colours[i].Color & 0xFF000000u, clSystemColor) << colours[i].Name;
  EXPECT_EQ(ColorToRGB(clWindow), clWhite);
  EXPECT_EQ(ToQColor(clRed), QColor(255, 0, 0));
}
