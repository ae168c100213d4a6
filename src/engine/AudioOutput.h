// Audio helpers of the conversion engine that stand on their own.
// Stateless; any thread.
#pragma once

extern "C" {
struct AVFrame;
}

// Scales every sample of a decoded frame by vol/256 ("vol"; 256 = unchanged).
// Integer samples are rounded as (s * vol + 128) >> 8 and clamped to their
// range; floating-point samples are multiplied. The frame must be writable.
void ApplyVolume(AVFrame* frame, int vol);
