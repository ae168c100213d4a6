// Small text helpers shared by the option parser's files. Pure; any thread.
#pragma once

#include <cstdio>
#include <string>

// Without leading and trailing blanks (spaces, tabs, line breaks).
inline std::string TrimOptionText(const std::string& s) {
  const char* blanks = " \t\r\n\v\f";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}
