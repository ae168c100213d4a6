// TFrameConverter: decoded pictures to 24-bit frame bitmaps and back.
//
// The converter's hook and preview paths, the probe and the player turn each
// picture into a TBitmap (blue-green-red) for drawing, and the hook path
// writes what the handler drew back into the source picture. A BGR picture
// laid out like the bitmap is copied directly; any other picture is scaled
// (same size, bicubic) through an intermediate buffer with cached scaler
// contexts, so that a stream of same-sized pictures costs no set-up.
//
// Owns the bitmap (made on first use), the intermediate buffer and both
// scaler contexts. It remembers the last source picture by address only:
// FromBitmap() needs that picture still alive and writable.
// Threads: one thread at a time (the owner's worker). While it writes the
// bitmap it holds the bitmap's Canvas() lock, so another thread may copy the
// bitmap under the same lock.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/FrameBitmap.h"

extern "C" {
#include <libavutil/pixfmt.h>
struct AVFrame;
struct SwsContext;
}

class TFrameConverter {
 public:
  TFrameConverter();
  ~TFrameConverter();
  TFrameConverter(const TFrameConverter&) = delete;
  TFrameConverter& operator=(const TFrameConverter&) = delete;

  // Frees the bitmap, the buffer and the scaler contexts.
  void Reset();

  // Makes the bitmap the size of the picture and fills it. False (bitmap
  // content undefined) for an empty picture or one the scaler cannot read.
  bool ToBitmap(const AVFrame* frame);
  bool ToBitmap(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format, int width,
                int height);

  // Writes the bitmap back into the picture last passed to ToBitmap. False
  // when there is none or the bitmap no longer has its size.
  bool FromBitmap();
  // Writes the bitmap into another picture, scaling to its size and format.
  bool FromBitmap(AVFrame* frame);
  bool FromBitmap(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format, int width,
                  int height);

  // The bitmap of the last ToBitmap; nullptr before the first one.
  TBitmap* Bitmap() const { return bitmap_.get(); }

  static constexpr AVPixelFormat TargetFormat = AV_PIX_FMT_BGR24;

 private:
  struct TPicture {
    std::uint8_t* data[4] = {};
    int linesize[4] = {};
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;
  };

  bool EnsureBuffer(int width, int height);
  bool IsDirectCopy(const TPicture& pic) const;
  void CopyRowsToBitmap(const std::uint8_t* src, int srcLinesize);
  void CopyRowsFromBitmap(std::uint8_t* dst, int dstLinesize) const;

  std::unique_ptr<TBitmap> bitmap_;
  std::uint8_t* buffer_ = nullptr;  // media-library memory
  int bufferSize_ = 0;
  TPicture bufferPic_;  // the buffer as a BGR picture of the bitmap's size
  TPicture last_;       // the picture last converted (not owned)
  SwsContext* toRGB_ = nullptr;
  SwsContext* fromRGB_ = nullptr;
};
