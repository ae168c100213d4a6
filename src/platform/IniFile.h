// INI profile access with the semantics of the desktop platform's private
// profile functions.
//
// Sections and keys match without regard to letter case; blanks around a
// value are trimmed and one pair of surrounding quotes (" or ') is stripped;
// a missing file, section or key yields the caller's default. The file is
// opened for every access (no cache), so a value written by one caller is
// read at once by the next. A write keeps every other line in place and goes
// to a temporary file in the same folder that is renamed over the old one,
// so a crash never leaves a torn file. Files are UTF-8 text.
// Threads: any thread; concurrent writers of one file must serialise
// themselves (the program writes settings on the user-interface thread only).
#pragma once

#include <string>
#include <vector>

namespace platform {

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& defaultValue);
// Integer value as the platform reads it: optional sign and leading digits;
// no digits gives the default.
int ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
               int defaultValue);
// Writes (adds or replaces) one key; creates the file and section as needed.
// Returns false when the file cannot be written.
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
// Removes a key (no-op when absent).
bool DeleteIniKey(const std::string& file, const std::string& section, const std::string& key);
// Names of the sections, and of the keys of one section, in file order.
std::vector<std::string> ReadIniSections(const std::string& file);
std::vector<std::string> ReadIniKeys(const std::string& file, const std::string& section);
bool IniSectionExists(const std::string& file, const std::string& section);

}  // namespace platform
