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
// (the conversion hook does, so that a handler that never looks at the
// picture costs no colour conversion). DeferFill() registers a fill that runs
// on the first access to the pixels (ScanLine, Bits, Fill, a copy), under
// whatever lock the accessing thread holds, so the fill itself must not take
// Canvas(). Written() then tells whether pixels were reached through a
// writable accessor after the fill; a non-const ScanLine or Bits counts as a
// write even when the caller only reads.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height) { SetSize(width, height); }
  TBitmap(const TBitmap& other)
      : width_(other.width_), height_(other.height_), pixels_((other.Materialize(), other.pixels_)) {}
  TBitmap& operator=(const TBitmap& other) {
    if (this != &other) {
      other.Materialize();
      CancelFill();
      width_ = other.width_;
      height_ = other.height_;
      pixels_ = other.pixels_;
    }
    return *this;
  }

  // Resizes; the content is undefined afterwards except that a new area is
  // zero. Drops a deferred fill.
  void SetSize(int width, int height) {
    CancelFill();
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    pixels_.assign(size_t(RowSize()) * size_t(height_), 0);
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  static int RowSizeFor(int width) { return (width * 3 + 3) & ~3; }
  int RowSize() const { return RowSizeFor(width_); }

  std::uint8_t* ScanLine(int y) { return Bits() + size_t(y) * size_t(RowSize()); }
  const std::uint8_t* ScanLine(int y) const { return Bits() + size_t(y) * size_t(RowSize()); }
  std::uint8_t* Bits() {
    Materialize();
    written_ = true;
    return pixels_.data();
  }
  const std::uint8_t* Bits() const {
    Materialize();
    return pixels_.data();
  }
  size_t ByteSize() const { return pixels_.size(); }

  // Fills every pixel with one colour.
  void Fill(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    CancelFill();
    for (int y = 0; y < height_; ++y) {
      std::uint8_t* p = ScanLine(y);
      for (int x = 0; x < width_; ++x, p += 3) {
        p[0] = b;
        p[1] = g;
        p[2] = r;
      }
    }
  }

  std::mutex& Canvas() const { return canvas_; }

  using TFill = void (*)(void* context, TBitmap& bitmap);
  // Registers the fill of the current size's pixels and clears Written().
  void DeferFill(TFill fill, void* context) {
    fill_ = fill;
    fillContext_ = context;
    written_ = false;
  }
  // Drops a fill that has not run (the pixels keep what they had).
  void CancelFill() {
    fill_ = nullptr;
    fillContext_ = nullptr;
  }
  bool FillPending() const { return fill_ != nullptr; }
  bool Written() const { return written_; }

 private:
  // Runs a pending fill once; the fill's own writes do not count as Written().
  void Materialize() const {
    if (!fill_) return;
    TFill fill = fill_;
    void* context = fillContext_;
    fill_ = nullptr;
    fillContext_ = nullptr;
    const bool written = written_;
    // A pending fill exists only on a bitmap that DeferFill() changed, so
    // the object itself is not const.
    fill(context, const_cast<TBitmap&>(*this));
    written_ = written;
  }

  int width_ = 0;
  int height_ = 0;
  // Mutable: the pixels of a deferred fill are produced on first read.
  mutable std::vector<std::uint8_t> pixels_;
  mutable TFill fill_ = nullptr;
  mutable void* fillContext_ = nullptr;
  mutable bool written_ = false;
  mutable std::mutex canvas_;
};
