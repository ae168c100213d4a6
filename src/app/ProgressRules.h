// The arithmetic of the progress window beyond what the converter reports:
// the wall-clock time a file has taken (paused time left out), the estimate
// of what is left of it, the share of the whole batch that is done and the
// window title that shows it, and the picture the window draws.
//
// TFileClock is a plain value of the batch driver (user-interface thread);
// the free functions are pure and may run on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/libav/FrameBitmap.h"

// No estimate before this share of the file is done: the first seconds of a
// conversion (opening, the encoders' start) say little about the rest.
constexpr int kEstimateFromPercent = 3;

// The progress window's picture area and its ground, RGB (166, 202, 240).
constexpr int kProgressPictureWidth = 372;
constexpr int kProgressPictureHeight = 210;
constexpr std::uint8_t kProgressGroundR = 166, kProgressGroundG = 202, kProgressGroundB = 240;

// How long the running file has been converting, in milliseconds of the
// caller's clock; the time spent paused does not count.
class TFileClock {
 public:
  void Start(std::int64_t nowMs);
  void Pause(std::int64_t nowMs);
  void Resume(std::int64_t nowMs);
  // 0 before Start.
  std::int64_t SpentMs(std::int64_t nowMs) const;
  bool Paused() const { return pausedAt_ >= 0; }

 private:
  std::int64_t startedAt_ = -1;
  std::int64_t pausedAt_ = -1;
  std::int64_t pausedFor_ = 0;
};

// What is left of a file after `spentMs` for `doneUs` of its `totalUs`, at
// the pace so far; -1 while less than kEstimateFromPercent is done or the
// length is unknown.
std::int64_t EstimateLeftMs(std::int64_t spentMs, std::int64_t doneUs, std::int64_t totalUs);
// "0:53 left", "12:05 left", "1:02:05 left" (rounded up to whole seconds);
// "" for a negative estimate.
std::string TimeLeftText(std::int64_t leftMs);

// The share of the batch that is done while task `taskIndex` (from 0) has
// done `doneUs` of its `totalUs`, 0..100. The earlier tasks count as done.
// `lengthsUs` holds every task's expected length: when all are known the
// tasks weigh by their lengths (the running one by `totalUs` when it knows
// it), otherwise each counts the same. -1 for an empty batch.
int BatchPercent(const std::vector<std::int64_t>& lengthsUs, int taskIndex, std::int64_t doneUs,
                 std::int64_t totalUs);
// The window's title: "Progress", or "Progress - 42%" once the share is known.
std::string ProgressTitle(int batchPercent);

// The progress window's picture: `frame` stretched into width x height with
// its shape kept (FitPicture), the margins in the window's ground colour.
// All ground for an empty frame.
TBitmap FittedPicture(const TBitmap& frame, int width = kProgressPictureWidth,
                      int height = kProgressPictureHeight);
