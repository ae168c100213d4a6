#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <utility>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FrameConverter.h"
#include "engine/libav/YuvRows.h"

namespace {

struct TFrameDeleter {
  void operator()(AVFrame* f) const { FF.av_frame_free(&f); }
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameDeleter>;

TFramePtr MakeFrame(AVPixelFormat format, int width, int height, int align = 32) {
  TFramePtr f(FF.av_frame_alloc());
  f->format = format;
  f->width = width;
  f->height = height;
  EXPECT_EQ(FF.av_frame_get_buffer(f.get(), align), 0);
  return f;
}

// Top half one YUV colour, bottom half another (BT.601, limited range).
void FillYuv(AVFrame* f, const int top[3], const int bottom[3]) {
  for (int plane = 0; plane < 3; ++plane) {
    const int h = plane ? f->height / 2 : f->height;
    const int w = plane ? f->width / 2 : f->width;
    for (int y = 0; y < h; ++y)
      std::memset(f->data[plane] + y * f->linesize[plane], (y < h / 2 ? top : bottom)[plane],
                  size_t(w));
  }
}

void ExpectPixel(const TBitmap& bmp, int x, int y, int b, int g, int r, int tolerance = 6) {
  const uint8_t* p = bmp.ScanLine(y) + x * 3;
  EXPECT_LE(std::abs(p[0] - b), tolerance) << "blue at " << x << "," << y;
  EXPECT_LE(std::abs(p[1] - g), tolerance) << "green at " << x << "," << y;
  EXPECT_LE(std::abs(p[2] - r), tolerance) << "red at " << x << "," << y;
}

const int kRedYuv[3] = {81, 90, 240};
const int kBlackYuv[3] = {16, 128, 128};

}  // namespace

TEST(FrameConverter, BgrPictureLaidOutLikeTheBitmapIsCopiedAndWrittenBackInPlace) {
  // 4 pixels * 3 bytes = 12, already a multiple of 4: rows match the bitmap's.
  TFramePtr f = MakeFrame(AV_PIX_FMT_BGR24, 4, 2, 4);
  ASSERT_EQ(f->linesize[0], TBitmap::RowSizeFor(4));
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 12; ++i) f->data[0][y * f->linesize[0] + i] = uint8_t(y * 100 + i);

  TFrameConverter conv;
  EXPECT_EQ(conv.Bitmap(), nullptr);
  ASSERT_TRUE(conv.ToBitmap(f.get()));
  TBitmap* bmp = conv.Bitmap();
  ASSERT_NE(bmp, nullptr);
  ASSERT_EQ(bmp->Width(), 4);
  ASSERT_EQ(bmp->Height(), 2);
  for (int y = 0; y < 2; ++y)
    EXPECT_EQ(std::memcmp(bmp->ScanLine(y), f->data[0] + y * f->linesize[0], 12), 0) << "row " << y;

  bmp->ScanLine(1)[5] = 0xEE;
  ASSERT_TRUE(conv.FromBitmap());
  EXPECT_EQ(f->data[0][f->linesize[0] + 5], 0xEE);
}

TEST(FrameConverter, BgrPictureWithOtherLayoutGoesThroughTheScalerUnchanged) {
  // Odd width and a padded line size: not a direct copy, still the same pixels.
  TFramePtr f = MakeFrame(AV_PIX_FMT_BGR24, 5, 3, 32);
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 15; ++i) f->data[0][y * f->linesize[0] + i] = uint8_t(y * 50 + i * 3);
  TFrameConverter conv;
  ASSERT_TRUE(conv.ToBitmap(f.get()));
  for (int y = 0; y < 3; ++y)
    EXPECT_EQ(std::memcmp(conv.Bitmap()->ScanLine(y), f->data[0] + y * f->linesize[0], 15), 0)
        << "row " << y;
}

TEST(FrameConverter, YuvPictureConvertedTopRowFirst) {
  TFramePtr f = MakeFrame(AV_PIX_FMT_YUV420P, 64, 48);
  FillYuv(f.get(), kRedYuv, kBlackYuv);
  TFrameConverter conv;
  ASSERT_TRUE(conv.ToBitmap(f.get()));
  const TBitmap& bmp = *conv.Bitmap();
  ASSERT_EQ(bmp.Width(), 64);
  ASSERT_EQ(bmp.Height(), 48);
  ExpectPixel(bmp, 10, 5, 0, 0, 255);  // top: red
  ExpectPixel(bmp, 50, 40, 0, 0, 0);   // bottom: black
}

TEST(FrameConverter, DrawingOnTheBitmapReachesTheYuvSource) {
  TFramePtr f = MakeFrame(AV_PIX_FMT_YUV420P, 64, 48);
  FillYuv(f.get(), kBlackYuv, kBlackYuv);
  TFrameConverter conv;
  ASSERT_TRUE(conv.ToBitmap(f.get()));
  conv.Bitmap()->Fill(255, 255, 255);  // what a hook would draw
  ASSERT_TRUE(conv.FromBitmap());
  EXPECT_NEAR(f->data[0][20 * f->linesize[0] + 30], 235, 3);  // white luma
  EXPECT_NEAR(f->data[1][10 * f->linesize[1] + 15], 128, 3);

  // And back again: the written picture converts to the drawn colour.
  TFrameConverter again;
  ASSERT_TRUE(again.ToBitmap(f.get()));
  ExpectPixel(*again.Bitmap(), 32, 24, 255, 255, 255);
}

TEST(FrameConverter, SizeChangesResetAndBadInput) {
  TFrameConverter conv;
  TFramePtr big = MakeFrame(AV_PIX_FMT_YUV420P, 64, 48);
  TFramePtr small = MakeFrame(AV_PIX_FMT_YUV420P, 32, 16);
  FillYuv(big.get(), kRedYuv, kRedYuv);
  FillYuv(small.get(), kBlackYuv, kBlackYuv);
  for (AVFrame* f : {big.get(), small.get(), big.get()}) {
    ASSERT_TRUE(conv.ToBitmap(f));
    EXPECT_EQ(conv.Bitmap()->Width(), f->width);
    EXPECT_EQ(conv.Bitmap()->Height(), f->height);
  }
  ExpectPixel(*conv.Bitmap(), 63, 47, 0, 0, 255);

  // Drawing into a picture of another size and format scales to it.
  TFramePtr rgba = MakeFrame(AV_PIX_FMT_RGBA, 16, 12);
  ASSERT_TRUE(conv.FromBitmap(rgba.get()));
  const uint8_t* px = rgba->data[0] + 6 * rgba->linesize[0] + 8 * 4;
  EXPECT_GE(px[0], 250);
  EXPECT_LE(px[1], 5);

  conv.Reset();
  EXPECT_EQ(conv.Bitmap(), nullptr);
  EXPECT_FALSE(conv.FromBitmap());
  ASSERT_TRUE(conv.ToBitmap(small.get()));
  ExpectPixel(*conv.Bitmap(), 0, 0, 0, 0, 0);

  // A bitmap resized by its user no longer fits the source picture.
  conv.Bitmap()->SetSize(8, 8);
  EXPECT_FALSE(conv.FromBitmap());

  TFramePtr empty(FF.av_frame_alloc());
  EXPECT_FALSE(conv.ToBitmap(empty.get()));
  EXPECT_FALSE(conv.ToBitmap(nullptr));
  EXPECT_FALSE(conv.FromBitmap()) << "a failed conversion leaves no picture to write back";
}

TEST(FrameConverter, OnDemandBitmapIsConvertedOnlyWhenReached) {
  TFramePtr f = MakeFrame(AV_PIX_FMT_YUV420P, 64, 48);
  FillYuv(f.get(), kRedYuv, kBlackYuv);
  TFrameConverter conv;

  // Nobody looks: the bitmap has the size, no pixels were converted.
  ASSERT_TRUE(conv.ToBitmapOnDemand(f.get()));
  ASSERT_EQ(conv.Bitmap()->Width(), 64);
  EXPECT_TRUE(conv.Bitmap()->FillPending());
  EXPECT_FALSE(conv.EndOnDemand());
  EXPECT_FALSE(conv.Bitmap()->FillPending()) << "the picture may go away after the hand-out";

  // Reading converts, but is not a change.
  ASSERT_TRUE(conv.ToBitmapOnDemand(f.get()));
  const TBitmap& readOnly = *conv.Bitmap();
  ExpectPixel(readOnly, 10, 5, 0, 0, 255);
  ExpectPixel(readOnly, 50, 40, 0, 0, 0);
  EXPECT_FALSE(conv.EndOnDemand());

  // Writing is; the picture underneath was converted first.
  ASSERT_TRUE(conv.ToBitmapOnDemand(f.get()));
  conv.Bitmap()->ScanLine(47)[0] = 255;
  ExpectPixel(*conv.Bitmap(), 10, 5, 0, 0, 255);
  EXPECT_TRUE(conv.EndOnDemand());

  // A copy of a bitmap still waiting for its pixels gets them.
  ASSERT_TRUE(conv.ToBitmapOnDemand(f.get()));
  TBitmap copy(*conv.Bitmap());
  ExpectPixel(copy, 10, 5, 0, 0, 255);
  EXPECT_FALSE(conv.Bitmap()->FillPending());
  EXPECT_FALSE(conv.EndOnDemand());

  // Resizing drops the fill; the handler drew on a blank bitmap.
  ASSERT_TRUE(conv.ToBitmapOnDemand(f.get()));
  conv.Bitmap()->SetSize(64, 48);
  EXPECT_FALSE(conv.Bitmap()->FillPending());
  EXPECT_FALSE(conv.EndOnDemand());

  TFramePtr empty(FF.av_frame_alloc());
  EXPECT_FALSE(conv.ToBitmapOnDemand(empty.get()));
  EXPECT_FALSE(conv.EndOnDemand());
}

// Large pictures are converted in slices on several threads; every row must
// land where it belongs, with and without the intermediate buffer (a width
// that is not a multiple of 16 takes the buffer).
TEST(FrameConverter, LargePicturesKeepEveryRowInPlaceBothWays) {
  for (int width : {1280, 1282}) {
    SCOPED_TRACE(width);
    const int height = 720;
    TFramePtr f = MakeFrame(AV_PIX_FMT_YUV420P, width, height);
    // Bands of 8 rows, red and black in turn.
    for (int plane = 0; plane < 3; ++plane) {
      const int h = plane ? height / 2 : height, band = plane ? 4 : 8;
      for (int y = 0; y < h; ++y)
        std::memset(f->data[plane] + y * f->linesize[plane],
                    ((y / band) % 2 ? kBlackYuv : kRedYuv)[plane],
                    size_t(plane ? width / 2 : width));
    }
    TFrameConverter conv;
    ASSERT_TRUE(conv.ToBitmap(f.get()));
    for (int y = 0; y < height; y += 3) {
      const bool red = (y / 8) % 2 == 0;
      ExpectPixel(*conv.Bitmap(), width - 1, y, 0, 0, red ? 255 : 0, 10);
      if (HasFailure()) return;
    }

    // Draw white on rows 352-359 and write into a fresh picture.
    for (int y = 352; y < 360; ++y) std::memset(conv.Bitmap()->ScanLine(y), 255, size_t(width) * 3);
    TFramePtr drawn = MakeFrame(AV_PIX_FMT_YUV420P, width, height);
    ASSERT_TRUE(conv.FromBitmap(drawn.get()));
    for (int y = 0; y < height; y += 2) {
      const int expected = y >= 352 && y < 360 ? 235 : (y / 8) % 2 ? 16 : 81;
      EXPECT_NEAR(drawn->data[0][y * drawn->linesize[0] + width / 2], expected, 3) << "row " << y;
      if (HasFailure()) return;
    }
  }
}

// ---- planar 4:2:0 pictures: band by band, on several threads, same bytes ----

namespace {

TFramePtr RandomYuv(int width, int height, unsigned seed) {
  TFramePtr f = MakeFrame(AV_PIX_FMT_YUV420P, width, height);
  std::mt19937 rng(seed);
  for (int plane = 0; plane < 3; ++plane) {
    const int h = plane ? (height + 1) / 2 : height, w = plane ? (width + 1) / 2 : width;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) f->data[plane][y * f->linesize[plane] + x] = uint8_t(rng());
  }
  f->pts = 1234;
  return f;
}

// Row pair `y` of a 4:2:0 picture as the row routines take it.
uint8_t* LumaRow(const AVFrame* f, int y) { return f->data[0] + y * f->linesize[0]; }
uint8_t* ChromaRow(const AVFrame* f, int plane, int y) {
  return f->data[plane] + (y / 2) * f->linesize[plane];
}

// The whole picture through the portable routine, one row pair after another.
TBitmap ReferenceBitmap(const AVFrame* f) {
  TBitmap bmp(f->width, f->height);
  for (int y = 0; y < f->height; y += 2) {
    const int y1 = std::min(y + 1, f->height - 1);
    yuv_rows::ToBgrPortable({LumaRow(f, y), LumaRow(f, y1), ChromaRow(f, 1, y), ChromaRow(f, 2, y),
                             bmp.ScanLine(y), bmp.ScanLine(y1), f->width});
  }
  return bmp;
}

// Row pair `y` of the bitmap into the picture, portable routine.
void ReferencePair(const TBitmap& bmp, int y, AVFrame* f) {
  const int y1 = std::min(y + 1, f->height - 1);
  yuv_rows::FromBgrPortable({bmp.ScanLine(y), bmp.ScanLine(y1), LumaRow(f, y), LumaRow(f, y1),
                             ChromaRow(f, 1, y), ChromaRow(f, 2, y), f->width});
}

bool SameBitmaps(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(a.Width()) * 3) != 0) return false;
  return true;
}

// The first row pair where two pictures differ, or -1.
int FirstDifferentPair(const AVFrame* a, const AVFrame* b) {
  for (int y = 0; y < a->height; y += 2) {
    const int rows = std::min(2, a->height - y);
    for (int r = 0; r < rows; ++r)
      if (std::memcmp(LumaRow(a, y + r), LumaRow(b, y + r), size_t(a->width)) != 0) return y;
    for (int p = 1; p < 3; ++p)
      if (std::memcmp(ChromaRow(a, p, y), ChromaRow(b, p, y), size_t(a->width + 1) / 2) != 0)
        return y;
  }
  return -1;
}

TFramePtr Copy(const AVFrame* f) {
  TFramePtr c = MakeFrame(AVPixelFormat(f->format), f->width, f->height);
  EXPECT_EQ(FF.av_frame_copy(c.get(), f), 0);
  return c;
}

}  // namespace

TEST(FrameConverter, PlanarPicturesConvertBandByBandToTheRowRoutinesBytes) {
  for (auto [w, h] : {std::pair{1920, 1080}, std::pair{1283, 721}, std::pair{33, 7}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    TFramePtr f = RandomYuv(w, h, unsigned(w));
    const TBitmap reference = ReferenceBitmap(f.get());
    TFrameConverter conv;
    ASSERT_TRUE(conv.ToBitmap(f.get()));
    EXPECT_TRUE(SameBitmaps(*conv.Bitmap(), reference));

    ASSERT_TRUE(conv.ToBitmapOnDemand(f.get()));
    const TBitmap& deferred = *conv.Bitmap();
    deferred.Bits();  // every band at once, on the helpers
    EXPECT_TRUE(SameBitmaps(deferred, reference));
    EXPECT_FALSE(conv.EndOnDemand());

    TFramePtr back = MakeFrame(AV_PIX_FMT_YUV420P, w, h);
    TFramePtr expected = MakeFrame(AV_PIX_FMT_YUV420P, w, h);
    for (int y = 0; y < h; y += 2) ReferencePair(reference, y, expected.get());
    ASSERT_TRUE(conv.FromBitmap(back.get()));
    EXPECT_EQ(FirstDifferentPair(back.get(), expected.get()), -1);
  }
}

// A handler that writes a few rows: the new picture holds those row pairs
// converted back and every other row exactly as decoded; the decoder's
// picture itself is never written.
TEST(FrameConverter, DrawingReplacesThePictureConvertingOnlyTheRowsDrawn) {
  for (auto [w, h] : {std::pair{1280, 720}, std::pair{641, 361}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    TFramePtr f = RandomYuv(w, h, 9);
    const TFramePtr original = Copy(f.get());
    TFramePtr decoderRef(FF.av_frame_clone(f.get()));  // the decoder keeps its picture
    TBitmap drawnReference = ReferenceBitmap(f.get());

    TFrameConverter conv;
    ASSERT_TRUE(conv.ToBitmapOnDemand(f.get()));
    TBitmap& bmp = *conv.Bitmap();
    for (int y : {101, 140, h - 1}) {
      for (TBitmap* b : {&bmp, &drawnReference}) std::memset(b->ScanLine(y) + 30, 0xEE, 60);
    }
    EXPECT_EQ(bmp.RowState(100), TBitmap::TRowState::Drawn)
        << "row 100 shares its chroma with row 101";
    EXPECT_EQ(bmp.RowState(102), TBitmap::TRowState::Untouched);
    ASSERT_TRUE(conv.EndOnDemand());
    ASSERT_TRUE(conv.ReplaceWithDrawing(f.get()));

    EXPECT_NE(f->data[0], decoderRef->data[0]);
    EXPECT_EQ(f->pts, 1234);
    EXPECT_EQ(FirstDifferentPair(decoderRef.get(), original.get()), -1);
    TFramePtr expected = Copy(original.get());
    for (int y : {100, 140, (h - 1) & ~1}) ReferencePair(drawnReference, y, expected.get());
    EXPECT_EQ(FirstDifferentPair(f.get(), expected.get()), -1);
  }
}

// A band pass hands every band back as it goes; a row drawn after the pass
// is converted again, and the result is the same as converting the finished
// bitmap whole.
TEST(FrameConverter, BandPassHandsBandsBackAndLaterDrawingIsConvertedAgain) {
  const int w = 1920, h = 1080;
  TFramePtr f = RandomYuv(w, h, 21);
  TBitmap finished = ReferenceBitmap(f.get());
  auto invert = [](const TBitmap::TRows& rows) {
    for (int i = 0; i < rows.Count; ++i)
      for (int x = 0; x < rows.Width * 3; ++x) rows.Row(i)[x] = uint8_t(255 - rows.Row(i)[x]);
  };
  invert(finished.AllRows());
  std::memset(finished.ScanLine(501) + 300, 0x10, 90);

  TFrameConverter conv;
  ASSERT_TRUE(conv.ToBitmapOnDemand(f.get()));
  TBitmap& bmp = *conv.Bitmap();
  bmp.TransformRows(invert);
  EXPECT_EQ(bmp.RowState(0), TBitmap::TRowState::Taken);
  EXPECT_EQ(bmp.RowState(h - 1), TBitmap::TRowState::Taken);
  std::memset(bmp.ScanLine(501) + 300, 0x10, 90);
  EXPECT_EQ(bmp.RowState(500), TBitmap::TRowState::Drawn);
  EXPECT_TRUE(SameBitmaps(bmp, finished));
  ASSERT_TRUE(conv.EndOnDemand());
  ASSERT_TRUE(conv.ReplaceWithDrawing(f.get()));

  TFramePtr expected = MakeFrame(AV_PIX_FMT_YUV420P, w, h);
  for (int y = 0; y < h; y += 2) ReferencePair(finished, y, expected.get());
  EXPECT_EQ(FirstDifferentPair(f.get(), expected.get()), -1);
}
