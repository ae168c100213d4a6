#include "engine/libav/MediaUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <new>
#include <vector>

#include "engine/common/FFmpegException.h"
#include "engine/common/TextFormat.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/UnicodeProtocol.h"
#include "platform/Folders.h"

namespace {

struct TErrorEntry {
  int code;
  const char* text;
};

// The program's own wording for the errors users meet most. The first block
// holds the historic codes; the second the codes the current library returns
// for the same conditions.
const TErrorEntry kErrorTexts[] = {
    {-1163346256, "Not yet implemented in FFmpeg"},
    {-10043, "Unsupported network protocol"},
    {-42, "Unknown format"},
    {-33, "Number syntax expected in filename"},
    {-32, "End of file"},
    {-22, "Invalid data found when processing input"},
    {-12, "Not enough memory"},
    {-5, "I/O error"},
    {-2, "No such file or directory"},
    {AVERROR_EOF, "End of file"},
    {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
    {AVERROR_PROTOCOL_NOT_FOUND, "Unsupported network protocol"},
    {AVERROR_DEMUXER_NOT_FOUND, "Unknown format"},
    {NamedPipeInputError, "Not a file but a named pipe, which can keep a reader waiting for ever"},
    {DeviceInputError, "Not a file but a device"},
    {SocketInputError, "Not a file but a socket"},
};

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r\n";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

std::string CodecName(AVCodecID id, const char* ownName, unsigned tag, bool encoder) {
  const AVCodec* codec = nullptr;
  if (id != AV_CODEC_ID_NONE)
    codec = encoder ? FF.avcodec_find_encoder(id) : FF.avcodec_find_decoder(id);
  if (codec) {
    if (codec->long_name && *codec->long_name)
      return FormatText("%s(%s)", codec->name, codec->long_name);
    return codec->name;
  }
  if (id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
  if (ownName) {
    std::string own = Trim(ownName);
    if (!own.empty()) return own;
  }
  const unsigned char c[4] = {
      static_cast<unsigned char>(tag & 0xFF), static_cast<unsigned char>((tag >> 8) & 0xFF),
      static_cast<unsigned char>((tag >> 16) & 0xFF), static_cast<unsigned char>(tag >> 24)};
  bool printable = true;
  for (unsigned char ch : c) printable = printable && ch >= 32 && ch <= 126;
  if (printable) return FormatText("%c%c%c%c / 0x%04X", c[0], c[1], c[2], c[3], tag);
  return FormatText("0x%04x", tag);
}

// The name the library's descriptor table gives a codec id, when it has one.
const char* DescriptorName(AVCodecID id) {
  if (id == AV_CODEC_ID_NONE || !FF.avcodec_descriptor_get) return nullptr;
  const AVCodecDescriptor* d = FF.avcodec_descriptor_get(id);
  return d ? d->name : nullptr;
}

long UtcOffsetSeconds(std::int64_t unixSeconds) {
  time_t t = static_cast<time_t>(unixSeconds);
  struct tm local;
  if (!localtime_r(&t, &local)) return 0;
  return local.tm_gmtoff;
}

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 counted from 1899-12-30
constexpr double kSecondsPerDay = 86400.0;

[[noreturn]] void ThrowNotInteger(const std::string& text) {
  throw FFmpegException("'" + text + "' is not a valid integer value");
}

}  // namespace

std::string TimeToText(std::int64_t us) {
  if (us == NoTimeValue) return "N/A";
  const std::int64_t hours = us / 3600000000LL;
  const std::int64_t minutes = (us / 60000000LL) % 60;
  const std::int64_t seconds = (us / 1000000LL) % 60;
  const std::int64_t millis = (us % 1000000LL) * 1000 / 1000000LL;
  return FormatText("%.2lld:%.2lld:%.2lld.%.3lld", static_cast<long long>(hours),
                    static_cast<long long>(minutes), static_cast<long long>(seconds),
                    static_cast<long long>(millis));
}

std::string SizeToText(std::int64_t bytes) {
  if (bytes > 1073741824LL) return FormatText("%.2f GB", double(bytes) / 1073741824.0);
  if (bytes > 1048576LL) return FormatText("%.2f MB", double(bytes) / 1048576.0);
  if (bytes > 1024LL) return FormatText("%.2f KB", double(bytes) / 1024.0);
  return FormatText("%lld Byte", static_cast<long long>(bytes));
}

std::string ErrorMessage(int code) {
  for (const TErrorEntry& e : kErrorTexts)
    if (e.code == code) return e.text;
  if (FF.av_strerror) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    if (FF.av_strerror(code, buf, sizeof buf) == 0 && buf[0]) return buf;
  }
  return FormatText("Error number %d occurred", code);
}

std::string ErrorText(const std::string& prefix, int code) {
  return prefix + ": " + ErrorMessage(code);
}

std::string MediaTypeName(int mediaType) {
  switch (mediaType) {
    case AVMEDIA_TYPE_VIDEO: return "Video";
    case AVMEDIA_TYPE_AUDIO: return "Audio";
    case AVMEDIA_TYPE_DATA: return "Data";
    case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
    default: return "Unknown";
  }
}

std::string CodecNameText(const AVCodecContext* ctx, bool encoder) {
  if (!ctx) return {};
  const char* own =
      (ctx->codec && ctx->codec->name) ? ctx->codec->name : DescriptorName(ctx->codec_id);
  return CodecName(ctx->codec_id, own, ctx->codec_tag, encoder);
}

std::string CodecNameText(const AVCodecParameters* par, bool encoder) {
  if (!par) return {};
  return CodecName(par->codec_id, DescriptorName(par->codec_id), par->codec_tag, encoder);
}

std::string MetadataValue(const AVDictionary* dict, const std::string& key,
                          const std::string& defaultValue) {
  if (!dict || !FF.av_dict_get) return defaultValue;
  const AVDictionaryEntry* e = FF.av_dict_get(dict, key.c_str(), nullptr, 0);
  return (e && e->value) ? std::string(e->value) : defaultValue;
}

int FindStreamInfo(AVFormatContext* format) {
  std::vector<AVDictionary*> options(format->nb_streams, nullptr);
  for (AVDictionary*& dict : options) FF.av_dict_set(&dict, "threads", "1", 0);
  int found;
  {
    std::lock_guard lock(CodecLock());
    found = FF.avformat_find_stream_info(format, options.empty() ? nullptr : options.data());
  }
  for (AVDictionary*& dict : options) FF.av_dict_free(&dict);
  return found;
}

int ReadWholeFile(const std::string& path, std::string& content) {
  content.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  int result = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long size = std::ftell(f);
    if (size >= 0 && std::fseek(f, 0, SEEK_SET) == 0) {
      try {
        content.resize(size_t(size));
        result = std::fread(content.data(), 1, content.size(), f) == content.size() ? 0 : -1;
      } catch (const std::bad_alloc&) {
        result = -12;
      } catch (const std::length_error&) {
        result = -12;
      }
    }
  }
  std::fclose(f);
  if (result != 0) content.clear();
  return result;
}

double UnixToLocalDateTime(std::int64_t unixSeconds) {
  return double(unixSeconds + UtcOffsetSeconds(unixSeconds)) / kSecondsPerDay + kUnixEpochDays;
}

std::int64_t LocalDateTimeToUnix(double localDateTime) {
  const auto local =
      static_cast<std::int64_t>(std::nearbyint((localDateTime - kUnixEpochDays) * kSecondsPerDay));
  // The offset depends on the instant (daylight saving); take it at the
  // instant found with a first guess.
  std::int64_t guess = local - UtcOffsetSeconds(local);
  return local - UtcOffsetSeconds(guess);
}

std::string IncludeTrailingSlash(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + '/';
}

std::string ExtractFilePath(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::int64_t FileSize(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return std::int64_t(st.st_size);
}

bool SameFile(const std::string& a, const std::string& b) {
  platform::TFileIdentity first, second;
  return platform::IdentifyFile(a, first) && platform::IdentifyFile(b, second) && first == second;
}

std::string GetCurrentFolder() {
  std::vector<char> buf(4096);
  while (!::getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return {};
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

bool SetCurrentFolder(const std::string& folder) {
  return !folder.empty() && ::chdir(folder.c_str()) == 0;
}

std::string ExpandFullPath(const std::string& path) {
  if (path.empty()) return GetCurrentFolder();
  std::string full = path[0] == '/' ? path : IncludeTrailingSlash(GetCurrentFolder()) + path;
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= full.size()) {
    size_t next = full.find('/', pos);
    if (next == std::string::npos) next = full.size();
    std::string part = full.substr(pos, next - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = next + 1;
  }
  std::string result;
  for (const std::string& p : parts) result += "/" + p;
  if (result.empty() || (full.back() == '/' && full.size() > 1)) result += "/";
  return result;
}

std::int64_t StrToInt64Strict(const std::string& text) {
  const std::string t = Trim(text);
  size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  if (i >= t.size()) ThrowNotInteger(text);
  for (size_t k = i; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9') ThrowNotInteger(text);
  std::int64_t value = 0;
  const char* first = t.data() + (t[0] == '+' ? 1 : 0);
  auto [end, ec] = std::from_chars(first, t.data() + t.size(), value);
  if (ec != std::errc() || end != t.data() + t.size()) ThrowNotInteger(text);
  return value;
}

int StrToIntStrict(const std::string& text) {
  std::int64_t value = StrToInt64Strict(text);
  if (value < INT_MIN || value > INT_MAX) ThrowNotInteger(text);
  return int(value);
}

double StrToFloatStrict(const std::string& text) {
  const std::string t = Trim(text);
  size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  // Only plain decimal notation: no "inf", "nan" or hexadecimal forms.
  bool ok = i < t.size() && (std::isdigit(static_cast<unsigned char>(t[i])) || t[i] == '.');
  double value = 0;
  if (ok) {
    const char* first = t.data() + (t[0] == '+' ? 1 : 0);
    auto [end, ec] = std::from_chars(first, t.data() + t.size(), value, std::chars_format::general);
    ok = ec == std::errc() && end == t.data() + t.size();
  }
  if (!ok) throw FFmpegException("'" + text + "' is not a valid floating point value");
  return value;
}
