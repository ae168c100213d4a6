#include "player/AudioOutput.h"

#include <algorithm>
#include <cstring>

#include "engine/libav/FFmpegApi.h"

namespace {

constexpr int kSilenceBytes = 1024;
constexpr int kLogError = 3;

void SdlCallback(void* userdata, Uint8* stream, int len) {
  static_cast<TAudioOutput*>(userdata)->Callback(stream, len);
}

std::uint64_t LayoutKey(const AVChannelLayout& l) {
  return (std::uint64_t(l.nb_channels) << 56) ^ (l.order == AV_CHANNEL_ORDER_NATIVE ? l.u.mask : 0);
}

}  // namespace

TAudioOutput::TAudioOutput(TPlaybackState& state, IPlayerHost& host)
    : state_(state), host_(host), samples_(kSampleArraySize, 0) {}

TAudioOutput::~TAudioOutput() { Close(); }

bool TAudioOutput::Open(AVCodecContext* codec, std::string& error) {
  SDL_AudioSpec want{}, have{};
  want.freq = codec->sample_rate;
  want.format = AUDIO_S16SYS;
  // Surround sound is mixed down: the output never has more than two channels.
  want.channels = Uint8(std::clamp(codec->ch_layout.nb_channels, 1, 2));
  want.silence = 0;
  want.samples = 1024;
  want.callback = SdlCallback;
  want.userdata = this;
  packet_ = FF.av_packet_alloc();
  frame_ = FF.av_frame_alloc();
  // SDL converts to whatever the device really takes, so our format holds.
  device_ = FF.SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    error = std::string("SDL_OpenAudio() failed: ") + FF.SDL_GetError();
    Close();
    return false;
  }
  rate_ = want.freq;
  channels_ = want.channels;
  hwBufferSize_ = int(have.size);
  buffer_.assign(288000, 0);
  bufferSize_ = bufferIndex_ = 0;
  bufferIsSilence_ = true;
  {
    std::lock_guard lock(state_.ClockMutex);
    state_.AudioBytesPerSecond = rate_ * 2 * channels_;
    state_.AudioBufferRemaining = 0;
  }
  FF.SDL_PauseAudioDevice(device_, 0);
  return true;
}

void TAudioOutput::Close() {
  if (device_) {
    // Returns after the callback has finished for good.
    FF.SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  if (swr_) FF.swr_free(&swr_);
  if (frame_) FF.av_frame_free(&frame_);
  if (packet_) FF.av_packet_free(&packet_);
  swrFormat_ = -1;
}

void TAudioOutput::Callback(std::uint8_t* stream, int len) {
  {
    std::lock_guard lock(state_.ClockMutex);
    state_.AudioCallbackTime = NowSeconds();
  }
  const int volume = std::clamp(host_.AudioVolume(), 0, SDL_MIX_MAXVOLUME);
  const bool mute = host_.Mute();
  while (len > 0) {
    if (bufferIndex_ >= bufferSize_) {
      if (state_.Audio.Queue.Aborted()) {
        std::memset(stream, 0, size_t(len));
        return;
      }
      int got = DecodeChunk();
      if (got < 0) {
        bufferSize_ = kSilenceBytes;
        bufferIsSilence_ = true;
        std::memset(buffer_.data(), 0, kSilenceBytes);
      } else {
        bufferSize_ = got;
        bufferIsSilence_ = false;
        StoreSamples(buffer_.data(), got);
      }
      bufferIndex_ = 0;
    }
    int n = std::min(bufferSize_ - bufferIndex_, len);
    std::memset(stream, 0, size_t(n));
    if (!mute && !bufferIsSilence_)
      FF.SDL_MixAudioFormat(stream, buffer_.data() + bufferIndex_, AUDIO_S16SYS, Uint32(n), volume);
    stream += n;
    len -= n;
    bufferIndex_ += n;
    std::lock_guard lock(state_.ClockMutex);
    state_.AudioBufferRemaining = bufferIsSilence_ ? 0 : bufferSize_ - bufferIndex_;
  }
}

// Returns the bytes of 16-bit samples now in buffer_, or -1 when there is
// nothing to play (paused, queue empty or aborted).
int TAudioOutput::DecodeChunk() {
  for (;;) {
    if (ReceiveFrame()) {
      int bytes = 0;
      if (!ConvertFrame(frame_, bytes)) continue;
      if (bytes == 0) continue;
      std::lock_guard lock(state_.ClockMutex);
      if (frame_->pts != AV_NOPTS_VALUE)
        state_.AudioClock = double(frame_->pts) * av_q2d(state_.Audio.Stream->time_base);
      state_.AudioClock += double(bytes) / state_.AudioBytesPerSecond;
      state_.AudioBufferRemaining = bytes;
      return bytes;
    }
    if (state_.Paused) return -1;
    TPacketKind kind = state_.Audio.Queue.Get(packet_, false);
    if (kind == pkNone) return -1;
    if (kind == pkFlush) {
      FF.avcodec_flush_buffers(state_.Audio.Codec);
      continue;
    }
    if (kind != pkData) continue;
    int ret = FF.avcodec_send_packet(state_.Audio.Codec, packet_);
    FF.av_packet_unref(packet_);
    if (ret < 0 && ret != AVERROR(EAGAIN))
      host_.LogMessage(kLogError, "avcodec_decode_audio2() failed");
  }
}

bool TAudioOutput::ReceiveFrame() {
  int ret = FF.avcodec_receive_frame(state_.Audio.Codec, frame_);
  if (ret == AVERROR_EOF) FF.avcodec_flush_buffers(state_.Audio.Codec);
  return ret >= 0;
}

bool TAudioOutput::MakeConverter(const AVFrame* frame) {
  std::uint64_t key = LayoutKey(frame->ch_layout);
  if (swr_ && swrFormat_ == frame->format && swrRate_ == frame->sample_rate && swrLayoutKey_ == key)
    return true;
  if (swr_) FF.swr_free(&swr_);
  AVChannelLayout out{};
  FF.av_channel_layout_default(&out, channels_);
  int ret = FF.swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, rate_,
                                   const_cast<AVChannelLayout*>(&frame->ch_layout),
                                   AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
  if (ret < 0 || FF.swr_init(swr_) < 0) {
    if (swr_) FF.swr_free(&swr_);
    const char* from = FF.av_get_sample_fmt_name(AVSampleFormat(frame->format));
    char msg[256];
    std::snprintf(msg, sizeof msg, "Cannot convert %s sample format to %s sample format",
                  from ? from : "?", FF.av_get_sample_fmt_name(AV_SAMPLE_FMT_S16));
    host_.LogMessage(kLogError, msg);
    swrFormat_ = -1;
    return false;
  }
  swrFormat_ = frame->format;
  swrRate_ = frame->sample_rate;
  swrLayoutKey_ = key;
  return true;
}

bool TAudioOutput::ConvertFrame(AVFrame* frame, int& bytes) {
  if (!MakeConverter(frame)) return false;
  int outSamples = FF.swr_get_out_samples(swr_, frame->nb_samples);
  size_t need = size_t(std::max(outSamples, 0)) * 2 * size_t(channels_);
  if (buffer_.size() < need) buffer_.resize(need);
  std::uint8_t* out[1] = {buffer_.data()};
  int got =
      FF.swr_convert(swr_, out, outSamples, const_cast<const std::uint8_t**>(frame->extended_data),
                     frame->nb_samples);
  if (got < 0) {
    host_.LogMessage(kLogError, "av_audio_convert() failed");
    return false;
  }
  bytes = got * 2 * channels_;
  return true;
}

void TAudioOutput::StoreSamples(const std::uint8_t* data, int bytes) {
  const auto* s = reinterpret_cast<const std::int16_t*>(data);
  int count = bytes / 2;
  std::lock_guard lock(waveMutex_);
  for (int i = 0; i < count; ++i) {
    samples_[size_t(sampleWrite_)] = s[i];
    sampleWrite_ = (sampleWrite_ + 1) % kSampleArraySize;
  }
}

int TAudioOutput::SampleWriteIndex() const {
  std::lock_guard lock(waveMutex_);
  return sampleWrite_;
}

void TAudioOutput::RecentSamples(int back, int count, std::vector<std::int16_t>& out) const {
  out.resize(size_t(std::max(count, 0)));
  std::lock_guard lock(waveMutex_);
  int start =
      ((sampleWrite_ - back - count) % kSampleArraySize + kSampleArraySize) % kSampleArraySize;
  for (int i = 0; i < count; ++i) out[size_t(i)] = samples_[size_t((start + i) % kSampleArraySize)];
}
