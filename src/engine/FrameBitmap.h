// TBitmap: the 24-bit frame bitmap shared by the engine, the player and the
// editing code.
//
// Pixels are blue-green-red, 3 bytes each; every row starts on a 4-byte
// boundary (RowSize() = Width*3 rounded up to 4), rows are stored top row
// first. Owns its pixel memory. Canvas(): the lock a thread holds while it
// draws on a bitmap that another thread may read. Windows view the memory as
// a QImage of Format_BGR888 without copying (same layout).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height) { SetSize(width, height); }
  TBitmap(const TBitmap& other) : width_(other.width_), height_(other.height_), pixels_(other.pixels_) {}
  TBitmap& operator=(const TBitmap& other) {
    if (this != &other) {
      width_ = other.width_;
      height_ = other.height_;
      pixels_ = other.pixels_;
    }
    return *this;
  }

  // Resizes; the content is undefined afterwards except that a new area is zero.
  void SetSize(int width, int height) {
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    pixels_.assign(size_t(RowSize()) * size_t(height_), 0);
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  static int RowSizeFor(int width) { return (width * 3 + 3) & ~3; }
  int RowSize() const { return RowSizeFor(width_); }

  std::uint8_t* ScanLine(int y) { return pixels_.data() + size_t(y) * size_t(RowSize()); }
  const std::uint8_t* ScanLine(int y) const { return pixels_.data() + size_t(y) * size_t(RowSize()); }
  std::uint8_t* Bits() { return pixels_.data(); }
  const std::uint8_t* Bits() const { return pixels_.data(); }
  size_t ByteSize() const { return pixels_.size(); }

  // Fills every pixel with one colour.
  void Fill(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
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

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> pixels_;
  mutable std::mutex canvas_;
};
