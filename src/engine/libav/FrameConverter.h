// TFrameConverter: decoded pictures to 24-bit frame bitmaps and back.
//
// The converter's hook and preview paths, the probe and the player turn each
// picture into a TBitmap (blue-green-red) for drawing, and the hook path
// writes what the handler drew back into a picture. Planar 4:2:0 pictures,
// what decoders deliver, are converted by the exact row routines of
// YuvRows.h in bands of rows spread over the processors; every band gives
// the same pixels on any thread. A BGR picture laid out like the bitmap is
// copied directly; any other picture is scaled (same size, bicubic) with
// cached scaler contexts, on one thread for the way back.
//
// On demand: ToBitmapOnDemand() sizes the bitmap and defers the conversion
// (TBitmap::DeferFill): a band of rows is converted when somebody reaches
// it. A band pass over the bitmap (TBitmap::TransformRows) hands each band
// back to the converter as soon as it is drawn, while it is in cache, into
// a new picture from the converter's pool. EndOnDemand() says whether
// anything was drawn; ReplaceWithDrawing() then completes that picture,
// converting the rows drawn since and copying every row nobody drew from
// the source, so pixels a handler left alone keep their decoded values.
//
// Owns the bitmap (made on first use), the band helper threads, the picture
// pool and the picture being drawn, the intermediate buffer and both scaler
// contexts. It remembers the last source picture by address only:
// FromBitmap() and ReplaceWithDrawing() need it still alive and unchanged.
// Threads: one thread at a time (the owner's worker), which lends the band
// helpers for fills and band passes. While it writes the bitmap it holds
// the bitmap's Canvas() lock, so another thread may copy the bitmap under
// the same lock; a deferred fill runs under the lock of whoever reaches the
// pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/libav/FrameBitmap.h"

extern "C" {
#include <libavutil/pixfmt.h>
struct AVBufferPool;
struct AVFrame;
struct SwsContext;
}

class TBandWorkers;

class TFrameConverter : private TBitmap::TSource {
 public:
  TFrameConverter();
  ~TFrameConverter();
  TFrameConverter(const TFrameConverter&) = delete;
  TFrameConverter& operator=(const TFrameConverter&) = delete;

  // Frees the bitmap, the pictures, the buffer and the scaler contexts.
  void Reset();

  // Makes the bitmap the size of the picture and fills it. False (bitmap
  // content undefined) for an empty picture or one the scaler cannot read.
  bool ToBitmap(const AVFrame* frame);
  bool ToBitmap(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format, int width,
                int height);

  // Makes the bitmap the size of the picture and defers filling it until its
  // pixels are reached. `frame` must stay alive and unchanged until
  // ReplaceWithDrawing() or the next hand-out. False as for ToBitmap.
  bool ToBitmapOnDemand(const AVFrame* frame);
  // Ends an on-demand hand-out: drops the fill of rows nobody reached. True
  // when any row was drawn.
  bool EndOnDemand();
  // After a hand-out that drew: gives `frame` (the picture handed out) a new
  // picture of its size and format with the drawing, keeping its
  // properties. False, `frame` unchanged, when the bitmap no longer has the
  // picture's size or memory runs out.
  bool ReplaceWithDrawing(AVFrame* frame);

  // Writes the bitmap back into the picture last passed to ToBitmap. False
  // when there is none or the bitmap no longer has its size.
  bool FromBitmap();
  // Writes the bitmap into another picture, scaling to its size and format.
  bool FromBitmap(AVFrame* frame);
  bool FromBitmap(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format,
                  int width, int height);

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

  // TBitmap::TSource, for on-demand hand-outs.
  int BandRows() const override;
  void FillRows(const TBitmap::TRows& rows, int firstRow) override;
  bool TakeRows(const TBitmap::TRows& rows, int firstRow) override;
  void RunBands(int count, const std::function<void(int)>& job) override;

  static TPicture Picture(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format,
                          int width, int height);
  static bool IsPlanar420(const TPicture& pic);
  bool Prepare(const TPicture& pic);
  bool Convert(const TPicture& pic, const TBitmap::TRows& rows);
  // Rows [first, first + count) of a 4:2:0 picture and the bitmap rows.
  static void PlanarToRows(const TPicture& pic, const TBitmap::TRows& rows, int first);
  static void RowsToPlanar(const TBitmap::TRows& rows, int first, const TPicture& pic);
  void ConvertPlanar(const TPicture& pic, const TBitmap::TRows& rows);
  void PlanarFromBitmap(const TPicture& pic);
  bool StartDrawnPicture();
  void FinishDrawnPicture();
  bool ReplaceThroughScaler(AVFrame* frame);
  bool EnsureBuffer(int width, int height);
  bool IsDirectCopy(const TPicture& pic) const;
  static bool RowsSuitScaler(const TBitmap::TRows& rows);
  static TPicture RowsPicture(const TBitmap::TRows& rows, int height);
  static void CopyRows(const std::uint8_t* src, int srcLinesize, const TBitmap::TRows& rows);
  static void CopyRowsOut(const TBitmap::TRows& rows, std::uint8_t* dst, int dstLinesize);
  static SwsContext* Scaler(TScaler& s, const TPicture& src, int dstW, int dstH,
                            AVPixelFormat dstFormat, int threads);
  static void FreeScaler(TScaler& s);
  bool Scale(SwsContext* ctx, const TPicture& src, const TPicture& dst);

  std::unique_ptr<TBitmap> bitmap_;
  std::unique_ptr<TBandWorkers> workers_;  // made on first use
  std::uint8_t* buffer_ = nullptr;         // media-library memory
  int bufferSize_ = 0;
  TPicture bufferPic_;  // the buffer as a BGR picture of the bitmap's size
  TPicture last_;       // the picture last converted (not owned)
  TPicture pending_;    // the picture of a deferred fill
  bool pendingFailed_ = false;
  AVFrame* drawn_ = nullptr;      // the picture being drawn (planar 4:2:0 hand-outs)
  AVBufferPool* pool_ = nullptr;  // buffers of drawn_, poolSize_ bytes each
  int poolSize_ = 0;
  TScaler toRGB_;
  TScaler fromRGB_;
  AVFrame* srcFrame_ = nullptr;  // wrappers handed to the scaler
  AVFrame* dstFrame_ = nullptr;
};
