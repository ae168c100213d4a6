// The test picture pattern and reading clips back: decoding pictures into
// bitmaps, reading the drawn frame number, scanning video and audio streams.
#include <algorithm>
#include <cmath>
#include <functional>
#include <mutex>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "support/MediaFactory.h"

namespace TestMedia {
namespace {

constexpr int BandCount = 4;
const Rgb Bands[BandCount] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

void SetPixel(TBitmap& bmp, int x, int y, const Rgb& c) {
  std::uint8_t* p = bmp.ScanLine(y) + x * 3;
  p[0] = static_cast<std::uint8_t>(c.B);
  p[1] = static_cast<std::uint8_t>(c.G);
  p[2] = static_cast<std::uint8_t>(c.R);
}

// Average colour of a rectangle [x0, x1) x [y0, y1), clipped to the picture.
Rgb AverageOf(const TBitmap& bmp, int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, bmp.Width());
  y1 = std::min(y1, bmp.Height());
  long long r = 0, g = 0, b = 0, n = 0;
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* p = bmp.ScanLine(y) + x0 * 3;
    for (int x = x0; x < x1; ++x, p += 3, ++n) {
      b += p[0];
      g += p[1];
      r += p[2];
    }
  }
  if (n == 0) return {};
  return {int(r / n), int(g / n), int(b / n)};
}

// The inner half of a cell, so that blurred edges after lossy coding or
// scaling do not count.
Rgb InnerAverage(const TBitmap& bmp, int x0, int y0, int x1, int y1) {
  const int dx = (x1 - x0) / 4, dy = (y1 - y0) / 4;
  return AverageOf(bmp, x0 + dx, y0 + dy, std::max(x1 - dx, x0 + dx + 1),
                   std::max(y1 - dy, y0 + dy + 1));
}

int Luma(const Rgb& c) { return (c.R * 299 + c.G * 587 + c.B * 114) / 1000; }

// One opened input with a decoder for its first stream of a kind.
class TDecoderInput {
 public:
  ~TDecoderInput() {
    FF.av_frame_free(&frame_);
    FF.av_packet_free(&pkt_);
    FF.avcodec_free_context(&dec_);
    if (ic_) FF.avformat_close_input(&ic_);
  }

  bool Open(const std::string& path, AVMediaType type) {
    if (FF.avformat_open_input(&ic_, path.c_str(), nullptr, nullptr) < 0) return false;
    std::lock_guard lock(CodecLock());
    if (FF.avformat_find_stream_info(ic_, nullptr) < 0) return false;
    const AVCodec* codec = nullptr;
    index_ = FF.av_find_best_stream(ic_, type, -1, -1, &codec, 0);
    if (index_ < 0 || !codec) return false;
    dec_ = FF.avcodec_alloc_context3(codec);
    if (!dec_ || FF.avcodec_parameters_to_context(dec_, Stream()->codecpar) < 0) return false;
    dec_->pkt_timebase = Stream()->time_base;
    if (FF.avcodec_open2(dec_, codec, nullptr) < 0) return false;
    pkt_ = FF.av_packet_alloc();
    frame_ = FF.av_frame_alloc();
    return pkt_ && frame_;
  }

  AVStream* Stream() const { return ic_->streams[index_]; }
  // Seconds of the file's start (the earliest start of its streams).
  double FileStart() const {
    return ic_->start_time == AV_NOPTS_VALUE ? 0.0 : double(ic_->start_time) / AV_TIME_BASE;
  }
  AVCodecContext* Decoder() const { return dec_; }

  // Seconds of a frame's time stamp in the stream's time base (0 when unset).
  double Seconds(const AVFrame* f) const {
    const std::int64_t ts = f->best_effort_timestamp;
    return ts == AV_NOPTS_VALUE ? 0.0 : double(ts) * av_q2d(Stream()->time_base);
  }

  // Calls `onPacket` for every packet of the stream (subtitles decode per packet).
  void ForEachPacket(const std::function<void(const AVPacket*)>& onPacket) {
    while (FF.av_read_frame(ic_, pkt_) >= 0) {
      if (pkt_->stream_index == index_) onPacket(pkt_);
      FF.av_packet_unref(pkt_);
    }
  }

  // Calls `onFrame` for every decoded frame until it returns false.
  void ForEachFrame(const std::function<bool(const AVFrame*)>& onFrame) {
    bool more = true;
    while (more && FF.av_read_frame(ic_, pkt_) >= 0) {
      if (pkt_->stream_index == index_) more = Feed(pkt_, onFrame);
      FF.av_packet_unref(pkt_);
    }
    if (more) Feed(nullptr, onFrame);
  }

 private:
  bool Feed(const AVPacket* pkt, const std::function<bool(const AVFrame*)>& onFrame) {
    // Damaged data only makes the decoder skip; the caller sees fewer frames.
    if (FF.avcodec_send_packet(dec_, pkt) < 0 && pkt) return true;
    while (FF.avcodec_receive_frame(dec_, frame_) >= 0) {
      const bool more = onFrame(frame_);
      FF.av_frame_unref(frame_);
      if (!more) return false;
    }
    return true;
  }

  AVFormatContext* ic_ = nullptr;
  AVCodecContext* dec_ = nullptr;
  AVPacket* pkt_ = nullptr;
  AVFrame* frame_ = nullptr;
  int index_ = -1;
};

bool ToBitmap(const AVFrame* f, TBitmap& out) {
  SwsContext* sws = FF.sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format),
                                      f->width, f->height, AV_PIX_FMT_BGR24,
                                      SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  if (!sws) return false;
  out.SetSize(f->width, f->height);
  std::uint8_t* dst[1] = {out.Bits()};
  const int dstStride[1] = {out.RowSize()};
  FF.sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
  FF.sws_freeContext(sws);
  return true;
}

// Reads one sample of an audio frame as -1..1.
double GetSample(const AVFrame* f, int channels, int ch, int i) {
  const auto fmt = static_cast<AVSampleFormat>(f->format);
  const bool planar = FF.av_sample_fmt_is_planar(fmt);
  const int bytes = FF.av_get_bytes_per_sample(fmt);
  const std::uint8_t* p = (planar ? f->extended_data[ch] : f->extended_data[0]) +
                          size_t(planar ? i : i * channels + ch) * size_t(bytes);
  switch (FF.av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8: return (*p - 128) / 128.0;
    case AV_SAMPLE_FMT_S16: return *reinterpret_cast<const std::int16_t*>(p) / 32768.0;
    case AV_SAMPLE_FMT_S32: return *reinterpret_cast<const std::int32_t*>(p) / 2147483648.0;
    case AV_SAMPLE_FMT_FLT: return *reinterpret_cast<const float*>(p);
    case AV_SAMPLE_FMT_DBL: return *reinterpret_cast<const double*>(p);
    default: return 0.0;
  }
}

}  // namespace

Rgb BandColour(int band) { return Bands[std::clamp(band, 0, BandCount - 1)]; }

Rgb BandSample(const TBitmap& bmp, int band) {
  const int w = bmp.Width(), h = bmp.Height();
  return InnerAverage(bmp, band * w / BandCount, h / 4, (band + 1) * w / BandCount, h / 2);
}

Rgb PixelAt(const TBitmap& bmp, int x, int y, int r) {
  return AverageOf(bmp, x - r, y - r, x + r + 1, y + r + 1);
}

bool ColourNear(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.R - b.R) <= tolerance && std::abs(a.G - b.G) <= tolerance &&
         std::abs(a.B - b.B) <= tolerance;
}

void DrawPattern(TBitmap& bmp, int n) {
  const int w = bmp.Width(), h = bmp.Height();
  const Rgb black{0, 0, 0}, white{255, 255, 255}, grey{128, 128, 128}, yellow{255, 255, 0};
  const int side = std::max(1, h / 4);
  const int squareX = (n % 32) * w / 32, squareY = h / 2 + h / 8;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Rgb c;
      if (y < h / 4) {
        const int bit = FrameNumberBits - 1 - x * FrameNumberBits / w;
        c = (n >> bit) & 1 ? white : black;
      } else if (y < h / 2) {
        c = Bands[x * BandCount / w];
      } else {
        const bool inSquare =
            x >= squareX && x < squareX + side && y >= squareY && y < squareY + side;
        c = inSquare ? yellow : grey;
      }
      SetPixel(bmp, x, y, c);
    }
  }
}

int ReadFrameNumber(const TBitmap& bmp) {
  const int w = bmp.Width(), h = bmp.Height();
  if (w < FrameNumberBits || h < 4) return -1;
  int n = 0;
  for (int cell = 0; cell < FrameNumberBits; ++cell) {
    const int luma = Luma(
        InnerAverage(bmp, cell * w / FrameNumberBits, 0, (cell + 1) * w / FrameNumberBits, h / 4));
    if (luma > 96 && luma < 160) return -1;
    n = n * 2 + (luma >= 160 ? 1 : 0);
  }
  return n;
}

bool ForEachFrame(const std::string& path,
                  const std::function<bool(const TBitmap& picture, double seconds)>& onFrame) {
  TDecoderInput in;
  if (!in.Open(path, AVMEDIA_TYPE_VIDEO)) return false;
  const double origin = in.FileStart();
  AVRational rate = in.Stream()->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = in.Stream()->r_frame_rate;
  const double step = rate.num > 0 && rate.den > 0 ? 1 / av_q2d(rate) : 0.0;
  TBitmap bmp;
  bool any = false;
  double last = 0;
  in.ForEachFrame([&](const AVFrame* f) {
    if (!ToBitmap(f, bmp)) return false;
    // A picture without a time (the last one of some files) follows the one before.
    const double t = f->best_effort_timestamp != AV_NOPTS_VALUE ? in.Seconds(f) - origin
                     : any                                      ? last + step
                                                                : 0.0;
    any = true;
    last = t;
    return onFrame(bmp, t);
  });
  return any;
}

bool DecodeFrame(const std::string& path, int index, TBitmap& out) {
  TDecoderInput in;
  if (!in.Open(path, AVMEDIA_TYPE_VIDEO)) return false;
  int seen = 0;
  bool found = false;
  in.ForEachFrame([&](const AVFrame* f) {
    if (seen++ < index) return true;
    found = ToBitmap(f, out);
    return false;
  });
  return found;
}

bool DecodeFrameAt(const std::string& path, std::int64_t timeUs, TBitmap& out) {
  TDecoderInput in;
  if (!in.Open(path, AVMEDIA_TYPE_VIDEO)) return false;
  const std::int64_t start = in.Stream()->start_time;
  const double origin =
      start == AV_NOPTS_VALUE ? 0.0 : double(start) * av_q2d(in.Stream()->time_base);
  bool found = false;
  in.ForEachFrame([&](const AVFrame* f) {
    const double t = in.Seconds(f) - origin;
    // Half a microsecond of slack against rounding of the time base.
    if (found && t * 1e6 > double(timeUs) + 0.5) return false;
    found = ToBitmap(f, out);
    return found;
  });
  return found;
}

VideoStats ScanVideo(const std::string& path) {
  VideoStats s;
  TDecoderInput in;
  if (!in.Open(path, AVMEDIA_TYPE_VIDEO)) return s;
  TBitmap bmp;
  in.ForEachFrame([&](const AVFrame* f) {
    const double t = in.Seconds(f);
    if (s.Frames == 0) s.FirstPts = t;
    s.LastPts = t;
    ++s.Frames;
    s.Width = f->width;
    s.Height = f->height;
    s.Numbers.push_back(ToBitmap(f, bmp) ? ReadFrameNumber(bmp) : -1);
    return true;
  });
  AVRational rate = in.Stream()->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = in.Stream()->r_frame_rate;
  s.FrameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
  s.Duration =
      s.Frames ? s.LastPts - s.FirstPts + (s.FrameRate > 0 ? 1.0 / s.FrameRate : 0.0) : 0.0;
  s.Ok = s.Frames > 0;
  return s;
}

AudioStats ScanAudio(const std::string& path) {
  AudioStats s;
  TDecoderInput in;
  if (!in.Open(path, AVMEDIA_TYPE_AUDIO)) return s;
  double sumSquares = 0;
  long long crossings = 0;
  // A crossing counts only when the wave swings from below -h to above +h, so
  // that coding noise around zero (encoder priming, padding) adds none.
  constexpr double h = 0.02;
  bool below = false;
  in.ForEachFrame([&](const AVFrame* f) {
    const int channels = f->ch_layout.nb_channels;
    s.Channels = channels;
    s.SampleRate = f->sample_rate;
    for (int i = 0; i < f->nb_samples; ++i) {
      for (int ch = 0; ch < channels; ++ch) {
        const double v = GetSample(f, channels, ch, i);
        sumSquares += v * v;
        s.Peak = std::max(s.Peak, std::fabs(v));
        if (ch == 0) {
          if (v < -h) below = true;
          if (below && v > h) {
            ++crossings;
            below = false;
          }
        }
      }
    }
    s.Samples += f->nb_samples;
    return true;
  });
  if (s.Samples == 0 || s.SampleRate <= 0) return s;
  s.Duration = double(s.Samples) / s.SampleRate;
  s.Rms = std::sqrt(sumSquares / (double(s.Samples) * std::max(1, s.Channels)));
  s.PitchHz = crossings / s.Duration;
  s.Ok = true;
  return s;
}

std::vector<SubtitleCue> ScanSubtitles(const std::string& path) {
  std::vector<SubtitleCue> cues;
  TDecoderInput in;
  if (!in.Open(path, AVMEDIA_TYPE_SUBTITLE)) return cues;
  in.ForEachPacket([&](const AVPacket* pkt) {
    AVSubtitle sub{};
    int got = 0;
    if (FF.avcodec_decode_subtitle2(in.Decoder(), &sub, &got, const_cast<AVPacket*>(pkt)) < 0 ||
        !got)
      return;
    for (unsigned r = 0; r < sub.num_rects; ++r) {
      const AVSubtitleRect* rect = sub.rects[r];
      if (rect->type != SUBTITLE_ASS || !rect->ass) continue;
      // The dialogue text follows the eighth comma of the event line.
      std::string text = rect->ass;
      size_t at = 0;
      int commas = 0;
      for (size_t c; commas < 8 && (c = text.find(',', at)) != std::string::npos; ++commas)
        at = c + 1;
      const double start =
          pkt->pts == AV_NOPTS_VALUE ? 0.0 : double(pkt->pts) * av_q2d(in.Stream()->time_base);
      cues.push_back({start, commas == 8 ? text.substr(at) : text});
    }
    FF.avsubtitle_free(&sub);
  });
  return cues;
}

double ContainerDuration(const std::string& path) {
  AVFormatContext* ic = nullptr;
  if (FF.avformat_open_input(&ic, path.c_str(), nullptr, nullptr) < 0) return -1;
  int err;
  {
    std::lock_guard lock(CodecLock());
    err = FF.avformat_find_stream_info(ic, nullptr);
  }
  const double d =
      err >= 0 && ic->duration != AV_NOPTS_VALUE ? double(ic->duration) / AV_TIME_BASE : -1;
  FF.avformat_close_input(&ic);
  return d;
}

}  // namespace TestMedia
