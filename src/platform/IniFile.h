// INI profile access with the semantics of the desktop platform's private
// profile functions.
//
// Sections and keys match without regard to letter case (ASCII); the first
// matching section and key win. Blanks around a value are trimmed and one
// pair of matching surrounding quotes (" or ') is stripped; a missing file,
// section or key yields the caller's default. Lines starting with ";" are
// comments. The file is opened for every access (no cache), so a value
// written by one caller is read at once by the next. A write keeps every
// other line in place and goes to a temporary file in the same folder that
// is renamed over the old one, so a crash never leaves a torn file. Files are
// UTF-8 text; CR LF line ends are read as well.
// Threads: any thread. Writers within this process are serialised by one
// module lock (a read-modify-write never loses another thread's write);
// readers need no lock because a file is only ever replaced whole.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform {

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& defaultValue);
// Integer value: the whole (trimmed, unquoted) value must be a decimal
// integer with an optional sign that fits in 32 bits; anything else, like a
// missing key, gives the default.
int ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
               int defaultValue);
// Writes (adds or replaces) one key; creates the file and section as needed.
// Returns false when the file cannot be written, with errno telling why (the
// same for every writer below).
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
// Writes several keys of one section, in order, with one replacement of the
// file (a later pair for the same key wins). Nothing is written when any pair
// would be refused by WriteIniString.
bool WriteIniStrings(const std::string& file, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& values);
// Writes the integer in decimal.
bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 int value);
// Removes a key (no-op when absent). False only when the file cannot be written.
bool DeleteIniKey(const std::string& file, const std::string& section, const std::string& key);
// Names of the sections, and of the keys of one section, in file order.
std::vector<std::string> ReadIniSections(const std::string& file);
std::vector<std::string> ReadIniKeys(const std::string& file, const std::string& section);
bool IniSectionExists(const std::string& file, const std::string& section);

// Parses a whole text as a 32-bit decimal integer (optional sign, blanks
// around allowed); false when it is not one.
bool ParseIniInt(const std::string& text, int& value);

}  // namespace platform
