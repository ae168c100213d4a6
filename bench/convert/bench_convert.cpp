// Conversion speed of the converter component against a minimal direct
// decode-encode loop written here with the same libraries, encoders, thread
// counts and settings, both measured in this run (the machines are shared, so
// only the ratios compare between runs). Input: a generated 10 s 1920x1080
// 25 fps H.264 + AAC clip.
//
//   (a) MPEG-4 1500 kbit/s + MP3 in AVI
//   (b) H.264 + AAC in MP4
//   (c) as (a), with the per-frame hook on and a handler that returns at once;
//       also shown: a handler that draws one pixel on every frame, which
//       pays for the way to the bitmap and back of that pixel's rows
//   (d) catalogue mode, format 0, whole runs of quor-convert: plain, with
//       --brightness 300 and with a text watermark (CatalogueRuns.h)
//
//   bench_convert [repetitions [cases]]   (best of N, default 3; cases "abcd")
// QUOR_BENCH_KEEP=1 keeps the converted files in the test media folder.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
}

#include "CatalogueRuns.h"
#include "engine/component/FFmpegVCL.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/FrameConverter.h"
#include "support/MediaFactory.h"

namespace {

struct TCase {
  const char* Title;
  const char* Extension;
  const char* VideoEncoder;
  int VideoBitRate;
  const char* VideoPreset;  // libx264's "preset", or nullptr
  const char* AudioEncoder;
  int AudioBitRate;
};

const TCase kMpeg4Avi{
    "(a) MPEG-4 + MP3 in AVI", "avi", "mpeg4", 1500000, nullptr, "libmp3lame", 128000};
const TCase kH264Mp4{
    "(b) H.264 + AAC in MP4", "mp4", "libx264", 2000000, "veryfast", "aac", 128000};

void Check(int err, const char* what) {
  if (err < 0)
    throw std::runtime_error(std::string(what) + " failed (" + std::to_string(err) + ")");
}

template <typename T>
T* Checked(T* p, const char* what) {
  if (!p) throw std::runtime_error(std::string(what) + " failed");
  return p;
}

// ---- the direct loop ----

class TDirectLoop {
 public:
  TDirectLoop(const std::string& input, const std::string& output, const TCase& c) {
    Check(FF.avformat_open_input(&in_, input.c_str(), nullptr, nullptr), "open input");
    Check(FF.avformat_find_stream_info(in_, nullptr), "stream info");
    for (unsigned i = 0; i < in_->nb_streams; ++i) {
      int type = in_->streams[i]->codecpar->codec_type;
      if (type == AVMEDIA_TYPE_VIDEO && vIn_ < 0) vIn_ = int(i);
      if (type == AVMEDIA_TYPE_AUDIO && aIn_ < 0) aIn_ = int(i);
    }
    if (vIn_ < 0 || aIn_ < 0) throw std::runtime_error("the clip needs video and audio");
    vDec_ = OpenDecoder(in_->streams[vIn_]);
    aDec_ = OpenDecoder(in_->streams[aIn_]);

    Check(FF.avformat_alloc_output_context2(&out_, nullptr, nullptr, output.c_str()),
          "output context");
    const bool globalHeader = out_->oformat->flags & AVFMT_GLOBALHEADER;
    vEnc_ = NewEncoder(c.VideoEncoder, globalHeader);
    vEnc_->width = vDec_->width;
    vEnc_->height = vDec_->height;
    vEnc_->pix_fmt = vDec_->pix_fmt;
    vEnc_->sample_aspect_ratio = vDec_->sample_aspect_ratio;
    vEnc_->time_base = AVRational{1, 25};
    vEnc_->framerate = AVRational{25, 1};
    vEnc_->bit_rate = c.VideoBitRate;
    if (c.VideoPreset) FF.av_opt_set(vEnc_->priv_data, "preset", c.VideoPreset, 0);
    Check(FF.avcodec_open2(vEnc_, vEnc_->codec, nullptr), "open video encoder");

    aEnc_ = NewEncoder(c.AudioEncoder, globalHeader);
    aEnc_->sample_rate = aDec_->sample_rate;
    aEnc_->sample_fmt = aDec_->sample_fmt;  // planar float suits both encoders
    FF.av_channel_layout_copy(&aEnc_->ch_layout, &aDec_->ch_layout);
    aEnc_->time_base = AVRational{1, aDec_->sample_rate};
    aEnc_->bit_rate = c.AudioBitRate;
    Check(FF.avcodec_open2(aEnc_, aEnc_->codec, nullptr), "open audio encoder");

    vOut_ = NewStream(vEnc_);
    aOut_ = NewStream(aEnc_);
    Check(FF.avio_open(&out_->pb, output.c_str(), AVIO_FLAG_WRITE), "open output file");
    Check(FF.avformat_write_header(out_, nullptr), "write header");
    fifo_ = Checked(FF.av_audio_fifo_alloc(aEnc_->sample_fmt, aEnc_->ch_layout.nb_channels, 4096),
                    "fifo");
    frame_ = Checked(FF.av_frame_alloc(), "frame");
    pkt_ = Checked(FF.av_packet_alloc(), "packet");
  }

  ~TDirectLoop() {
    FF.av_packet_free(&pkt_);
    FF.av_frame_free(&frame_);
    if (fifo_) FF.av_audio_fifo_free(fifo_);
    for (AVCodecContext** c : {&vDec_, &aDec_, &vEnc_, &aEnc_}) FF.avcodec_free_context(c);
    if (out_) {
      FF.avio_closep(&out_->pb);
      FF.avformat_free_context(out_);
    }
    FF.avformat_close_input(&in_);
  }

  // Converts everything; returns the number of video frames encoded.
  int Run() {
    AVPacket* in = Checked(FF.av_packet_alloc(), "packet");
    while (FF.av_read_frame(in_, in) >= 0) {
      if (in->stream_index == vIn_) Decode(vDec_, in, true);
      if (in->stream_index == aIn_) Decode(aDec_, in, false);
      FF.av_packet_unref(in);
    }
    FF.av_packet_free(&in);
    Decode(vDec_, nullptr, true);
    Decode(aDec_, nullptr, false);
    EncodeAudioFifo(true);
    Encode(vEnc_, vOut_, nullptr);
    Encode(aEnc_, aOut_, nullptr);
    Check(FF.av_write_trailer(out_), "write trailer");
    return videoFrames_;
  }

 private:
  AVCodecContext* OpenDecoder(AVStream* st) {
    const AVCodec* codec = Checked(FF.avcodec_find_decoder(st->codecpar->codec_id), "find decoder");
    AVCodecContext* ctx = Checked(FF.avcodec_alloc_context3(codec), "decoder context");
    Check(FF.avcodec_parameters_to_context(ctx, st->codecpar), "decoder parameters");
    ctx->thread_count = 0;
    ctx->pkt_timebase = st->time_base;
    Check(FF.avcodec_open2(ctx, codec, nullptr), "open decoder");
    return ctx;
  }

  AVCodecContext* NewEncoder(const char* name, bool globalHeader) {
    const AVCodec* codec = Checked(FF.avcodec_find_encoder_by_name(name), name);
    AVCodecContext* ctx = Checked(FF.avcodec_alloc_context3(codec), "encoder context");
    ctx->thread_count = 0;
    if (globalHeader) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return ctx;
  }

  AVStream* NewStream(AVCodecContext* enc) {
    AVStream* st = Checked(FF.avformat_new_stream(out_, nullptr), "new stream");
    Check(FF.avcodec_parameters_from_context(st->codecpar, enc), "stream parameters");
    st->time_base = enc->time_base;
    return st;
  }

  void Decode(AVCodecContext* dec, const AVPacket* pkt, bool video) {
    Check(FF.avcodec_send_packet(dec, pkt), "send packet");
    while (FF.avcodec_receive_frame(dec, frame_) >= 0) {
      if (video) {
        AVStream* st = in_->streams[vIn_];
        frame_->pts =
            FF.av_rescale_q(frame_->best_effort_timestamp - std::max<int64_t>(st->start_time, 0),
                            st->time_base, vEnc_->time_base);
        frame_->pict_type = AV_PICTURE_TYPE_NONE;
        Encode(vEnc_, vOut_, frame_);
        ++videoFrames_;
      } else {
        FF.av_audio_fifo_write(fifo_, reinterpret_cast<void**>(frame_->extended_data),
                               frame_->nb_samples);
        EncodeAudioFifo(false);
      }
      FF.av_frame_unref(frame_);
    }
  }

  // Whole encoder frames from the FIFO; at the end the short rest too.
  void EncodeAudioFifo(bool last) {
    const int size = aEnc_->frame_size;
    while (FF.av_audio_fifo_size(fifo_) >= size || (last && FF.av_audio_fifo_size(fifo_) > 0)) {
      AVFrame* f = Checked(FF.av_frame_alloc(), "frame");
      f->nb_samples = std::min(size, FF.av_audio_fifo_size(fifo_));
      f->format = aEnc_->sample_fmt;
      f->sample_rate = aEnc_->sample_rate;
      FF.av_channel_layout_copy(&f->ch_layout, &aEnc_->ch_layout);
      Check(FF.av_frame_get_buffer(f, 0), "audio buffer");
      FF.av_audio_fifo_read(fifo_, reinterpret_cast<void**>(f->data), f->nb_samples);
      f->pts = audioPts_;
      audioPts_ += f->nb_samples;
      if (f->nb_samples == size || (aEnc_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME))
        Encode(aEnc_, aOut_, f);
      FF.av_frame_free(&f);
    }
  }

  void Encode(AVCodecContext* enc, AVStream* st, const AVFrame* frame) {
    Check(FF.avcodec_send_frame(enc, frame), "send frame");
    while (FF.avcodec_receive_packet(enc, pkt_) >= 0) {
      pkt_->stream_index = st->index;
      FF.av_packet_rescale_ts(pkt_, enc->time_base, st->time_base);
      Check(FF.av_interleaved_write_frame(out_, pkt_), "write packet");
    }
  }

  AVFormatContext* in_ = nullptr;
  AVFormatContext* out_ = nullptr;
  int vIn_ = -1, aIn_ = -1;
  AVCodecContext *vDec_ = nullptr, *aDec_ = nullptr, *vEnc_ = nullptr, *aEnc_ = nullptr;
  AVStream *vOut_ = nullptr, *aOut_ = nullptr;
  AVAudioFifo* fifo_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* pkt_ = nullptr;
  int64_t audioPts_ = 0;
  int videoFrames_ = 0;
};

// ---- where the hook's time goes ----

// The per-frame steps a drawing handler adds, timed on the clip's first
// picture: the picture to the 24-bit bitmap, a fresh picture for the result,
// and the bitmap back into it. Milliseconds per frame.
void PrintHookSteps(const std::string& clip) {
  AVFormatContext* in = nullptr;
  Check(FF.avformat_open_input(&in, clip.c_str(), nullptr, nullptr), "open input");
  Check(FF.avformat_find_stream_info(in, nullptr), "stream info");
  int v = FF.av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* codec =
      Checked(FF.avcodec_find_decoder(in->streams[v]->codecpar->codec_id), "decoder");
  AVCodecContext* dec = Checked(FF.avcodec_alloc_context3(codec), "decoder context");
  FF.avcodec_parameters_to_context(dec, in->streams[v]->codecpar);
  Check(FF.avcodec_open2(dec, codec, nullptr), "open decoder");
  AVPacket* pkt = FF.av_packet_alloc();
  AVFrame* picture = FF.av_frame_alloc();
  bool got = false;
  while (!got && FF.av_read_frame(in, pkt) >= 0) {
    if (pkt->stream_index == v && FF.avcodec_send_packet(dec, pkt) >= 0)
      got = FF.avcodec_receive_frame(dec, picture) >= 0;
    FF.av_packet_unref(pkt);
  }
  if (got) {
    constexpr int kRounds = 50;
    TFrameConverter converter;
    double toBitmap = 0, fresh = 0, back = 0;
    for (int i = 0; i < kRounds; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      converter.ToBitmap(picture);
      auto t1 = std::chrono::steady_clock::now();
      AVFrame* drawn = FF.av_frame_alloc();
      drawn->format = picture->format;
      drawn->width = picture->width;
      drawn->height = picture->height;
      FF.av_frame_get_buffer(drawn, 0);
      auto t2 = std::chrono::steady_clock::now();
      converter.FromBitmap(drawn);
      auto t3 = std::chrono::steady_clock::now();
      toBitmap += std::chrono::duration<double, std::milli>(t1 - t0).count();
      fresh += std::chrono::duration<double, std::milli>(t2 - t1).count();
      back += std::chrono::duration<double, std::milli>(t3 - t2).count();
      FF.av_frame_free(&drawn);
    }
    std::printf(
        "  hook steps per %dx%d frame: to bitmap %.2f ms, fresh picture %.2f ms, back %.2f ms\n",
        picture->width, picture->height, toBitmap / kRounds, fresh / kRounds, back / kRounds);
  }
  FF.av_frame_free(&picture);
  FF.av_packet_free(&pkt);
  FF.avcodec_free_context(&dec);
  FF.avformat_close_input(&in);
}

// ---- the component ----

enum class THook { Off, Idle, Draws };

int EngineConvert(const std::string& input, const std::string& output, const TCase& c, THook hook) {
  TFFmpegVCL vcl;
  int frames = -1;
  std::string error;
  vcl.SetOnProgress([&](TCustomFFmpegVCL*, PProgressInfo p) { frames = p->FrameNumber; });
  vcl.SetOnTerminate([&](TCustomFFmpegVCL*, const TTerminateInfo& t) {
    if (t.Failed) error = t.ErrorMessage;
  });
  if (hook == THook::Idle) vcl.SetOnCustomHook([](TCustomFFmpegVCL*, PHookInfo) {});
  if (hook == THook::Draws)
    vcl.SetOnCustomHook(
        [](TCustomFFmpegVCL*, PHookInfo info) { info->Bitmap->ScanLine(0)[0] ^= 0xff; });
  if (vcl.AddTask(input) < 0) throw std::runtime_error(vcl.LastErrMsg());
  TOutputOptions o;
  o.VideoCodec = c.VideoEncoder;
  o.VideoBitRate = c.VideoBitRate;
  o.AudioCodec = c.AudioEncoder;
  o.AudioBitRate = c.AudioBitRate;
  o.CustomHook = hook != THook::Off;
  if (c.VideoPreset) o.ExtraOptions = std::string("preset=") + c.VideoPreset;
  if (!vcl.SetOutputFile(0, output, &o)) throw std::runtime_error(vcl.LastErrMsg());
  vcl.StartTask(0);  // on this thread: nothing but the conversion is timed
  if (!error.empty()) throw std::runtime_error(error);
  return frames;
}

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Wall time says how fast a user sees it; processor time (every thread of
// the process) says how much work it was, and stays comparable when other
// programs compete for the processors.
struct TResult {
  double Wall = 1e30;
  double Cpu = 1e30;
  int Frames = 0;
  double Fps() const { return Frames / Wall; }
  double CpuFps() const { return Frames / Cpu; }
};

TResult Measure(const std::function<int()>& body) {
  TResult r;
  const double cpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  r.Frames = body();
  r.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.Cpu = CpuSeconds() - cpu;
  return r;
}

long PeakMemoryMB() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

void Print(const char* what, const TResult& r) {
  std::printf(
      "  %-22s %6.1f frames/s  (%d frames in %.2f s; processor %.2f s = %.1f frames/cpu-s)\n", what,
      r.Fps(), r.Frames, r.Wall, r.Cpu, r.CpuFps());
}

// A goal of 0: the ratio is shown for information only.
void PrintRatio(const char* what, const TResult& a, const TResult& b, double goal) {
  char goalText[32] = "no goal";
  if (goal > 0) std::snprintf(goalText, sizeof goalText, "goal >= %.2f", goal);
  std::printf("  ratio %-16s %6.3f wall, %6.3f processor   (%s)   peak memory %ld MB\n", what,
              a.Fps() / b.Fps(), a.CpuFps() / b.CpuFps(), goalText, PeakMemoryMB());
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string cases = argc > 2 ? argv[2] : "abcd";
  auto wanted = [&](char c) { return cases.find(c) != std::string::npos; };
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(TFFmpegLoader::DefaultLibraryPath());
  if (!loader.Load(AllLibraries)) {
    std::fprintf(stderr, "cannot load the media libraries: %s\n", loader.LastErrMsg().c_str());
    return 2;
  }
  FFLogger().SetLogLevel(llError);
  try {
    std::printf("making the 10 s 1920x1080 clip (cached after the first run)...\n");
    const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(1920, 1080).Seconds(10));
    const std::string base = TestMedia::MediaDir() + "bench_convert_" + std::to_string(::getpid());

    auto run = [&](const TCase& c, THook hook, bool direct) {
      std::string out = base + (direct ? "_direct." : "_engine.") + c.Extension;
      TResult r = Measure([&] {
        return direct ? TDirectLoop(clip, out, c).Run() : EngineConvert(clip, out, c, hook);
      });
      if (!std::getenv("QUOR_BENCH_KEEP")) std::remove(out.c_str());
      return r;
    };
    // The two sides alternate, and each keeps its best run, so that a burst
    // of load from elsewhere does not fall on one side only.
    auto best = [](TResult& kept, const TResult& r) {
      if (r.Wall < kept.Wall) {
        kept.Wall = r.Wall;
        kept.Frames = r.Frames;
      }
      kept.Cpu = std::min(kept.Cpu, r.Cpu);
    };
    auto compare = [&](const TCase& c, THook hookA, bool directA, THook hookB, bool directB,
                       TResult& a, TResult& b) {
      for (int i = 0; i < reps; ++i) {
        best(a, run(c, hookA, directA));
        best(b, run(c, hookB, directB));
      }
    };

    for (const TCase* c : {&kMpeg4Avi, &kH264Mp4}) {
      if (!wanted(c == &kMpeg4Avi ? 'a' : 'b')) continue;
      std::printf("%s (best of %d)\n", c->Title, reps);
      TResult direct, engine;
      compare(*c, THook::Off, true, THook::Off, false, direct, engine);
      Print("direct loop", direct);
      Print("converter component", engine);
      PrintRatio("component/direct", engine, direct, 0.95);
    }
    if (wanted('c')) {
      std::printf("%s, hook on and off (best of %d)\n", kMpeg4Avi.Title, reps);
      TResult hooked, plain, drawing, plain2;
      compare(kMpeg4Avi, THook::Idle, false, THook::Off, false, hooked, plain);
      Print("component, hook on", hooked);
      Print("component, hook off", plain);
      PrintRatio("hook/no hook", hooked, plain, 0.85);
      compare(kMpeg4Avi, THook::Draws, false, THook::Off, false, drawing, plain2);
      Print("hook draws a pixel", drawing);
      Print("component, hook off", plain2);
      PrintRatio("drawing/no hook", drawing, plain2, 0.0);
      PrintHookSteps(clip);
    }
    if (wanted('d')) bench_catalogue::Run(clip, reps);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_convert: %s\n", e.what());
    return 1;
  }
  return 0;
}
