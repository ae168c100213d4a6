// What the settings dialog's editable boxes let through: typed keys and the
// check of a box's whole text when it loses the focus.
#include <gtest/gtest.h>

#include "profiles/SettingsInput.h"

namespace {

constexpr TChoiceKey kNumberBoxes[] = {ckVideoBitRate, ckSampleRate, ckAudioBitRate};

bool Accepted(TChoiceKey box, const std::string& text) {
  return CheckBoxText(box, text).Verdict == TBoxCheck::bcAccepted;
}

TEST(SettingsInput, FrameSizeAcceptsEvenSizesAndAsSourceInAnyCase) {
  for (const char* text :
       {"640x480", "2x2", "+640x480", "as source", "AS Source", "keep As Source please"})
    EXPECT_TRUE(Accepted(ckVideoSize, text)) << text;
}

TEST(SettingsInput, FrameSizeProposesTheEvenSizeBelow) {
  const TBoxCheck odd = CheckBoxText(ckVideoSize, "641x480");
  EXPECT_EQ(odd.Verdict, TBoxCheck::bcCorrected);
  EXPECT_EQ(odd.Message, "Frame Size must be a multiple of 2.\nThe correct value:640x480");
  EXPECT_EQ(odd.Text, "640x480");
  EXPECT_EQ(CheckBoxText(ckVideoSize, "1x1").Text, "2x2");
  EXPECT_EQ(CheckBoxText(ckVideoSize, "0x0").Text, "2x2");
  EXPECT_EQ(CheckBoxText(ckVideoSize, "640x0").Text, "640x2");
  EXPECT_EQ(CheckBoxText(ckVideoSize, "2147483647x3").Text, "2147483646x2");
}

TEST(SettingsInput, FrameSizeRefusesWhatNoConversionCouldUse) {
  // A capital X, no x, a part missing or not a number, a side that does not
  // fit, a negative side, and a line break the settings file cannot store.
  for (const char* text : {"640X480", "640", "", "x480", "640x", "12x34x56", "abcxdef", "640x480.5",
                           "123456789012345678901234567890x480", "-640x480", "640x-480",
                           "640x480\n", "as source\nx", " 640x480"}) {
    const TBoxCheck check = CheckBoxText(ckVideoSize, text);
    EXPECT_EQ(check.Verdict, TBoxCheck::bcInvalid) << text;
    EXPECT_EQ(check.Message, "Frame Size is not a valid value!") << text;
  }
}

TEST(SettingsInput, NumberBoxesTakePositiveNumbersThatFitTheEngine) {
  for (TChoiceKey box : kNumberBoxes) {
    for (const char* text : {"500", "+500", "1", "as source"})
      EXPECT_TRUE(Accepted(box, text)) << box << text;
    for (const char* text : {"", "As source", "AS SOURCE", "abc", "-500", "0", "5 00", "500\r\n",
                             "0x10", "123456789012345678901234567890", "1e3"})
      EXPECT_FALSE(Accepted(box, text)) << box << text;
  }
  // A fraction only in the audio bit rate.
  EXPECT_TRUE(Accepted(ckAudioBitRate, "12.5"));
  EXPECT_TRUE(Accepted(ckAudioBitRate, ".5"));
  EXPECT_FALSE(Accepted(ckVideoBitRate, "12.5"));
  EXPECT_FALSE(Accepted(ckSampleRate, "12.5"));
  EXPECT_FALSE(Accepted(ckAudioBitRate, "1.2.5"));
  EXPECT_FALSE(Accepted(ckAudioBitRate, "."));
  EXPECT_FALSE(Accepted(ckAudioBitRate, "0.0004"));  // below one bit per second
  // Bit rates in bit/s must fit 32 bits.
  EXPECT_TRUE(Accepted(ckVideoBitRate, "2147483"));
  EXPECT_FALSE(Accepted(ckVideoBitRate, "2147484"));
  EXPECT_TRUE(Accepted(ckAudioBitRate, "2147483.6"));
  EXPECT_FALSE(Accepted(ckAudioBitRate, "2147484"));
  EXPECT_TRUE(Accepted(ckSampleRate, "2147483647"));
  EXPECT_FALSE(Accepted(ckSampleRate, "2147483648"));

  EXPECT_EQ(CheckBoxText(ckVideoBitRate, "x").Message, "Video BitRate is not a valid value!");
  EXPECT_EQ(CheckBoxText(ckAudioBitRate, "x").Message, "Audio BitRate is not a valid value!");
  EXPECT_EQ(CheckBoxText(ckSampleRate, "x").Message, "Audio SampleRate is not a valid value!");
  // List-only boxes are never checked.
  EXPECT_TRUE(Accepted(ckFrameRate, "anything"));
}

TEST(SettingsInput, KeyFilters) {
  // Frame size: digits, backspace, and one x.
  EXPECT_EQ(FilterBoxKey(ckVideoSize, "640", '5'), TKeyVerdict::kvPass);
  EXPECT_EQ(FilterBoxKey(ckVideoSize, "640", 'x'), TKeyVerdict::kvPass);
  EXPECT_EQ(FilterBoxKey(ckVideoSize, "640x", 'x'), TKeyVerdict::kvBeep);
  EXPECT_EQ(FilterBoxKey(ckVideoSize, "640x", kBackspaceKey), TKeyVerdict::kvPass);
  for (char32_t key : {U'X', U'a', U'-', U'.', U' ', U'\u00e9'})
    EXPECT_EQ(FilterBoxKey(ckVideoSize, "640", key), TKeyVerdict::kvBeep) << int(key);
  // Numbers: digits and backspace; anything else says why.
  for (TChoiceKey box : kNumberBoxes) {
    EXPECT_EQ(FilterBoxKey(box, "", '0'), TKeyVerdict::kvPass);
    EXPECT_EQ(FilterBoxKey(box, "12", kBackspaceKey), TKeyVerdict::kvPass);
    for (char32_t key : {U'.', U'x', U'-', U'+', U' '})
      EXPECT_EQ(FilterBoxKey(box, "12", key), TKeyVerdict::kvMessage);
  }
  EXPECT_EQ(FilterBoxKey(ckVolume, "", 'q'), TKeyVerdict::kvPass);
}

TEST(SettingsInput, ResetChoosesTheSecondItemOrWhatThereIs) {
  EXPECT_EQ(ResetIndex(9), 1);
  EXPECT_EQ(ResetIndex(2), 1);
  EXPECT_EQ(ResetIndex(1), 0);
  EXPECT_EQ(ResetIndex(0), -1);
}

}  // namespace
