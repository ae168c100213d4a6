#include "engine/libav/FrameBitmap.h"

#include <algorithm>
#include <cstring>

TBitmap::TBitmap(const TBitmap& other) : width_(other.width_), height_(other.height_) {
  other.FillAll();
  pixels_ = other.pixels_;
  ResetState(true);
}

TBitmap& TBitmap::operator=(const TBitmap& other) {
  if (this != &other) {
    other.FillAll();
    width_ = other.width_;
    height_ = other.height_;
    pixels_ = other.pixels_;
    ResetState(true);
  }
  return *this;
}

void TBitmap::SetSize(int width, int height) {
  width_ = width > 0 ? width : 0;
  height_ = height > 0 ? height : 0;
  pixels_.assign(size_t(RowSize()) * size_t(height_), 0);
  ResetState(true);
}

void TBitmap::ResetState(bool filled) {
  if (filled) {
    source_ = nullptr;
    bandRows_ = std::max(height_, 1);
  }
  bandFilled_.assign(size_t(BandCount()), filled ? 1 : 0);
  pairs_.assign(size_t((height_ + 1) / 2), std::uint8_t(TRowState::Untouched));
}

// Rows outside the bitmap have no state to keep (callers only form
// pointers to them, as to the end of an empty bitmap).
std::uint8_t* TBitmap::ScanLine(int y) {
  if (unsigned(y) < unsigned(height_)) {
    FillBand(y / bandRows_);
    pairs_[size_t(y / 2)] = std::uint8_t(TRowState::Drawn);
  }
  return RawRow(y);
}

const std::uint8_t* TBitmap::ScanLine(int y) const {
  if (unsigned(y) < unsigned(height_)) FillBand(y / bandRows_);
  return RawRow(y);
}

std::uint8_t* TBitmap::Bits() {
  FillAll();
  SetRows(0, height_, TRowState::Drawn);
  return pixels_.data();
}

const std::uint8_t* TBitmap::Bits() const {
  FillAll();
  return pixels_.data();
}

TBitmap::TRows TBitmap::AllRows() {
  Bits();
  return RowsAt(0, height_);
}

TBitmap::TRows TBitmap::RowsAt(int first, int count) const {
  return {RawRow(first), RowSize(), width_, count};
}

void TBitmap::Fill(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  CancelFill();
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* p = RawRow(y);
    for (int x = 0; x < width_; ++x, p += 3) {
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  SetRows(0, height_, TRowState::Drawn);
}

void TBitmap::TransformRows(const std::function<void(const TRows&)>& op) {
  if (Empty()) return;
  auto band = [&](int index) {
    const int first = index * bandRows_;
    const int count = std::min(bandRows_, height_ - first);
    FillBand(index);
    const TRows rows = RowsAt(first, count);
    op(rows);
    const bool taken = source_ && source_->TakeRows(rows, first);
    SetRows(first, count, taken ? TRowState::Taken : TRowState::Drawn);
  };
  if (source_) {
    source_->RunBands(BandCount(), band);
  } else {
    for (int i = 0; i < BandCount(); ++i) band(i);
  }
}

void TBitmap::DeferFill(TSource* source) {
  source_ = source;
  bandRows_ = std::clamp(source->BandRows() & ~1, 2, std::max(height_, 2));
  ResetState(false);
}

void TBitmap::CancelFill() {
  source_ = nullptr;
  std::fill(bandFilled_.begin(), bandFilled_.end(), 1);
}

bool TBitmap::FillPending() const {
  return source_ && std::find(bandFilled_.begin(), bandFilled_.end(), 0) != bandFilled_.end();
}

bool TBitmap::Written() const {
  return std::any_of(pairs_.begin(), pairs_.end(),
                     [](std::uint8_t s) { return s != std::uint8_t(TRowState::Untouched); });
}

void TBitmap::FillBand(int band) const {
  if (bandFilled_[size_t(band)]) return;
  const int first = band * bandRows_;
  source_->FillRows(RowsAt(first, std::min(bandRows_, height_ - first)), first);
  bandFilled_[size_t(band)] = 1;
}

void TBitmap::FillAll() const {
  if (!FillPending()) return;
  source_->RunBands(BandCount(), [this](int band) { FillBand(band); });
}

void TBitmap::SetRows(int first, int count, TRowState state) {
  if (count <= 0) return;
  const auto from = pairs_.begin() + first / 2;
  std::fill(from, pairs_.begin() + (first + count + 1) / 2, std::uint8_t(state));
}
