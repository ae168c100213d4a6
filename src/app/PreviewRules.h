// The arithmetic of the main window's preview panel and format picker, kept
// out of the widgets so that it can be tested alone: clock texts, the seek
// bar's position for a play time and back, the drag rule of the two bars,
// the format list's height and which buttons and menu entries are enabled.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

// The text both clock labels show when nothing plays.
constexpr const char* kStoppedClockText = "00:00:00";

// `us` rounded to whole seconds as H:MM:SS (hours without a leading zero);
// a negative time or "no time" reads as 0:00:00.
std::string ClockText(std::int64_t us);
// The seek bar's position for play time `pts`: round(max x pts / duration),
// within 0..max; 0 when the duration is not above 0.
int SeekBarPosition(int max, std::int64_t pts, std::int64_t duration);
// Where a seek goes for bar position `position`: trunc(position / max x
// duration) microseconds; 0 when max or the duration is not above 0.
std::int64_t SeekTargetUs(int position, int max, std::int64_t duration);
// The same position truncated instead of rounded (the crop window's bar).
int SeekBarPositionTruncated(int max, std::int64_t pts, std::int64_t duration);
// The position a bar takes while the mouse drags at x:
// trunc(x / (width - reserve) x max), within 0..max. `reserve` is half the
// thumb's width for the seek bar, half the mute picture's for the volume
// (half a pixel counts: the trim window's thumb is 13 pixels wide).
int DragPosition(int x, int width, double reserve, int max);

// The grouped format list's height for `rows` rows: 422 when 20 x rows is
// above 422, else 20 x rows + 20 (so 21 rows give 440 and 22 rows 422: the
// cap applies only once the rows alone overflow it).
int FormatListHeight(int rows);

// Previous and Next follow the selected row's place among `count` rows.
bool PreviousEnabled(int selected, int count);
bool NextEnabled(int selected, int count);
// The Edit menu's entries that need a row ("&Crop", "&Trim", ..., "&Start").
bool RowEntriesEnabled(int selected, int count);
