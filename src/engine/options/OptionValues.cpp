// Parsers of option values: sizes, rates, aspect ratios, formats, crop bands,
// tags, times, maps, matrices, metadata and bitstream filters.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/common/FFmpegException.h"
#include "engine/common/TextFormat.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"
#include "engine/options/OptionParser.h"
#include "engine/options/OptionText.h"

namespace {

// Reads an integer like strtol with base 0 ("0x" hexadecimal, a leading "0"
// octal) and steps over one separator character after it, when there is one.
// A value beyond the int range counts as out of every table.
int ReadIndex(const char*& p) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(p, &end, 0);
  p = end;
  if (*p) ++p;
  if (errno == ERANGE || v > INT_MAX || v < INT_MIN) return -1;
  return static_cast<int>(v);
}

// A leading integer as atoi reads it (0 when there is none).
int LeadingInt(const char* p) {
  long v = std::strtol(p, nullptr, 10);
  return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

// A whole decimal integer; an invalid text counts 0.
int IntOrZero(const std::string& text) {
  try {
    return StrToIntStrict(text);
  } catch (const FFmpegException&) {
    return 0;
  }
}

double FloatOrZero(const std::string& text) {
  try {
    return StrToFloatStrict(text);
  } catch (const FFmpegException&) {
    return 0;
  }
}

}  // namespace

void TOptionParser::SetFrameSize(const std::string& value) {
  if (value.empty()) return;
  int w = 0, h = 0;
  if (FF.av_parse_video_size(&w, &h, value.c_str()) < 0)
    throw FFmpegException("Incorrect frame size");
  state_.FrameWidth = w;
  state_.FrameHeight = h;
}

void TOptionParser::SetFrameRate(const std::string& value) {
  if (value.empty()) return;
  AVRational rate{0, 0};
  if (FF.av_parse_video_rate(&rate, value.c_str()) < 0)
    throw FFmpegException("Incorrect frame rate");
  state_.FrameRate = rate;
}

void TOptionParser::SetFrameAspectRatio(const std::string& value) {
  if (value.empty()) return;
  double ratio = 0;
  if (size_t colon = value.find(':'); colon != std::string::npos) {
    int w = IntOrZero(value.substr(0, colon));
    int h = IntOrZero(value.substr(colon + 1));
    if (h > 0) ratio = static_cast<double>(w) / h;
  } else {
    ratio = FloatOrZero(value);
  }
  // A negative or non-finite ratio is no aspect either.
  if (!(ratio > 0) || !std::isfinite(ratio))
    throw FFmpegException("Incorrect aspect ratio specification.");
  state_.FrameAspectRatio = static_cast<float>(ratio);
  state_.FrameAspectGiven = true;
}

void TOptionParser::SetPixelFormat(const std::string& value) {
  if (value == "list") {
    Log(llInfo, "Pixel formats: name, components, bits per pixel");
    for (const AVPixFmtDescriptor* d = FF.av_pix_fmt_desc_next(nullptr); d;
         d = FF.av_pix_fmt_desc_next(d))
      Log(llInfo,
          FormatText("%-16s %d %3d", d->name, d->nb_components, FF.av_get_bits_per_pixel(d)));
    return;
  }
  AVPixelFormat fmt = FF.av_get_pix_fmt(value.c_str());
  if (fmt == AV_PIX_FMT_NONE)
    throw FFmpegException(FormatText("Unknown pixel format requested: %s", value.c_str()));
  state_.FramePixFmt = fmt;
}

void TOptionParser::SetSampleFormat(const std::string& value) {
  if (value == "list") {
    for (int f = -1; f < AV_SAMPLE_FMT_NB; ++f) {
      char line[128];
      FF.av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(f));
      Log(llInfo, TrimOptionText(line));
    }
    return;
  }
  state_.AudioSampleFmt = FF.av_get_sample_fmt(value.c_str());
}

void TOptionParser::SetCrop(const std::string& name, const std::string& value) {
  const int band = StrToIntStrict(value);
  if (band <= 0) return;
  const bool vertical = name == "croptop" || name == "cropbottom";
  int& extent = vertical ? state_.FrameHeight : state_.FrameWidth;
  if (band >= extent)
    throw FFmpegException(std::string(vertical ? "Vertical" : "Horizontal") +
                          " crop dimensions are outside the range of the original image.\n"
                          "Remember to crop first and scale second.");
  Log(llWarning, "CropXXX is deprecated in favor of the crop avfilter");
  int* field = name == "croptop"      ? &state_.CropTop
               : name == "cropbottom" ? &state_.CropBottom
               : name == "cropleft"   ? &state_.CropLeft
                                      : &state_.CropRight;
  *field = band;
  extent -= band;
}

void TOptionParser::SetCodecTag(const std::string& name, const std::string& value) {
  if (value.empty()) return;
  const char kind = name[0];
  if (value.size() != 4)
    throw FFmpegException(std::string(kind == 'a'   ? "audio"
                                      : kind == 'v' ? "video"
                                                    : "subtitle") +
                          " tag parameter must be 4 chars");
  // The first character is the lowest byte, as a four-character code is stored.
  const auto* b = reinterpret_cast<const unsigned char*>(value.data());
  const std::uint32_t tag = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
  (kind == 'a'   ? state_.AudioCodecTag
   : kind == 'v' ? state_.VideoCodecTag
                 : state_.SubtitleCodecTag) = tag;
}

std::int64_t TOptionParser::ParseTime(const std::string& option, const std::string& text,
                                      bool isDuration) {
  int64_t us = 0;
  if (FF.av_parse_time(&us, text.c_str(), isDuration ? 1 : 0) < 0)
    throw FFmpegException(FormatText("Invalid %s specification for %s: %s",
                                     isDuration ? "duration" : "date", option.c_str(),
                                     text.c_str()));
  return us;
}

void TOptionParser::AddStreamMap(const std::string& value) {
  if (state_.StreamMaps.size() >= static_cast<size_t>(MaxStreamMaps))
    throw FFmpegException(FormatText("Too many stream maps (at most %d)", MaxStreamMaps));
  const char* p = value.c_str();
  TStreamMap m;
  m.FileIndex = ReadIndex(p);
  m.StreamIndex = ReadIndex(p);
  if (*p) {
    m.SyncFileIndex = ReadIndex(p);
    m.SyncStreamIndex = ReadIndex(p);
  } else {
    m.SyncFileIndex = m.FileIndex;
    m.SyncStreamIndex = m.StreamIndex;
  }
  state_.StreamMaps.push_back(m);
}

void TOptionParser::AddMetaDataMap(const std::string& value) {
  if (state_.MetaDataMaps.size() >= static_cast<size_t>(MaxMetaDataMaps))
    throw FFmpegException(FormatText("Too many metadata maps (at most %d)", MaxMetaDataMaps));
  const char* p = value.c_str();
  TMetaDataMap m;
  m.OutFile = ReadIndex(p);
  m.InFile = ReadIndex(p);
  state_.MetaDataMaps.push_back(m);
}

void TOptionParser::SetInputTsScale(const std::string& value) {
  const char* p = value.c_str();
  const int index = ReadIndex(p);
  const double scale = std::strtod(p, nullptr);
  // A negative index would fall outside the table just as a large one.
  if (index >= MaxStreams || index < 0)
    throw FFmpegException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
  state_.InputTsScale[index] = scale;
}

void TOptionParser::SetStreamId(const std::string& name, const std::string& value) {
  const size_t colon = value.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == value.size())
    throw FFmpegException(
        FormatText("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
                   value.c_str(), name.c_str()));
  const int index = StrToIntStrict(value.substr(0, colon));
  const int id = StrToIntStrict(value.substr(colon + 1));
  if (index < 0 || index >= MaxStreams)
    throw FFmpegException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
  state_.StreamIdMap[index] = id;
}

void TOptionParser::ParseMetadata(const std::string& value) {
  const size_t eq = value.find('=');
  if (eq == std::string::npos) throw FFmpegException("Missing =");
  AddMetadata(value.substr(0, eq), value.substr(eq + 1));
}

void TOptionParser::AddMetadata(const std::string& key, const std::string& value) {
  state_.Metadata.emplace_back(key, value);
}

void TOptionParser::ParseMatrix(const std::string& name, const std::string& value) {
  TQuantMatrix matrix{};
  int coeffs[64] = {};
  const char* p = value.c_str();
  for (int i = 0; i < 64; ++i) {
    coeffs[i] = LeadingInt(p);
    if (i == 63) break;
    p = std::strchr(p, ',');
    if (!p)
      throw FFmpegException(
          FormatText("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
    ++p;
  }
  // Encoders divide by the coefficients and write them as 8-bit values, so a
  // zero or a larger value would crash the encoder or corrupt the stream.
  for (int i = 0; i < 64; ++i) {
    if (coeffs[i] < 1 || coeffs[i] > 255)
      throw FFmpegException(FormatText("Invalid value %d in matrix \"%s\" at coeff %d (1 to 255)",
                                       coeffs[i], value.c_str(), i));
    matrix[i] = static_cast<std::uint16_t>(coeffs[i]);
  }
  (name == "intra_matrix" ? state_.IntraMatrix : state_.InterMatrix) = matrix;
}

void TOptionParser::AddBitstreamFilter(const std::string& name, const std::string& value) {
  if (value.empty() || value[0] == '=') return;
  const size_t eq = value.find('=');
  const std::string filter = eq == std::string::npos ? value : value.substr(0, eq);
  if (!FF.av_bsf_get_by_name(filter.c_str()))
    throw FFmpegException("Unknown bitstream filter " + TrimOptionText(value));
  // The options after "=" must also make a filter, or the stream that gets
  // the chain could not be created later.
  AVBSFContext* bsf = nullptr;
  if (FF.av_bsf_list_parse_str(value.c_str(), &bsf) < 0)
    throw FFmpegException("Invalid bitstream filter options " + TrimOptionText(value));
  FF.av_bsf_free(&bsf);
  auto& chain = name[0] == 'a'   ? state_.AudioBitstreamFilters
                : name[0] == 'v' ? state_.VideoBitstreamFilters
                                 : state_.SubtitleBitstreamFilters;
  chain.push_back(value);
}
