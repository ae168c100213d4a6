#include "engine/options/OptionMoved.h"

#include <cstring>

namespace {

struct TRenamed {
  const char* Old;
  const char* New;
};

// Options that only changed their name (and kept the meaning of their values).
constexpr TRenamed RenamedOptions[] = {
    {"directpred", "direct-pred"},
    {"cqp", "qp"},
};

// A flag constant that became an option of its own: setting the flag sets
// the option to OnValue, clearing it to OffValue.
struct TMovedFlag {
  const char* Flags;  // the flags option it belonged to
  const char* Flag;
  const char* Option;
  const char* OnValue;
  const char* OffValue;
};

constexpr TMovedFlag MovedFlags[] = {
    {"flags2", "wpred", "weightb", "1", "0"},
    {"flags2", "dct8x8", "8x8dct", "1", "0"},
    {"flags2", "mixed_refs", "mixed-refs", "1", "0"},
    {"flags2", "fastpskip", "fast-pskip", "1", "0"},
    {"flags2", "bpyramid", "b-pyramid", "normal", "none"},
    {"flags2", "mbtree", "mbtree", "1", "0"},
    {"flags2", "aud", "aud", "1", "0"},
    {"flags2", "psy", "psy", "1", "0"},
    {"flags2", "ssim", "ssim", "1", "0"},
    {"flags2", "intra_refresh", "intra-refresh", "1", "0"},
    {"flags", "scan_offset", "scan_offset", "1", "0"},
};

// The old partition flags and the names the encoder's list uses now.
constexpr TRenamed PartitionNames[] = {
    {"parti4x4", "i4x4"}, {"parti8x8", "i8x8"}, {"partp4x4", "p4x4"},
    {"partp8x8", "p8x8"}, {"partb8x8", "b8x8"},
};

struct TFlagToken {
  char Sign;  // '+', '-' or 0 for a leading token without sign
  std::string Name;
};

// "+a-b+c" / "a+b" -> its signed tokens.
std::vector<TFlagToken> SplitFlags(const std::string& value) {
  std::vector<TFlagToken> tokens;
  size_t i = 0;
  while (i < value.size()) {
    TFlagToken t{0, {}};
    if (value[i] == '+' || value[i] == '-') t.Sign = value[i++];
    size_t end = value.find_first_of("+-", i);
    if (end == std::string::npos) end = value.size();
    t.Name = value.substr(i, end - i);
    if (!t.Name.empty() || t.Sign) tokens.push_back(t);
    i = end;
  }
  return tokens;
}

const TMovedFlag* FindMovedFlag(const std::string& flags, const std::string& flag) {
  for (const auto& m : MovedFlags)
    if (flags == m.Flags && flag == m.Flag) return &m;
  return nullptr;
}

bool IsFlagsOption(const std::string& name) {
  for (const auto& m : MovedFlags)
    if (name == m.Flags) return true;
  return false;
}

TMovedTranslation TranslateFlags(const std::string& name, const std::string& value) {
  TMovedTranslation result;
  std::string rest;
  for (const auto& t : SplitFlags(value)) {
    if (const TMovedFlag* m = FindMovedFlag(name, t.Name)) {
      result.Translated = true;
      result.Options.emplace_back(m->Option, t.Sign == '-' ? m->OffValue : m->OnValue);
    } else {
      if (t.Sign) rest += t.Sign;
      rest += t.Name;
    }
  }
  if (result.Translated && !rest.empty())
    result.Options.insert(result.Options.begin(), {name, rest});
  return result;
}

// "+parti8x8-parti4x4+partp8x8" -> "i8x8,p8x8"; the encoder's list names the
// partitions to use, so only the ones switched on remain.
TMovedTranslation TranslatePartitions(const std::string& value) {
  TMovedTranslation result;
  std::string list;
  for (const auto& t : SplitFlags(value)) {
    const char* now = nullptr;
    for (const auto& p : PartitionNames)
      if (t.Name == p.Old) now = p.New;
    if (!now) return {};  // already in the current form (or unknown): leave it
    result.Translated = true;
    if (t.Sign == '-') continue;
    if (!list.empty()) list += ',';
    list += now;
  }
  if (result.Translated) result.Options.emplace_back("partitions", list.empty() ? "none" : list);
  return result;
}

}  // namespace

TMovedTranslation TranslateMovedOption(const std::string& name, const std::string& value) {
  for (const auto& r : RenamedOptions)
    if (name == r.Old) return {true, {{r.New, value}}};
  if (IsFlagsOption(name)) return TranslateFlags(name, value);
  if (name == "partitions") return TranslatePartitions(value);
  return {};
}
