#include "engine/FrameConverter.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "engine/FFmpegApi.h"

namespace {
// The buffer's rows start on this boundary, which the scaler's vector code likes.
constexpr int kBufferAlign = 32;
// Below this many pixels a second thread costs more than it saves.
constexpr int kThreadedPixels = 640 * 360;
constexpr int kMaxThreads = 4;

void KeepMemory(void*, std::uint8_t*) {}

int ThreadsFor(int width, int height) {
  if (width * std::int64_t(height) < kThreadedPixels) return 1;
  return int(std::clamp(std::thread::hardware_concurrency(), 1u, unsigned(kMaxThreads)));
}

// Points `frame` at the picture without copying; the scaler wants counted
// buffers, so the memory is wrapped in one that never frees it.
bool Wrap(AVFrame* frame, std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format, int width,
          int height) {
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
}  // namespace

TFrameConverter::TFrameConverter() = default;

TFrameConverter::~TFrameConverter() {
  Reset();
  if (srcFrame_) FF.av_frame_free(&srcFrame_);
  if (dstFrame_) FF.av_frame_free(&dstFrame_);
}

void TFrameConverter::Reset() {
  bitmap_.reset();
  if (buffer_) FF.av_free(buffer_);
  buffer_ = nullptr;
  bufferSize_ = 0;
  bufferPic_ = TPicture();
  last_ = TPicture();
  pending_ = TPicture();
  FreeScaler(toRGB_);
  FreeScaler(fromRGB_);
}

TFrameConverter::TPicture TFrameConverter::Picture(std::uint8_t* const data[4], const int linesize[4],
                                                   AVPixelFormat format, int width, int height) {
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

void TFrameConverter::FreeScaler(TScaler& s) {
  if (s.Ctx) FF.sws_freeContext(s.Ctx);
  s = TScaler();
}

SwsContext* TFrameConverter::Scaler(TScaler& s, const TPicture& src, int dstW, int dstH, AVPixelFormat dstFormat,
                                    int threads) {
  if (s.Ctx && s.SrcW == src.width && s.SrcH == src.height && s.SrcFormat == src.format && s.DstW == dstW &&
      s.DstH == dstH && s.DstFormat == dstFormat)
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
  return FF.av_image_fill_arrays(bufferPic_.data, bufferPic_.linesize, buffer_, TargetFormat, width, height,
                                 kBufferAlign) >= 0;
}

bool TFrameConverter::IsDirectCopy(const TPicture& pic) const {
  return pic.format == TargetFormat && pic.width % 2 == 0 && pic.height % 2 == 0 &&
         pic.width == bitmap_->Width() && pic.height == bitmap_->Height() &&
         pic.linesize[0] == bitmap_->RowSize();
}

// The scaler's vector code works on 16 pixels at a time on rows that start
// on a 16-byte boundary; such rows need no intermediate buffer.
bool TFrameConverter::RowsSuitScaler() const {
  const TBitmap& bmp = *bitmap_;
  return bmp.Width() % 16 == 0 && bmp.RowSize() % 16 == 0 &&
         reinterpret_cast<std::uintptr_t>(bmp.Bits()) % 16 == 0;
}

TFrameConverter::TPicture TFrameConverter::BitmapPicture() const {
  TPicture pic;
  pic.data[0] = bitmap_->ScanLine(0);
  pic.linesize[0] = bitmap_->RowSize();
  pic.format = TargetFormat;
  pic.width = bitmap_->Width();
  pic.height = bitmap_->Height();
  return pic;
}

void TFrameConverter::CopyRowsToBitmap(const std::uint8_t* src, int srcLinesize) {
  const size_t rowBytes = size_t(bitmap_->Width()) * 3;
  for (int y = 0; y < bitmap_->Height(); ++y)
    std::memcpy(bitmap_->ScanLine(y), src + ptrdiff_t(y) * srcLinesize, rowBytes);
}

void TFrameConverter::CopyRowsFromBitmap(std::uint8_t* dst, int dstLinesize) const {
  const TBitmap& bmp = *bitmap_;
  const size_t rowBytes = size_t(bmp.Width()) * 3;
  for (int y = 0; y < bmp.Height(); ++y) std::memcpy(dst + ptrdiff_t(y) * dstLinesize, bmp.ScanLine(y), rowBytes);
}

bool TFrameConverter::ToBitmap(const AVFrame* frame) {
  if (!frame) return false;
  return ToBitmap(frame->data, frame->linesize, AVPixelFormat(frame->format), frame->width, frame->height);
}

bool TFrameConverter::ToBitmap(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format,
                               int width, int height) {
  last_ = TPicture();
  if (!data || !data[0] || width <= 0 || height <= 0 || format == AV_PIX_FMT_NONE) return false;
  const TPicture pic = Picture(data, linesize, format, width, height);
  if (!bitmap_) bitmap_ = std::make_unique<TBitmap>();
  std::lock_guard canvas(bitmap_->Canvas());
  if (!Prepare(pic) || !Convert(pic)) return false;
  last_ = pic;
  return true;
}

// Sizes the bitmap and makes the scaler context the picture needs.
bool TFrameConverter::Prepare(const TPicture& pic) {
  if (bitmap_->Width() != pic.width || bitmap_->Height() != pic.height) bitmap_->SetSize(pic.width, pic.height);
  bitmap_->CancelFill();
  if (IsDirectCopy(pic)) return true;
  return Scaler(toRGB_, pic, pic.width, pic.height, TargetFormat, ThreadsFor(pic.width, pic.height)) != nullptr;
}

// Fills the bitmap from the picture; Prepare() came first.
bool TFrameConverter::Convert(const TPicture& pic) {
  if (IsDirectCopy(pic)) {
    CopyRowsToBitmap(pic.data[0], pic.linesize[0]);
    return true;
  }
  if (RowsSuitScaler()) return Scale(toRGB_.Ctx, pic, BitmapPicture());
  if (!EnsureBuffer(pic.width, pic.height) || !Scale(toRGB_.Ctx, pic, bufferPic_)) return false;
  CopyRowsToBitmap(bufferPic_.data[0], bufferPic_.linesize[0]);
  return true;
}

bool TFrameConverter::ToBitmapOnDemand(const AVFrame* frame) {
  last_ = TPicture();
  pending_ = TPicture();
  if (!frame || !frame->data[0] || frame->width <= 0 || frame->height <= 0 || frame->format < 0) return false;
  const TPicture pic =
      Picture(frame->data, frame->linesize, AVPixelFormat(frame->format), frame->width, frame->height);
  if (!bitmap_) bitmap_ = std::make_unique<TBitmap>();
  std::lock_guard canvas(bitmap_->Canvas());
  if (!Prepare(pic)) return false;
  pending_ = pic;
  pendingFailed_ = false;
  bitmap_->DeferFill(&TFrameConverter::FillDeferred, this);
  last_ = pic;
  return true;
}

void TFrameConverter::FillDeferred(void* self, TBitmap&) {
  auto* converter = static_cast<TFrameConverter*>(self);
  converter->pendingFailed_ = !converter->Convert(converter->pending_);
}

bool TFrameConverter::EndOnDemand() {
  if (!bitmap_) return false;
  std::lock_guard canvas(bitmap_->Canvas());
  const bool filled = !bitmap_->FillPending() && pending_.data[0];
  bitmap_->CancelFill();
  pending_ = TPicture();
  return filled && !pendingFailed_ && bitmap_->Written();
}

bool TFrameConverter::FromBitmap() {
  if (!last_.data[0]) return false;
  return FromBitmap(last_.data, last_.linesize, last_.format, last_.width, last_.height);
}

bool TFrameConverter::FromBitmap(AVFrame* frame) {
  if (!frame) return false;
  return FromBitmap(frame->data, frame->linesize, AVPixelFormat(frame->format), frame->width, frame->height);
}

bool TFrameConverter::FromBitmap(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format,
                                 int width, int height) {
  if (!bitmap_ || !data || !data[0] || width <= 0 || height <= 0 || format == AV_PIX_FMT_NONE) return false;
  std::lock_guard canvas(bitmap_->Canvas());
  if (bitmap_->Empty()) return false;
  const TPicture pic = Picture(data, linesize, format, width, height);

  // A picture last converted that the bitmap no longer matches in size would
  // be written with rows of the wrong length.
  if (data[0] == last_.data[0] && (bitmap_->Width() != width || bitmap_->Height() != height)) return false;

  if (format == TargetFormat && width == bitmap_->Width() && height == bitmap_->Height()) {
    CopyRowsFromBitmap(pic.data[0], pic.linesize[0]);
    return true;
  }
  const TPicture rows = BitmapPicture();
  if (!Scaler(fromRGB_, rows, width, height, format, 1)) return false;
  if (RowsSuitScaler()) return Scale(fromRGB_.Ctx, rows, pic);
  if (!EnsureBuffer(rows.width, rows.height)) return false;
  CopyRowsFromBitmap(bufferPic_.data[0], bufferPic_.linesize[0]);
  return Scale(fromRGB_.Ctx, bufferPic_, pic);
}
