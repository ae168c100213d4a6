#include "app/ProgressRules.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/Snapshot.h"
#include "editing/CropFrame.h"

void TFileClock::Start(std::int64_t nowMs) {
  startedAt_ = nowMs;
  pausedFor_ = 0;
  // A file that starts while the batch is paused starts paused.
  if (pausedAt_ >= 0) pausedAt_ = nowMs;
}

void TFileClock::Pause(std::int64_t nowMs) {
  if (pausedAt_ < 0) pausedAt_ = nowMs;
}

void TFileClock::Resume(std::int64_t nowMs) {
  if (pausedAt_ < 0) return;
  if (startedAt_ >= 0) pausedFor_ += std::max<std::int64_t>(0, nowMs - pausedAt_);
  pausedAt_ = -1;
}

std::int64_t TFileClock::SpentMs(std::int64_t nowMs) const {
  if (startedAt_ < 0) return 0;
  const std::int64_t end = pausedAt_ >= 0 ? pausedAt_ : nowMs;
  return std::max<std::int64_t>(0, end - startedAt_ - pausedFor_);
}

std::int64_t EstimateLeftMs(std::int64_t spentMs, std::int64_t doneUs, std::int64_t totalUs) {
  if (totalUs <= 0 || doneUs <= 0 || spentMs <= 0) return -1;
  // Whole percent as the bar shows it: the estimate appears with the 3 %.
  if (doneUs * 100 / totalUs < kEstimateFromPercent) return -1;
  if (doneUs >= totalUs) return 0;
  return std::int64_t(double(spentMs) * double(totalUs - doneUs) / double(doneUs) + 0.5);
}

std::string TimeLeftText(std::int64_t leftMs) {
  if (leftMs < 0) return "";
  const std::int64_t s = (leftMs + 999) / 1000;
  char text[48];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld left", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60));
  return text;
}

int BatchPercent(const std::vector<std::int64_t>& lengthsUs, int taskIndex, std::int64_t doneUs,
                 std::int64_t totalUs) {
  const int n = int(lengthsUs.size());
  if (n == 0) return -1;
  const int i = std::clamp(taskIndex, 0, n);
  const bool weighed =
      std::all_of(lengthsUs.begin(), lengthsUs.end(), [](std::int64_t l) { return l > 0; });
  // The share of the running file, 0..1; nothing while its length is unknown.
  double file = 0;
  if (i < n && totalUs > 0) file = std::clamp(double(doneUs) / double(totalUs), 0.0, 1.0);
  double done = 0, all = 0;
  for (int k = 0; k < n; ++k) {
    const double weight = weighed ? double(lengthsUs[size_t(k)]) : 1.0;
    all += weight;
    if (k < i) done += weight;
    if (k == i) done += weight * file;
  }
  return int(std::clamp(done * 100.0 / all, 0.0, 100.0));
}

std::string ProgressTitle(int batchPercent) {
  if (batchPercent < 0) return "Progress";
  return "Progress - " + std::to_string(std::min(batchPercent, 100)) + "%";
}

TBitmap FittedPicture(const TBitmap& frame, int width, int height) {
  TBitmap picture(width, height);
  picture.Fill(kProgressGroundB, kProgressGroundG, kProgressGroundR);
  if (frame.Empty() || picture.Empty()) return picture;
  const TIntRect r = FitPicture(frame.Width(), frame.Height(), {0, 0, width, height});
  const int left = std::max(r.Left, 0), top = std::max(r.Top, 0);
  const int w = std::min(r.Width, width - left), h = std::min(r.Height, height - top);
  if (w <= 0 || h <= 0) return picture;
  const TBitmap stretched = StretchBitmap(frame, w, h);
  for (int y = 0; y < h; ++y)
    std::memcpy(picture.ScanLine(top + y) + left * 3, stretched.ScanLine(y), size_t(w) * 3);
  return picture;
}
