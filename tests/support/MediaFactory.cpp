// Writing synthetic clips: pattern pictures and a sine tone, encoded and
// multiplexed with the media libraries, cached by spec in the media folder.
#include "support/MediaFactory.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "support/EditPattern.h"

namespace fs = std::filesystem;

// Bump when the pattern or the writer changes, so stale cached clips are not reused.
static constexpr int GeneratorVersion = 3;

namespace {

// A container with its video and audio encoders ("" for no stream).
MediaSpec Preset(const char* format, const char* video, const char* audio) {
  MediaSpec s;
  s.Format = format;
  s.VideoCodec = video;
  s.AudioCodec = audio;
  return s;
}

}  // namespace

MediaSpec MediaSpec::Mp4() { return MediaSpec(); }

MediaSpec MediaSpec::Avi() { return Preset("avi", "mpeg4", "libmp3lame"); }

MediaSpec MediaSpec::Mkv() {
  MediaSpec s;
  s.Format = "matroska";
  return s;
}

MediaSpec MediaSpec::Ts() { return Preset("mpegts", "mpeg2video", "mp2"); }

MediaSpec MediaSpec::Wav() { return Preset("wav", "", "pcm_s16le"); }

MediaSpec MediaSpec::Mp3() { return Preset("mp3", "", "libmp3lame"); }

MediaSpec MediaSpec::AudioOnly() { return Mp4().NoVideo(); }
MediaSpec MediaSpec::VideoOnly() { return Mp4().NoAudio(); }

std::string MediaSpec::Key() const {
  std::ostringstream k;
  k.precision(9);
  k << "g=" << GeneratorVersion << ";f=" << Format << ";e=" << Extension << ";v=" << VideoCodec
    << ";a=" << AudioCodec << ";sub=" << SubtitleCodec << ";bf=" << BFrames << ";s=" << Width << "x"
    << Height << ";r=" << FpsNum << "/" << FpsDen << ";d=" << Duration << ";ar=" << SampleRate
    << ";ac=" << Channels << ";hz=" << ToneHz << ";lv=" << ToneLevel << ";vb=" << VideoBitRate
    << ";ab=" << AudioBitRate << ";pf=" << PixelFormat << ";lang=" << Language
    << (Interlaced ? ";il" : "") << (Noise ? ";nz" : "") << (EditPattern ? ";edit" : "");
  if (VideoDelay) k << ";vd=" << VideoDelay;
  for (const auto& [key, value] : Metadata) k << ";m:" << key << "=" << value;
  return k.str();
}

namespace TestMedia {
namespace {

std::string ErrorText(int err) {
  char buf[256] = {};
  if (FF.av_strerror) FF.av_strerror(err, buf, sizeof buf);
  return buf;
}

[[noreturn]] void Fail(const std::string& what, int err = 0) {
  throw std::runtime_error("test media: " + what + (err ? ": " + ErrorText(err) : std::string()));
}

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string Hex(std::uint64_t v) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return buf;
}

// A name no other process or thread uses for its temporary file.
std::string TempNameFor(const std::string& path) {
  static std::atomic<int> counter{0};
  return path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// Makes `path` with `write(tempPath)` unless it exists; the rename makes the
// finished file appear at once, so a reader never sees half a file.
template <typename WriteFn>
std::string MakeCached(const std::string& path, WriteFn write) {
  std::error_code ec;
  if (fs::exists(path, ec)) return path;
  const std::string tmp = TempNameFor(path);
  try {
    write(tmp);
  } catch (...) {
    fs::remove(tmp, ec);
    throw;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    fs::remove(tmp, ec);
    Fail("cannot rename " + tmp + " to " + path);
  }
  return path;
}

std::string ExtensionOf(const MediaSpec& spec) {
  if (!spec.Extension.empty()) return spec.Extension;
  const AVOutputFormat* of = FF.av_guess_format(spec.Format.c_str(), nullptr, nullptr);
  if (!of) Fail("unknown container " + spec.Format);
  std::string ext = of->extensions ? of->extensions : "";
  ext = ext.substr(0, ext.find(','));
  return ext.empty() ? spec.Format : ext;
}

std::string CachePath(const MediaSpec& spec) {
  std::string label = spec.Format + "_" + (spec.VideoCodec.empty() ? "nov" : spec.VideoCodec) +
                      "_" + (spec.AudioCodec.empty() ? "noa" : spec.AudioCodec);
  return MediaDir() + label + "_" + Hex(Fnv1a(spec.Key())) + "." + ExtensionOf(spec);
}

// Writes one sample value (-1..1) into an audio frame of any common format.
void PutSample(AVFrame* f, int channels, int ch, int i, double v) {
  const auto fmt = static_cast<AVSampleFormat>(f->format);
  const bool planar = FF.av_sample_fmt_is_planar(fmt);
  const int bytes = FF.av_get_bytes_per_sample(fmt);
  std::uint8_t* base = planar ? f->extended_data[ch] : f->extended_data[0];
  std::uint8_t* p = base + size_t(planar ? i : i * channels + ch) * size_t(bytes);
  switch (FF.av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8: *p = static_cast<std::uint8_t>(std::lround(128 + v * 127)); break;
    case AV_SAMPLE_FMT_S16:
      *reinterpret_cast<std::int16_t*>(p) = static_cast<std::int16_t>(std::lround(v * 32767));
      break;
    case AV_SAMPLE_FMT_S32:
      *reinterpret_cast<std::int32_t*>(p) =
          static_cast<std::int32_t>(std::llround(v * 2147483647.0));
      break;
    case AV_SAMPLE_FMT_FLT: *reinterpret_cast<float*>(p) = static_cast<float>(v); break;
    case AV_SAMPLE_FMT_DBL: *reinterpret_cast<double*>(p) = v; break;
    default: Fail("unsupported sample format");
  }
}

// Encodes and multiplexes one clip.
class TClipWriter {
 public:
  explicit TClipWriter(const MediaSpec& spec) : spec_(spec) {}
  ~TClipWriter() {
    FF.avcodec_free_context(&venc_);
    FF.avcodec_free_context(&aenc_);
    FF.avcodec_free_context(&senc_);
    FF.av_frame_free(&vframe_);
    FF.av_frame_free(&aframe_);
    FF.av_packet_free(&pkt_);
    if (sws_) FF.sws_freeContext(sws_);
    if (oc_) {
      if (oc_->pb && !(oc_->oformat->flags & AVFMT_NOFILE)) FF.avio_closep(&oc_->pb);
      FF.avformat_free_context(oc_);
    }
  }

  void Write(const std::string& path) {
    int err = FF.avformat_alloc_output_context2(&oc_, nullptr, spec_.Format.c_str(), path.c_str());
    if (err < 0 || !oc_) Fail("no muxer " + spec_.Format, err);
    for (const auto& [key, value] : spec_.Metadata)
      FF.av_dict_set(&oc_->metadata, key.c_str(), value.c_str(), 0);
    if (!spec_.VideoCodec.empty()) OpenVideo();
    if (!spec_.AudioCodec.empty()) OpenAudio();
    if (!spec_.SubtitleCodec.empty()) OpenSubtitles();
    pkt_ = FF.av_packet_alloc();
    if (!(oc_->oformat->flags & AVFMT_NOFILE)) {
      err = FF.avio_open(&oc_->pb, path.c_str(), AVIO_FLAG_WRITE);
      if (err < 0) Fail("cannot create " + path, err);
    }
    err = FF.avformat_write_header(oc_, nullptr);
    if (err < 0) Fail("cannot write the header of " + path, err);
    EncodeAll();
    err = FF.av_write_trailer(oc_);
    if (err < 0) Fail("cannot write the trailer of " + path, err);
  }

 private:
  const AVCodec* FindEncoder(const std::string& name) {
    const AVCodec* c = FF.avcodec_find_encoder_by_name(name.c_str());
    if (!c) Fail("no encoder " + name);
    return c;
  }

  AVStream* NewStream(AVCodecContext* enc) {
    AVStream* st = FF.avformat_new_stream(oc_, nullptr);
    if (!st) Fail("cannot add a stream");
    st->time_base = enc->time_base;
    if (!spec_.Language.empty())
      FF.av_dict_set(&st->metadata, "language", spec_.Language.c_str(), 0);
    return st;
  }

  void OpenEncoder(AVCodecContext* enc, const AVCodec* codec, AVStream* st, AVDictionary** opts) {
    if (oc_->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int err;
    {
      std::lock_guard lock(CodecLock());
      err = FF.avcodec_open2(enc, codec, opts);
    }
    FF.av_dict_free(opts);
    if (err < 0) Fail(std::string("cannot open encoder ") + codec->name, err);
    err = FF.avcodec_parameters_from_context(st->codecpar, enc);
    if (err < 0) Fail("cannot copy encoder parameters", err);
  }

  void OpenVideo() {
    const AVCodec* codec = FindEncoder(spec_.VideoCodec);
    venc_ = FF.avcodec_alloc_context3(codec);
    venc_->width = spec_.Width;
    venc_->height = spec_.Height;
    venc_->time_base = AVRational{spec_.FpsDen, spec_.FpsNum};
    venc_->framerate = AVRational{spec_.FpsNum, spec_.FpsDen};
    venc_->gop_size = 12;
    venc_->thread_count = 1;  // cheap and deterministic; tests run many processes at once
    if (spec_.BFrames > 0) venc_->max_b_frames = spec_.BFrames;
    if (!spec_.PixelFormat.empty())
      venc_->pix_fmt = FF.av_get_pix_fmt(spec_.PixelFormat.c_str());
    else
      venc_->pix_fmt = codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    AVDictionary* opts = nullptr;
    if (spec_.VideoBitRate > 0) {
      venc_->bit_rate = spec_.VideoBitRate;
    } else if (spec_.VideoCodec == "libx264") {
      FF.av_dict_set(&opts, "crf", "18", 0);
    } else {
      venc_->flags |= AV_CODEC_FLAG_QSCALE;
      venc_->global_quality = FF_QP2LAMBDA * 3;
    }
    if (spec_.VideoCodec == "libx264") FF.av_dict_set(&opts, "preset", "ultrafast", 0);
    vst_ = NewStream(venc_);
    OpenEncoder(venc_, codec, vst_, &opts);
    vst_->avg_frame_rate = venc_->framerate;

    vframe_ = FF.av_frame_alloc();
    vframe_->format = venc_->pix_fmt;
    vframe_->width = spec_.Width;
    vframe_->height = spec_.Height;
    if (FF.av_frame_get_buffer(vframe_, 0) < 0) Fail("no picture buffer");
    sws_ = FF.sws_getContext(spec_.Width, spec_.Height, AV_PIX_FMT_BGR24, spec_.Width, spec_.Height,
                             venc_->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                             nullptr);
    if (!sws_) Fail("no scaler for the pattern");
    picture_.SetSize(spec_.Width, spec_.Height);
    videoTotal_ = std::llround(spec_.Duration * spec_.FpsNum / spec_.FpsDen);
  }

  void OpenAudio() {
    const AVCodec* codec = FindEncoder(spec_.AudioCodec);
    aenc_ = FF.avcodec_alloc_context3(codec);
    aenc_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    aenc_->sample_rate = spec_.SampleRate;
    aenc_->time_base = AVRational{1, spec_.SampleRate};
    FF.av_channel_layout_default(&aenc_->ch_layout, spec_.Channels);
    aenc_->thread_count = 1;
    const bool pcm = spec_.AudioCodec.rfind("pcm_", 0) == 0;
    if (spec_.AudioBitRate > 0)
      aenc_->bit_rate = spec_.AudioBitRate;
    else if (!pcm)
      aenc_->bit_rate = 64000LL * spec_.Channels;
    AVDictionary* opts = nullptr;
    ast_ = NewStream(aenc_);
    OpenEncoder(aenc_, codec, ast_, &opts);
    frameSize_ = aenc_->frame_size > 0 ? aenc_->frame_size : 1024;
    variableLastFrame_ = (codec->capabilities &
                          (AV_CODEC_CAP_VARIABLE_FRAME_SIZE | AV_CODEC_CAP_SMALL_LAST_FRAME)) ||
                         aenc_->frame_size <= 0;
    aframe_ = FF.av_frame_alloc();
    audioTotal_ = std::llround(spec_.Duration * spec_.SampleRate);
  }

  void OpenSubtitles() {
    const AVCodec* codec = FindEncoder(spec_.SubtitleCodec);
    senc_ = FF.avcodec_alloc_context3(codec);
    senc_->time_base = AVRational{1, 1000};
    // Text subtitle encoders take their styles from an ASS header.
    static const char* header =
        "[Script Info]\r\nScriptType: v4.00+\r\nPlayResX: 384\r\nPlayResY: 288\r\n\r\n"
        "[V4+ Styles]\r\n"
        "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
        "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
        "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
        "Style: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,"
        "10,10,10,0\r\n\r\n"
        "[Events]\r\n"
        "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";
    senc_->subtitle_header = reinterpret_cast<std::uint8_t*>(FF.av_strdup(header));
    senc_->subtitle_header_size = static_cast<int>(std::strlen(header));
    AVDictionary* opts = nullptr;
    sst_ = NewStream(senc_);
    OpenEncoder(senc_, codec, sst_, &opts);
    cueTotal_ = static_cast<std::int64_t>(std::ceil(spec_.Duration - 0.5));
  }

  // Which stream writes next: the one whose next item starts first.
  enum class TNext { Video, Audio, Cue, None };
  TNext NextItem() const {
    TNext best = TNext::None;
    std::int64_t bestUs = INT64_MAX;
    auto consider = [&](TNext kind, bool due, std::int64_t ts, AVRational tb) {
      if (!due) return;
      const std::int64_t us = FF.av_rescale_q(ts, tb, AVRational{1, 1000000});
      if (us < bestUs) {
        bestUs = us;
        best = kind;
      }
    };
    if (venc_)
      consider(TNext::Video, videoNext_ < videoTotal_, videoNext_ + spec_.VideoDelay,
               venc_->time_base);
    if (aenc_) consider(TNext::Audio, audioNext_ < audioTotal_, audioNext_, aenc_->time_base);
    if (senc_) consider(TNext::Cue, cueNext_ < cueTotal_, cueNext_, AVRational{1, 1});
    return best;
  }

  void EncodeCue() {
    const std::string text = "0,0,Default,,0,0,0,,Cue " + std::to_string(cueNext_);
    AVSubtitle sub{};
    sub.num_rects = 1;
    sub.rects = static_cast<AVSubtitleRect**>(FF.av_mallocz(sizeof(AVSubtitleRect*)));
    sub.rects[0] = static_cast<AVSubtitleRect*>(FF.av_mallocz(sizeof(AVSubtitleRect)));
    sub.rects[0]->type = SUBTITLE_ASS;
    sub.rects[0]->ass = FF.av_strdup(text.c_str());
    sub.start_display_time = 0;
    sub.end_display_time = 500;
    sub.pts = cueNext_ * AV_TIME_BASE;
    std::vector<std::uint8_t> buf(1024);
    const int size =
        FF.avcodec_encode_subtitle(senc_, buf.data(), static_cast<int>(buf.size()), &sub);
    FF.avsubtitle_free(&sub);
    if (size < 0) Fail("cannot encode a subtitle", size);
    FF.av_packet_unref(pkt_);
    if (FF.av_new_packet(pkt_, size) < 0) Fail("no subtitle packet");
    std::memcpy(pkt_->data, buf.data(), size_t(size));
    pkt_->stream_index = sst_->index;
    pkt_->pts = pkt_->dts = FF.av_rescale_q(cueNext_ * 1000, senc_->time_base, sst_->time_base);
    pkt_->duration = FF.av_rescale_q(500, senc_->time_base, sst_->time_base);
    ++cueNext_;
    const int err = FF.av_interleaved_write_frame(oc_, pkt_);
    if (err < 0) Fail("cannot write a subtitle", err);
  }

  void EncodeAll() {
    for (TNext next; (next = NextItem()) != TNext::None;) {
      if (next == TNext::Video)
        EncodeVideoFrame();
      else if (next == TNext::Audio)
        EncodeAudioFrame();
      else
        EncodeCue();
    }
    if (venc_) Drain(venc_, vst_, nullptr);
    if (aenc_) Drain(aenc_, ast_, nullptr);
  }

  void EncodeVideoFrame() {
    if (spec_.EditPattern)
      DrawEditPattern(picture_, static_cast<int>(videoNext_));
    else
      DrawPattern(picture_, static_cast<int>(videoNext_));
    if (spec_.Interlaced) {
      if (laterField_.Width() != spec_.Width) laterField_.SetSize(spec_.Width, spec_.Height);
      DrawPattern(laterField_, static_cast<int>(videoNext_) + 1);
      for (int y = 1; y < spec_.Height; y += 2)
        std::memcpy(picture_.ScanLine(y), laterField_.ScanLine(y), size_t(picture_.RowSize()));
    }
    if (spec_.Noise) AddGrain(static_cast<std::uint32_t>(videoNext_));
    if (FF.av_frame_make_writable(vframe_) < 0) Fail("picture not writable");
    const std::uint8_t* src[1] = {picture_.Bits()};
    const int srcStride[1] = {picture_.RowSize()};
    FF.sws_scale(sws_, src, srcStride, 0, spec_.Height, vframe_->data, vframe_->linesize);
    vframe_->pts = spec_.VideoDelay + videoNext_++;
    Drain(venc_, vst_, vframe_);
  }

  void AddGrain(std::uint32_t seed) {
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = spec_.Height / 2; y < spec_.Height; ++y) {
      std::uint8_t* p = picture_.ScanLine(y);
      for (int i = 0; i < spec_.Width * 3; ++i) {
        state = state * 1664525u + 1013904223u;
        p[i] = static_cast<std::uint8_t>(std::clamp(int(p[i]) + int(state >> 26) - 32, 0, 255));
      }
    }
  }

  void EncodeAudioFrame() {
    int n = static_cast<int>(std::min<std::int64_t>(frameSize_, audioTotal_ - audioNext_));
    const int samples = variableLastFrame_ ? n : frameSize_;
    FF.av_frame_unref(aframe_);
    aframe_->format = aenc_->sample_fmt;
    aframe_->sample_rate = aenc_->sample_rate;
    aframe_->nb_samples = samples;
    FF.av_channel_layout_copy(&aframe_->ch_layout, &aenc_->ch_layout);
    if (FF.av_frame_get_buffer(aframe_, 0) < 0) Fail("no sound buffer");
    const double step = 2.0 * M_PI * spec_.ToneHz / spec_.SampleRate;
    for (int i = 0; i < samples; ++i) {
      const double v = i < n ? spec_.ToneLevel * std::sin(step * double(audioNext_ + i)) : 0.0;
      for (int ch = 0; ch < spec_.Channels; ++ch) PutSample(aframe_, spec_.Channels, ch, i, v);
    }
    aframe_->pts = audioNext_;
    audioNext_ += n;
    Drain(aenc_, ast_, aframe_);
  }

  // Sends a frame (nullptr flushes) and writes every packet that comes out.
  void Drain(AVCodecContext* enc, AVStream* st, AVFrame* frame) {
    int err = FF.avcodec_send_frame(enc, frame);
    if (err < 0 && err != AVERROR_EOF) Fail("encoding failed", err);
    while ((err = FF.avcodec_receive_packet(enc, pkt_)) >= 0) {
      FF.av_packet_rescale_ts(pkt_, enc->time_base, st->time_base);
      pkt_->stream_index = st->index;
      err = FF.av_interleaved_write_frame(oc_, pkt_);
      if (err < 0) Fail("cannot write a packet", err);
    }
    if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) Fail("encoding failed", err);
  }

  const MediaSpec& spec_;
  AVFormatContext* oc_ = nullptr;
  AVCodecContext* venc_ = nullptr;
  AVCodecContext* aenc_ = nullptr;
  AVStream* vst_ = nullptr;
  AVStream* ast_ = nullptr;
  AVCodecContext* senc_ = nullptr;
  AVStream* sst_ = nullptr;
  std::int64_t cueNext_ = 0, cueTotal_ = 0;
  AVFrame* vframe_ = nullptr;
  AVFrame* aframe_ = nullptr;
  AVPacket* pkt_ = nullptr;
  SwsContext* sws_ = nullptr;
  TBitmap picture_;
  TBitmap laterField_;  // interlaced clips: the next frame's picture
  std::int64_t videoNext_ = 0, videoTotal_ = 0;
  std::int64_t audioNext_ = 0, audioTotal_ = 0;
  int frameSize_ = 1024;
  bool variableLastFrame_ = true;
};

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const char* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data, std::streamsize(size));
  if (!out) Fail("cannot write " + path);
}

// A derived file's name: the clip's name with a suffix before its extension.
std::string DerivedPath(const std::string& clip, const std::string& suffix) {
  fs::path p(clip);
  return (p.parent_path() / (p.stem().string() + suffix + p.extension().string())).string();
}

// Deterministic bytes, so a damaged copy is the same in every run.
std::uint32_t NextRandom(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

void PutLE(std::string& s, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

}  // namespace

std::string MediaDir() {
  const char* env = std::getenv("QUOR_TEST_MEDIA_DIR");
#ifdef QUOR_TEST_MEDIA_DIR
  std::string dir = env && *env ? env : QUOR_TEST_MEDIA_DIR;
#else
  std::string dir = env && *env ? env : (fs::temp_directory_path() / "quor-test-media").string();
#endif
  if (dir.back() != '/') dir += '/';
  std::error_code ec;
  fs::create_directories(dir, ec);
  return dir;
}

std::string Get(const MediaSpec& spec) {
  if (!TFFmpegLoader::Instance().Loaded(ConverterLibraries))
    Fail("the media libraries are not loaded (link the engine test main)");
  if (spec.VideoCodec.empty() && spec.AudioCodec.empty())
    Fail("a clip needs a video or an audio stream");
  return MakeCached(CachePath(spec), [&](const std::string& tmp) { TClipWriter(spec).Write(tmp); });
}

std::string Truncated(const MediaSpec& spec, double keepFraction) {
  const std::string clip = Get(spec);
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "_cut%04d",
                static_cast<int>(std::lround(keepFraction * 1000)));
  return MakeCached(DerivedPath(clip, suffix), [&](const std::string& tmp) {
    std::vector<char> data = ReadAll(clip);
    const auto keep = static_cast<size_t>(std::clamp(keepFraction, 0.0, 1.0) * double(data.size()));
    WriteAll(tmp, data.data(), keep);
  });
}

std::string Corrupted(const MediaSpec& spec, unsigned seed) {
  const std::string clip = Get(spec);
  return MakeCached(DerivedPath(clip, "_bad" + std::to_string(seed)), [&](const std::string& tmp) {
    std::vector<char> data = ReadAll(clip);
    std::uint32_t state = seed;
    const size_t from = data.size() / 10, to = data.size() - data.size() / 10;
    // Runs of 64 garbage bytes every 512 bytes: every packet in between is hit.
    for (size_t run = from; run + 64 < to; run += 512)
      for (size_t i = run; i < run + 64; ++i) data[i] = static_cast<char>(NextRandom(state));
    WriteAll(tmp, data.data(), data.size());
  });
}

std::string Garbage(std::int64_t bytes) {
  return MakeCached(MediaDir() + "garbage_" + std::to_string(bytes) + ".bin",
                    [&](const std::string& tmp) {
                      std::vector<char> data(static_cast<size_t>(bytes));
                      std::uint32_t state = 7;
                      for (char& c : data) c = static_cast<char>(NextRandom(state));
                      WriteAll(tmp, data.data(), data.size());
                    });
}

std::string WavOfSize(std::int64_t bytes) {
  if (bytes < 46) Fail("a WAV file needs at least 46 bytes");
  return MakeCached(
      MediaDir() + "wav_" + std::to_string(bytes) + ".wav", [&](const std::string& tmp) {
        // 8-bit mono PCM, so any data length is a whole number of samples.
        const auto data = static_cast<std::uint32_t>(bytes - 44);
        std::string s = "RIFF";
        PutLE(s, data + 36, 4);
        s += "WAVEfmt ";
        PutLE(s, 16, 4);
        PutLE(s, 1, 2);     // PCM
        PutLE(s, 1, 2);     // mono
        PutLE(s, 8000, 4);  // sample rate
        PutLE(s, 8000, 4);  // byte rate
        PutLE(s, 1, 2);     // block align
        PutLE(s, 8, 2);     // bits per sample
        s += "data";
        PutLE(s, data, 4);
        for (std::uint32_t i = 0; i < data; ++i)
          s.push_back(
              static_cast<char>(128 + std::lround(40 * std::sin(2 * M_PI * 440.0 * i / 8000))));
        WriteAll(tmp, s.data(), s.size());
      });
}

std::string MissingFile() { return MediaDir() + "no_such_clip_here.mp4"; }

}  // namespace TestMedia
