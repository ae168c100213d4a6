// TBitmap: the 24-bit frame bitmap shared by the engine, the player and the
// editing code.
//
// Pixels are blue-green-red, 3 bytes each; every row starts on a 4-byte
// boundary (RowSize() = Width*3 rounded up to 4), rows are stored top row
// first. Owns its pixel memory. Canvas(): the lock a thread holds while it
// draws on a bitmap that another thread may read. Windows view the memory as
// a QImage of Format_BGR888 without copying (same layout).
//
// Deferred pixels: an owner may hand a bitmap out before its pixels exist
// (the conversion hook does, so that a handler costs only the conversion of
// the rows it reaches). DeferFill() names a TSource that fills the bitmap
// band by band, each band on the first access to its rows (ScanLine), all
// of them on Bits(), Fill(), a copy. A fill runs under whatever lock the
// accessing thread holds, so it must not take Canvas().
//
// What was written is kept per row pair (one chroma row of a 4:2:0
// picture): a row reached through a writable accessor counts as drawn, even
// when the caller only reads it. TransformRows() runs a row-local operation
// band by band, on the source's threads, and lets the source take each
// drawn band over while it is still in cache.
//
// Threads: one thread at a time, except for the bands of TransformRows().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class TBitmap {
 public:
  // Consecutive rows of the bitmap: Count rows of Width pixels, Stride bytes
  // apart.
  struct TRows {
    std::uint8_t* First = nullptr;
    std::ptrdiff_t Stride = 0;
    int Width = 0;
    int Count = 0;
    std::uint8_t* Row(int i) const { return First + i * Stride; }
  };

  // Produces the pixels of a deferred bitmap.
  class TSource {
   public:
    // Rows per band (even). A source that can only fill the whole bitmap at
    // once answers its height or more.
    virtual int BandRows() const = 0;
    // Fills one band. Each band is filled at most once; different bands may
    // be filled on different threads at once (RunBands).
    virtual void FillRows(const TRows& rows, int firstRow) = 0;
    // A band TransformRows() has just drawn: true when the source took the
    // rows over, so that they need not be taken again unless drawn again.
    // Threads as FillRows.
    virtual bool TakeRows(const TRows& rows, int firstRow) = 0;
    // Runs job(0) .. job(count - 1), on several threads when it has them.
    virtual void RunBands(int count, const std::function<void(int)>& job) = 0;

   protected:
    ~TSource() = default;
  };

  // What happened to a row since DeferFill() or SetSize().
  enum class TRowState : std::uint8_t { Untouched, Drawn, Taken };

  TBitmap() = default;
  TBitmap(int width, int height) { SetSize(width, height); }
  TBitmap(const TBitmap& other);
  TBitmap& operator=(const TBitmap& other);

  // Resizes; the content is undefined afterwards except that a new area is
  // zero. Drops a deferred fill; no row counts as drawn.
  void SetSize(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  static int RowSizeFor(int width) { return (width * 3 + 3) & ~3; }
  int RowSize() const { return RowSizeFor(width_); }

  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const;
  std::uint8_t* Bits();
  const std::uint8_t* Bits() const;
  size_t ByteSize() const { return pixels_.size(); }
  // Every row for writing, as Bits().
  TRows AllRows();

  // Fills every pixel with one colour.
  void Fill(std::uint8_t b, std::uint8_t g, std::uint8_t r);

  // Runs `op` over every row in bands (the source's bands, on its threads;
  // the whole bitmap at once without a source). `op` must touch only the
  // rows it is given. Every row counts as drawn.
  void TransformRows(const std::function<void(const TRows&)>& op);

  std::mutex& Canvas() const { return canvas_; }

  // Defers the pixels of the current size to `source`, which must outlive
  // the deferral; no row counts as drawn.
  void DeferFill(TSource* source);
  // Drops the source; rows it has not filled keep what they had.
  void CancelFill();
  bool FillPending() const;
  // True when any row was drawn since DeferFill() or SetSize().
  bool Written() const;
  TRowState RowState(int y) const { return TRowState(pairs_[size_t(y / 2)]); }

 private:
  std::uint8_t* RawRow(int y) const {
    return const_cast<std::uint8_t*>(pixels_.data()) + size_t(y) * size_t(RowSize());
  }
  TRows RowsAt(int first, int count) const;
  int BandCount() const { return bandRows_ > 0 ? (height_ + bandRows_ - 1) / bandRows_ : 0; }
  // Fills one band or all of them, when the source has not yet.
  void FillBand(int band) const;
  void FillAll() const;
  void SetRows(int first, int count, TRowState state);
  void ResetState(bool filled);

  int width_ = 0;
  int height_ = 0;
  // Mutable: the pixels of a deferred fill are produced on first read.
  mutable std::vector<std::uint8_t> pixels_;
  TSource* source_ = nullptr;
  int bandRows_ = 0;
  mutable std::vector<std::uint8_t> bandFilled_;  // per band
  std::vector<std::uint8_t> pairs_;               // TRowState per row pair
  mutable std::mutex canvas_;
};
