#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "engine/FFmpegApi.h"
#include "engine/FrameConverter.h"

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
      std::memset(f->data[plane] + y * f->linesize[plane], (y < h / 2 ? top : bottom)[plane], size_t(w));
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
    EXPECT_EQ(std::memcmp(conv.Bitmap()->ScanLine(y), f->data[0] + y * f->linesize[0], 15), 0) << "row " << y;
}

TEST(FrameConverter, YuvPictureConvertedTopRowFirst) {
  TFramePtr f = MakeFrame(AV_PIX_FMT_YUV420P, 64, 48);
  FillYuv(f.get(), kRedYuv, kBlackYuv);
  TFrameConverter conv;
  ASSERT_TRUE(conv.ToBitmap(f.get()));
  const TBitmap& bmp = *conv.Bitmap();
  ASSERT_EQ(bmp.Width(), 64);
  ASSERT_EQ(bmp.Height(), 48);
  ExpectPixel(bmp, 10, 5, 0, 0, 255);   // top: red
  ExpectPixel(bmp, 50, 40, 0, 0, 0);    // bottom: black
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
        std::memset(f->data[plane] + y * f->linesize[plane], ((y / band) % 2 ? kBlackYuv : kRedYuv)[plane],
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
