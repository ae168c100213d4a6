#include "engine/options/Presets.h"

#include <strings.h>

#include <array>
#include <cstring>

#include "engine/common/FFmpegException.h"
#include "engine/options/OptionText.h"

namespace {

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* l : lines) {
    text += l;
    text += '\n';
  }
  return text;
}

// clang-format off
// The presets the front end names, written out line by line.
const char* const Psp[] = {
    "coder=1", "flags=+loop", "level=30", "cmp=+chroma",
    "partitions=+parti4x4+parti8x8+partp8x8+partb8x8", "me_method=umh", "subq=7", "me_range=16",
    "g=250", "keyint_min=25", "sc_threshold=40", "i_qfactor=0.71", "b_strategy=1", "qcomp=0.6",
    "qmin=10", "qmax=51", "qdiff=4", "bf=3", "refs=1", "directpred=1", "trellis=2",
    "b=1250000", "maxrate=1500000", "bufsize=4000000", "bt=256000", "sc_threshold=40"};
// clang-format on

std::string PspText(const char* dropLine, const char* replaceFrom, const char* replaceTo) {
  std::string text;
  for (const char* l : Psp) {
    std::string line = l;
    if (dropLine && line == dropLine) continue;
    if (replaceFrom && line == replaceFrom) line = replaceTo;
    text += line + '\n';
  }
  return text;
}

// The 32 presets of one form: a row gives the lines that vary; "" leaves
// the line out.
// clang-format off
constexpr int VaryingCount = 14;
const char* const VaryingNames[VaryingCount] = {
    "coder", "partitions", "me_method", "subq", "me_range", "sc_threshold", "b_strategy",
    "bf", "refs", "directpred", "trellis", "flags2", "cqp", "wpredp"};

struct TPresetRow {
  const char* Name;
  std::array<const char*, VaryingCount> Values;
};

const TPresetRow Rows[] = {
    {"libx264-default", {"1", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "7", "16", "40", "1", "3", "3", "1", "1", "+mixed_refs+wpred+dct8x8+fastpskip", "", "2"}},
    {"libx264-fast", {"1", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "1", "3", "2", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"}},
    {"libx264-fast_firstpass", {"1", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"}},
    {"libx264-faster", {"1", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "4", "16", "40", "1", "3", "2", "1", "1", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip", "", "1"}},
    {"libx264-faster_firstpass", {"1", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "1"}},
    {"libx264-fastfirstpass", {"1", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "3", "0", "-bpyramid-wpred-mixed_refs-dct8x8+fastpskip", "", "2"}},
    {"libx264-hq", {"1", "+parti8x8+parti4x4+partp8x8+partb8x8", "umh", "8", "16", "40", "2", "3", "4", "3", "1", "+wpred+mixed_refs+dct8x8+fastpskip", "", "2"}},
    {"libx264-lossless_fast", {"0", "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8", "hex", "3", "16", "40", "1", "", "", "1", "", "+fastpskip", "0", "0"}},
    {"libx264-lossless_max", {"1", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "esa", "8", "16", "40", "1", "", "16", "1", "", "+mixed_refs+dct8x8+fastpskip", "0", "2"}},
    {"libx264-lossless_medium", {"1", "-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "hex", "5", "16", "40", "1", "", "", "1", "", "+fastpskip", "0", "2"}},
    {"libx264-lossless_slow", {"1", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "6", "16", "40", "1", "", "2", "1", "", "+dct8x8+fastpskip", "0", "2"}},
    {"libx264-lossless_slower", {"1", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "8", "16", "40", "1", "", "4", "1", "", "+mixed_refs+dct8x8+fastpskip", "0", "2"}},
    {"libx264-lossless_ultrafast", {"0", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia", "0", "16", "40", "1", "", "", "1", "", "+fastpskip", "0", ""}},
    {"libx264-max", {"1", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40", "2", "3", "16", "3", "2", "+wpred+mixed_refs+dct8x8-fastpskip", "", "2"}},
    {"libx264-medium", {"1", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "7", "16", "40", "1", "3", "3", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"}},
    {"libx264-medium_firstpass", {"1", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"}},
    {"libx264-normal", {"1", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "1", "3", "2", "3", "0", "+wpred+dct8x8+fastpskip", "", "2"}},
    {"libx264-placebo", {"1", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "", "2"}},
    {"libx264-placebo_firstpass", {"1", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "", "2"}},
    {"libx264-slow", {"1", "+parti8x8+parti4x4+partp8x8+partb8x8", "umh", "8", "16", "40", "2", "3", "5", "3", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"}},
    {"libx264-slow_firstpass", {"1", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"}},
    {"libx264-slower", {"1", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "umh", "9", "16", "40", "2", "3", "8", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"}},
    {"libx264-slower_firstpass", {"1", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"}},
    {"libx264-slowfirstpass", {"1", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "2", "3", "1", "3", "0", "+wpred+dct8x8+fastpskip", "", "2"}},
    {"libx264-superfast", {"1", "+parti8x8+parti4x4-partp8x8-partb8x8", "dia", "1", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "", "0"}},
    {"libx264-superfast_firstpass", {"1", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "1", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "", "0"}},
    {"libx264-ultrafast", {"0", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "0", "16", "0", "0", "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "", "0"}},
    {"libx264-ultrafast_firstpass", {"0", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "0", "16", "0", "0", "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "", "0"}},
    {"libx264-veryfast", {"1", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "", "0"}},
    {"libx264-veryfast_firstpass", {"1", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "", "0"}},
    {"libx264-veryslow", {"1", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "umh", "10", "24", "40", "2", "8", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"}},
    {"libx264-veryslow_firstpass", {"1", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "24", "40", "2", "8", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"}},
};

// The lines of the common form in order. A bare name is a varying line
// (left out when the row has no value for it); "name=value" is fixed.
const char* const Form[] = {
    "coder", "flags=+loop", "cmp=+chroma", "partitions", "me_method", "subq", "me_range",
    "g=250", "keyint_min=25", "sc_threshold", "i_qfactor=0.71", "b_strategy", "qcomp=0.6",
    "qmin=10", "qmax=51", "qdiff=4", "bf", "refs", "directpred", "trellis", "flags2", "cqp",
    "wpredp"};
// clang-format on

std::string RowText(const TPresetRow& row) {
  // The fastest presets switch the loop filter off.
  const bool noLoop = std::string(row.Name).rfind("libx264-ultrafast", 0) == 0;
  std::string text;
  for (const char* line : Form) {
    if (std::strchr(line, '=')) {
      text += noLoop && std::strcmp(line, "flags=+loop") == 0 ? "flags=-loop" : line;
      text += '\n';
      continue;
    }
    for (int i = 0; i < VaryingCount; ++i) {
      if (std::strcmp(line, VaryingNames[i]) == 0 && *row.Values[i])
        text += std::string(line) + '=' + row.Values[i] + '\n';
    }
  }
  return text;
}

// clang-format off
std::vector<TOptionsPreset> MakePresets() {
  std::vector<TOptionsPreset> presets = {
      {"libx264-psp", PspText(nullptr, nullptr, nullptr)},
      {"libx264-mp4", PspText(nullptr, nullptr, nullptr)},
      {"libx264-ps3", PspText("b=1250000", "maxrate=1500000", "maxrate=3500000")},
      // The iPod plays the Baseline profile only: no B-frames, no 8x8
      // transform, no weighted prediction (besides CAVLC, coder=0).
      {"libx264-ipod",
       Lines({"coder=0", "bf=0", "flags2=-wpred-dct8x8", "wpredp=0", "flags=+loop", "level=30",
              "cmp=+chroma", "partitions=+parti4x4+parti8x8+partp8x8", "me_method=umh", "subq=7",
              "me_range=16",
              "g=250", "keyint_min=25", "sc_threshold=40", "i_qfactor=0.71", "b_strategy=1",
              "qcomp=0.6", "qmin=10", "qmax=51", "qdiff=4", "refs=1", "directpred=1", "trellis=2",
              "b=1000000", "maxrate=1250000", "bufsize=4000000", "bt=256000", "sc_threshold=40"})},
      {"libx264-baseline", Lines({"coder=0", "bf=0", "flags2=-wpred-dct8x8", "wpredp=0"})},
      {"libx264-main", Lines({"flags2=-dct8x8"})},
      {"libx264-ipod320", Lines({"coder=0", "bf=0", "flags2=-wpred-dct8x8", "level=13",
                                 "maxrate=768000", "bufsize=3000000", "wpredp=0"})},
      {"libx264-ipod640", Lines({"coder=0", "bf=0", "refs=1", "flags2=-wpred-dct8x8", "level=30",
                                 "maxrate=10000000", "bufsize=10000000", "wpredp=0"})},
  };
  for (const auto& row : Rows) presets.push_back({row.Name, RowText(row)});
  return presets;
}
// clang-format on

}  // namespace

const std::vector<TOptionsPreset>& BuiltInPresets() {
  static const std::vector<TOptionsPreset> presets = MakePresets();
  return presets;
}

const TOptionsPreset* FindBuiltInPreset(const std::string& name) {
  for (const auto& p : BuiltInPresets())
    if (strcasecmp(p.Name.c_str(), name.c_str()) == 0) return &p;
  return nullptr;
}

std::vector<TPresetLine> ParsePresetText(const std::string& presetName, const std::string& text) {
  std::string normal;
  const std::string trimmed = TrimOptionText(text);
  for (size_t i = 0; i < trimmed.size(); ++i) {
    if (trimmed[i] == '\r') {
      normal += '\n';
      if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n') ++i;
    } else {
      normal += trimmed[i];
    }
  }
  std::vector<TPresetLine> lines;
  size_t start = 0;
  while (start <= normal.size()) {
    size_t end = normal.find('\n', start);
    if (end == std::string::npos) end = normal.size();
    std::string line = TrimOptionText(normal.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    size_t eq = line.find('=');
    std::string name = eq == std::string::npos ? line : TrimOptionText(line.substr(0, eq));
    std::string value =
        eq == std::string::npos ? std::string() : TrimOptionText(line.substr(eq + 1));
    if (name.empty() || value.empty())
      throw FFmpegException(presetName + ": Invalid syntax: \"" + line + "\"");
    lines.push_back({line, name, value});
  }
  return lines;
}
