#include "engine/libav/FrameConverter.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "engine/common/BandWorkers.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/YuvRows.h"

namespace {
// The buffer's rows start on this boundary, which the scaler's vector code likes.
constexpr int kBufferAlign = 32;
// Below this many pixels a second thread costs more than it saves.
constexpr int kThreadedPixels = 640 * 360;
constexpr int kMaxThreads = 4;
// Rows of a band: the band's bitmap rows and picture rows stay in the
// processor's second-level cache between the conversion, the drawing and
// the way back.
constexpr int kBandRows = 16;
// Drawn pictures: plane rows aligned for any vector code, and room after the
// last plane for code that reads a little past the end.
constexpr int kPlaneAlign = 64;
constexpr int kPlanePadding = 64;

void KeepMemory(void*, std::uint8_t*) {}

int ThreadsFor(int width, int height) {
  if (width * std::int64_t(height) < kThreadedPixels) return 1;
  return int(std::clamp(std::thread::hardware_concurrency(), 1u, unsigned(kMaxThreads)));
}

// Points `frame` at the picture without copying; the scaler wants counted
// buffers, so the memory is wrapped in one that never frees it.
bool Wrap(AVFrame* frame, std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format,
          int width, int height) {
  for (int i = 0; i < 4; ++i) {
    frame->data[i] = data[i];
    frame->linesize[i] = linesize[i];
  }
  frame->format = format;
  frame->width = width;
  frame->height = height;
  frame->buf[0] = FF.av_buffer_create(data[0], 1, KeepMemory, nullptr, 0);
  return frame->buf[0] != nullptr;
}

int BandCount(int height) { return (height + kBandRows - 1) / kBandRows; }
}  // namespace

TFrameConverter::TFrameConverter() = default;

TFrameConverter::~TFrameConverter() {
  Reset();
  if (srcFrame_) FF.av_frame_free(&srcFrame_);
  if (dstFrame_) FF.av_frame_free(&dstFrame_);
  if (drawn_) FF.av_frame_free(&drawn_);
}

void TFrameConverter::Reset() {
  bitmap_.reset();
  if (buffer_) FF.av_free(buffer_);
  buffer_ = nullptr;
  bufferSize_ = 0;
  bufferPic_ = TPicture();
  last_ = TPicture();
  pending_ = TPicture();
  if (drawn_) FF.av_frame_unref(drawn_);
  if (pool_) FF.av_buffer_pool_uninit(&pool_);
  poolSize_ = 0;
  FreeScaler(toRGB_);
  FreeScaler(fromRGB_);
}

TFrameConverter::TPicture TFrameConverter::Picture(std::uint8_t* const data[4],
                                                   const int linesize[4], AVPixelFormat format,
                                                   int width, int height) {
  TPicture pic;
  for (int i = 0; i < 4; ++i) {
    pic.data[i] = data[i];
    pic.linesize[i] = linesize[i];
  }
  pic.format = format;
  pic.width = width;
  pic.height = height;
  return pic;
}

bool TFrameConverter::IsPlanar420(const TPicture& pic) { return pic.format == AV_PIX_FMT_YUV420P; }

void TFrameConverter::FreeScaler(TScaler& s) {
  if (s.Ctx) FF.sws_freeContext(s.Ctx);
  s = TScaler();
}

SwsContext* TFrameConverter::Scaler(TScaler& s, const TPicture& src, int dstW, int dstH,
                                    AVPixelFormat dstFormat, int threads) {
  if (s.Ctx && s.SrcW == src.width && s.SrcH == src.height && s.SrcFormat == src.format &&
      s.DstW == dstW && s.DstH == dstH && s.DstFormat == dstFormat)
    return s.Ctx;
  FreeScaler(s);
  SwsContext* ctx = FF.sws_alloc_context();
  if (!ctx) return nullptr;
  FF.av_opt_set_int(ctx, "srcw", src.width, 0);
  FF.av_opt_set_int(ctx, "srch", src.height, 0);
  FF.av_opt_set_int(ctx, "src_format", src.format, 0);
  FF.av_opt_set_int(ctx, "dstw", dstW, 0);
  FF.av_opt_set_int(ctx, "dsth", dstH, 0);
  FF.av_opt_set_int(ctx, "dst_format", dstFormat, 0);
  FF.av_opt_set_int(ctx, "sws_flags", SWS_BICUBIC, 0);
  FF.av_opt_set_int(ctx, "threads", threads, 0);
  if (FF.sws_init_context(ctx, nullptr, nullptr) < 0) {
    FF.sws_freeContext(ctx);
    return nullptr;
  }
  s = TScaler{ctx, src.width, src.height, dstW, dstH, src.format, dstFormat};
  return ctx;
}

bool TFrameConverter::Scale(SwsContext* ctx, const TPicture& src, const TPicture& dst) {
  if (!srcFrame_) srcFrame_ = FF.av_frame_alloc();
  if (!dstFrame_) dstFrame_ = FF.av_frame_alloc();
  if (!srcFrame_ || !dstFrame_) return false;
  bool ok = Wrap(srcFrame_, src.data, src.linesize, src.format, src.width, src.height) &&
            Wrap(dstFrame_, dst.data, dst.linesize, dst.format, dst.width, dst.height) &&
            FF.sws_scale_frame(ctx, dstFrame_, srcFrame_) >= 0;
  FF.av_frame_unref(srcFrame_);
  FF.av_frame_unref(dstFrame_);
  return ok;
}

bool TFrameConverter::EnsureBuffer(int width, int height) {
  const int needed = FF.av_image_get_buffer_size(TargetFormat, width, height, kBufferAlign);
  if (needed < 0) return false;
  if (needed > bufferSize_) {  // grown only: sizes rarely shrink for long
    if (buffer_) FF.av_free(buffer_);
    buffer_ = static_cast<std::uint8_t*>(FF.av_malloc(size_t(needed)));
    bufferSize_ = buffer_ ? needed : 0;
    if (!buffer_) return false;
  }
  bufferPic_.format = TargetFormat;
  bufferPic_.width = width;
  bufferPic_.height = height;
  return FF.av_image_fill_arrays(bufferPic_.data, bufferPic_.linesize, buffer_, TargetFormat, width,
                                 height, kBufferAlign) >= 0;
}

bool TFrameConverter::IsDirectCopy(const TPicture& pic) const {
  return pic.format == TargetFormat && pic.width % 2 == 0 && pic.height % 2 == 0 &&
         pic.width == bitmap_->Width() && pic.height == bitmap_->Height() &&
         pic.linesize[0] == bitmap_->RowSize();
}

// The scaler's vector code works on 16 pixels at a time on rows that start
// on a 16-byte boundary; such rows need no intermediate buffer.
bool TFrameConverter::RowsSuitScaler(const TBitmap::TRows& rows) {
  return rows.Width % 16 == 0 && rows.Stride % 16 == 0 &&
         reinterpret_cast<std::uintptr_t>(rows.First) % 16 == 0;
}

TFrameConverter::TPicture TFrameConverter::RowsPicture(const TBitmap::TRows& rows, int height) {
  TPicture pic;
  pic.data[0] = rows.First;
  pic.linesize[0] = int(rows.Stride);
  pic.format = TargetFormat;
  pic.width = rows.Width;
  pic.height = height;
  return pic;
}

void TFrameConverter::CopyRows(const std::uint8_t* src, int srcLinesize,
                               const TBitmap::TRows& rows) {
  const size_t rowBytes = size_t(rows.Width) * 3;
  for (int y = 0; y < rows.Count; ++y)
    std::memcpy(rows.Row(y), src + ptrdiff_t(y) * srcLinesize, rowBytes);
}

void TFrameConverter::CopyRowsOut(const TBitmap::TRows& rows, std::uint8_t* dst, int dstLinesize) {
  const size_t rowBytes = size_t(rows.Width) * 3;
  for (int y = 0; y < rows.Count; ++y)
    std::memcpy(dst + ptrdiff_t(y) * dstLinesize, rows.Row(y), rowBytes);
}

// ---- planar 4:2:0 pictures, band by band ----

// `first` is even: bands and row pairs start on even rows.
void TFrameConverter::PlanarToRows(const TPicture& pic, const TBitmap::TRows& rows, int first) {
  for (int i = 0; i < rows.Count; i += 2) {
    const int y = first + i;
    const bool pair = i + 1 < rows.Count;
    const std::uint8_t* luma = pic.data[0] + ptrdiff_t(y) * pic.linesize[0];
    yuv_rows::ToBgr({luma, pair ? luma + pic.linesize[0] : luma,
                     pic.data[1] + ptrdiff_t(y / 2) * pic.linesize[1],
                     pic.data[2] + ptrdiff_t(y / 2) * pic.linesize[2], rows.Row(i),
                     rows.Row(pair ? i + 1 : i), pic.width});
  }
}

void TFrameConverter::RowsToPlanar(const TBitmap::TRows& rows, int first, const TPicture& pic) {
  for (int i = 0; i < rows.Count; i += 2) {
    const int y = first + i;
    const bool pair = i + 1 < rows.Count;
    std::uint8_t* luma = pic.data[0] + ptrdiff_t(y) * pic.linesize[0];
    yuv_rows::FromBgr({rows.Row(i), rows.Row(pair ? i + 1 : i), luma,
                       pair ? luma + pic.linesize[0] : luma,
                       pic.data[1] + ptrdiff_t(y / 2) * pic.linesize[1],
                       pic.data[2] + ptrdiff_t(y / 2) * pic.linesize[2], pic.width});
  }
}

void TFrameConverter::ConvertPlanar(const TPicture& pic, const TBitmap::TRows& rows) {
  RunBands(BandCount(rows.Count), [&](int band) {
    const int first = band * kBandRows;
    TBitmap::TRows part = rows;
    part.First = rows.Row(first);
    part.Count = std::min(kBandRows, rows.Count - first);
    PlanarToRows(pic, part, first);
  });
}

void TFrameConverter::PlanarFromBitmap(const TPicture& pic) {
  const TBitmap& bmp = *bitmap_;
  bmp.Bits();  // fills what is still deferred
  RunBands(BandCount(bmp.Height()), [&](int band) {
    const int first = band * kBandRows;
    const TBitmap::TRows part{const_cast<std::uint8_t*>(bmp.ScanLine(first)), bmp.RowSize(),
                              bmp.Width(), std::min(kBandRows, bmp.Height() - first)};
    RowsToPlanar(part, first, pic);
  });
}

// ---- to the bitmap ----

bool TFrameConverter::ToBitmap(const AVFrame* frame) {
  if (!frame) return false;
  return ToBitmap(frame->data, frame->linesize, AVPixelFormat(frame->format), frame->width,
                  frame->height);
}

bool TFrameConverter::ToBitmap(std::uint8_t* const data[4], const int linesize[4],
                               AVPixelFormat format, int width, int height) {
  last_ = TPicture();
  if (!data || !data[0] || width <= 0 || height <= 0 || format == AV_PIX_FMT_NONE) return false;
  const TPicture pic = Picture(data, linesize, format, width, height);
  if (!bitmap_) bitmap_ = std::make_unique<TBitmap>();
  std::lock_guard canvas(bitmap_->Canvas());
  if (!Prepare(pic) || !Convert(pic, bitmap_->AllRows())) return false;
  last_ = pic;
  return true;
}

// Sizes the bitmap and makes the scaler context the picture needs.
bool TFrameConverter::Prepare(const TPicture& pic) {
  if (bitmap_->Width() != pic.width || bitmap_->Height() != pic.height)
    bitmap_->SetSize(pic.width, pic.height);
  bitmap_->CancelFill();
  if (IsPlanar420(pic) || IsDirectCopy(pic)) return true;
  return Scaler(toRGB_, pic, pic.width, pic.height, TargetFormat,
                ThreadsFor(pic.width, pic.height)) != nullptr;
}

// Fills the bitmap rows from the picture; Prepare() came first.
bool TFrameConverter::Convert(const TPicture& pic, const TBitmap::TRows& rows) {
  if (IsPlanar420(pic)) {
    ConvertPlanar(pic, rows);
    return true;
  }
  if (IsDirectCopy(pic)) {
    CopyRows(pic.data[0], pic.linesize[0], rows);
    return true;
  }
  if (RowsSuitScaler(rows)) return Scale(toRGB_.Ctx, pic, RowsPicture(rows, rows.Count));
  if (!EnsureBuffer(pic.width, pic.height) || !Scale(toRGB_.Ctx, pic, bufferPic_)) return false;
  CopyRows(bufferPic_.data[0], bufferPic_.linesize[0], rows);
  return true;
}

// ---- on demand ----

bool TFrameConverter::ToBitmapOnDemand(const AVFrame* frame) {
  last_ = TPicture();
  pending_ = TPicture();
  if (drawn_) FF.av_frame_unref(drawn_);
  if (!frame || !frame->data[0] || frame->width <= 0 || frame->height <= 0 || frame->format < 0)
    return false;
  const TPicture pic = Picture(frame->data, frame->linesize, AVPixelFormat(frame->format),
                               frame->width, frame->height);
  if (!bitmap_) bitmap_ = std::make_unique<TBitmap>();
  std::lock_guard canvas(bitmap_->Canvas());
  if (!Prepare(pic)) return false;
  pending_ = pic;
  pendingFailed_ = false;
  last_ = pic;
  // Without a picture to draw into, drawn bands wait for ReplaceWithDrawing.
  if (IsPlanar420(pic)) StartDrawnPicture();
  bitmap_->DeferFill(this);
  return true;
}

int TFrameConverter::BandRows() const { return IsPlanar420(pending_) ? kBandRows : INT_MAX; }

void TFrameConverter::FillRows(const TBitmap::TRows& rows, int firstRow) {
  if (IsPlanar420(pending_)) {
    PlanarToRows(pending_, rows, firstRow);
  } else if (!Convert(pending_, rows)) {
    pendingFailed_ = true;
  }
}

bool TFrameConverter::TakeRows(const TBitmap::TRows& rows, int firstRow) {
  if (!IsPlanar420(pending_) || !drawn_ || !drawn_->buf[0]) return false;
  TPicture out =
      Picture(drawn_->data, drawn_->linesize, AV_PIX_FMT_YUV420P, drawn_->width, drawn_->height);
  RowsToPlanar(rows, firstRow, out);
  return true;
}

void TFrameConverter::RunBands(int count, const std::function<void(int)>& job) {
  if (!bitmap_ || ThreadsFor(bitmap_->Width(), bitmap_->Height()) == 1) {
    for (int i = 0; i < count; ++i) job(i);
    return;
  }
  if (!workers_) workers_ = std::make_unique<TBandWorkers>();
  workers_->Run(count, job);
}

bool TFrameConverter::EndOnDemand() {
  if (!bitmap_) return false;
  std::lock_guard canvas(bitmap_->Canvas());
  const bool written = pending_.data[0] && !pendingFailed_ && bitmap_->Written();
  bitmap_->CancelFill();
  pending_ = TPicture();
  return written;
}

// A picture from the pool, laid out like one the decoder makes.
bool TFrameConverter::StartDrawnPicture() {
  const int size =
      FF.av_image_get_buffer_size(AV_PIX_FMT_YUV420P, last_.width, last_.height, kPlaneAlign);
  if (size < 0) return false;
  if (!pool_ || poolSize_ != size + kPlanePadding) {
    if (pool_) FF.av_buffer_pool_uninit(&pool_);
    poolSize_ = size + kPlanePadding;
    pool_ = FF.av_buffer_pool_init(size_t(poolSize_), nullptr);
    if (!pool_) return false;
  }
  if (!drawn_ && !(drawn_ = FF.av_frame_alloc())) return false;
  drawn_->buf[0] = FF.av_buffer_pool_get(pool_);
  if (!drawn_->buf[0]) return false;
  drawn_->format = AV_PIX_FMT_YUV420P;
  drawn_->width = last_.width;
  drawn_->height = last_.height;
  if (FF.av_image_fill_arrays(drawn_->data, drawn_->linesize, drawn_->buf[0]->data,
                              AV_PIX_FMT_YUV420P, last_.width, last_.height, kPlaneAlign) < 0) {
    FF.av_frame_unref(drawn_);
    return false;
  }
  return true;
}

// Converts the rows drawn since their band was taken (or never taken) and
// copies the source's rows nobody drew.
void TFrameConverter::FinishDrawnPicture() {
  const TBitmap& bmp = *bitmap_;
  const TPicture out =
      Picture(drawn_->data, drawn_->linesize, AV_PIX_FMT_YUV420P, drawn_->width, drawn_->height);
  const TPicture& src = last_;
  const int chromaBytes = (src.width + 1) / 2;
  RunBands(BandCount(bmp.Height()), [&](int band) {
    const int end = std::min(bmp.Height(), (band + 1) * kBandRows);
    for (int y = band * kBandRows; y < end; y += 2) {
      const int count = std::min(2, end - y);
      switch (bmp.RowState(y)) {
        case TBitmap::TRowState::Drawn:
          RowsToPlanar(
              {const_cast<std::uint8_t*>(bmp.ScanLine(y)), bmp.RowSize(), bmp.Width(), count}, y,
              out);
          break;
        case TBitmap::TRowState::Untouched:
          for (int r = y; r < y + count; ++r)
            std::memcpy(out.data[0] + ptrdiff_t(r) * out.linesize[0],
                        src.data[0] + ptrdiff_t(r) * src.linesize[0], size_t(src.width));
          for (int p = 1; p < 3; ++p)
            std::memcpy(out.data[p] + ptrdiff_t(y / 2) * out.linesize[p],
                        src.data[p] + ptrdiff_t(y / 2) * src.linesize[p], size_t(chromaBytes));
          break;
        case TBitmap::TRowState::Taken: break;
      }
    }
  });
}

bool TFrameConverter::ReplaceWithDrawing(AVFrame* frame) {
  if (!frame || !bitmap_ || !last_.data[0] || frame->data[0] != last_.data[0]) return false;
  if (!IsPlanar420(last_) || !drawn_ || !drawn_->buf[0]) return ReplaceThroughScaler(frame);
  {
    std::lock_guard canvas(bitmap_->Canvas());
    if (bitmap_->Width() != last_.width || bitmap_->Height() != last_.height) return false;
    FinishDrawnPicture();
  }
  if (FF.av_frame_copy_props(drawn_, frame) < 0) return false;
  FF.av_frame_unref(frame);
  FF.av_frame_move_ref(frame, drawn_);
  return true;
}

bool TFrameConverter::ReplaceThroughScaler(AVFrame* frame) {
  AVFrame* fresh = FF.av_frame_alloc();
  if (!fresh) return false;
  fresh->format = frame->format;
  fresh->width = frame->width;
  fresh->height = frame->height;
  const bool ok = FF.av_frame_get_buffer(fresh, 0) >= 0 && FromBitmap(fresh) &&
                  FF.av_frame_copy_props(fresh, frame) >= 0;
  if (ok) {
    FF.av_frame_unref(frame);
    FF.av_frame_move_ref(frame, fresh);
  }
  FF.av_frame_free(&fresh);
  return ok;
}

// ---- back into pictures ----

bool TFrameConverter::FromBitmap() {
  if (!last_.data[0]) return false;
  return FromBitmap(last_.data, last_.linesize, last_.format, last_.width, last_.height);
}

bool TFrameConverter::FromBitmap(AVFrame* frame) {
  if (!frame) return false;
  return FromBitmap(frame->data, frame->linesize, AVPixelFormat(frame->format), frame->width,
                    frame->height);
}

bool TFrameConverter::FromBitmap(std::uint8_t* const data[4], const int linesize[4],
                                 AVPixelFormat format, int width, int height) {
  if (!bitmap_ || !data || !data[0] || width <= 0 || height <= 0 || format == AV_PIX_FMT_NONE)
    return false;
  std::lock_guard canvas(bitmap_->Canvas());
  const TBitmap& bmp = *bitmap_;
  if (bmp.Empty()) return false;
  const TPicture pic = Picture(data, linesize, format, width, height);

  // A picture last converted that the bitmap no longer matches in size would
  // be written with rows of the wrong length.
  const bool sameSize = bmp.Width() == width && bmp.Height() == height;
  if (data[0] == last_.data[0] && !sameSize) return false;

  const TBitmap::TRows rows{const_cast<std::uint8_t*>(bmp.Bits()), bmp.RowSize(), bmp.Width(),
                            bmp.Height()};
  if (format == TargetFormat && sameSize) {
    CopyRowsOut(rows, pic.data[0], pic.linesize[0]);
    return true;
  }
  if (IsPlanar420(pic) && sameSize) {
    PlanarFromBitmap(pic);
    return true;
  }
  const TPicture source = RowsPicture(rows, rows.Count);
  if (!Scaler(fromRGB_, source, width, height, format, 1)) return false;
  if (RowsSuitScaler(rows)) return Scale(fromRGB_.Ctx, source, pic);
  if (!EnsureBuffer(rows.Width, rows.Count)) return false;
  CopyRowsOut(rows, bufferPic_.data[0], bufferPic_.linesize[0]);
  return Scale(fromRGB_.Ctx, bufferPic_, pic);
}
