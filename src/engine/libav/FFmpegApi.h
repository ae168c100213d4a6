// Folder engine/libav: the media libraries as the rest of the program sees
// them: their function table (this header, generated from api/*.inc) and
// loader, the log collector, the file protocol for names the libraries would
// misread, small media helpers (times, sizes, names, metadata), the 24-bit frame
// bitmap and the picture conversion between it and decoded frames. Built on
// common only. Every thread that touches media uses it: the user-interface
// thread loads the libraries, task workers and the player's threads call them.
//
// The media libraries' entry points, resolved at run time.
//
// The program never links the FFmpeg libraries or SDL. Their headers declare
// the functions; every call goes through the global table `FF`, which
// TFFmpegLoader fills with dlsym() from the libraries it loads. Calling a
// library function directly fails to link on purpose, so no call can bypass
// the loader.
//
//   FF.avcodec_open2(ctx, codec, &opts);
//   FF.SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
//
// Each library's functions are listed once in api/<library>.inc; the table's
// members, the resolver and the unloader are generated from those lists.
// Threads: the table is written only while libraries load or unload (on the
// user-interface thread, before any media work); afterwards it is read-only.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/avfft.h>
#include <libavcodec/bsf.h>
#include <libavcodec/dv_profile.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

struct TMediaApi {
#define QUOR_API(name) decltype(&::name) name = nullptr;
#include "engine/libav/api/avcodec.inc"
#include "engine/libav/api/avdevice.inc"
#include "engine/libav/api/avfilter.inc"
#include "engine/libav/api/avformat.inc"
#include "engine/libav/api/avutil.inc"
#include "engine/libav/api/libc.inc"
#include "engine/libav/api/sdl.inc"
#include "engine/libav/api/swresample.inc"
#include "engine/libav/api/swscale.inc"
#undef QUOR_API
};

// Filled by TFFmpegLoader; a member is null while its library is not loaded.
extern TMediaApi FF;
