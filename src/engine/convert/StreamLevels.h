// The level an encoded stream declares in its own header, chosen from what
// the stream really is (frame size, frame rate, bit rate). A player reads
// the level to tell whether it can play a stream before it tries; a level
// lower than the stream needs makes it fail half way, one higher makes it
// refuse a stream it could play.
//
// Plain functions; any thread.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

// The lowest level of the MPEG-4 Visual Simple profile whose limits hold a
// stream of `width` x `height` at `frameRate` (0/0 when unknown: 30 frames
// per second are assumed) and `bitRate` bit/s (0: unknown, not held against
// the limits): 1, 2, 3, 4 (level 4a), 5 or 6, as the level nibble of the
// stream's profile-and-level byte. A stream beyond level 6 gets 6, the
// highest there is: a player that cannot play level 6 then refuses it, as it
// should.
int Mpeg4SimpleLevel(int width, int height, AVRational frameRate, std::int64_t bitRate);

// Sets the level nibble of every Simple-profile profile-and-level byte of the
// visual object sequence headers in `data` (an encoder's header or packet);
// a header of another profile is left as it is. Returns the number of
// headers changed.
int SetMpeg4SimpleLevel(std::uint8_t* data, int size, int level);
