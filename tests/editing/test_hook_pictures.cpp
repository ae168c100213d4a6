// The frame hook on the bitmap of a decoded picture, as the converter hands
// it out: the effects run band by band on the converter's threads and the
// text touches a few rows, and the new picture must be what the whole-frame
// routines give, with every row nobody drew kept exactly as decoded.
#include <gtest/gtest.h>

#include <QFontDatabase>

#include <cstring>
#include <memory>
#include <random>

#include "PixelTestUtil.h"
#include "editing/FrameHook.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FrameConverter.h"
#include "engine/libav/YuvRows.h"

namespace {

struct TFrameDeleter {
  void operator()(AVFrame* f) const { FF.av_frame_free(&f); }
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameDeleter>;

// A picture with smooth areas and grain, like a video frame.
TFramePtr Picture(int width, int height) {
  TFramePtr f(FF.av_frame_alloc());
  f->format = AV_PIX_FMT_YUV420P;
  f->width = width;
  f->height = height;
  EXPECT_EQ(FF.av_frame_get_buffer(f.get(), 0), 0);
  std::mt19937 rng(17);
  for (int plane = 0; plane < 3; ++plane)
    for (int y = 0; y < (plane ? height / 2 : height); ++y)
      for (int x = 0; x < (plane ? width / 2 : width); ++x)
        f->data[plane][y * f->linesize[plane] + x] =
            std::uint8_t((x + 2 * y) / 5 + rng() % 7 + (plane ? 60 : 16));
  return f;
}

TFramePtr Clone(const AVFrame* f) {
  TFramePtr c(FF.av_frame_alloc());
  c->format = f->format;
  c->width = f->width;
  c->height = f->height;
  EXPECT_EQ(FF.av_frame_get_buffer(c.get(), 0), 0);
  EXPECT_EQ(FF.av_frame_copy(c.get(), f), 0);
  return c;
}

std::unique_ptr<TWmRec> Text(int left, int top) {
  auto item = std::make_unique<TWmRec>();
  item->Kind = TWmRec::wkText;
  item->Text = "Hello";
  const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
  item->Font = std::make_unique<TWmFont>(TWmFont{family.toStdString(), 40, 0, clWhite});
  item->TextLeft = left;
  item->TextTop = top;
  item->TextWidth = 160;
  item->TextHeight = 60;
  item->TextAlpha = 255;
  item->EndTime = 1000;
  return item;
}

bool SameRows(const AVFrame* a, const AVFrame* b, int y) {
  for (int r = y; r < y + 2; ++r)
    if (std::memcmp(a->data[0] + r * a->linesize[0], b->data[0] + r * b->linesize[0],
                    size_t(a->width)) != 0)
      return false;
  for (int p = 1; p < 3; ++p)
    if (std::memcmp(a->data[p] + y / 2 * a->linesize[p], b->data[p] + y / 2 * b->linesize[p],
                    size_t(a->width / 2)) != 0)
      return false;
  return true;
}

struct TOutcome {
  int DrawnPairs = 0, FirstDrawn = -1, LastDrawn = -1;
};

// Runs `edits` through the converter's hand-out and through a whole bitmap,
// and checks the new picture row pair by row pair against the reference.
TOutcome CheckAgainstWholeFrame(const TFrameEdits& edits) {
  TOutcome outcome;
  TFramePtr frame = Picture(1280, 720);
  const TFramePtr decoded = Clone(frame.get());

  TFrameConverter converter;
  TFrameHook hook;
  EXPECT_TRUE(converter.ToBitmapOnDemand(frame.get()));
  const bool changed = hook.Render(*converter.Bitmap(), 0, edits);
  EXPECT_TRUE(changed);

  TFrameConverter whole;
  EXPECT_TRUE(whole.ToBitmap(decoded.get()));
  TBitmap reference = *whole.Bitmap();
  TFrameHook referenceHook;
  referenceHook.Render(reference, 0, edits);
  EXPECT_TRUE(SamePixels(*converter.Bitmap(), reference));

  const TBitmap& drawn = *converter.Bitmap();
  TFramePtr expected = Clone(decoded.get());
  for (int y = 0; y < expected->height; y += 2) {
    if (drawn.RowState(y) == TBitmap::TRowState::Untouched) continue;
    ++outcome.DrawnPairs;
    if (outcome.FirstDrawn < 0) outcome.FirstDrawn = y;
    outcome.LastDrawn = y;
    std::uint8_t* luma = expected->data[0] + y * expected->linesize[0];
    yuv_rows::FromBgrPortable({reference.ScanLine(y), reference.ScanLine(y + 1), luma,
                               luma + expected->linesize[0],
                               expected->data[1] + y / 2 * expected->linesize[1],
                               expected->data[2] + y / 2 * expected->linesize[2], expected->width});
  }
  EXPECT_TRUE(converter.EndOnDemand());
  EXPECT_TRUE(converter.ReplaceWithDrawing(frame.get()));
  for (int y = 0; y < frame->height; y += 2) {
    EXPECT_TRUE(SameRows(frame.get(), expected.get(), y)) << "row pair " << y;
    if (::testing::Test::HasFailure()) break;
  }
  return outcome;
}

}  // namespace

TEST(HookOnPictures, ColourEffectsConvertEveryRowLikeTheWholeFrame) {
  std::vector<std::unique_ptr<TWmRec>> none;
  for (auto edits : {TFrameEdits::Of(300, 0, 255, 0, none), TFrameEdits::Of(200, 25, 300, 60, none),
                     TFrameEdits::Of(255, 0, 255, -90, none)}) {
    SCOPED_TRACE(edits.Brightness);
    EXPECT_EQ(CheckAgainstWholeFrame(edits).DrawnPairs, 360);
  }
}

TEST(HookOnPictures, TextConvertsOnlyTheRowsItCovers) {
  std::vector<std::unique_ptr<TWmRec>> items;
  items.push_back(Text(100, 100));
  const TOutcome text = CheckAgainstWholeFrame(TFrameEdits::Of(255, 0, 255, 0, items));
  EXPECT_GT(text.DrawnPairs, 5);
  EXPECT_GE(text.FirstDrawn, 100);
  EXPECT_LT(text.LastDrawn, 100 + 60);

  // Over an effect the text's rows are drawn twice; all rows count.
  EXPECT_EQ(CheckAgainstWholeFrame(TFrameEdits::Of(300, 0, 255, 0, items)).DrawnPairs, 360);
}
