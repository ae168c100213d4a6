#include "app/ShortNames.h"

namespace {

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::size_t CharacterCount(const std::string& text) {
  std::size_t count = 0;
  for (char c : text) count += IsUtf8Continuation(c) ? 0 : 1;
  return count;
}

std::string FirstCharacters(const std::string& text, std::size_t n) {
  std::size_t end = 0, counted = 0;
  while (end < text.size() && counted < n) {
    ++end;
    while (end < text.size() && IsUtf8Continuation(text[end])) ++end;
    ++counted;
  }
  return text.substr(0, end);
}

std::string ShortenedPath(const std::string& path, std::size_t wholeUpTo, std::size_t head) {
  if (CharacterCount(path) <= wholeUpTo) return path;
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return FirstCharacters(path, head) + ".." + (hasExt ? path.substr(dot) : std::string());
}
