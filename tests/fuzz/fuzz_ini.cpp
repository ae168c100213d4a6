// Fuzz target: the settings reader and writer on any file content. Besides
// not crashing, a write must read back as written and leave every other
// value as it was; a violation aborts, so the fuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>

#include "FuzzSupport.h"
#include "platform/IniFile.h"

namespace {

constexpr const char* kMissing = "\x01missing";

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// Every value as the reader gives it, by lower-cased section and key.
std::map<std::pair<std::string, std::string>, std::string> ReadAll(const std::string& file) {
  std::map<std::pair<std::string, std::string>, std::string> values;
  for (const auto& section : platform::ReadIniSections(file))
    for (const auto& key : platform::ReadIniKeys(file, section))
      values.emplace(std::make_pair(Lower(section), Lower(key)),
                     platform::ReadIniString(file, section, key, kMissing));
  return values;
}

void Fail(const char* what, const std::string& section, const std::string& key) {
  std::fprintf(stderr, "settings file: %s ([%s] %s)\n", what, section.c_str(), key.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::ScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::TInScratchFolder inScratch;
  const std::string file = fuzz::ScratchFolder() + "settings.ini";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  const auto before = ReadAll(file);
  for (const auto& [where, value] : before) {
    int number = 0;
    if (platform::ParseIniInt(value, number) &&
        platform::ReadIniInt(file, where.first, where.second, -7) != number)
      Fail("a whole number reads back differently", where.first, where.second);
  }

  // The section and key to write: the input's first section and its first
  // key when there are some, else fixed names.
  const auto sections = platform::ReadIniSections(file);
  const std::string section = sections.empty() ? "settings" : sections.front();
  const auto keys = platform::ReadIniKeys(file, section);
  const std::string key = keys.empty() ? "FormatCode" : keys.front();
  if (!platform::WriteIniString(file, section, key, "written")) return 0;
  if (platform::ReadIniString(file, section, key, kMissing) != "written")
    Fail("a write does not read back", section, key);
  const auto after = ReadAll(file);
  for (const auto& [where, value] : before) {
    if (where == std::make_pair(Lower(section), Lower(key))) continue;
    auto it = after.find(where);
    if (it == after.end() || it->second != value)
      Fail("a write changed another value", where.first, where.second);
  }
  if (!platform::DeleteIniKey(file, section, key)) return 0;
  if (platform::ReadIniString(file, section, key, kMissing) == "written")
    Fail("a deleted key still reads", section, key);
  return 0;
}
