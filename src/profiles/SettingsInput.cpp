#include "profiles/SettingsInput.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

#include "platform/IniFile.h"
#include "profiles/ProfileText.h"

namespace {

constexpr const char* kAsSource = "as source";
constexpr const char* kFrameSizeInvalid = "Frame Size is not a valid value!";
// The engine takes bit rates in bit/s as 32-bit numbers; the boxes hold kbit/s.
constexpr double kLargestKilo = INT_MAX / 1000.0;

bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

// Without its sign; empty when the text is only a sign.
std::string Unsigned(const std::string& text) {
  return !text.empty() && (text[0] == '+' || text[0] == '-') ? text.substr(1) : text;
}

bool PositiveWhole(const std::string& text, int& value) {
  return IsWholeNumber(text) && platform::ParseIniInt(text, value) && value > 0;
}

TBoxCheck Invalid(const char* message) { return {TBoxCheck::bcInvalid, message, {}}; }

// Halved towards zero and doubled; 2 for a result of 0.
int EvenSide(int value) {
  const int even = value / 2 * 2;
  return even == 0 ? 2 : even;
}

TBoxCheck CheckFrameSize(const std::string& text) {
  if (profiles::LowerCase(text).find(kAsSource) != std::string::npos) return {};
  const size_t x = text.rfind('x');
  if (x == std::string::npos) return Invalid(kFrameSizeInvalid);
  const std::string widthText = text.substr(0, x), heightText = text.substr(x + 1);
  int width = 0, height = 0;
  // A negative side is no picture size the conversion could use.
  if (!IsWholeNumber(widthText) || !IsWholeNumber(heightText)) return Invalid(kFrameSizeInvalid);
  platform::ParseIniInt(widthText, width);
  platform::ParseIniInt(heightText, height);
  if (width < 0 || height < 0) return Invalid(kFrameSizeInvalid);
  if (width % 2 == 0 && height % 2 == 0 && width != 0 && height != 0) return {};
  const std::string even = std::to_string(EvenSide(width)) + "x" + std::to_string(EvenSide(height));
  return {TBoxCheck::bcCorrected, "Frame Size must be a multiple of 2.\nThe correct value:" + even,
          even};
}

bool PositiveKilo(const std::string& text) {
  double kilo = 0;
  const std::string digits = Unsigned(text);
  if (std::from_chars(digits.data(), digits.data() + digits.size(), kilo).ec != std::errc() ||
      text[0] == '-')
    return false;
  const double units = std::trunc(kilo * 1000.0);
  return units >= 1 && kilo <= kLargestKilo;
}

}  // namespace

bool IsWholeNumber(const std::string& text) {
  const std::string digits = Unsigned(text);
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return IsDigit(c); }))
    return false;
  int value = 0;
  return platform::ParseIniInt(text, value);
}

bool IsDecimalNumber(const std::string& text) {
  const std::string digits = Unsigned(text);
  const auto count = std::count_if(digits.begin(), digits.end(), [](char c) { return IsDigit(c); });
  const auto points = std::count(digits.begin(), digits.end(), '.');
  return count > 0 && points <= 1 && static_cast<size_t>(count + points) == digits.size();
}

bool IsEditableBox(TChoiceKey box) {
  return box == ckVideoSize || box == ckVideoBitRate || box == ckSampleRate ||
         box == ckAudioBitRate;
}

TKeyVerdict FilterBoxKey(TChoiceKey box, const std::string& text, char32_t key) {
  if (!IsEditableBox(box) || key == kBackspaceKey || IsDigit(key)) return TKeyVerdict::kvPass;
  if (box != ckVideoSize) return TKeyVerdict::kvMessage;
  const bool hasX = text.find('x') != std::string::npos;
  return key == 'x' && !hasX ? TKeyVerdict::kvPass : TKeyVerdict::kvBeep;
}

TBoxCheck CheckBoxText(TChoiceKey box, const std::string& text) {
  int whole = 0;
  switch (box) {
    case ckVideoSize:
      if (HasControlCharacter(text)) return Invalid(kFrameSizeInvalid);
      return CheckFrameSize(text);
    case ckVideoBitRate:
      if (text == kAsSource || (PositiveWhole(text, whole) && whole <= kLargestKilo)) return {};
      return Invalid("Video BitRate is not a valid value!");
    case ckAudioBitRate:
      if (text == kAsSource || (IsDecimalNumber(text) && PositiveKilo(text))) return {};
      return Invalid("Audio BitRate is not a valid value!");
    case ckSampleRate:
      if (text == kAsSource || PositiveWhole(text, whole)) return {};
      return Invalid("Audio SampleRate is not a valid value!");
    default: return {};
  }
}

int ResetIndex(int itemCount) { return itemCount > 1 ? 1 : itemCount - 1; }
