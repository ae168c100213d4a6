#include "profiles/ProfileText.h"

#include <algorithm>

namespace profiles {

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::string Trim(const std::string& text) {
  auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
  auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
  return first < last ? std::string(first, last) : std::string();
}

std::string LowerCase(const std::string& text) {
  std::string result = text;
  std::transform(result.begin(), result.end(), result.begin(), Lower);
  return result;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace profiles
