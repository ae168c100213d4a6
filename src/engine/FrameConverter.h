// TFrameConverter: decoded pictures to 24-bit frame bitmaps and back.
//
// The converter's hook and preview paths, the probe and the player turn each
// picture into a TBitmap (blue-green-red) for drawing, and the hook path
// writes what the handler drew back into a picture. A BGR picture laid out
// like the bitmap is copied directly; any other picture is scaled (same size,
// bicubic) with cached scaler contexts, so that a stream of same-sized
// pictures costs no set-up. The scaler writes straight into the bitmap's rows
// (and reads straight from them on the way back) when they are laid out the
// way its vector code wants; otherwise an intermediate buffer is used.
// Large pictures are turned into bitmaps on several threads (the scaler's own
// slice threads, which give the same pixels as one thread); the way back runs
// on one thread, because sliced conversion to subsampled chroma differs at
// the slice seams.
//
// On demand: ToBitmapOnDemand() sizes the bitmap and defers the conversion
// until somebody reaches its pixels (TBitmap::DeferFill); EndOnDemand() says
// whether they were written. A hook handler that leaves the picture alone
// thus costs no conversion either way.
//
// Owns the bitmap (made on first use), the intermediate buffer and both
// scaler contexts. It remembers the last source picture by address only:
// FromBitmap() needs that picture still alive and writable.
// Threads: one thread at a time (the owner's worker). While it writes the
// bitmap it holds the bitmap's Canvas() lock, so another thread may copy the
// bitmap under the same lock; a deferred fill runs under the lock of whoever
// reaches the pixels.
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

  // Makes the bitmap the size of the picture and defers filling it until its
  // pixels are reached. `frame` must stay alive and unchanged until
  // EndOnDemand(). False as for ToBitmap.
  bool ToBitmapOnDemand(const AVFrame* frame);
  // Ends an on-demand hand-out: drops the fill when nobody reached the
  // pixels. True when the pixels were written after the fill.
  bool EndOnDemand();

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
  struct TScaler {
    SwsContext* Ctx = nullptr;
    int SrcW = 0, SrcH = 0, DstW = 0, DstH = 0;
    AVPixelFormat SrcFormat = AV_PIX_FMT_NONE, DstFormat = AV_PIX_FMT_NONE;
  };

  static TPicture Picture(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format, int width,
                          int height);
  bool Prepare(const TPicture& pic);
  bool Convert(const TPicture& pic);
  static void FillDeferred(void* self, TBitmap& bitmap);
  bool EnsureBuffer(int width, int height);
  bool IsDirectCopy(const TPicture& pic) const;
  bool RowsSuitScaler() const;
  TPicture BitmapPicture() const;
  void CopyRowsToBitmap(const std::uint8_t* src, int srcLinesize);
  void CopyRowsFromBitmap(std::uint8_t* dst, int dstLinesize) const;
  static SwsContext* Scaler(TScaler& s, const TPicture& src, int dstW, int dstH, AVPixelFormat dstFormat,
                            int threads);
  static void FreeScaler(TScaler& s);
  bool Scale(SwsContext* ctx, const TPicture& src, const TPicture& dst);

  std::unique_ptr<TBitmap> bitmap_;
  std::uint8_t* buffer_ = nullptr;  // media-library memory
  int bufferSize_ = 0;
  TPicture bufferPic_;  // the buffer as a BGR picture of the bitmap's size
  TPicture last_;       // the picture last converted (not owned)
  TPicture pending_;    // the picture of a deferred fill
  bool pendingFailed_ = false;
  TScaler toRGB_;
  TScaler fromRGB_;
  AVFrame* srcFrame_ = nullptr;  // wrappers handed to the scaler
  AVFrame* dstFrame_ = nullptr;
};
