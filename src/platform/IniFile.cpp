#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include "platform/AtomicFile.h"

namespace platform {
namespace {

// Serialises read-modify-write cycles of this process, so that two threads
// writing different keys of one file never lose each other's change.
std::mutex& WriteLock() {
  static std::mutex lock;
  return lock;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// The name of a section header line ("[name]"), or nullopt for other lines.
std::optional<std::string> SectionName(const std::string& line) {
  std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return std::nullopt;
  size_t close = t.find(']');
  return Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

struct KeyLine {
  std::string key;
  std::string rawValue;  // everything after the first "="
};

std::optional<KeyLine> ParseKeyLine(const std::string& line) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '[') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return std::nullopt;
  KeyLine k{Trim(t.substr(0, eq)), t.substr(eq + 1)};
  if (k.key.empty()) return std::nullopt;
  return k;
}

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

// The file as lines (without line ends); empty when the file cannot be read.
// `bom` tells whether the text began with a byte order mark, which a write
// puts back: dropping it would let a second mark behind it be read as the
// first, and a section header behind that change meaning.
std::vector<std::string> LoadLines(const std::string& file, bool* bom = nullptr) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  if (!in) return lines;
  std::stringstream buf;
  buf << in.rdbuf();
  std::string text = buf.str();
  const bool marked = text.compare(0, 3, kByteOrderMark) == 0;
  if (marked) text.erase(0, 3);
  if (bom) *bom = marked;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return lines;
}

// [begin, end) of a section's body (the lines after its header), or nullopt.
struct Range {
  size_t header, begin, end;
};

std::optional<Range> FindSection(const std::vector<std::string>& lines,
                                 const std::string& section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionName(lines[i]);
    if (!name || !SameName(*name, section)) continue;
    size_t end = i + 1;
    while (end < lines.size() && !SectionName(lines[end])) ++end;
    return Range{i, i + 1, end};
  }
  return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<std::string>& lines, const Range& r,
                              const std::string& key) {
  for (size_t i = r.begin; i < r.end; ++i) {
    auto k = ParseKeyLine(lines[i]);
    if (k && SameName(k->key, key)) return i;
  }
  return std::nullopt;
}

// A symbolic link is kept and its target replaced, as an in-place write would.
std::string ResolvedTarget(const std::string& file) {
  char* real = ::realpath(file.c_str(), nullptr);
  if (!real) return file;
  std::string r(real);
  std::free(real);
  return r;
}

// Writes the lines to a temporary file beside `file` and renames it over
// `file`; the old content stays intact when anything fails.
bool SaveLinesAtomically(const std::string& file, const std::vector<std::string>& lines, bool bom) {
  std::string text = bom ? kByteOrderMark : "";
  for (const auto& l : lines) {
    text += l;
    text += '\n';
  }
  return WriteFileAtomically(ResolvedTarget(file), text);
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

std::optional<std::string> ReadValue(const std::string& file, const std::string& section,
                                     const std::string& key) {
  auto lines = LoadLines(file);
  auto range = FindSection(lines, section);
  if (!range) return std::nullopt;
  auto at = FindKey(lines, *range, key);
  if (!at) return std::nullopt;
  return Unquote(Trim(ParseKeyLine(lines[*at])->rawValue));
}

}  // namespace

bool ParseIniInt(const std::string& text, int& value) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (t[0] == '+' || t[0] == '-') {
    negative = t[0] == '-';
    ++i;
  }
  if (i == t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    v = v * 10 + (t[i] - '0');
    if (v > 1LL + INT_MAX) return false;
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  value = int(v);
  return true;
}

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& defaultValue) {
  return ReadValue(file, section, key).value_or(defaultValue);
}

int ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
               int defaultValue) {
  auto text = ReadValue(file, section, key);
  int value = defaultValue;
  if (!text || !ParseIniInt(*text, value)) return defaultValue;
  return value;
}

namespace {

bool AcceptableEntry(const std::string& section, const std::string& key, const std::string& value) {
  // A line break would let a value plant other keys or sections in the file.
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  return !(Trim(key).empty() || key.find('=') != std::string::npos ||
           section.find(']') != std::string::npos);
}

void PutValue(std::vector<std::string>& lines, const std::string& section, const std::string& key,
              const std::string& value) {
  auto range = FindSection(lines, section);
  if (range) {
    if (auto at = FindKey(lines, *range, key)) {
      lines[*at] = ParseKeyLine(lines[*at])->key + "=" + value;
    } else {
      size_t insertAt = range->end;
      while (insertAt > range->begin && Trim(lines[insertAt - 1]).empty()) --insertAt;
      lines.insert(lines.begin() + long(insertAt), key + "=" + value);
    }
  } else {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
    lines.push_back("[" + section + "]");
    lines.push_back(key + "=" + value);
  }
}

}  // namespace

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  return WriteIniStrings(file, section, {{key, value}});
}

bool WriteIniStrings(const std::string& file, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [key, value] : values)
    if (!AcceptableEntry(section, key, value)) return false;
  if (values.empty()) return true;
  std::lock_guard<std::mutex> guard(WriteLock());
  bool bom = false;
  auto lines = LoadLines(file, &bom);
  for (const auto& [key, value] : values) PutValue(lines, section, key, value);
  return SaveLinesAtomically(file, lines, bom);
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 int value) {
  return WriteIniString(file, section, key, std::to_string(value));
}

bool DeleteIniKey(const std::string& file, const std::string& section, const std::string& key) {
  std::lock_guard<std::mutex> guard(WriteLock());
  bool bom = false;
  auto lines = LoadLines(file, &bom);
  auto range = FindSection(lines, section);
  if (!range) return true;
  auto at = FindKey(lines, *range, key);
  if (!at) return true;
  lines.erase(lines.begin() + long(*at));
  return SaveLinesAtomically(file, lines, bom);
}

std::vector<std::string> ReadIniSections(const std::string& file) {
  std::vector<std::string> names;
  for (const auto& l : LoadLines(file))
    if (auto n = SectionName(l)) names.push_back(*n);
  return names;
}

std::vector<std::string> ReadIniKeys(const std::string& file, const std::string& section) {
  std::vector<std::string> keys;
  auto lines = LoadLines(file);
  auto range = FindSection(lines, section);
  if (!range) return keys;
  for (size_t i = range->begin; i < range->end; ++i)
    if (auto k = ParseKeyLine(lines[i])) keys.push_back(k->key);
  return keys;
}

bool IniSectionExists(const std::string& file, const std::string& section) {
  return FindSection(LoadLines(file), section).has_value();
}

}  // namespace platform
