#include "engine/options/OptionRecords.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <utility>

#include "engine/libav/MediaUtils.h"
#include "engine/options/OptionParser.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// CR LF, lone CR and the literal "<CRLF>" all end a line.
std::string NormaliseBreaks(const std::string& text) {
  static const std::string marker = "<CRLF>";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text.compare(i, marker.size(), marker) == 0) {
      out += '\n';
      i += marker.size() - 1;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string SecondsText(std::int64_t us) {
  const bool negative = us < 0;
  // Unsigned, so that the most negative value does not overflow on negation.
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(us) : static_cast<std::uint64_t>(us);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%llu.%06llu", negative ? "-" : "",
                static_cast<unsigned long long>(magnitude / 1000000),
                static_cast<unsigned long long>(magnitude % 1000000));
  return buf;
}

std::string FloatText(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", double(v));
  return buf;
}

class TLineList {
 public:
  void Add(const char* name, const std::string& value) { lines_.push_back({name, value}); }
  void IfPositive(const char* name, std::int64_t v) {
    if (v > 0) Add(name, std::to_string(v));
  }
  // A group of numbers, each written when positive, in the order given.
  void IfPositive(std::initializer_list<std::pair<const char*, std::int64_t>> fields) {
    for (const auto& [name, v] : fields) IfPositive(name, v);
  }
  void IfPositiveSeconds(const char* name, float v) {
    if (v > 0) Add(name, FloatText(v));
  }
  void IfNotEmpty(const char* name, const std::string& v) {
    if (!v.empty()) Add(name, v);
  }
  void IfTrue(const char* name, bool v) {
    if (v) Add(name, "1");
  }
  void Always(const char* name, bool v) { Add(name, v ? "1" : "0"); }
  void IfTime(const char* name, std::int64_t us) {
    if (us != OptionNoTime) Add(name, SecondsText(us));
  }
  std::vector<TOptionLine> Take() { return std::move(lines_); }

 private:
  std::vector<TOptionLine> lines_;
};

}  // namespace

void InitInputOptions(TInputOptions& options) { options = TInputOptions{}; }

void InitOutputOptions(TOutputOptions& options) { options = TOutputOptions{}; }

std::vector<TOptionLine> SplitOptionText(const std::string& text) {
  std::vector<TOptionLine> result;
  const std::string body = NormaliseBreaks(Trim(text));
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    const std::string line = body.substr(start, end - start);
    // A blank line names no option; an empty name would only confuse the
    // dispatcher's error message.
    if (!Trim(line).empty()) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos)
        result.push_back({Lower(Trim(line)), ""});
      else
        result.push_back({Lower(Trim(line.substr(0, eq))), line.substr(eq + 1)});
    }
    start = end + 1;
  }
  return result;
}

std::vector<TOptionLine> InputFieldOptions(const TInputOptions& o) {
  TLineList l;
  l.IfNotEmpty("f", o.FileFormat);
  l.IfTime("ss", o.StartTime);
  if (o.ProgramID >= 0) l.Add("programid", std::to_string(o.ProgramID));
  return l.Take();
}

std::vector<TOptionLine> OutputFieldOptions(const TOutputOptions& o) {
  TLineList l;
  l.IfNotEmpty("f", o.FileFormat);
  l.IfPositive("packetsize", o.PacketSize);
  l.IfPositive("muxrate", o.MuxRate);
  l.IfPositiveSeconds("muxdelay", o.MuxDelay);
  l.IfPositiveSeconds("muxpreload", o.MuxPreload);
  l.IfTrue("an", o.DisableAudio);
  if (o.AudioVolume >= 0) l.Add("vol", std::to_string(o.AudioVolume));
  l.IfPositive({{"ac", o.AudioChannels},
                {"ar", o.AudioSampleRate},
                {"ab", o.AudioBitRate},
                {"abt", o.AudioBitRateTolerance}});
  l.Add("alang", o.AudioLanguage);
  l.Add("async", std::to_string(o.AudioSync));
  l.IfNotEmpty("atag", o.AudioTag);
  l.IfTrue("vn", o.DisableVideo);
  l.IfNotEmpty("r", o.FrameRate);
  l.IfNotEmpty("aspect", o.FrameAspectRatio);
  l.IfPositive({{"croptop", o.CropTop},
                {"cropbottom", o.CropBottom},
                {"cropleft", o.CropLeft},
                {"cropright", o.CropRight}});
  l.IfPositive({{"g", o.GopSize},
                {"vb", o.VideoBitRate},
                {"maxrate", o.VideoMaxRate},
                {"minrate", o.VideoMinRate},
                {"bt", o.VideoBitRateTolerance},
                {"bufsize", o.VideoBufSize}});
  l.Add("vsync", std::to_string(o.VideoSync));
  l.IfNotEmpty("vtag", o.VideoTag);
  l.Add("vlang", o.VideoLanguage);
  l.IfTrue("sn", o.DisableSubtitle);
  l.Add("slang", o.SubtitleLanguage);
  l.Always("isync", o.InputSync);
  l.IfTrue("copyts", o.CopyTimestamps);
  l.IfTime("ss", o.StartTime);
  l.IfTime("t", o.Duration);
  return l.Take();
}

std::string TargetName(std::int32_t target) {
  switch (target) {
    case 1: return "vcd";
    case 2: return "svcd";
    case 3: return "dvd";
    default: return "";
  }
}

std::string TargetNormName(std::int32_t norm) {
  switch (norm) {
    case 1: return "pal";
    case 2: return "ntsc";
    default: return "auto";
  }
}

std::string TargetDefaultNormName(std::int32_t defaultNorm) {
  return defaultNorm == 1 ? "pal" : "ntsc";
}

// ---- applying a record to a task's options ----

namespace {

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

// Lines of an option text that are never dispatched as they stand: streams
// added after the file is open, and the per-stream defaults.
bool SkippedOnInput(const std::string& name) {
  return IsOneOf(name,
                 {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"});
}

bool SkippedOnOutput(const std::string& name) {
  return SkippedOnInput(name) || IsOneOf(name, {"acodec", "vcodec", "scodec", "s"});
}

// One of the per-stream options, by the setter the dispatcher would use; an
// empty value changes nothing.
void ApplyStreamOption(TOptionParser& p, const std::string& name, const std::string& value) {
  if (value.empty()) return;
  if (name == "acodec")
    p.SetAudioCodec(value);
  else if (name == "vcodec")
    p.SetVideoCodec(value);
  else if (name == "scodec")
    p.SetSubtitleCodec(value);
  else if (name == "s")
    p.SetFrameSize(value);
  else if (name == "vf")
    p.SetVideoFilters(value);
  else
    p.LoadPreset(name, value);
}

void ApplyMetadata(TOptionParser& p, const TStreamInfo& m) {
  if (m.TimeStamp == 0)
    p.SetTimestamp(std::time(nullptr));
  else if (m.TimeStamp > 0)
    p.SetTimestamp(LocalDateTimeToUnix(m.TimeStamp));
  if (m.Year > 0) p.AddMetadata("year", std::to_string(m.Year));
  if (m.Track > 0) p.AddMetadata("track", std::to_string(m.Track));
  const std::pair<const char*, const std::string*> texts[] = {
      {"title", &m.Title},     {"author", &m.Author}, {"copyright", &m.Copyright},
      {"comment", &m.Comment}, {"album", &m.Album},   {"genre", &m.Genre}};
  for (const auto& [key, value] : texts)
    if (!value->empty()) p.AddMetadata(key, *value);
}

}  // namespace

void ApplyInputRecord(TOptionParser& parser, const TInputOptions& record) {
  for (const auto& line : SplitOptionText(record.ExtraOptions))
    if (!SkippedOnInput(line.Name)) parser.ParseOption(line.Name, line.Value);
  for (const auto& line : InputFieldOptions(record)) parser.ParseOption(line.Name, line.Value);
}

TOutputRecordApplier::TOutputRecordApplier(const TOutputOptions& record)
    : record_(record), extra_(SplitOptionText(record.ExtraOptions)) {
  AddDefault("acodec", record.AudioCodec);
  AddDefault("vcodec", record.VideoCodec);
  AddDefault("scodec", record.SubtitleCodec);
  AddDefault("apre", record.AudioPreset);
  AddDefault("vpre", record.VideoPreset);
  AddDefault("spre", record.SubtitlePreset);
  AddDefault("s", record.FrameSize);
  AddDefault("vf", record.VideoFilters);
  for (const auto& line : extra_) {
    if (line.Value.empty() || !IsOneOf(line.Name, {"acodec", "vcodec", "scodec", "apre", "vpre",
                                                   "spre", "s", "vfilters", "vf"}))
      continue;
    const std::string name = line.Name == "vfilters" ? "vf" : line.Name;
    AddDefault(name, line.Value);
    streamEntries_.push_back({name, line.Value});
  }
}

void TOutputRecordApplier::ApplyBeforeOpen(TOptionParser& p) const {
  const TOutputOptions& o = record_;
  if (!TargetName(o.Target).empty())
    p.Target(TargetName(o.Target), TargetNormName(o.TargetNorm),
             TargetDefaultNormName(o.TargetDefaultNorm));
  p.SetAudioCodec(Default("acodec"));
  p.SetVideoCodec(Default("vcodec"));
  p.SetSubtitleCodec(Default("scodec"));
  for (const char* preset : {"apre", "vpre", "spre"}) ApplyStreamOption(p, preset, Default(preset));
  for (const auto& line : extra_)
    if (!SkippedOnOutput(line.Name)) p.ParseOption(line.Name, line.Value);
  for (const auto& line : OutputFieldOptions(o)) p.ParseOption(line.Name, line.Value);
  ApplyMetadata(p, o.Metadata);
  ApplyStreamOption(p, "s", Default("s"));
  ApplyStreamOption(p, "vf", Default("vf"));
}

void TOutputRecordApplier::AddStreams(TOptionParser& p) {
  static const std::vector<const char*> audio{"acodec", "apre"}, video{"vcodec", "vpre", "s", "vf"},
      subtitle{"scodec", "spre"};
  for (const auto& line : extra_) {
    const std::vector<const char*>* perStream = line.Name == "newaudio"      ? &audio
                                                : line.Name == "newvideo"    ? &video
                                                : line.Name == "newsubtitle" ? &subtitle
                                                                             : nullptr;
    if (!perStream) continue;
    for (const char* name : *perStream) ApplyStreamOption(p, name, Take(name));
    p.ParseOption(line.Name, line.Value);
  }
}

std::string TOutputRecordApplier::Default(const std::string& name) const {
  for (const auto& e : streamEntries_)
    if (e.Name == "def_" + name) return e.Value;
  return "";
}

std::string TOutputRecordApplier::Take(const std::string& name) {
  for (auto it = streamEntries_.begin(); it != streamEntries_.end(); ++it)
    if (it->Name == name) {
      std::string value = it->Value;
      streamEntries_.erase(it);
      return value;
    }
  return Default(name);
}

void TOutputRecordApplier::AddDefault(const std::string& name, const std::string& value) {
  if (value.empty() || !Default(name).empty()) return;
  streamEntries_.push_back({"def_" + name, value});
}
