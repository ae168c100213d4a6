#include "engine/probe/AVProbe.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <vector>

#include "engine/common/FFmpegException.h"
#include "engine/common/TextFormat.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"
#include "engine/libav/UnicodeProtocol.h"

namespace {

constexpr const char* LineBreak = "\r\n";

// The ID3v2 frame names that demuxers may leave in metadata, shown by the
// generic names users know.
struct TTagName {
  const char* Frame;
  const char* Name;
};
constexpr TTagName Id3v2Names[] = {
    {"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"},  {"TCON", "genre"},
    {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},      {"TENC", "encoder"},
    {"TEN", "encoder"},    {"TIT2", "title"},     {"TT2", "title"},      {"TLAN", "language"},
    {"TPE1", "artist"},    {"TP1", "artist"},     {"TPOS", "disc"},      {"TPUB", "publisher"},
    {"TRCK", "track"},     {"TRK", "track"},      {"TSOA", "albumsort"}, {"TSOP", "authorsort"},
    {"TSOT", "titlesort"}, {"TYER", "year"},
};

std::string DisplayTagName(const std::string& key) {
  for (const TTagName& t : Id3v2Names)
    if (key == t.Frame) return t.Name;
  return key;
}

// "seconds.micro", with the sign in front so that a negative time reads
// "-0.040000" rather than mixing signs into both parts.
std::string SecondsText(std::int64_t us) {
  const bool negative = us < 0;
  const std::uint64_t m =
      negative ? 0 - static_cast<std::uint64_t>(us) : static_cast<std::uint64_t>(us);
  return FormatText("%s%" PRIu64 ".%.6" PRIu64, negative ? "-" : "", m / 1000000, m % 1000000);
}

// A rate the way users read it: 29.97, 25, 90k.
std::string RateText(double rate) {
  const long long v = std::llround(rate * 100);
  if (v % 100) return FormatText("%3.2f", rate);
  if (v % (100 * 1000)) return FormatText("%1.0f", rate);
  return FormatText("%1.0fk", rate / 1000);
}

bool RateSet(AVRational r) { return r.num != 0 && r.den != 0; }

// A time base that can convert: a zero denominator takes the numerator, or 1.
AVRational UsableTimeBase(AVRational tb) {
  if (tb.den == 0) tb.den = tb.num != 0 ? tb.num : 1;
  return tb;
}

std::int64_t TicksToUs(std::int64_t ticks, AVRational tb) {
  if (ticks == AV_NOPTS_VALUE) return -1;
  return FF.av_rescale_q(ticks, UsableTimeBase(tb), AVRational{1, AV_TIME_BASE});
}

std::int32_t Clamp32(std::int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

std::string LocalDateTimeText(std::int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += LineBreak;
    text += lines[i];
  }
  return text;
}

// The file's creation time in Unix seconds; 0 when it has none.
std::int64_t CreationTime(const AVDictionary* metadata) {
  const std::string text = MetadataValue(metadata, "creation_time", "");
  std::int64_t us = 0;
  if (text.empty() || FF.av_parse_time(&us, text.c_str(), 0) < 0) return 0;
  return us / 1000000;
}

// Leading number of a tag such as "2009-05-01" or "3/12"; 0 when none.
std::int32_t LeadingNumber(const std::string& text) {
  return Clamp32(std::strtoll(text.c_str(), nullptr, 10));
}

// What every stream kind reports: language, codec, start, length, bit rate.
template <typename TInfo>
void FillStreamHead(const AVStream* st, TInfo& info) {
  info.Language = MetadataValue(st->metadata, "language", "");
  info.CodecName = CodecNameText(st->codecpar, false);
  info.StartTimeRaw = st->start_time;
  info.StartTime = TicksToUs(st->start_time, st->time_base);
  info.DurationRaw = st->duration;
  info.Duration = TicksToUs(st->duration, st->time_base);
  info.BitRate = Clamp32(st->codecpar->bit_rate);
}

}  // namespace

TCustomAVProbe::~TCustomAVProbe() { Close(); }

void TCustomAVProbe::CheckLibraries() const {
  static const struct {
    TLibraryIndex Index;
    const char* Message;
  } required[] = {{liAVCodec, "LibAVCodec not loaded."},
                  {liAVFormat, "LibAVFormat not loaded."},
                  {liAVUtil, "LibAVUtil not loaded."},
                  {liSWScale, "LibSwScale not loaded."}};
  const TFFmpegLoader& loader = TFFmpegLoader::Instance();
  for (const auto& r : required)
    if (!loader.LibraryLoaded(r.Index)) throw FFmpegException(r.Message);
}

void TCustomAVProbe::Report(int level, const std::string& text) {
  lastErrMsg_ = text;
  FFLogger().Log(this, static_cast<TLogLevel>(level), text);
}

bool TCustomAVProbe::Open(const std::string& fileName, const std::string& forceFormat) {
  CheckLibraries();
  Close();
  const AVInputFormat* format = nullptr;
  if (!forceFormat.empty()) {
    format = FF.av_find_input_format(forceFormat.c_str());
    if (!format) {
      lastErrMsg_ = "Unknown input format: " + forceFormat;
      return false;
    }
  }
  AVFormatContext* ic = FF.avformat_alloc_context();
  if (!ic) {
    Report(llError, ErrorText(fileName, AVERROR(ENOMEM)));
    return false;
  }
  interrupt_.Attach(ic);
  const TOpenLimit limit(interrupt_);
  const int err = OpenInputWithName(&ic, fileName, format, nullptr);
  if (err < 0) {
    Report(llError, err == AVERROR_EXIT ? interrupt_.Reason(fileName) : ErrorText(fileName, err));
    Close();
    return false;
  }
  context_ = ic;
  ownsContext_ = true;
  fileName_ = fileName;
  const int found = FindStreamInfo(ic);
  if (found < 0) {
    lastErrMsg_ = found == AVERROR_EXIT ? interrupt_.Reason(fileName)
                                        : fileName + ": could not find codec parameters";
    Close();
    return false;
  }
  Recount();
  forceFormat_ = forceFormat;
  return true;
}

void TCustomAVProbe::Attach(AVFormatContext* context) {
  CheckLibraries();
  Close();
  context_ = context;
  ownsContext_ = false;
  fileName_ = context ? DisplayName(context->url ? context->url : "") : "";
  Recount();
}

void TCustomAVProbe::Close() {
  if (context_ && ownsContext_) CloseInputWithName(&context_);
  context_ = nullptr;
  ownsContext_ = false;
  fileName_.clear();
  forceFormat_.clear();
  Recount();
}

void TCustomAVProbe::Recount() {
  fileSize_ = -1;
  streamCount_ = programCount_ = -1;
  audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
  audioStreamIndex_ = videoStreamIndex_ = subtitleStreamIndex_ = -1;
  if (!context_) return;

  // Streams and custom I/O may not know their size; the file on disk does.
  const std::int64_t contextSize = context_->pb ? FF.avio_size(context_->pb) : 0;
  if (contextSize > 0)
    fileSize_ = contextSize;
  else if (FileExists(DisplayName(fileName_)))
    fileSize_ = ::FileSize(DisplayName(fileName_));
  else
    fileSize_ = 0;  // an error code is no size

  streamCount_ = static_cast<int>(context_->nb_streams);
  programCount_ = static_cast<int>(context_->nb_programs);
  audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
  for (int i = 0; i < streamCount_; ++i) {
    switch (context_->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        if (videoStreamCount_++ == 0) videoStreamIndex_ = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        if (audioStreamCount_++ == 0) audioStreamIndex_ = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (subtitleStreamCount_++ == 0) subtitleStreamIndex_ = i;
        break;
      default: break;
    }
  }
}

std::string TCustomAVProbe::FileName() const { return fileName_; }

std::string TCustomAVProbe::FormatName() const {
  return context_ && context_->iformat ? context_->iformat->name : "";
}

bool TCustomAVProbe::IsAudioStream(int index) const {
  return context_ && index >= 0 && index < streamCount_ &&
         context_->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

bool TCustomAVProbe::IsVideoStream(int index) const {
  return context_ && index >= 0 && index < streamCount_ &&
         context_->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

bool TCustomAVProbe::FileStreamInfo(TFileStreamInfo& info) {
  info = TFileStreamInfo{};
  if (!context_) {
    Report(llWarning, "file not loaded.");
    return false;
  }
  const AVDictionary* md = context_->metadata;
  info.StartTime = context_->start_time == AV_NOPTS_VALUE ? -1 : context_->start_time;
  info.Duration = context_->duration == AV_NOPTS_VALUE ? -1 : context_->duration;
  info.BitRate = Clamp32(context_->bit_rate);
  info.TimeStamp = CreationTime(md);
  std::string year = MetadataValue(md, "year", "");
  info.Year = LeadingNumber(year.empty() ? MetadataValue(md, "date", "") : year);
  info.Track = LeadingNumber(MetadataValue(md, "track", ""));
  info.Title = MetadataValue(md, "title", "");
  info.Author = MetadataValue(md, "author", MetadataValue(md, "artist", ""));
  info.Copyright = MetadataValue(md, "copyright", "");
  info.Comment = MetadataValue(md, "comment", "");
  info.Album = MetadataValue(md, "album", "");
  info.Genre = MetadataValue(md, "genre", "");
  return true;
}

AVStream* TCustomAVProbe::QueryStream(int index, int kind) {
  const bool audio = kind == AVMEDIA_TYPE_AUDIO;
  if (!context_) {
    Report(llWarning, "file not loaded.");
    return nullptr;
  }
  if (index < 0) {
    index = audio ? audioStreamIndex_ : videoStreamIndex_;
    if (index < 0) {
      Report(llError, audio ? "no audio stream." : "no video stream.");
      return nullptr;
    }
  }
  if (index >= streamCount_) {
    Report(llError, FormatText("stream index #%d is invalid.", index));
    return nullptr;
  }
  AVStream* st = context_->streams[index];
  if (st->codecpar->codec_type != kind) {
    Report(llError,
           FormatText(audio ? "stream #%d is not audio stream." : "stream #%d is not video stream.",
                      index));
    return nullptr;
  }
  return st;
}

bool TCustomAVProbe::AudioStreamInfo(int index, TAudioStreamInfo& info) {
  info = TAudioStreamInfo{};
  AVStream* st = QueryStream(index, AVMEDIA_TYPE_AUDIO);
  if (!st) return false;
  FillStreamHead(st, info);
  const AVCodecParameters* par = st->codecpar;
  info.Channels = par->ch_layout.nb_channels;
  info.SampleRate = par->sample_rate;
  info.SampleFormat = par->format;
  return true;
}

bool TCustomAVProbe::VideoStreamInfo(int index, TVideoStreamInfo& info) {
  info = TVideoStreamInfo{};
  AVStream* st = QueryStream(index, AVMEDIA_TYPE_VIDEO);
  if (!st) return false;
  FillStreamHead(st, info);
  const AVCodecParameters* par = st->codecpar;
  info.Height = par->height;
  info.Width = par->width;
  // Unknown pixel shape means square pixels, so the picture's own proportion.
  AVRational sar =
      RateSet(st->sample_aspect_ratio) ? st->sample_aspect_ratio : par->sample_aspect_ratio;
  if (!RateSet(sar)) sar = AVRational{1, 1};
  if (par->height > 0)
    info.DisplayAspect = static_cast<float>(av_q2d(sar) * par->width / par->height);
  info.PixelFormat = par->format;
  info.FrameRateNum = st->r_frame_rate.num;
  info.FrameRateDen = st->r_frame_rate.den;
  return true;
}

std::string TCustomAVProbe::MetadataBlock(const AVDictionary* metadata, const std::string& prefix) {
  std::vector<std::string> lines;
  const AVDictionaryEntry* e = nullptr;
  while ((e = FF.av_dict_get(metadata, "", e, AV_DICT_IGNORE_SUFFIX))) {
    if (std::string(e->key) == "language") continue;
    if (lines.empty()) lines.push_back(prefix + "Metadata:");
    lines.push_back(FormatText("%s  %-16s: ", prefix.c_str(), DisplayTagName(e->key).c_str()) +
                    e->value);
  }
  return Join(lines);
}

std::string TCustomAVProbe::StreamLine(int index) {
  const AVStream* st = context_->streams[index];
  const AVCodecParameters* par = st->codecpar;
  std::string line = FormatText("Stream #%d", index);
  if (context_->iformat && (context_->iformat->flags & AVFMT_SHOW_IDS))
    line += FormatText("[0x%x]", st->id);
  const std::string language = MetadataValue(st->metadata, "language", "");
  if (!language.empty()) line += "(" + language + ")";
  const int g =
      st->time_base.num && st->time_base.den ? FF.av_gcd(st->time_base.num, st->time_base.den) : 1;
  line += FormatText(", %d/%d", st->time_base.num / g, st->time_base.den / g);

  AVCodecContext* ctx = FF.avcodec_alloc_context3(nullptr);
  char description[256] = {};
  if (ctx && FF.avcodec_parameters_to_context(ctx, par) >= 0)
    FF.avcodec_string(description, sizeof description, ctx, 0);
  line += std::string(": ") + description;

  if (st->sample_aspect_ratio.num &&
      av_cmp_q(st->sample_aspect_ratio, par->sample_aspect_ratio) != 0) {
    AVRational dar;
    FF.av_reduce(&dar.num, &dar.den, std::int64_t(par->width) * st->sample_aspect_ratio.num,
                 std::int64_t(par->height) * st->sample_aspect_ratio.den, 1024 * 1024);
    line += FormatText(", PAR %d:%d DAR %d:%d", st->sample_aspect_ratio.num,
                       st->sample_aspect_ratio.den, dar.num, dar.den);
  }
  if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
    const struct {
      AVRational Rate;
      const char* Name;
    } rates[] = {{st->avg_frame_rate, "fps"},
                 {st->r_frame_rate, "tbr"},
                 {av_inv_q(st->time_base), "tbn"},
                 {ctx ? av_inv_q(ctx->time_base) : AVRational{0, 0}, "tbc"}};
    for (const auto& r : rates)
      if (RateSet(r.Rate)) line += ", " + RateText(av_q2d(r.Rate)) + " " + r.Name;
  }
  FF.avcodec_free_context(&ctx);

  if (st->start_time != AV_NOPTS_VALUE)
    line += ", StartTime: " + SecondsText(TicksToUs(st->start_time, st->time_base));
  line += ", Duration: " + (st->duration == AV_NOPTS_VALUE
                                ? std::string("N/A")
                                : TimeToText(TicksToUs(st->duration, st->time_base)));
  const std::string block = MetadataBlock(st->metadata, "  ");
  return block.empty() ? line : line + LineBreak + block;
}

std::string TCustomAVProbe::FileInfoText() {
  if (!context_) {
    Report(llWarning, "file not loaded.");
    return "";
  }
  const AVFormatContext* ic = context_;
  std::vector<std::string> lines;
  lines.push_back("File Name: " + fileName_);
  lines.push_back(std::string("Format Name: ") + (ic->iformat ? ic->iformat->name : ""));
  lines.push_back(std::string("Format Long Name: ") +
                  (ic->iformat && ic->iformat->long_name ? ic->iformat->long_name : ""));
  lines.push_back("File Size: " + SizeToText(fileSize_));
  lines.push_back("Duration: " + (ic->duration == AV_NOPTS_VALUE || ic->duration < 0
                                      ? std::string("N/A")
                                      : TimeToText(ic->duration)));
  if (ic->start_time != AV_NOPTS_VALUE && ic->start_time >= 0)
    lines.push_back("StartTime: " + SecondsText(ic->start_time));
  lines.push_back(ic->bit_rate < 1 ? std::string("Bit Rate: N/A")
                                   : FormatText("Bit Rate: %" PRId64 " kb/s", ic->bit_rate / 1000));
  const std::int64_t stamp = CreationTime(ic->metadata);
  if (stamp > 0) lines.push_back("Time Stamp: " + LocalDateTimeText(stamp));
  const std::string fileBlock = MetadataBlock(ic->metadata, "");
  if (!fileBlock.empty()) lines.push_back(fileBlock);

  std::vector<bool> listed(ic->nb_streams, false);
  for (unsigned p = 0; p < ic->nb_programs; ++p) {
    const AVProgram* program = ic->programs[p];
    const std::string provider = MetadataValue(program->metadata, "service_provider", "N/A");
    const std::string name = MetadataValue(program->metadata, "service_name", "N/A");
    lines.push_back(FormatText("Program %d ", program->id) + provider + "@" + name);
    const std::string block = MetadataBlock(program->metadata, "  ");
    if (!block.empty()) lines.push_back(block);
    for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
      const unsigned s = program->stream_index[k];
      if (s >= ic->nb_streams) continue;
      lines.push_back(StreamLine(static_cast<int>(s)));
      listed[s] = true;
    }
  }
  for (unsigned s = 0; s < ic->nb_streams; ++s)
    if (!listed[s]) lines.push_back(StreamLine(static_cast<int>(s)));
  return Join(lines);
}

TAVProbe::~TAVProbe() { Close(); }

void TAVProbe::Recount() {
  TCustomAVProbe::Recount();
  mainStreamIndex_ = VideoStreamIndex() >= 0 ? VideoStreamIndex() : AudioStreamIndex();
  mainStreamStart_ = 0;
  const AVFormatContext* ic = FormatContext();
  if (!ic) return;
  if (mainStreamIndex_ >= 0) {
    const std::int64_t start = ic->streams[mainStreamIndex_]->start_time;
    mainStreamStart_ = start == AV_NOPTS_VALUE ? 0 : start;
  } else if (ic->start_time != AV_NOPTS_VALUE) {
    mainStreamStart_ = ic->start_time;
  }
}
