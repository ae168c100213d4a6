// Small text helpers shared by the option parser's files. Pure; any thread.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

// Without leading and trailing blanks (spaces, tabs, line breaks).
inline std::string TrimOptionText(const std::string& s) {
  const char* blanks = " \t\r\n\v\f";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// printf into a string; messages are short, longer ones are cut at 1023 bytes.
inline std::string FormatOptionText(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string FormatOptionText(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}
