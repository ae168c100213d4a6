// TAudioOutput: the audio stream's decoder side and the SDL output device.
//
// Owns the SDL audio device, the resampler to signed 16-bit (at most two
// channels: more are mixed down), the decode buffer and the circular sample
// array of the wave display. SDL's audio thread runs Callback(); it takes
// packets from the audio queue without ever waiting. The clock fields it
// updates are in TPlaybackState under ClockMutex; the sample array is guarded
// by waveMutex_. Open/Close run on the read thread while no callback runs.
#pragma once

#include <SDL_audio.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "player/PlaybackState.h"
#include "player/PlayerTypes.h"

struct AVFrame;
struct AVPacket;
struct SwrContext;

class TAudioOutput {
 public:
  static constexpr int kSampleArraySize = 0x20000;

  TAudioOutput(TPlaybackState& state, IPlayerHost& host);
  ~TAudioOutput();
  TAudioOutput(const TAudioOutput&) = delete;
  TAudioOutput& operator=(const TAudioOutput&) = delete;

  // Opens the device for the opened decoder and starts it; on failure returns
  // false with the reason in `error`.
  bool Open(AVCodecContext* codec, std::string& error);
  void Close();
  bool IsOpen() const { return device_ != 0; }

  int SampleRate() const { return rate_; }
  int Channels() const { return channels_; }
  int HardwareBufferSize() const { return hwBufferSize_; }

  // Copies the `count` interleaved samples that end `back` samples before the
  // newest one into `out`. Play thread (wave display).
  void RecentSamples(int back, int count, std::vector<std::int16_t>& out) const;
  int SampleWriteIndex() const;

  // The SDL audio thread's entry.
  void Callback(std::uint8_t* stream, int len);

 private:
  int DecodeChunk();
  bool ReceiveFrame();
  bool ConvertFrame(AVFrame* frame, int& bytes);
  bool MakeConverter(const AVFrame* frame);
  void StoreSamples(const std::uint8_t* data, int bytes);

  TPlaybackState& state_;
  IPlayerHost& host_;
  SDL_AudioDeviceID device_ = 0;
  int rate_ = 0;
  int channels_ = 0;
  int hwBufferSize_ = 0;

  // Audio thread only (after Open).
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  SwrContext* swr_ = nullptr;
  int swrFormat_ = -1, swrRate_ = 0;
  std::uint64_t swrLayoutKey_ = 0;
  std::vector<std::uint8_t> buffer_;
  int bufferSize_ = 0;
  int bufferIndex_ = 0;
  bool bufferIsSilence_ = true;

  mutable std::mutex waveMutex_;
  std::vector<std::int16_t> samples_;
  int sampleWrite_ = 0;
};
