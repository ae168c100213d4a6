#include "engine/FrameConverter.h"

#include <cstring>

#include "engine/FFmpegApi.h"

namespace {
// The buffer's rows start on this boundary, which the scaler's vector code likes.
constexpr int kBufferAlign = 32;
}  // namespace

TFrameConverter::TFrameConverter() = default;

TFrameConverter::~TFrameConverter() { Reset(); }

void TFrameConverter::Reset() {
  bitmap_.reset();
  if (buffer_) FF.av_free(buffer_);
  buffer_ = nullptr;
  bufferSize_ = 0;
  bufferPic_ = TPicture();
  last_ = TPicture();
  if (toRGB_) FF.sws_freeContext(toRGB_);
  if (fromRGB_) FF.sws_freeContext(fromRGB_);
  toRGB_ = fromRGB_ = nullptr;
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

void TFrameConverter::CopyRowsToBitmap(const std::uint8_t* src, int srcLinesize) {
  const size_t rowBytes = size_t(bitmap_->Width()) * 3;
  for (int y = 0; y < bitmap_->Height(); ++y)
    std::memcpy(bitmap_->ScanLine(y), src + ptrdiff_t(y) * srcLinesize, rowBytes);
}

void TFrameConverter::CopyRowsFromBitmap(std::uint8_t* dst, int dstLinesize) const {
  const size_t rowBytes = size_t(bitmap_->Width()) * 3;
  for (int y = 0; y < bitmap_->Height(); ++y)
    std::memcpy(dst + ptrdiff_t(y) * dstLinesize, bitmap_->ScanLine(y), rowBytes);
}

bool TFrameConverter::ToBitmap(const AVFrame* frame) {
  if (!frame) return false;
  return ToBitmap(frame->data, frame->linesize, AVPixelFormat(frame->format), frame->width, frame->height);
}

bool TFrameConverter::ToBitmap(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format,
                               int width, int height) {
  last_ = TPicture();
  if (!data || !data[0] || width <= 0 || height <= 0 || format == AV_PIX_FMT_NONE) return false;
  TPicture pic;
  for (int i = 0; i < 4; ++i) {
    pic.data[i] = data[i];
    pic.linesize[i] = linesize[i];
  }
  pic.format = format;
  pic.width = width;
  pic.height = height;

  if (!bitmap_) bitmap_ = std::make_unique<TBitmap>();
  std::lock_guard canvas(bitmap_->Canvas());
  if (bitmap_->Width() != width || bitmap_->Height() != height) bitmap_->SetSize(width, height);

  if (IsDirectCopy(pic)) {
    CopyRowsToBitmap(pic.data[0], pic.linesize[0]);
  } else {
    toRGB_ = FF.sws_getCachedContext(toRGB_, width, height, format, width, height, TargetFormat, SWS_BICUBIC,
                                     nullptr, nullptr, nullptr);
    if (!toRGB_ || !EnsureBuffer(width, height)) return false;
    FF.sws_scale(toRGB_, pic.data, pic.linesize, 0, height, bufferPic_.data, bufferPic_.linesize);
    CopyRowsToBitmap(bufferPic_.data[0], bufferPic_.linesize[0]);
  }
  last_ = pic;
  return true;
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
  TPicture pic;
  for (int i = 0; i < 4; ++i) {
    pic.data[i] = data[i];
    pic.linesize[i] = linesize[i];
  }
  pic.format = format;
  pic.width = width;
  pic.height = height;

  // A picture last converted that the bitmap no longer matches in size would
  // be written with rows of the wrong length.
  if (data[0] == last_.data[0] && (bitmap_->Width() != width || bitmap_->Height() != height)) return false;

  if (format == TargetFormat && width == bitmap_->Width() && height == bitmap_->Height()) {
    CopyRowsFromBitmap(pic.data[0], pic.linesize[0]);
    return true;
  }
  const int bw = bitmap_->Width(), bh = bitmap_->Height();
  fromRGB_ = FF.sws_getCachedContext(fromRGB_, bw, bh, TargetFormat, width, height, format, SWS_BICUBIC,
                                     nullptr, nullptr, nullptr);
  if (!fromRGB_ || !EnsureBuffer(bw, bh)) return false;
  CopyRowsFromBitmap(bufferPic_.data[0], bufferPic_.linesize[0]);
  FF.sws_scale(fromRGB_, bufferPic_.data, bufferPic_.linesize, 0, bh, pic.data, pic.linesize);
  return true;
}
