// Audio output: conversion to the encoder's format and rate, keeping the
// sound in step with its input clock (silence, discarding, drift
// compensation), and encoding in frames of the encoder's size.
#include "engine/convert/AudioOutput.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/common/FFmpegException.h"
#include "engine/convert/ConvertStreams.h"
#include "engine/convert/CustomFFmpeg.h"
#include "engine/libav/FFmpegLogger.h"

namespace {

template <typename T, typename Wide>
void ScaleInt(std::uint8_t* data, int count, int vol, Wide lo, Wide hi) {
  T* s = reinterpret_cast<T*>(data);
  for (int i = 0; i < count; ++i) {
    Wide v = (Wide(s[i]) * vol + 128) >> 8;
    s[i] = T(v < lo ? lo : v > hi ? hi : v);
  }
}

template <typename T>
void ClampFloat(std::uint8_t* data, int count) {
  T* s = reinterpret_cast<T*>(data);
  for (int i = 0; i < count; ++i) s[i] = std::isnan(s[i]) ? T(0) : std::clamp(s[i], T(-1), T(1));
}

template <typename T>
void ScaleFloat(std::uint8_t* data, int count, int vol) {
  T* s = reinterpret_cast<T*>(data);
  const T factor = T(vol) / T(256);
  for (int i = 0; i < count; ++i) s[i] *= factor;
}

// Muxers that record the encoder's start-up delay, so that decoders drop it
// again (edit lists, codec delay elements, the MP3 info frame).
bool MuxerRecordsEncoderDelay(const AVOutputFormat* format) {
  static const char* const names[] = {"mp3",  "mov", "mp4",  "ipod", "psp",
                                      "3gp",  "3g2", "ismv", "f4v",  "matroska",
                                      "webm", "ogg", "oga",  "opus", "spx"};
  if (!format || !format->name) return false;
  for (const char* n : names)
    if (std::strcmp(format->name, n) == 0) return true;
  return false;
}

// Codecs whose decoders drop the encoder's start-up delay themselves and
// give one frame fewer than was encoded: a frame's sound is complete only
// with the frame after it, which the encoder cannot be asked for (it is not
// drained), so the last samples fed never come out. Fed the delay again as
// silence at the end, the encoder releases them.
bool DecoderDropsEncoderDelay(const AVCodecContext* enc) {
  return enc->initial_padding > 0 && !(enc->codec->capabilities & AV_CODEC_CAP_DELAY) &&
         (enc->codec_id == AV_CODEC_ID_WMAV1 || enc->codec_id == AV_CODEC_ID_WMAV2);
}

// The number of samples (at the encoder's rate) the stream may take in all
// under a recording time limit; INT64_MAX without one. Where the container
// cannot tell the decoder to drop the encoder's delay and the decoder does
// not drop it either, the delay counts against the limit, so that the
// decoded sound lasts the limit and ends with the picture.
std::int64_t AudioSampleLimit(const AVCodecContext* enc, const AVOutputFormat* format,
                              std::int64_t recordingTime) {
  if (recordingTime == UnlimitedRecordingTime || recordingTime < 0 || enc->sample_rate <= 0)
    return INT64_MAX;
  std::int64_t limit = FF.av_rescale(recordingTime, enc->sample_rate, AV_TIME_BASE);
  if (enc->initial_padding > 0 && !MuxerRecordsEncoderDelay(format) &&
      !DecoderDropsEncoderDelay(enc))
    limit -= enc->initial_padding;
  return std::max<std::int64_t>(limit, 0);
}

// Samples the stream may still take under `limit` (INT64_MAX: no limit),
// counting what is encoded and what waits in the FIFO.
std::int64_t SamplesLeft(std::int64_t limit, const TOutputStream& ost) {
  return limit == INT64_MAX ? INT64_MAX
                            : limit - ost.AudioNextPts - FF.av_audio_fifo_size(ost.Fifo.get());
}

}  // namespace

std::int64_t AudioTimeShift(const AVCodecContext* enc, const AVOutputFormat* format) {
  if (enc->initial_padding <= 0 || !format || MuxerRecordsEncoderDelay(format)) return 0;
  return (format->flags & AVFMT_TS_NEGATIVE) ? 0 : enc->initial_padding;
}

std::vector<int> DvAudioFrameSizes(const AVCodecContext* video, int sampleRate) {
  const AVRational rate = video->framerate.num > 0 ? video->framerate : av_inv_q(video->time_base);
  const AVDVProfile* profile =
      FF.av_dv_codec_profile2(video->width, video->height, video->pix_fmt, rate);
  if (!profile || sampleRate <= 0) return {};
  const AVRational tb = profile->time_base;
  if (tb.num == 1 && (tb.den == 25 || tb.den == 50)) return {sampleRate / 25};
  return {std::begin(profile->audio_samples_dist), std::end(profile->audio_samples_dist)};
}

void ApplyVolume(AVFrame* frame, int vol) {
  AVSampleFormat fmt = AVSampleFormat(frame->format);
  bool planar = FF.av_sample_fmt_is_planar(fmt);
  int channels = frame->ch_layout.nb_channels;
  int planes = planar ? channels : 1;
  int count = frame->nb_samples * (planar ? 1 : channels);
  for (int p = 0; p < planes; ++p) {
    std::uint8_t* d = frame->extended_data[p];
    switch (FF.av_get_packed_sample_fmt(fmt)) {
      case AV_SAMPLE_FMT_U8: {
        for (int i = 0; i < count; ++i) {
          std::int64_t v = ((std::int64_t(d[i]) - 128) * vol + 128) >> 8;
          d[i] = std::uint8_t(std::clamp<std::int64_t>(v, -128, 127) + 128);
        }
        break;
      }
      // Wide enough for any volume: the product is clamped afterwards.
      case AV_SAMPLE_FMT_S16:
        ScaleInt<std::int16_t, std::int64_t>(d, count, vol, -32768, 32767);
        break;
      case AV_SAMPLE_FMT_S32:
        ScaleInt<std::int32_t, std::int64_t>(d, count, vol, INT32_MIN, INT32_MAX);
        break;
      case AV_SAMPLE_FMT_S64: {
        auto* s = reinterpret_cast<std::int64_t*>(d);
        for (int i = 0; i < count; ++i) s[i] = std::int64_t((__int128(s[i]) * vol + 128) >> 8);
        break;
      }
      case AV_SAMPLE_FMT_FLT: ScaleFloat<float>(d, count, vol); break;
      case AV_SAMPLE_FMT_DBL: ScaleFloat<double>(d, count, vol); break;
      default: break;
    }
  }
}

void ClampFloatSamples(AVFrame* frame) {
  const AVSampleFormat fmt = AVSampleFormat(frame->format);
  const AVSampleFormat packed = FF.av_get_packed_sample_fmt(fmt);
  if (packed != AV_SAMPLE_FMT_FLT && packed != AV_SAMPLE_FMT_DBL) return;
  const bool planar = FF.av_sample_fmt_is_planar(fmt);
  const int channels = frame->ch_layout.nb_channels;
  const int count = frame->nb_samples * (planar ? 1 : channels);
  for (int p = 0; p < (planar ? channels : 1); ++p) {
    if (packed == AV_SAMPLE_FMT_FLT)
      ClampFloat<float>(frame->extended_data[p], count);
    else
      ClampFloat<double>(frame->extended_data[p], count);
  }
}

// A converter from the decoded format to the encoder's, rebuilt when the
// decoded format changes (a joined input may differ).
static bool SameInput(const TOutputStream& ost, const AVFrame* frame) {
  return ost.SwrInRate == frame->sample_rate && ost.SwrInFormat == frame->format &&
         FF.av_channel_layout_compare(&ost.SwrInLayout, &frame->ch_layout) == 0;
}

void TCustomFFmpeg::AudioOutput(TOutputStream& ost, TInputStream& ist, const AVFrame* frame) {
  AVCodecContext* enc = ost.Enc.get();
  const int outRate = enc->sample_rate;
  const int outChannels = enc->ch_layout.nb_channels;
  const int inChannels = frame->ch_layout.nb_channels;
  if (inChannels != outChannels) ost.ResampleNeeded = true;
  bool convert = ost.ResampleNeeded || frame->format != enc->sample_fmt ||
                 frame->sample_rate != outRate ||
                 FF.av_channel_layout_compare(&frame->ch_layout, &enc->ch_layout) != 0;

  if (!convert) ost.Swr.reset();  // the input came back to the encoder's format
  if (convert && (!ost.Swr || !SameInput(ost, frame))) {
    ost.Swr.reset();
    SwrContext* swr = nullptr;
    int err = FF.swr_alloc_set_opts2(&swr, &enc->ch_layout, enc->sample_fmt, outRate,
                                     const_cast<AVChannelLayout*>(&frame->ch_layout),
                                     AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
    if (err >= 0 && options_.AudioSyncMethod > 1)
      FF.av_opt_set_int(swr, "flags", SWR_FLAG_RESAMPLE, 0);
    if (err >= 0) err = FF.swr_init(swr);
    if (err < 0) {
      FF.swr_free(&swr);
      if (ost.ResampleNeeded || frame->sample_rate != outRate)
        throw FFmpegException(Fmt("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                  inChannels, frame->sample_rate, outChannels, outRate));
      throw FFmpegException(Fmt("Cannot convert %s sample format to %s sample format",
                                FF.av_get_sample_fmt_name(AVSampleFormat(frame->format)),
                                FF.av_get_sample_fmt_name(enc->sample_fmt)));
    }
    ost.Swr.reset(swr);
    ost.SwrInRate = frame->sample_rate;
    ost.SwrInFormat = frame->format;
    FF.av_channel_layout_uninit(&ost.SwrInLayout);
    FF.av_channel_layout_copy(&ost.SwrInLayout, &frame->ch_layout);
  }

  // The samples in the encoder's format: converted, or the frame's own.
  TFramePtr converted;
  const AVFrame* data = frame;
  int count = frame->nb_samples;
  if (ost.Swr) {
    converted = NewFrame();
    converted->format = enc->sample_fmt;
    FF.av_channel_layout_copy(&converted->ch_layout, &enc->ch_layout);
    converted->sample_rate = outRate;
    converted->nb_samples = FF.swr_get_out_samples(ost.Swr.get(), frame->nb_samples) + 16;
    if (FF.av_frame_get_buffer(converted.get(), 0) < 0)
      throw FFmpegException("Out of memory in do_audio_out");
    count =
        FF.swr_convert(ost.Swr.get(), converted->extended_data, converted->nb_samples,
                       const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (count < 0) {
      if (options_.ExitOnError) throw FFmpegException("av_audio_convert() failed");
      Log(llError, "av_audio_convert() failed");
      return;
    }
    converted->nb_samples = count;
    data = converted.get();
  }

  // Samples the stream may still take under the recording time.
  const std::int64_t limit = AudioSampleLimit(
      enc, outputFiles_[size_t(ost.FileIndex)]->Ctx->oformat, options_.RecordingTime);
  auto roomLeft = [&] { return SamplesLeft(limit, ost); };
  if (roomLeft() <= 0) return;

  // Sound before the start of the output's time line is dropped, as the
  // pictures there are: the run-up from the key picture before a trim's
  // start, a stream moved earlier than the others.
  const double start = SyncInputTime(ost) * outRate;
  int skip = start < 0 ? int(std::min<double>(std::llrint(-start), count)) : 0;
  if (skip >= count) return;
  const double fifoSamples = FF.av_audio_fifo_size(ost.Fifo.get());
  if (options_.AudioSyncMethod) {
    double delta = start + skip - double(ost.SyncOpts) - fifoSamples;
    if (std::fabs(delta) > 50) {
      if (ist.IsStart || std::fabs(delta) > double(options_.AudioDriftThreshold) * outRate) {
        if (delta < 0) {
          skip = int(std::min<double>(skip + std::trunc(-delta), count));
          if (Verbose() > 2)
            LogF(llVerbose, "discarding %d audio samples", int(std::trunc(-delta)));
          ist.IsStart = false;
          if (skip >= count) return;
        } else {
          int silence = int(std::min<std::int64_t>(std::int64_t(std::trunc(delta)), roomLeft()));
          WriteSilence(ost, silence);
          ist.IsStart = false;
          if (Verbose() > 2) LogF(llVerbose, "adding %d audio samples of silence", silence);
        }
      } else if (options_.AudioSyncMethod > 1 && ost.Swr) {
        int method = options_.AudioSyncMethod;
        int compensation = std::clamp(int(std::trunc(delta)), -method, method);
        if (Verbose() > 2)
          LogF(llVerbose, "compensating audio timestamp drift:%.2f compensation:%d in:%d", delta,
               compensation, outRate);
        FF.swr_set_compensation(ost.Swr.get(), compensation, outRate);
      }
    }
  } else {
    ost.SyncOpts = std::llrint(start) + skip - std::int64_t(fifoSamples);
  }

  // The recording time ends the sound at its sample, not at the end of the
  // packet that crosses it.
  int keep = int(std::clamp<std::int64_t>(roomLeft(), 0, count - skip));
  if (keep <= 0) return;

  // One pointer per plane: planar sound with more channels than a frame has
  // data pointers keeps the rest in extended_data only.
  int bps = FF.av_get_bytes_per_sample(enc->sample_fmt);
  bool planar = FF.av_sample_fmt_is_planar(enc->sample_fmt);
  std::vector<std::uint8_t*> planes(size_t(planar ? outChannels : 1));
  for (size_t p = 0; p < planes.size(); ++p)
    planes[p] =
        data->extended_data[p] + size_t(skip) * size_t(bps) * size_t(planar ? 1 : outChannels);
  if (FF.av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(planes.data()), keep) < keep)
    throw FFmpegException("av_fifo_realloc2() failed");
  EncodeAudioFifo(ost, false);
}

void TCustomFFmpeg::WriteSilence(TOutputStream& ost, int samples) {
  if (samples <= 0) return;
  AVCodecContext* enc = ost.Enc.get();
  uint8_t** buffers = nullptr;
  int err = FF.av_samples_alloc_array_and_samples(&buffers, nullptr, enc->ch_layout.nb_channels,
                                                  samples, enc->sample_fmt, 0);
  if (err < 0) throw FFmpegException("Out of memory in do_audio_out");
  FF.av_samples_set_silence(buffers, 0, samples, enc->ch_layout.nb_channels, enc->sample_fmt);
  int written = FF.av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(buffers), samples);
  FF.av_freep(&buffers[0]);
  FF.av_freep(&buffers);
  if (written < samples) throw FFmpegException("av_fifo_realloc2() failed");
}

// Encodes whole encoder frames from the FIFO; at the end (`last`) also the
// remainder, padded with silence when the encoder needs full frames.
void TCustomFFmpeg::EncodeAudioFifo(TOutputStream& ost, bool last) {
  AVCodecContext* enc = ost.Enc.get();
  const std::vector<int>& pattern = ost.AudioFrameSizes;
  bool variable =
      enc->frame_size <= 1 || (enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
  for (;;) {
    int available = FF.av_audio_fifo_size(ost.Fifo.get());
    if (available <= 0) return;
    int frameSize = !pattern.empty()
                        ? pattern[size_t(ost.FrameNumber % std::int64_t(pattern.size()))]
                    : variable ? available
                               : enc->frame_size;
    if (available < frameSize && !last) return;
    int take = std::min(available, frameSize);
    bool shortOk =
        pattern.empty() && (variable || (enc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME));
    int samples = (take < frameSize && !shortOk) ? frameSize : take;
    TFramePtr f = NewFrame();
    f->format = enc->sample_fmt;
    FF.av_channel_layout_copy(&f->ch_layout, &enc->ch_layout);
    f->sample_rate = enc->sample_rate;
    f->nb_samples = samples;
    if (FF.av_frame_get_buffer(f.get(), 0) < 0)
      throw FFmpegException("Out of memory in do_audio_out");
    if (FF.av_audio_fifo_read(ost.Fifo.get(), reinterpret_cast<void**>(f->extended_data), take) <
        take)
      throw FFmpegException("Audio encoding failed");
    if (samples > take)
      FF.av_samples_set_silence(f->extended_data, take, samples - take, enc->ch_layout.nb_channels,
                                enc->sample_fmt);
    ClampFloatSamples(f.get());
    f->pts = ost.AudioNextPts;
    ost.AudioNextPts += samples;
    EncodeFrame(ost, f.get());
    ost.SyncOpts += take;
    ost.FrameNumber++;
  }
}

void TCustomFFmpeg::FlushAudioFifo(TOutputStream& ost) {
  if (ost.Swr) {
    // Samples still inside the resampler.
    AVCodecContext* enc = ost.Enc.get();
    TFramePtr tail = NewFrame();
    tail->format = enc->sample_fmt;
    FF.av_channel_layout_copy(&tail->ch_layout, &enc->ch_layout);
    tail->sample_rate = enc->sample_rate;
    tail->nb_samples = FF.swr_get_out_samples(ost.Swr.get(), 0) + 16;
    if (FF.av_frame_get_buffer(tail.get(), 0) >= 0) {
      int n = FF.swr_convert(ost.Swr.get(), tail->extended_data, tail->nb_samples, nullptr, 0);
      std::int64_t limit = AudioSampleLimit(enc, outputFiles_[size_t(ost.FileIndex)]->Ctx->oformat,
                                            options_.RecordingTime);
      n = int(std::clamp<std::int64_t>(SamplesLeft(limit, ost), 0, n));
      if (n > 0)
        FF.av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(tail->extended_data), n);
    }
  }
  // Only a stream that took any sound gets the release; an empty one stays empty.
  const bool fed = ost.AudioNextPts > 0 || FF.av_audio_fifo_size(ost.Fifo.get()) > 0;
  if (fed && DecoderDropsEncoderDelay(ost.Enc.get())) WriteSilence(ost, ost.Enc->initial_padding);
  EncodeAudioFifo(ost, true);
}

double TCustomFFmpeg::SyncInputTime(const TOutputStream& ost) const {
  const TInputStream* sync = ost.SyncSource ? ost.SyncSource : ost.Source;
  return double(sync->Pts - options_.StartTime) / AV_TIME_BASE;
}
