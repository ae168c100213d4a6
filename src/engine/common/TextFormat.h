// printf into a std::string, for messages and labels; a text longer than
// 1023 bytes is cut.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

inline std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string FormatText(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}
