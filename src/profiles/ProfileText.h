// Text helpers shared by the profile readers and the format list: ASCII case
// folding and the blank trimming that INI values and list names get.
// Pure functions; any thread.
#pragma once

#include <string>

namespace profiles {

// Without the characters up to and including the blank (codes <= 32) at
// both ends.
std::string Trim(const std::string& text);
// ASCII letters lowered; other bytes (UTF-8 included) unchanged.
std::string LowerCase(const std::string& text);
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

}  // namespace profiles
