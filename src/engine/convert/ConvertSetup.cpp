// Opening a task's files: the input opener, the output opener and the
// creation of output streams from the pending option state.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/common/FFmpegException.h"
#include "engine/convert/ConvertStreams.h"
#include "engine/convert/CustomFFmpeg.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"
#include "engine/libav/UnicodeProtocol.h"

namespace {

// Encoders the profiles name that this library build serves under another name.
std::string ResolveEncoderName(const std::string& name) {
  if (name == "libfaac") return "aac";
  if (name == "vorbis") return "libvorbis";
  return name;
}

int StrictnessOf(const TOptionState& o, AVMediaType type) {
  AVCodecContext* ctx = o.Generic.CodecContext(type);
  return ctx ? ctx->strict_std_compliance : 0;
}

// The sample aspect ratio that gives the display aspect `aspect` at w x h.
AVRational SampleAspect(float aspect, int width, int height) {
  double sar = (width > 0 && height > 0) ? double(aspect) * height / width : double(aspect) * 3 / 4;
  return FF.av_d2q(sar, 255);
}

bool ListsPixFmt(const AVCodec* codec, int fmt) {
  for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
    if (*p == fmt) return true;
  return false;
}

bool ListsSampleFmt(const AVCodec* codec, int fmt) {
  for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
    if (*p == fmt) return true;
  return false;
}

void SetLanguage(AVStream* st, std::string& language) {
  if (!language.empty()) FF.av_dict_set(&st->metadata, "language", language.c_str(), 0);
  language.clear();
}

// The layout of the encoder's list to mix `channels` into when it lists none
// with that many: the largest with fewer channels (5.1 into stereo), else
// the smallest with more. Null when the count is taken or nothing is listed.
const AVChannelLayout* NearestLayout(const AVCodec* codec, int channels) {
  if (!codec || !codec->ch_layouts) return nullptr;
  const AVChannelLayout* below = nullptr;
  const AVChannelLayout* above = nullptr;
  for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
    if (l->nb_channels == channels) return nullptr;
    if (l->nb_channels < channels && (!below || l->nb_channels > below->nb_channels)) below = l;
    if (l->nb_channels > channels && (!above || l->nb_channels < above->nb_channels)) above = l;
  }
  return below ? below : above;
}

std::string JoinFilters(std::vector<std::string>& chain) {
  std::string joined;
  for (auto& f : chain) joined += (joined.empty() ? "" : ",") + f;
  chain.clear();
  return joined;
}

// Whether the first key picture of stream `video` read from where `ctx`
// stands is no later than `timestamp` (µs on the file's clock), so that
// decoding from there shows every picture from the timestamp on. The
// pictures before it cannot be decoded and lie before the timestamp.
bool KeyPictureInTime(AVFormatContext* ctx, int video, std::int64_t timestamp) {
  const AVStream* st = ctx->streams[video];
  const std::int64_t limit = FF.av_rescale_q(timestamp, {1, AV_TIME_BASE}, st->time_base);
  AVPacket* pkt = FF.av_packet_alloc();
  if (!pkt) return false;
  bool decided = false, inTime = false;
  // A key picture comes within a few thousand packets; a file without one gives up.
  for (int read = 0; !decided && read < 5000 && FF.av_read_frame(ctx, pkt) >= 0; ++read) {
    if (pkt->stream_index == video) {
      const std::int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
      const bool late = t != AV_NOPTS_VALUE && t > limit;
      inTime = (pkt->flags & AV_PKT_FLAG_KEY) && !late;
      decided = inTime || late;
    }
    FF.av_packet_unref(pkt);
  }
  FF.av_packet_free(&pkt);
  return inTime;
}

// Places `ctx` so that reading starts at a key picture at or before
// `timestamp`: the pictures between it and the timestamp are decoded and
// dropped, none after it is lost. Files with an index land there at once;
// those sought by searching their time stamps (transport streams) may land
// on any picture and are sought again further back, a step twice as long
// each time. False when the file cannot seek at all.
bool SeekToKeyPictureBefore(AVFormatContext* ctx, std::int64_t timestamp) {
  int video = FF.av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video >= 0 && (ctx->streams[video]->disposition & AV_DISPOSITION_ATTACHED_PIC)) video = -1;
  const std::int64_t first = ctx->start_time != AV_NOPTS_VALUE ? ctx->start_time : 0;
  std::int64_t target = timestamp;
  for (std::int64_t step = AV_TIME_BASE / 2; video >= 0 && step <= 64 * AV_TIME_BASE; step *= 2) {
    if (FF.av_seek_frame(ctx, -1, target, AVSEEK_FLAG_BACKWARD) < 0) break;
    if (KeyPictureInTime(ctx, video, timestamp))
      return FF.av_seek_frame(ctx, -1, target, AVSEEK_FLAG_BACKWARD) >= 0;
    if (target <= first) break;
    target = std::max(first, timestamp - step);
  }
  return FF.av_seek_frame(ctx, -1, target, AVSEEK_FLAG_BACKWARD) >= 0;
}

}  // namespace

// ---- codec lookup ----

bool TCustomFFmpeg::LookupCodec(const std::string& name, AVMediaType type, bool encoder,
                                int strictness, const AVCodec** codec) {
  *codec = nullptr;
  if (name.empty()) return true;
  const char* kind = encoder ? "encoder" : "decoder";
  const AVCodec* c = encoder ? FF.avcodec_find_encoder_by_name(ResolveEncoderName(name).c_str())
                             : FF.avcodec_find_decoder_by_name(name.c_str());
  if (!c) {
    SetLastError(Fmt("Unknown %s '%s'", kind, name.c_str()));
    return false;
  }
  if (c->type != type) {
    SetLastError(Fmt("Invalid %s type '%s'", kind, name.c_str()));
    return false;
  }
  if ((c->capabilities & AV_CODEC_CAP_EXPERIMENTAL) && strictness > FF_COMPLIANCE_EXPERIMENTAL) {
    std::string msg =
        Fmt("%s '%s' is experimental and might produce bad results.\r\nAdd '-strict experimental' "
            "if you want to use it.",
            kind, c->name);
    const AVCodec* other =
        encoder ? FF.avcodec_find_encoder(c->id) : FF.avcodec_find_decoder(c->id);
    if (other && !(other->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
      msg += "\r\n" + Fmt("Or use the non experimental %s '%s'.", kind, other->name);
    SetLastError(msg);
    return false;
  }
  *codec = c;
  return true;
}

// ---- input ----

bool TCustomFFmpeg::OpenInputFile(const std::string& fileName) {
  TOptionState& o = options_;
  const AVInputFormat* format = nullptr;
  if (!o.FileFormatName.empty()) {
    format = FF.av_find_input_format(o.FileFormatName.c_str());
    if (!format)
      throw FFmpegException(Fmt("Unknown input format: \"%s\"", o.FileFormatName.c_str()));
    o.FileFormatName.clear();
  }
  AVFormatContext* ctx = FF.avformat_alloc_context();
  if (!ctx) throw FFmpegException("avformat_alloc_context failed");

  // Parameters for demuxers that cannot tell them from the file (raw data).
  AVDictionary* params = nullptr;
  FF.av_dict_set_int(&params, "sample_rate", o.AudioSampleRate, 0);
  FF.av_dict_set_int(&params, "channels", o.AudioChannels, 0);
  if (o.FrameRate.num > 0 && o.FrameRate.den > 0)
    FF.av_dict_set(&params, "framerate", Fmt("%d/%d", o.FrameRate.num, o.FrameRate.den).c_str(), 0);
  if (o.FrameWidth > 0 && o.FrameHeight > 0)
    FF.av_dict_set(&params, "video_size", Fmt("%dx%d", o.FrameWidth, o.FrameHeight).c_str(), 0);
  if (o.FramePixFmt >= 0)
    FF.av_dict_set(&params, "pixel_format", FF.av_get_pix_fmt_name(AVPixelFormat(o.FramePixFmt)),
                   0);
  if (o.VideoChannel) FF.av_dict_set_int(&params, "channel", o.VideoChannel, 0);
  if (!o.VideoStandard.empty()) FF.av_dict_set(&params, "standard", o.VideoStandard.c_str(), 0);
  if (o.LoopInput) FF.av_dict_set(&params, "loop", "1", 0);
  o.Generic.CopyToFormatContext(ctx, OptMaskDecoding);

  const AVCodec* forced[3] = {};
  const std::string* names[3] = {&o.VideoCodecName, &o.AudioCodecName, &o.SubtitleCodecName};
  const AVMediaType types[3] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE};
  for (int i = 0; i < 3; ++i) {
    if (!LookupCodec(*names[i], types[i], false, StrictnessOf(o, types[i]), &forced[i])) {
      FF.av_dict_free(&params);
      FF.avformat_free_context(ctx);
      return false;
    }
  }
  ctx->video_codec_id = forced[0] ? forced[0]->id : AV_CODEC_ID_NONE;
  ctx->audio_codec_id = forced[1] ? forced[1]->id : AV_CODEC_ID_NONE;
  ctx->subtitle_codec_id = forced[2] ? forced[2]->id : AV_CODEC_ID_NONE;
  if (o.PgmYuv) ctx->video_codec_id = AV_CODEC_ID_PGMYUV;
  ctx->flags |= AVFMT_FLAG_NONBLOCK;

  interrupt_.Attach(ctx);
  const TOpenLimit limit(interrupt_);
  int err = OpenInputWithName(&ctx, fileName, format, &params);
  FF.av_dict_free(&params);
  if (err < 0) {
    SetLastError(err == AVERROR_EXIT ? interrupt_.Reason(fileName) : ErrorText(fileName, err));
    return false;
  }
  auto file = std::make_unique<TInputFile>();
  file->Name = fileName;
  file->Ctx = ctx;

  if (o.ProgramId) {
    bool found = false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) ctx->streams[i]->discard = AVDISCARD_ALL;
    for (unsigned p = 0; p < ctx->nb_programs; ++p) {
      AVProgram* prog = ctx->programs[p];
      if (prog->id == o.ProgramId) {
        found = true;
        for (unsigned j = 0; j < prog->nb_stream_indexes; ++j)
          ctx->streams[prog->stream_index[j]]->discard = AVDISCARD_DEFAULT;
      } else {
        prog->discard = AVDISCARD_ALL;
      }
    }
    if (!found) {
      SetLastError("Specified program id not found");
      return false;
    }
    o.ProgramId = 0;
  }

  err = FindStreamInfo(ctx);
  if (err == AVERROR_EXIT) {
    SetLastError(interrupt_.Reason(fileName));
    return false;
  }
  if (err < 0 && Verbose() >= 0) {
    SetLastError(Fmt("%s: could not find codec parameters", fileName.c_str()));
    Log(llVerbose, LastError());
    return false;
  }

  std::int64_t timestamp = o.StartTime;
  if (ctx->start_time != AV_NOPTS_VALUE) timestamp += ctx->start_time;
  if (o.StartTime != 0) {
    if (!SeekToKeyPictureBefore(ctx, timestamp) && Verbose() > 0)
      LogF(llVerbose, "%s: could not seek to position %0.3f", fileName.c_str(),
           double(timestamp) / 1000000);
  }
  o.StartTime = 0;

  file->Decoders.assign(ctx->nb_streams, nullptr);
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    AVStream* st = ctx->streams[i];
    AVCodecParameters* par = st->codecpar;
    if (par->codec_type < AVMEDIA_TYPE_UNKNOWN || par->codec_type >= AVMEDIA_TYPE_NB)
      throw FFmpegException("invalid codec_type");
    switch (par->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        o.FrameHeight = par->height;
        o.FrameWidth = par->width;
        AVRational sar =
            st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
        double aspect = sar.num && sar.den ? av_q2d(sar) : 0;
        if (par->width && par->height) aspect = (aspect ? aspect : 1.0) * par->width / par->height;
        o.FrameAspectRatio = aspect ? float(aspect) : 4.0f / 3;
        o.FrameAspectGiven = false;
        o.FramePixFmt = par->format < 0 ? 0 : par->format;
        if (st->avg_frame_rate.num && st->r_frame_rate.num &&
            av_cmp_q(st->avg_frame_rate, st->r_frame_rate) != 0 && Verbose() >= 0)
          LogF(llInfo,
               "Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) "
               "-> %2.2f (%d/%d)",
               int(i), av_q2d(st->avg_frame_rate), st->avg_frame_rate.num, st->avg_frame_rate.den,
               av_q2d(st->r_frame_rate), st->r_frame_rate.num, st->r_frame_rate.den);
        o.FrameRate = st->r_frame_rate;
        file->Decoders[i] = forced[0];
        if (o.VideoDisable)
          st->discard = AVDISCARD_ALL;
        else if (o.VideoDiscard)
          st->discard = AVDiscard(o.VideoDiscard);
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        o.AudioChannelLayout =
            par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? par->ch_layout.u.mask : 0;
        o.AudioChannels =
            par->ch_layout.nb_channels > 0 ? par->ch_layout.nb_channels : o.AudioChannels;
        o.AudioChannelsGiven = false;
        o.AudioSampleRate = par->sample_rate > 0 ? par->sample_rate : o.AudioSampleRate;
        o.AudioSampleFmt = par->format;
        file->Decoders[i] = forced[1];
        if (o.AudioDisable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        file->Decoders[i] = forced[2];
        if (o.SubtitleDisable) st->discard = AVDISCARD_ALL;
        break;
      default: break;
    }
  }

  if (ctx->duration > 0 && ctx->duration > totalDuration_) totalDuration_ = ctx->duration;
  file->TsOffset = o.CopyTs ? o.InputTsOffset : o.InputTsOffset - timestamp;
  file->SourceOffset = file->TsOffset;
  file->SourceStart = ctx->start_time != AV_NOPTS_VALUE ? ctx->start_time : 0;
  file->TsScale = o.InputTsScale;
  o.InputTsScale = {};
  if (Verbose() >= 0) FF.av_dump_format(ctx, InputFileCount(), fileName.c_str(), 0);
  inputFiles_.push_back(std::move(file));

  o.VideoChannel = 0;
  o.VideoStandard.clear();
  o.VideoCodecName.clear();
  o.AudioCodecName.clear();
  o.SubtitleCodecName.clear();
  return true;
}

// ---- output ----

int TCustomFFmpeg::OpenOutputFile(const std::string& fileName, bool join) {
  if (joinMode_) {
    SetLastError("Cannot join more than one output file.");
    return -1;
  }
  TOptionState& o = options_;
  AVFormatContext* ctx = FF.avformat_alloc_context();
  if (!ctx) throw FFmpegException("avformat_alloc_context failed");
  auto file = std::make_unique<TOutputFile>();
  file->Name = fileName;
  file->Ctx = ctx;

  const AVOutputFormat* format = nullptr;
  if (!o.FileFormatName.empty()) {
    format = FF.av_guess_format(o.FileFormatName.c_str(), nullptr, nullptr);
    if (!format) {
      SetLastError(Fmt("Requested output format '%s' is not a suitable output format",
                       o.FileFormatName.c_str()));
      return -1;
    }
    o.FileFormatName.clear();
  } else {
    format = FF.av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (!format) {
      SetLastError(Fmt("Unable to find a suitable output format for '%s'", fileName.c_str()));
      return -1;
    }
  }
  ctx->oformat = format;
  ctx->url = FF.av_strdup(fileName.c_str());

  bool useVideo =
      o.VideoStreamCopy || format->video_codec != AV_CODEC_ID_NONE || !o.VideoCodecName.empty();
  bool useAudio =
      o.AudioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE || !o.AudioCodecName.empty();
  bool useSubtitle = o.SubtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE ||
                     !o.SubtitleCodecName.empty();
  if (!inputFiles_.empty()) {
    bool v = false, a = false, s = false;
    try {
      size_t scan = join ? 1 : inputFiles_.size();
      for (size_t f = 0; f < scan; ++f) {
        AVFormatContext* in = inputFiles_[f]->Ctx;
        for (unsigned i = 0; i < in->nb_streams; ++i) {
          int type = in->streams[i]->codecpar->codec_type;
          if (type < AVMEDIA_TYPE_UNKNOWN || type >= AVMEDIA_TYPE_NB)
            throw FFmpegException("invalid codec_type of input file");
          v |= type == AVMEDIA_TYPE_VIDEO;
          a |= type == AVMEDIA_TYPE_AUDIO;
          s |= type == AVMEDIA_TYPE_SUBTITLE;
        }
      }
    } catch (const std::exception& e) {
      SetLastError(Fmt("check_audio_video_sub_inputs fail: %s", e.what()));
      return -1;
    }
    useVideo &= v;
    useAudio &= a;
    useSubtitle &= s;
  }
  useAudio &= !o.AudioDisable;
  useVideo &= !o.VideoDisable;
  useSubtitle &= !o.SubtitleDisable;

  int fileIndex = int(outputFiles_.size());
  auto create = [&](bool use, void (TCustomFFmpeg::*make)(TOutputFile&), const char* what) {
    if (!use) return true;
    try {
      (this->*make)(*file);
      return true;
    } catch (const std::exception& e) {
      SetLastError(Fmt("%s fail: %s", what, e.what()));
      return false;
    }
  };
  if (!create(useVideo, &TCustomFFmpeg::NewVideoStream, "new_video_stream") ||
      !create(useAudio, &TCustomFFmpeg::NewAudioStream, "new_audio_stream") ||
      !create(useSubtitle, &TCustomFFmpeg::NewSubtitleStream, "new_subtitle_stream"))
    return -1;
  for (auto& s : file->Streams) s->FileIndex = fileIndex;

  if (o.RecordTimestamp != 0) {
    time_t t = time_t(o.RecordTimestamp);
    struct tm tmv;
    char text[64];
    if (gmtime_r(&t, &tmv) && std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &tmv))
      FF.av_dict_set(&ctx->metadata, "creation_time", text, 0);
  }
  for (auto it = o.Metadata.rbegin(); it != o.Metadata.rend(); ++it)
    FF.av_dict_set(&ctx->metadata, it->first.c_str(), it->second.c_str(), 0);
  o.Metadata.clear();

  if ((format->flags & AVFMT_NEEDNUMBER) && !FF.av_filename_number_test(fileName.c_str())) {
    SetLastError(ErrorText(fileName, AVERROR(EDOM)));
    return -1;
  }
  if (!(format->flags & AVFMT_NOFILE)) {
    // Writing over a source would destroy it before it is read.
    for (const auto& in : inputFiles_)
      if (SameFile(DisplayName(fileName), DisplayName(in->Name))) {
        SetLastError(
            Fmt("The output file '%s' is the input file '%s'", fileName.c_str(), in->Name.c_str()));
        return -1;
      }
    int err = file->Target.Open(fileName, &ctx->pb);
    if (err < 0) {
      SetLastError(ErrorText(fileName, err));
      return -1;
    }
    // Muxers that read back what they wrote (moving an index to the front)
    // open their file by this name.
    FF.av_freep(&ctx->url);
    ctx->url = FF.av_strdup(NameForLibrary(file->Target.WrittenName()).c_str());
    file->Identified = platform::IdentifyFile(file->Target.WrittenName(), file->Identity);
  }
  ctx->max_delay = int(std::lround(o.MuxMaxDelay * 1000000));
  // The program-stream muxers take the preload as a private option, which
  // exists only once the header is written; it is handed over then.
  const AVClass* muxerClass = format->priv_class;
  if (muxerClass && FF.av_opt_find(&muxerClass, "preload", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ))
    file->Preload = std::max<std::int64_t>(0, std::llround(double(o.MuxPreload) * 1000000));
  ctx->flags |= AVFMT_FLAG_NONBLOCK;
  o.Generic.CopyToFormatContext(ctx, OptMaskEncoding);
  o.StreamIdMap = {};

  outputFiles_.push_back(std::move(file));
  outputEntries_.push_back(fileIndex);
  if (join && inputFiles_.size() > 1) {
    joinMode_ = true;
    std::int64_t sum = 0;
    for (auto& in : inputFiles_)
      if (in->Ctx->duration > 0) sum += in->Ctx->duration;
    totalDuration_ = sum ? sum : -1;
    for (size_t i = 1; i < inputFiles_.size(); ++i) outputEntries_.push_back(fileIndex);
  }
  return OutputFileCount();
}

void TCustomFFmpeg::RemoveLastOutputFile() {
  if (outputFiles_.empty()) return;
  int last = int(outputFiles_.size()) - 1;
  while (!outputEntries_.empty() && outputEntries_.back() == last) outputEntries_.pop_back();
  outputFiles_.pop_back();
}

void TCustomFFmpeg::NewStream(AVMediaType type) {
  if (outputFiles_.empty()) throw FFmpegException("At least one output file must be specified");
  TOutputFile& file = *outputFiles_.back();
  switch (type) {
    case AVMEDIA_TYPE_VIDEO: NewVideoStream(file); break;
    case AVMEDIA_TYPE_AUDIO: NewAudioStream(file); break;
    case AVMEDIA_TYPE_SUBTITLE: NewSubtitleStream(file); break;
    default: throw FFmpegException("invalid codec_type");
  }
}

TOutputStream& TCustomFFmpeg::CreateOutputStream(TOutputFile& file, AVMediaType type) {
  AVStream* st = FF.avformat_new_stream(file.Ctx, nullptr);
  if (!st) throw FFmpegException("Could not alloc stream");
  int index = int(st->index);
  if (index < MaxStreams && options_.StreamIdMap[size_t(index)])
    st->id = options_.StreamIdMap[size_t(index)];
  auto ost = std::make_unique<TOutputStream>();
  ost->FileIndex = int(outputFiles_.size());
  for (size_t i = 0; i < outputFiles_.size(); ++i)
    if (outputFiles_[i].get() == &file) ost->FileIndex = int(i);
  ost->Index = index;
  ost->St = st;
  ost->Type = type;
  st->codecpar->codec_type = type;
  file.Streams.push_back(std::move(ost));
  return *file.Streams.back();
}

// An encoder context for the stream, with the library's automatic thread
// count and the generic options of its kind.
static TCodecContextPtr NewEncoderContext(const AVCodec* codec, const TOptionState& o,
                                          AVMediaType type, int mask) {
  TCodecContextPtr enc(FF.avcodec_alloc_context3(codec));
  if (!enc) throw FFmpegException("avcodec_alloc_context3 fail");
  enc->codec_type = type;
  enc->thread_count = 0;
  o.Generic.CopyToCodecContext(type, enc.get(), mask);
  return enc;
}

// Common codecs tried in order when the container's default codec has no
// encoder in this build (3GP's AMR-NB, for one).
constexpr AVCodecID kAudioStandIns[] = {AV_CODEC_ID_AAC, AV_CODEC_ID_MP3, AV_CODEC_ID_MP2,
                                        AV_CODEC_ID_AC3, AV_CODEC_ID_PCM_S16LE};
constexpr AVCodecID kVideoStandIns[] = {AV_CODEC_ID_H264, AV_CODEC_ID_MPEG4, AV_CODEC_ID_MPEG2VIDEO,
                                        AV_CODEC_ID_MJPEG};

struct TGuessedEncoder {
  const AVCodec* Codec = nullptr;
  AVCodecID Id = AV_CODEC_ID_NONE;
  std::string Note;  // why another encoder than the container's default was chosen
};

// The container's default encoder of `type`; when this build cannot encode
// that codec, the first stand-in the container takes.
static TGuessedEncoder GuessEncoder(const AVFormatContext* ctx, AVMediaType type) {
  TGuessedEncoder guess;
  guess.Id = FF.av_guess_codec(ctx->oformat, nullptr, ctx->url, nullptr, type);
  if (guess.Id == AV_CODEC_ID_NONE) return guess;
  guess.Codec = FF.avcodec_find_encoder(guess.Id);
  if (guess.Codec || type == AVMEDIA_TYPE_SUBTITLE) return guess;
  const bool audio = type == AVMEDIA_TYPE_AUDIO;
  const auto* first = audio ? std::begin(kAudioStandIns) : std::begin(kVideoStandIns);
  const auto* last = audio ? std::end(kAudioStandIns) : std::end(kVideoStandIns);
  for (const auto* id = first; id != last; ++id) {
    const AVCodec* codec = FF.avcodec_find_encoder(*id);
    if (!codec || FF.avformat_query_codec(ctx->oformat, *id, FF_COMPLIANCE_NORMAL) != 1) continue;
    guess.Note = Fmt("The %s format's default %s codec %s has no encoder here; using %s instead",
                     ctx->oformat->name, audio ? "audio" : "video", FF.avcodec_get_name(guess.Id),
                     codec->name);
    guess.Codec = codec;
    guess.Id = *id;
    break;
  }
  return guess;
}

void TCustomFFmpeg::NewVideoStream(TOutputFile& file) {
  TOptionState& o = options_;
  TOutputStream& ost = CreateOutputStream(file, AVMEDIA_TYPE_VIDEO);
  ost.BitstreamFilters = JoinFilters(o.VideoBitstreamFilters);
  AVStream* st = ost.St;

  if (o.VideoStreamCopy) {
    ost.Copy = true;
    ost.Enc = NewEncoderContext(nullptr, o, AVMEDIA_TYPE_VIDEO, 0);
    st->sample_aspect_ratio = SampleAspect(o.FrameAspectRatio, o.FrameWidth, o.FrameHeight);
  } else {
    AVRational rate =
        (o.FrameRate.num > 0 && o.FrameRate.den > 0) ? o.FrameRate : AVRational{25, 1};
    const AVCodec* codec = nullptr;
    AVCodecID id = AV_CODEC_ID_NONE;
    if (!o.VideoCodecName.empty()) {
      if (!LookupCodec(o.VideoCodecName, AVMEDIA_TYPE_VIDEO, true,
                       StrictnessOf(o, AVMEDIA_TYPE_VIDEO), &codec))
        throw FFmpegException(LastError());
      id = codec->id;
    } else {
      const TGuessedEncoder guess = GuessEncoder(file.Ctx, AVMEDIA_TYPE_VIDEO);
      if (!guess.Note.empty()) Log(llWarning, guess.Note);
      codec = guess.Codec;
      id = guess.Id;
    }
    ost.Encoder = codec;
    ost.Enc = NewEncoderContext(codec, o, AVMEDIA_TYPE_VIDEO, OptMaskVideo | OptMaskEncoding);
    AVCodecContext* enc = ost.Enc.get();
    enc->codec_id = id;
    if (codec && codec->supported_framerates && !o.ForceFps)
      rate =
          codec->supported_framerates[FF.av_find_nearest_q_idx(rate, codec->supported_framerates)];
    enc->time_base = av_inv_q(rate);
    enc->framerate = rate;
    enc->width = o.FrameWidth;
    enc->height = o.FrameHeight;
    // An aspect that was asked for is that of the picture at the frame size;
    // without one the picture keeps the source's pixel shape, which the
    // preparation of the run takes from the source (0 until then).
    enc->sample_aspect_ratio = o.FrameAspectGiven
                                   ? SampleAspect(o.FrameAspectRatio, o.FrameWidth, o.FrameHeight)
                                   : AVRational{0, 1};
    st->sample_aspect_ratio = enc->sample_aspect_ratio;
    enc->pix_fmt = AVPixelFormat(o.FramePixFmt);
    if (codec && codec->pix_fmts && !ListsPixFmt(codec, enc->pix_fmt)) {
      bool mjpegLoose = codec->id == AV_CODEC_ID_MJPEG && enc->strict_std_compliance < 0 &&
                        (enc->pix_fmt == AV_PIX_FMT_YUV420P || enc->pix_fmt == AV_PIX_FMT_YUV422P);
      if (!mjpegLoose) enc->pix_fmt = codec->pix_fmts[0];
    }
    // DV at the 525-line size only has a 4:1:1 profile; 4:2:0 is listed by
    // the encoder for 625 lines and would be refused when it opens.
    if (codec && codec->id == AV_CODEC_ID_DVVIDEO && enc->height == 480 &&
        enc->pix_fmt == AV_PIX_FMT_YUV420P)
      enc->pix_fmt = AV_PIX_FMT_YUV411P;
    if (o.IntraOnly) enc->gop_size = 0;
    if (o.VideoQScale != 0 || o.SameQuality) {
      enc->flags |= AV_CODEC_FLAG_QSCALE;
      ost.Quality = FF_QP2LAMBDA * o.VideoQScale;
      enc->global_quality = int(std::lround(ost.Quality));
    }
    auto setMatrix = [](uint16_t** target, const std::optional<TQuantMatrix>& m) {
      if (!m) return;
      *target = static_cast<uint16_t*>(FF.av_malloc(sizeof(uint16_t) * 64));
      if (*target) std::memcpy(*target, m->data(), sizeof(uint16_t) * 64);
    };
    setMatrix(&enc->intra_matrix, o.IntraMatrix);
    setMatrix(&enc->inter_matrix, o.InterMatrix);
    if (o.RcOverride) {
      std::vector<RcOverride> entries;
      const char* p = o.RcOverride->c_str();
      while (*p) {
        int start = 0, end = 0, q = 0;
        if (std::sscanf(p, "%d,%d,%d", &start, &end, &q) != 3)
          throw FFmpegException("error parsing rc_override");
        RcOverride e{};
        e.start_frame = start;
        e.end_frame = end;
        e.qscale = q > 0 ? q : 0;
        e.quality_factor = q > 0 ? 1.0f : -q / 100.0f;
        entries.push_back(e);
        p = std::strchr(p, '/');
        if (!p) break;
        ++p;
      }
      enc->rc_override =
          static_cast<RcOverride*>(FF.av_mallocz(sizeof(RcOverride) * (entries.size() + 1)));
      if (enc->rc_override) {
        std::memcpy(enc->rc_override, entries.data(), sizeof(RcOverride) * entries.size());
        enc->rc_override_count = int(entries.size());
      }
    }
    if (!enc->rc_initial_buffer_occupancy)
      enc->rc_initial_buffer_occupancy = int(std::int64_t(enc->rc_buffer_size) * 3 / 4);
    enc->intra_dc_precision = o.IntraDcPrecision - 8;
    if (o.DoPsnr) enc->flags |= AV_CODEC_FLAG_PSNR;
    if (o.DoPass == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
    if (o.DoPass == 2) enc->flags |= AV_CODEC_FLAG_PASS2;
    ost.VideoFilters = o.VideoFilters;
  }
  AVCodecContext* enc = ost.Enc.get();
  if (o.VideoCodecTag) enc->codec_tag = o.VideoCodecTag;
  bool wantsGlobal = (o.VideoGlobalHeader & 1) ||
                     (o.VideoGlobalHeader == 0 && (file.Ctx->oformat->flags & AVFMT_GLOBALHEADER));
  if (wantsGlobal) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (o.VideoGlobalHeader & 2) enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;

  SetLanguage(st, o.VideoLanguage);
  o.VideoDisable = false;
  o.VideoCodecName.clear();
  o.VideoStreamCopy = false;
  o.FramePixFmt = -1;
}

void TCustomFFmpeg::NewAudioStream(TOutputFile& file) {
  TOptionState& o = options_;
  TOutputStream& ost = CreateOutputStream(file, AVMEDIA_TYPE_AUDIO);
  ost.BitstreamFilters = JoinFilters(o.AudioBitstreamFilters);
  if (o.AudioStreamCopy) {
    ost.Copy = true;
    ost.Enc = NewEncoderContext(nullptr, o, AVMEDIA_TYPE_AUDIO, 0);
  } else {
    const AVCodec* codec = nullptr;
    AVCodecID id = AV_CODEC_ID_NONE;
    if (!o.AudioCodecName.empty()) {
      if (!LookupCodec(o.AudioCodecName, AVMEDIA_TYPE_AUDIO, true,
                       StrictnessOf(o, AVMEDIA_TYPE_AUDIO), &codec))
        throw FFmpegException(LastError());
      id = codec->id;
    } else {
      const TGuessedEncoder guess = GuessEncoder(file.Ctx, AVMEDIA_TYPE_AUDIO);
      if (!guess.Note.empty()) Log(llWarning, guess.Note);
      codec = guess.Codec;
      id = guess.Id;
    }
    ost.Encoder = codec;
    ost.Enc = NewEncoderContext(codec, o, AVMEDIA_TYPE_AUDIO, OptMaskAudio | OptMaskEncoding);
    AVCodecContext* enc = ost.Enc.get();
    enc->codec_id = id;
    if (o.AudioQScale > -99999) {
      enc->flags |= AV_CODEC_FLAG_QSCALE;
      ost.Quality = FF_QP2LAMBDA * o.AudioQScale;
      enc->global_quality = int(std::lround(ost.Quality));
    }
    int channels = o.AudioChannels > 0 ? o.AudioChannels : 2;
    const AVChannelLayout* nearest =
        o.AudioChannelsGiven ? nullptr : NearestLayout(codec, channels);
    AVChannelLayout layout{};
    if (nearest) {
      LogF(llInfo, "The audio encoder '%s' cannot take %d channels; the sound is mixed to %d",
           codec->name, channels, nearest->nb_channels);
      FF.av_channel_layout_copy(&enc->ch_layout, nearest);
    } else if (o.AudioChannelLayout &&
               FF.av_channel_layout_from_mask(&layout, o.AudioChannelLayout) == 0 &&
               layout.nb_channels == channels) {
      FF.av_channel_layout_copy(&enc->ch_layout, &layout);
    } else {
      FF.av_channel_layout_default(&enc->ch_layout, channels);
    }
    FF.av_channel_layout_uninit(&layout);
    enc->sample_fmt = AVSampleFormat(o.AudioSampleFmt);
    if (codec && codec->sample_fmts && !ListsSampleFmt(codec, enc->sample_fmt))
      enc->sample_fmt = codec->sample_fmts[0];
    enc->sample_rate = o.AudioSampleRate;
    if (codec && codec->supported_samplerates) {
      int best = codec->supported_samplerates[0];
      for (const int* r = codec->supported_samplerates; *r; ++r)
        if (std::abs(*r - o.AudioSampleRate) < std::abs(best - o.AudioSampleRate)) best = *r;
      if (best != o.AudioSampleRate)
        LogF(llWarning, "Requested sampling rate unsupported using closest supported (%d)", best);
      enc->sample_rate = best;
    }
    enc->time_base = AVRational{1, enc->sample_rate};
  }
  AVCodecContext* enc = ost.Enc.get();
  if (o.AudioCodecTag) enc->codec_tag = o.AudioCodecTag;
  if (file.Ctx->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  SetLanguage(ost.St, o.AudioLanguage);
  o.AudioDisable = false;
  o.AudioCodecName.clear();
  o.AudioStreamCopy = false;
}

void TCustomFFmpeg::NewSubtitleStream(TOutputFile& file) {
  TOptionState& o = options_;
  TOutputStream& ost = CreateOutputStream(file, AVMEDIA_TYPE_SUBTITLE);
  ost.BitstreamFilters = JoinFilters(o.SubtitleBitstreamFilters);
  if (o.SubtitleStreamCopy) {
    ost.Copy = true;
    ost.Enc = NewEncoderContext(nullptr, o, AVMEDIA_TYPE_SUBTITLE, 0);
  } else {
    const AVCodec* codec = nullptr;
    AVCodecID id = AV_CODEC_ID_NONE;
    if (!o.SubtitleCodecName.empty()) {
      if (!LookupCodec(o.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, true,
                       StrictnessOf(o, AVMEDIA_TYPE_SUBTITLE), &codec))
        throw FFmpegException(LastError());
      id = codec->id;
    } else {
      const TGuessedEncoder guess = GuessEncoder(file.Ctx, AVMEDIA_TYPE_SUBTITLE);
      if (!guess.Note.empty()) Log(llWarning, guess.Note);
      codec = guess.Codec;
      id = guess.Id;
    }
    ost.Encoder = codec;
    ost.Enc = NewEncoderContext(codec, o, AVMEDIA_TYPE_SUBTITLE, OptMaskSubtitle | OptMaskEncoding);
    ost.Enc->codec_id = id;
  }
  if (o.SubtitleCodecTag) ost.Enc->codec_tag = o.SubtitleCodecTag;
  SetLanguage(ost.St, o.SubtitleLanguage);
  o.SubtitleDisable = false;
  o.SubtitleCodecName.clear();
  o.SubtitleStreamCopy = false;
}
