// What the settings dialog accepts in its four editable boxes (frame size,
// video bit rate, sample rate, audio bit rate): the filter each typed
// character goes through and the check a box's text gets when the box loses
// the focus. The window only shows the verdicts (beeps, messages, the text a
// box then holds).
//
// Pure functions; any thread.
#pragma once

#include <string>

#include "profiles/FormatProfile.h"

constexpr const char* kNumericalMessage = "Please enter numerical.";
constexpr const char* kCorrectionCaption = "Input Error!";

// The boxes a user types into; the others only offer their items.
bool IsEditableBox(TChoiceKey box);

enum class TKeyVerdict {
  kvPass,     // the character goes into the box
  kvBeep,     // discarded with one beep
  kvMessage,  // discarded with kNumericalMessage and a beep
};
constexpr char32_t kBackspaceKey = 8;
// The verdict on one typed character (`key`, a code point; kBackspaceKey
// for backspace) for a box whose text is `text` before the key. Boxes that
// are not editable let everything pass.
TKeyVerdict FilterBoxKey(TChoiceKey box, const std::string& text, char32_t key);

struct TBoxCheck {
  enum TVerdict {
    bcAccepted,
    bcInvalid,    // Message shown, then the box is reset
    bcCorrected,  // Message shown in the correction box, then the box holds Text
  };
  TVerdict Verdict = bcAccepted;
  std::string Message;
  std::string Text;
};
// The focus-out check of an editable box's text. Numbers must be above zero
// and fit the engine's bit rate and sample rate fields, and no accepted text
// carries a control character (the settings file cannot store a line
// break), so every accepted text is one the conversion can use.
TBoxCheck CheckBoxText(TChoiceKey box, const std::string& text);

// The item a reset chooses in a box of `itemCount` items: the second when
// there are several, the only one, or none (-1) in an empty box, so that a
// refused text never stays behind to be stored.
int ResetIndex(int itemCount);

// A decimal integer with an optional sign that fits in 32 bits; no blanks.
bool IsWholeNumber(const std::string& text);
// Digits with at most one decimal point (at least one digit), optional sign.
bool IsDecimalNumber(const std::string& text);
