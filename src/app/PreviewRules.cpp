#include "app/PreviewRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "profiles/FormatList.h"

std::string ClockText(std::int64_t us) {
  const std::int64_t seconds = us > 0 ? (us + 500000) / 1000000 : 0;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

int SeekBarPosition(int max, std::int64_t pts, std::int64_t duration) {
  if (duration <= 0 || max <= 0) return 0;
  const double position = std::nearbyint(double(max) * double(pts) / double(duration));
  return int(std::clamp(position, 0.0, double(max)));
}

int SeekBarPositionTruncated(int max, std::int64_t pts, std::int64_t duration) {
  if (duration <= 0 || max <= 0 || pts <= 0) return 0;
  return int(std::min<std::int64_t>(std::int64_t(max) * pts / duration, max));
}

std::int64_t SeekTargetUs(int position, int max, std::int64_t duration) {
  if (max <= 0 || duration <= 0) return 0;
  return std::int64_t(double(position) / double(max) * double(duration));
}

int DragPosition(int x, int width, double reserve, int max) {
  const double span = width - reserve;
  if (span <= 0 || max <= 0) return 0;
  const double position = std::trunc(double(x) / span * double(max));
  return int(std::clamp(position, 0.0, double(max)));
}

int FormatListHeight(int rows) { return GroupedListHeight(rows, 422); }

bool PreviousEnabled(int selected, int count) { return selected > 0 && selected < count; }
bool NextEnabled(int selected, int count) { return selected >= 0 && selected + 1 < count; }
bool RowEntriesEnabled(int selected, int count) {
  return count > 0 && selected >= 0 && selected < count;
}
