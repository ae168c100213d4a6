// Audio helpers of the conversion engine that stand on their own.
// Stateless; any thread.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
struct AVCodecContext;
struct AVFrame;
struct AVOutputFormat;
}

// Scales every sample of a decoded frame by vol/256 ("vol"; 256 = unchanged).
// Integer samples are rounded as (s * vol + 128) >> 8 and clamped to their
// range; floating-point samples are multiplied. The frame must be writable.
void ApplyVolume(AVFrame* frame, int vol);
// Makes floating-point samples safe for any encoder: NaN becomes silence and
// everything else is clamped to -1..1 (some encoders abort on samples far
// outside, which gains and damaged sources produce). Integer formats are
// left alone. The frame must be writable.
void ClampFloatSamples(AVFrame* frame);

// The samples of sound the DV muxer takes with each picture, in order and
// repeating: a 25th of a second at 25 (and 50) pictures a second, the DV
// profile's five-picture pattern at 30000/1001 (1600, 1602, ... at 48 kHz).
// `video` is the picture encoder's set-up (size, pixel format, rate). Empty
// when no DV profile has that picture.
std::vector<int> DvAudioFrameSizes(const AVCodecContext* video, int sampleRate);

// Samples to add to the times of the opened audio encoder's packets so that
// the sound starts at zero in a container that can neither record the
// encoder's start-up delay nor hold negative times (AVI): the library would
// move every stream later by the delay instead, the picture by a whole
// frame, which AVI stores as an empty frame after the first picture. 0
// elsewhere.
std::int64_t AudioTimeShift(const AVCodecContext* enc, const AVOutputFormat* format);
