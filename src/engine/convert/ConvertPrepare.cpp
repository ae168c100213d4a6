// The preparation of a run: stream tables, stream mapping, copy and encode
// set-up, codecs, metadata, chapters, headers and the mapping report.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "engine/common/FFmpegException.h"
#include "engine/convert/AudioOutput.h"
#include "engine/convert/ConvertFilters.h"
#include "engine/convert/ConvertStreams.h"
#include "engine/convert/CustomFFmpeg.h"
#include "engine/convert/FrameHookModules.h"
#include "engine/convert/StreamLevels.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"

namespace {

std::string TypeName(int type) { return MediaTypeName(type); }

// Refuses a channel count the audio encoder lists no layout for, before the
// library refuses it without saying why.
void CheckEncoderChannels(const AVCodec* codec, int channels) {
  if (!codec->ch_layouts) return;
  std::vector<int> counts;
  for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
    if (l->nb_channels == channels) return;
    if (std::find(counts.begin(), counts.end(), l->nb_channels) == counts.end())
      counts.push_back(l->nb_channels);
  }
  std::sort(counts.begin(), counts.end());
  std::string takes;
  for (size_t i = 0; i < counts.size(); ++i)
    takes += (i == 0 ? "" : i + 1 == counts.size() ? " or " : ", ") + std::to_string(counts[i]);
  throw FFmpegException(Fmt("The audio encoder '%s' cannot take %d channels; it takes %s",
                            codec->name, channels, takes.c_str()));
}

bool IsDvMuxer(const AVOutputFormat* format) {
  return format && std::strcmp(format->name, "dv") == 0;
}

// Muxers that cannot write sound alone: DV frames carry it beside a picture.
bool MuxerNeedsVideo(const AVOutputFormat* format) { return IsDvMuxer(format); }

bool HasStream(const TOutputFile& file, AVMediaType type) {
  for (const auto& s : file.Streams)
    if (s->Type == type) return true;
  return false;
}

// The sound packet sizes the output's muxer needs; empty when any do.
std::vector<int> MuxerAudioFrameSizes(const TOutputFile& file, int sampleRate) {
  if (!IsDvMuxer(file.Ctx->oformat)) return {};
  for (const auto& s : file.Streams)
    if (s->Type == AVMEDIA_TYPE_VIDEO && s->Enc) return DvAudioFrameSizes(s->Enc.get(), sampleRate);
  return {};
}

}  // namespace

void TCustomFFmpeg::Prepare() {
  BuildInputStreams();
  AssignSources();
  for (size_t i = 0; i < outputStreams_.size(); ++i) {
    TOutputStream& ost = *outputStreams_[i];
    TInputStream& ist = *ost.Source;
    FF.av_dict_copy(&ost.St->metadata, ist.St->metadata, AV_DICT_DONT_OVERWRITE);
    ost.St->disposition = ist.St->disposition;
    ost.Enc->bits_per_raw_sample = ist.St->codecpar->bits_per_raw_sample;
    ost.Enc->chroma_sample_location = ist.St->codecpar->chroma_location;
    if (ost.Copy)
      SetUpCopy(ost);
    else
      SetUpEncode(ost);
    if (ost.EncodingNeeded && (ost.Enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)))
      OpenTwoPassLog(ost, int(i));
  }
  for (TOutputStream* ost : outputStreams_)
    for (TInputStream* src : ost->JoinSources)
      if (src) src->DecodingNeeded |= ost->EncodingNeeded;
  // Decoders first: a subtitle encoder takes its header from its decoder.
  OpenDecoders();
  OpenEncoders();
  for (auto& ist : inputStreams_) {
    ist->Pts = 0;
    ist->NextPts = NoTimeValue;
    ist->IsStart = true;
  }
  CopyMetadataMaps();
  CopyChapters();
  WriteHeaders();
  PrintStreamMapping();
  timerStart_ = lastReportTime_ = FF.av_gettime();
}

void TCustomFFmpeg::BuildInputStreams() {
  inputStreams_.clear();
  std::int64_t now = FF.av_gettime();
  for (size_t f = 0; f < inputFiles_.size(); ++f) {
    TInputFile& file = *inputFiles_[f];
    file.FirstStream = int(inputStreams_.size());
    file.StreamCount = int(file.Ctx->nb_streams);
    file.EndReached = file.NoPacket = false;
    for (unsigned i = 0; i < file.Ctx->nb_streams; ++i) {
      auto ist = std::make_unique<TInputStream>();
      ist->FileIndex = int(f);
      ist->StreamIndex = int(i);
      ist->St = file.Ctx->streams[i];
      ist->Decoder = i < file.Decoders.size() ? file.Decoders[i] : nullptr;
      if (options_.RateEmu) ist->RateEmuStart = now;
      inputStreams_.push_back(std::move(ist));
    }
  }
}

void TCustomFFmpeg::AssignSources() {
  outputStreams_.clear();
  int total = 0;
  for (size_t f = 0; f < outputFiles_.size(); ++f) {
    TOutputFile& file = *outputFiles_[f];
    if (file.Streams.empty()) {
      FF.av_dump_format(file.Ctx, int(f), file.Name.c_str(), 1);
      throw FFmpegException(Fmt("Output file #%d does not contain any stream", int(f)));
    }
    total += int(file.Streams.size());
  }
  const auto& maps = options_.StreamMaps;
  auto findInput = [this](int file, int stream) -> TInputStream* {
    if (file < 0 || file >= InputFileCount()) return nullptr;
    const TInputFile& in = *inputFiles_[size_t(file)];
    if (stream < 0 || stream >= in.StreamCount) return nullptr;
    return inputStreams_[size_t(in.FirstStream + stream)].get();
  };
  if (!maps.empty()) {
    if (int(maps.size()) != total)
      throw FFmpegException("Number of stream maps must match number of output streams");
    for (const auto& m : maps) {
      if (!findInput(m.FileIndex, m.StreamIndex))
        throw FFmpegException(
            Fmt("Could not find input stream #%d.%d", m.FileIndex, m.StreamIndex));
      if (!findInput(m.SyncFileIndex, m.SyncStreamIndex))
        throw FFmpegException(
            Fmt("Could not find sync stream #%d.%d", m.SyncFileIndex, m.SyncStreamIndex));
    }
  }
  for (auto& file : outputFiles_)
    for (auto& ost : file->Streams) outputStreams_.push_back(ost.get());

  for (size_t i = 0; i < outputStreams_.size(); ++i) {
    TOutputStream& ost = *outputStreams_[i];
    TOutputFile& file = *outputFiles_[size_t(ost.FileIndex)];
    if (!maps.empty()) {
      const TStreamMap& m = maps[i];
      TInputStream* ist = findInput(m.FileIndex, m.StreamIndex);
      if (ist->St->codecpar->codec_type != ost.Type) {
        FF.av_dump_format(file.Ctx, ost.FileIndex, file.Name.c_str(), 1);
        throw FFmpegException(Fmt("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)",
                                  m.FileIndex, m.StreamIndex,
                                  TypeName(ist->St->codecpar->codec_type).c_str(), ost.FileIndex,
                                  ost.Index, TypeName(ost.Type).c_str()));
      }
      ost.Source = ist;
      ost.SyncSource = findInput(m.SyncFileIndex, m.SyncStreamIndex);
    } else {
      // Join mode feeds the shared output from the first input; later
      // segments switch the sources over.
      int wantedFile = joinMode_ ? 0 : -1;
      auto candidate = [&](const TInputStream& ist, bool unusedOnly) {
        if (ist.St->codecpar->codec_type != ost.Type || ist.St->discard == AVDISCARD_ALL)
          return false;
        if (unusedOnly && !ist.Discard) return false;
        if (wantedFile >= 0 && ist.FileIndex != wantedFile) return false;
        return true;
      };
      // The unused stream with the most frames (as the container counts
      // them); the first of equal counts.
      TInputStream* found = nullptr;
      for (auto& ist : inputStreams_)
        if (candidate(*ist, true) && (!found || ist->St->nb_frames > found->St->nb_frames))
          found = ist.get();
      if (!found && !options_.ProgramId && !joinMode_)
        for (auto& ist : inputStreams_)
          if (candidate(*ist, false)) found = ist.get();
      if (!found) {
        FF.av_dump_format(file.Ctx, ost.FileIndex, file.Name.c_str(), 1);
        throw FFmpegException(Fmt("Could not find input stream matching output stream #%d.%d (%s)",
                                  ost.FileIndex, ost.Index, TypeName(ost.Type).c_str()));
      }
      ost.Source = found;
      ost.SyncSource = found;
    }
    ost.Source->Discard = false;
    ost.Active = true;
    if (joinMode_) AssignJoinSources(ost);
  }
}

// Join mode: the stream of each later input that takes over this output.
void TCustomFFmpeg::AssignJoinSources(TOutputStream& ost) {
  ost.JoinSources.assign(inputFiles_.size(), nullptr);
  ost.JoinSources[0] = ost.Source;
  for (size_t f = 1; f < inputFiles_.size(); ++f) {
    const TInputFile& file = *inputFiles_[f];
    for (int i = 0; i < file.StreamCount; ++i) {
      TInputStream* ist = inputStreams_[size_t(file.FirstStream + i)].get();
      if (ist->St->codecpar->codec_type == ost.Type && ist->Discard &&
          ist->St->discard != AVDISCARD_ALL) {
        ist->Discard = false;
        ost.JoinSources[f] = ist;
        break;
      }
    }
  }
}

void TCustomFFmpeg::SetUpCopy(TOutputStream& ost) {
  TInputStream& ist = *ost.Source;
  const AVCodecParameters* in = ist.St->codecpar;
  if (in->extradata_size < 0 || std::int64_t(in->extradata_size) + 8 > INT32_MAX)
    throw FFmpegException("icodec.extradata_size is invalid (too large)");
  switch (ost.Type) {
    case AVMEDIA_TYPE_VIDEO:
      if (hookEnabled_ && OnCustomHook)
        throw FFmpegException(
            "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
      if (frameHooks_ && !frameHooks_->Empty())
        throw FFmpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
      if (PreviewFlags())
        throw FFmpegException(
            "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_AUDIO:
      if (options_.AudioVolume != 256)
        throw FFmpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_SUBTITLE: break;
    default: throw FFmpegException("invalid codec_type of output stream");
  }
  AVCodecParameters* out = ost.St->codecpar;
  std::uint32_t wantedTag = ost.Enc->codec_tag;
  int err = FF.avcodec_parameters_copy(out, in);
  if (err < 0) throw FFmpegException("av_mallocz fail");
  // Keep the input's tag only where the output container would read it as
  // the same codec (or has no table for the codec at all).
  out->codec_tag = wantedTag;
  if (!wantedTag) {
    const AVCodecTag* const* tags =
        ost.St ? outputFiles_[size_t(ost.FileIndex)]->Ctx->oformat->codec_tag : nullptr;
    unsigned int tagForId = 0;
    if (!tags || FF.av_codec_get_id(tags, in->codec_tag) == in->codec_id ||
        !FF.av_codec_get_tag2(tags, in->codec_id, &tagForId))
      out->codec_tag = in->codec_tag;
    else
      out->codec_tag = 0;
  }
  if (ost.Type == AVMEDIA_TYPE_AUDIO) {
    if ((out->block_align == 1 && out->codec_id == AV_CODEC_ID_MP3) ||
        out->codec_id == AV_CODEC_ID_AC3)
      out->block_align = 0;
  }
  if (ost.Type == AVMEDIA_TYPE_VIDEO && ost.St->sample_aspect_ratio.num)
    out->sample_aspect_ratio = ost.St->sample_aspect_ratio;
  ost.St->time_base = ist.St->time_base;
  ost.St->avg_frame_rate = ist.St->avg_frame_rate;
  ost.St->r_frame_rate = ist.St->r_frame_rate;
  ost.EncodingNeeded = false;
}

void TCustomFFmpeg::SetUpEncode(TOutputStream& ost) {
  TInputStream& ist = *ost.Source;
  const AVCodecParameters* in = ist.St->codecpar;
  AVCodecContext* enc = ost.Enc.get();
  switch (ost.Type) {
    case AVMEDIA_TYPE_AUDIO:
      ost.ResampleNeeded = in->sample_rate != enc->sample_rate || options_.AudioSyncMethod > 1;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      enc->time_base = AVRational{1, AV_TIME_BASE};  // subtitle times are µs
      break;
    case AVMEDIA_TYPE_VIDEO: {
      if (enc->pix_fmt == AV_PIX_FMT_NONE)
        throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
      const TOptionState& o = options_;
      ost.CropNeeded = o.CropTop || o.CropBottom || o.CropLeft || o.CropRight;
      ost.TopBand = ost.InitTopBand = o.CropTop;
      ost.BottomBand = ost.InitBottomBand = o.CropBottom;
      ost.LeftBand = ost.InitLeftBand = o.CropLeft;
      ost.RightBand = ost.InitRightBand = o.CropRight;
      ost.SourceWidth = in->width;
      ost.SourceHeight = in->height;
      ost.ResampleWidth = in->width - ost.LeftBand - ost.RightBand;
      ost.ResampleHeight = in->height - ost.TopBand - ost.BottomBand;
      ost.ResamplePixFmt = in->format;
      SetLastError("");
      const std::string& chain = ost.VideoFilters;
      int outW = enc->width > 0 ? enc->width : ost.ResampleWidth;
      int outH = enc->height > 0 ? enc->height : ost.ResampleHeight;
      std::string error;
      // An aspect asked for is that of the picture the engine's own crop and
      // scale make (outW x outH): the source is declared with the pixel shape
      // that comes out as that aspect there. Without one the source's own
      // pixel shape (square when unknown) goes in. The graph carries the
      // shape on through crops, pads and scales, and the encoder takes the
      // pixel shape of the picture that arrives, whatever its size.
      AVRational sourceSar = in->sample_aspect_ratio.num > 0 && in->sample_aspect_ratio.den > 0
                                 ? in->sample_aspect_ratio
                                 : AVRational{1, 1};
      const AVRational wanted = enc->sample_aspect_ratio;
      if (wanted.num > 0 && wanted.den > 0 && ost.ResampleWidth > 0 && ost.ResampleHeight > 0)
        FF.av_reduce(&sourceSar.num, &sourceSar.den,
                     std::int64_t(wanted.num) * outW * ost.ResampleHeight,
                     std::int64_t(wanted.den) * outH * ost.ResampleWidth, INT_MAX);
      TVideoGraphInput gin{in->width, in->height, in->format, sourceSar};
      if (!ConfigureVideoGraph(ost, gin, outW, outH, chain, o.ScalerFlags, error)) {
        SetLastError(error);
        throw FFmpegException(error.empty() ? "Error opening filters!"
                                            : "Error opening filters: " + error);
      }
      AVRational sar = FF.av_buffersink_get_sample_aspect_ratio(ost.FilterSink);
      if (sar.num > 0 && sar.den > 0) {
        FF.av_reduce(&sar.num, &sar.den, sar.num, sar.den, 255);
        enc->sample_aspect_ratio = ost.St->sample_aspect_ratio = sar;
      }
      break;
    }
    default: throw FFmpegException("invalid codec_type of output stream");
  }
  ost.EncodingNeeded = true;
  ist.DecodingNeeded = true;
}

void TCustomFFmpeg::OpenTwoPassLog(TOutputStream& ost, int tableIndex) {
  std::string prefix = options_.PassLogFileName.empty() ? "ffmpeg2pass" : options_.PassLogFileName;
  std::string name = Fmt("%s-%d.log", prefix.c_str(), tableIndex).substr(0, 1023);
  if (ost.Enc->flags & AV_CODEC_FLAG_PASS1) {
    ost.PassLog.reset(FF.fopen(name.c_str(), "wb"));
    if (!ost.PassLog)
      throw FFmpegException(Fmt("Cannot write log file %s for pass-1 encoding", name.c_str()));
  } else {
    std::string content;
    int err = ReadWholeFile(name, content);
    if (err == -12)
      throw FFmpegException(
          Fmt("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
              name.c_str()));
    if (err < 0)
      throw FFmpegException(
          Fmt("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
    ost.Enc->stats_in = FF.av_strdup(content.c_str());
  }
}

void TCustomFFmpeg::FailWithMapping(const std::string& message, bool logIt) const {
  PrintStreamMapping();
  if (logIt) Log(llError, message);
  throw FFmpegException(message);
}

// MPEG-4 Visual declares its level from what it is. The library's
// own encoder writes the level it is given, and level 1 (176x144) when it is
// given none; libxvid writes a level of its own choosing, which its headers
// get replaced with (EncodeFrame). A level asked for on the command line
// stays, and so does the level of an Advanced Simple stream (B-frames or
// quarter-pixel motion), whose levels count differently.
static void ChooseMpeg4Level(TOutputStream& ost, const AVCodec* codec) {
  AVCodecContext* enc = ost.Enc.get();
  if (ost.Type != AVMEDIA_TYPE_VIDEO || codec->id != AV_CODEC_ID_MPEG4) return;
  if (enc->level != FF_LEVEL_UNKNOWN || enc->max_b_frames > 0 || (enc->flags & AV_CODEC_FLAG_QPEL))
    return;
  const AVRational rate = enc->framerate.num > 0 ? enc->framerate : av_inv_q(enc->time_base);
  const int level = Mpeg4SimpleLevel(enc->width, enc->height, rate,
                                     std::max<std::int64_t>(enc->bit_rate, enc->rc_max_rate));
  if (std::strcmp(codec->name, "mpeg4") == 0)
    enc->level = level;
  else
    ost.Mpeg4Level = level;
}

void TCustomFFmpeg::OpenEncoders() {
  for (TOutputStream* p : outputStreams_) {
    TOutputStream& ost = *p;
    if (ost.EncodingNeeded) {
      AVCodecContext* enc = ost.Enc.get();
      const AVCodec* codec = ost.Encoder ? ost.Encoder : FF.avcodec_find_encoder(enc->codec_id);
      if (!codec)
        FailWithMapping(
            Fmt("Encoder (codec id %d) not found for output stream #%d.%d (%s)", int(enc->codec_id),
                ost.FileIndex, ost.Index, TypeName(ost.Type).c_str()),
            true);
      if (ost.Type == AVMEDIA_TYPE_SUBTITLE && ost.Source->Dec &&
          ost.Source->Dec->subtitle_header) {
        const AVCodecContext* dec = ost.Source->Dec.get();
        enc->subtitle_header =
            static_cast<uint8_t*>(FF.av_mallocz(size_t(dec->subtitle_header_size) + 1));
        if (!enc->subtitle_header) throw FFmpegException("av_mallocz fail");
        std::memcpy(enc->subtitle_header, dec->subtitle_header, size_t(dec->subtitle_header_size));
        enc->subtitle_header_size = dec->subtitle_header_size;
      }
      if (ost.Type == AVMEDIA_TYPE_AUDIO) CheckEncoderChannels(codec, enc->ch_layout.nb_channels);
      ChooseMpeg4Level(ost, codec);
      AVDictionary* opts = options_.Generic.CopyPrivateCodecOptions(ost.Type);
      int err;
      {
        std::lock_guard lock(CodecLock());
        err = FF.avcodec_open2(enc, codec, &opts);
      }
      ReportUnusedPrivateOptions(&opts, codec->name);
      if (err < 0)
        FailWithMapping(Fmt("Error while opening encoder for output stream #%d.%d (%s) - maybe "
                            "incorrect parameters such as bit_rate, rate, width or height. "
                            "Please check error log message to find out more detail information.",
                            ost.FileIndex, ost.Index, TypeName(ost.Type).c_str()),
                        true);
      ost.EncoderOpen = true;
      if (ost.Mpeg4Level) SetMpeg4SimpleLevel(enc->extradata, enc->extradata_size, ost.Mpeg4Level);
      globalHeaderBytes_ += enc->extradata_size;
      if (FF.avcodec_parameters_from_context(ost.St->codecpar, enc) < 0)
        throw FFmpegException("av_mallocz fail");
      ost.St->time_base = enc->time_base;
      if (ost.Type == AVMEDIA_TYPE_VIDEO) ost.St->avg_frame_rate = enc->framerate;
      if (ost.Type == AVMEDIA_TYPE_AUDIO) {
        ost.Fifo.reset(FF.av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, 1024));
        if (!ost.Fifo) throw FFmpegException("av_fifo_alloc fail");
        const TOutputFile& file = *outputFiles_[size_t(ost.FileIndex)];
        ost.AudioFrameSizes = MuxerAudioFrameSizes(file, enc->sample_rate);
        ost.AudioTimeShift = AudioTimeShift(enc, file.Ctx->oformat);
      }
    }
    if (!ost.BitstreamFilters.empty()) {
      AVBSFContext* bsf = nullptr;
      int err = FF.av_bsf_list_parse_str(ost.BitstreamFilters.c_str(), &bsf);
      if (err >= 0) {
        ost.Bsf.reset(bsf);
        err = FF.avcodec_parameters_copy(bsf->par_in, ost.St->codecpar);
        bsf->time_base_in = ost.St->time_base;
        if (err >= 0) err = FF.av_bsf_init(bsf);
        if (err >= 0) err = FF.avcodec_parameters_copy(ost.St->codecpar, bsf->par_out);
      }
      if (err < 0)
        throw FFmpegException(
            ErrorText(Fmt("%s failed for stream %d, codec %s", ost.BitstreamFilters.c_str(),
                          ost.Index, ost.Copy ? "copy" : ost.Enc->codec->name),
                      err));
    }
  }
}

void TCustomFFmpeg::OpenDecoders() {
  for (auto& p : inputStreams_) {
    TInputStream& ist = *p;
    if (!ist.DecodingNeeded) continue;
    const AVCodecParameters* par = ist.St->codecpar;
    const AVCodec* codec = ist.Decoder ? ist.Decoder : FF.avcodec_find_decoder(par->codec_id);
    if (!codec)
      FailWithMapping(
          Fmt("Decoder (codec id %d) not found for input stream #%d.%d (%s)", int(par->codec_id),
              ist.FileIndex, ist.StreamIndex, TypeName(par->codec_type).c_str()),
          false);
    TCodecContextPtr dec(FF.avcodec_alloc_context3(codec));
    if (!dec || FF.avcodec_parameters_to_context(dec.get(), par) < 0)
      throw FFmpegException("av_mallocz fail");
    dec->pkt_timebase = ist.St->time_base;
    dec->thread_count = decoderThreads_;
    int mask = OptMaskDecoding | TGenericOptionStore::TypeMask(par->codec_type);
    options_.Generic.CopyToCodecContext(par->codec_type, dec.get(), mask);
    int err;
    {
      std::lock_guard lock(CodecLock());
      err = FF.avcodec_open2(dec.get(), codec, nullptr);
    }
    if (err < 0)
      FailWithMapping(Fmt("Error while opening decoder for input stream #%d.%d (%s)", ist.FileIndex,
                          ist.StreamIndex, TypeName(par->codec_type).c_str()),
                      false);
    ist.Dec = std::move(dec);
  }
}

void TCustomFFmpeg::CopyMetadataMaps() {
  for (const TMetaDataMap& m : options_.MetaDataMaps) {
    if (m.OutFile < 0 || m.OutFile >= OutputFileCount())
      FailWithMapping(
          Fmt("Invalid output file index %d map_meta_data(%d,%d)", m.OutFile, m.OutFile, m.InFile),
          false);
    if (m.InFile < 0 || m.InFile >= InputFileCount())
      FailWithMapping(
          Fmt("Invalid input file index %d map_meta_data(%d,%d)", m.InFile, m.OutFile, m.InFile),
          false);
    FF.av_dict_copy(&OutputFile(m.OutFile)->metadata, InputFile(m.InFile)->metadata,
                    AV_DICT_DONT_OVERWRITE);
  }
}

void TCustomFFmpeg::CopyChapters() {
  for (auto& in : inputFiles_) {
    AVFormatContext* is = in->Ctx;
    if (!is->nb_chapters) continue;
    for (auto& out : outputFiles_) {
      AVFormatContext* os = out->Ctx;
      for (unsigned c = 0; c < is->nb_chapters; ++c) {
        const AVChapter* ch = is->chapters[c];
        std::int64_t offset =
            FF.av_rescale_q(options_.StartTime - in->TsOffset, AV_TIME_BASE_Q, ch->time_base);
        std::int64_t limit =
            options_.RecordingTime == UnlimitedRecordingTime
                ? INT64_MAX
                : FF.av_rescale_q(options_.RecordingTime, AV_TIME_BASE_Q, ch->time_base);
        if (ch->end < offset) continue;
        if (limit != INT64_MAX && ch->start >= offset + limit) break;
        auto* copy = static_cast<AVChapter*>(FF.av_mallocz(sizeof(AVChapter)));
        if (!copy) throw FFmpegException("av_mallocz fail");
        copy->id = ch->id;
        copy->time_base = ch->time_base;
        copy->start = std::max<std::int64_t>(0, ch->start - offset);
        copy->end = std::min(limit, ch->end - offset);
        FF.av_dict_copy(&copy->metadata, ch->metadata, 0);
        void* grown = FF.av_realloc(os->chapters, sizeof(AVChapter*) * (os->nb_chapters + 1));
        if (!grown) {
          FF.av_dict_free(&copy->metadata);
          FF.av_free(copy);
          throw FFmpegException("av_realloc fail");
        }
        os->chapters = static_cast<AVChapter**>(grown);
        os->chapters[os->nb_chapters++] = copy;
      }
    }
  }
}

void TCustomFFmpeg::WriteHeaders() {
  bool allRtp = !outputFiles_.empty();
  for (size_t f = 0; f < outputFiles_.size(); ++f) {
    TOutputFile& file = *outputFiles_[f];
    AVDictionary* opts = options_.Generic.CopyPrivateFormatOptions();
    if (options_.LoopOutput >= 0 && file.Ctx->oformat &&
        std::strcmp(file.Ctx->oformat->name, "gif") == 0)
      FF.av_dict_set_int(&opts, "loop", options_.LoopOutput, 0);
    // A "preload" given among the generic options is the more specific one.
    if (file.Preload >= 0)
      FF.av_dict_set_int(&opts, "preload", file.Preload, AV_DICT_DONT_OVERWRITE);
    // The library refuses such a file without saying why.
    if (MuxerNeedsVideo(file.Ctx->oformat) && !HasStream(file, AVMEDIA_TYPE_VIDEO)) {
      FF.av_dict_free(&opts);
      FailWithMapping(
          Fmt("Could not write header for output file #%d: this format needs a video stream",
              int(f)),
          true);
    }
    int err = FF.avformat_write_header(file.Ctx, &opts);
    ReportUnusedPrivateOptions(&opts, file.Ctx->oformat->name);
    if (err < 0)
      FailWithMapping(
          Fmt("Could not write header for output file #%d (incorrect codec parameters ?)", int(f)),
          true);
    file.HeaderWritten = true;
    allRtp &= std::strcmp(file.Ctx->oformat->name, "rtp") == 0;
  }
  if (allRtp) {
    std::vector<AVFormatContext*> ctxs;
    for (auto& file : outputFiles_) ctxs.push_back(file->Ctx);
    char sdp[2048] = {};
    FF.av_sdp_create(ctxs.data(), int(ctxs.size()), sdp, sizeof sdp);
    std::string text = sdp;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
      text.pop_back();
    Log(llInfo, "SDP:\r\n" + text);
  }
}

void TCustomFFmpeg::PrintStreamMapping() const {
  if (Verbose() < 0) return;
  for (size_t f = 0; f < outputFiles_.size(); ++f)
    FF.av_dump_format(outputFiles_[f]->Ctx, int(f), outputFiles_[f]->Name.c_str(), 1);
  Log(llVerbose, "Stream mapping:");
  for (const TOutputStream* ost : outputStreams_) {
    if (!ost->Source) continue;
    std::string line =
        Fmt("  Stream #%d.%d -> #%d.%d (%s)", ost->Source->FileIndex, ost->Source->StreamIndex,
            ost->FileIndex, ost->Index, TypeName(ost->Type).c_str());
    if (ost->SyncSource && ost->SyncSource != ost->Source)
      line += Fmt(" [sync #%d.%d (%s)]", ost->SyncSource->FileIndex, ost->SyncSource->StreamIndex,
                  TypeName(ost->SyncSource->St->codecpar->codec_type).c_str());
    Log(llVerbose, line);
  }
}
