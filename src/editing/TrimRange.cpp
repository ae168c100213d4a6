#include "editing/TrimRange.h"

#include <cmath>

namespace {

constexpr std::int64_t kUsPerSecond = 1000000;
// The shortest part a drag may still change.
constexpr std::int64_t kShortestDragSec = 2;

// Nearest whole second, halves to even.
std::int64_t RoundToSeconds(std::int64_t us) {
  std::int64_t q = us / kUsPerSecond;
  const std::int64_t r = us % kUsPerSecond;
  if (r > kUsPerSecond / 2 || (r == kUsPerSecond / 2 && q % 2 != 0)) ++q;
  return q;
}

// Where the thumb of `seconds` is drawn on a track of `width` pixels.
int ThumbX(std::int64_t seconds, std::int64_t durationSec, int width) {
  return int(std::nearbyint(double(seconds) / double(durationSec) * width));
}

// The seconds a thumb at x stands for on a scale of `width` pixels.
std::int64_t SecondsAt(int x, int width, std::int64_t durationUs) {
  if (width <= 0) return 0;
  return std::int64_t(std::trunc(double(x) / width * double(durationUs) / double(kUsPerSecond)));
}

}  // namespace

void TTrimRange::SetBar(int barWidth, int endThumbWidth) {
  barWidth_ = barWidth;
  trackWidth_ = barWidth - endThumbWidth;
}

void TTrimRange::SetDuration(std::int64_t durationUs) {
  durationUs_ = durationUs > 0 ? durationUs : 0;
  durationSec_ = RoundToSeconds(durationUs_);
}

void TTrimRange::Load(std::int64_t trimStartUs, std::int64_t trimLengthUs) {
  startSec_ = trimStartUs / kUsPerSecond;
  endSec_ = trimLengthUs <= 0 ? durationSec_ : (trimStartUs + trimLengthUs) / kUsPerSecond;
  if (!HasDuration()) {
    // No scale: the thumbs mark the whole track.
    leftThumbX_ = 0;
    rightThumbX_ = trackWidth_;
    return;
  }
  leftThumbX_ = ThumbX(startSec_, durationSec_, trackWidth_);
  rightThumbX_ = ThumbX(endSec_, durationSec_, trackWidth_);
}

// The midpoint between the thumbs, taken with its fraction: 2x against the
// sum keeps the half pixel.
bool TTrimRange::OnStartSide(int x) const {
  return 2 * std::int64_t(x) <= std::int64_t(leftThumbX_) + rightThumbX_;
}

void TTrimRange::MoveStart(int x) {
  if (x < kThumbHalf) {
    leftThumbX_ = 0;
    startSec_ = 0;
    return;
  }
  leftThumbX_ = x - kThumbHalf;
  startSec_ = SecondsAt(leftThumbX_, barWidth_, durationUs_);
}

void TTrimRange::MoveEnd(int x) {
  rightThumbX_ = x - kThumbHalf;
  endSec_ = SecondsAt(rightThumbX_, trackWidth_, durationUs_);
}

unsigned TTrimRange::MoveThumbs(int x, int limit) {
  unsigned moved = tmNone;
  if (OnStartSide(x) && x > 0 && x <= limit) {
    MoveStart(x);
    moved |= tmStart;
  }
  if (!OnStartSide(x) && x <= limit) {
    MoveEnd(x);
    moved |= tmEnd;
  }
  return moved;
}

unsigned TTrimRange::Press(int x) { return MoveThumbs(x, trackWidth_); }

bool TTrimRange::Drag(int x, int& lowerPosition, unsigned& moved) {
  moved = tmNone;
  if (endSec_ - startSec_ < kShortestDragSec) return false;
  lowerPosition = barWidth_ > 0 ? int(std::trunc(double(x) / barWidth_ * double(durationSec_))) : 0;
  moved = MoveThumbs(x, trackWidth_ + kThumbHalf);
  return true;
}

void TTrimRange::Default() {
  startSec_ = 0;
  endSec_ = durationSec_;
}

TTrimResult TTrimRange::Result() const {
  TTrimResult r;
  const bool valid =
      startSec_ >= 0 && endSec_ > 0 && startSec_ < endSec_ && endSec_ <= durationSec_;
  const std::int64_t length = valid ? endSec_ - startSec_ : durationSec_;
  if (length <= 0) return r;
  r.TrimStart = startSec_ > 0 ? startSec_ * kUsPerSecond : 0;
  r.TrimLength = length < durationSec_ ? length * kUsPerSecond : 0;
  r.ShowSeconds = true;
  r.Seconds = length;
  return r;
}
