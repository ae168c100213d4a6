// The watermark editor's preview arithmetic and the mark it draws on the
// playing picture, kept apart from the window.
//
// Pure functions; any thread (the player's video thread draws the outline
// while it holds the picture's canvas).
#pragma once

#include <cstdint>
#include <optional>

#include "engine/libav/FrameBitmap.h"

// The last whole second of a file of `durationUs` (truncating): the end of
// the range bar and of a new item's window.
std::int32_t LastWholeSecond(std::int64_t durationUs);
// The preview bar's maximum: the duration in seconds, rounded.
int PreviewBarMax(std::int64_t durationUs);
// The preview bar's position for a picture at `ptsUs`: max x pts / duration
// in 64 bits, within 0..max; none when the duration is not above 0 (the bar
// keeps its place).
std::optional<int> PreviewBarPosition(int max, std::int64_t ptsUs, std::int64_t durationUs);

// The crop outline: a solid green (0, 128, 0) frame 2 pixels wide centred on
// the rectangle left..right, top..bottom (the margins the crop window cut
// away), clipped to the picture, interior untouched.
void DrawCropOutline(TBitmap& picture, int left, int top, int right, int bottom);
