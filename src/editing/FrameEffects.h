// Pixel routines on 24-bit frame bitmaps: colour and exposure adjustment,
// overlay blending, and the seconds text of the editing windows.
//
// Stateless: every call builds its look-up tables afresh, so any thread may
// call them (the conversion hook on a worker, the crop preview on the
// user-interface thread). The caller holds the bitmaps' canvas locks when
// another thread may touch them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/libav/FrameBitmap.h"

// Picture effects for AdjustPicture: colours (when Colors) as AdjustColors,
// then exposure (when not 0) as AdjustExposure.
struct TPictureAdjust {
  bool Colors = false;
  int Brightness = 255;
  int Contrast = 0;
  int Saturation = 256;
  float Exposure = 0.0f;
};
// Both effects in one pass over the bitmap's bands (TBitmap::TransformRows),
// so that each band of a frame being converted is adjusted and handed back
// while it is in cache. Same pixels as the two calls one after the other.
void AdjustPicture(TBitmap& bitmap, const TPictureAdjust& adjust);

// Brightness (neutral 255, range 0..512) acts first, then contrast (neutral
// 0, range -100..100, pivot 170), on channels already pulled toward or away
// from the pixel's grey by saturation (neutral 256 is exact identity, 0 grey).
void AdjustColors(TBitmap& bitmap, int brightness, int contrast, int saturation);
// Exposure curve (neutral 0, range -255..512): positive values lift darker and
// middle tones toward 255, negative values darken them; 255 stays 255.
void AdjustExposure(TBitmap& bitmap, float exposure);
// Blends `src` onto `dest` with src's top-left corner at (x, y) of dest,
// clipped to dest; x and y may be negative. alpha: 0 leaves dest unchanged,
// 255 is almost all src (values outside 0..256 are clamped).
void BlendOverlay(TBitmap& dest, const TBitmap& src, int x, int y, int alpha);
// Whole seconds as "H:MM:SS" (hours without leading zeros); negative as 0.
std::string FormatSeconds(std::int64_t seconds);
