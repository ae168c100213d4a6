// TSubtitleDecoder: the subtitle thread, which decodes the subtitle queue's
// packets into the subpicture queue, and the blending of bitmap subtitles
// into a planar YUV 4:2:0 picture for display.
//
// Owns its thread and packet; shared data is in TPlaybackState (the
// subpicture queue locks itself). The blend functions are pure.
#pragma once

#include <cstdint>
#include <thread>

#include "player/PlaybackState.h"

struct AVFrame;
struct AVPacket;
struct AVSubtitleRect;

class TSubtitleDecoder {
 public:
  explicit TSubtitleDecoder(TPlaybackState& state) : state_(state) {}
  ~TSubtitleDecoder();
  TSubtitleDecoder(const TSubtitleDecoder&) = delete;
  TSubtitleDecoder& operator=(const TSubtitleDecoder&) = delete;

  void Start();
  // The subtitle queue and the subpicture queue must be aborted first.
  void Join();

 private:
  void Run();
  TPlaybackState& state_;
  std::thread thread_;
};

// Blends one paletted subtitle rectangle (palette in RGBA) into a YUV 4:2:0
// picture: luma per pixel, chroma per 2x2 block with the block's mean alpha,
// as ((255 - a) * old + a * new) / 255. Parts outside the picture are cut.
void BlendSubtitleRect(AVFrame* picture, const AVSubtitleRect& rect);

// ITU-R BT.601 studio-range conversion with 10-bit fixed-point factors.
void RgbToYuv601(int r, int g, int b, int& y, int& u, int& v);
