#include <gtest/gtest.h>

#include <algorithm>

#include "engine/OptionRecords.h"

namespace {

bool HasOption(const std::vector<TOptionLine>& lines, const std::string& name) {
  return std::any_of(lines.begin(), lines.end(), [&](const TOptionLine& l) { return l.Name == name; });
}

}  // namespace

TEST(OptionText, NamesAreLowerCasedAndValuesKeptAfterTheFirstEquals) {
  EXPECT_EQ(SplitOptionText("vn=1"), (std::vector<TOptionLine>{{"vn", "1"}}));
  EXPECT_EQ(SplitOptionText("VF=crop=10:20:30:40"), (std::vector<TOptionLine>{{"vf", "crop=10:20:30:40"}}));
  // A bare name is an option without a value.
  EXPECT_EQ(SplitOptionText("NEWAUDIO"), (std::vector<TOptionLine>{{"newaudio", ""}}));
  EXPECT_EQ(SplitOptionText("title="), (std::vector<TOptionLine>{{"title", ""}}));
  // Values keep their case and inner blanks.
  EXPECT_EQ(SplitOptionText("title=My Clip "), (std::vector<TOptionLine>{{"title", "My Clip"}}));
}

TEST(OptionText, EveryLineBreakFormAndTheLiteralMarkerSplitLines) {
  const std::vector<TOptionLine> expected{{"vcodec", "libx264"}, {"vpre", "fast"}};
  EXPECT_EQ(SplitOptionText("vcodec=libx264<CRLF>vpre=fast"), expected);
  EXPECT_EQ(SplitOptionText("vcodec=libx264\r\nvpre=fast"), expected);
  EXPECT_EQ(SplitOptionText("vcodec=libx264\rvpre=fast"), expected);
  EXPECT_EQ(SplitOptionText("  vcodec=libx264\nvpre=fast\r\n\r\n"), expected);
  // Blank lines between options, and a text of blanks, name nothing.
  EXPECT_EQ(SplitOptionText("vcodec=libx264\n\n<CRLF>\nvpre=fast"), expected);
  EXPECT_TRUE(SplitOptionText(" \r\n ").empty());
  EXPECT_TRUE(SplitOptionText("").empty());
  // The marker is matched literally, in capitals only.
  EXPECT_EQ(SplitOptionText("a=<crlf>"), (std::vector<TOptionLine>{{"a", "<crlf>"}}));
  EXPECT_EQ(SplitOptionText("acodec=mp2<CRLF>newaudio"),
            (std::vector<TOptionLine>{{"acodec", "mp2"}, {"newaudio", ""}}));
}

TEST(OptionRecords, InitialisedRecordsAskOnlyForTheAlwaysAssignedOptions) {
  TInputOptions in;
  in.FileName = "x";
  in.ProgramID = 4;
  InitInputOptions(in);
  EXPECT_TRUE(in.FileName.empty());
  EXPECT_EQ(in.StartTime, OptionNoTime);
  EXPECT_EQ(in.ProgramID, -1);
  EXPECT_TRUE(InputFieldOptions(in).empty());

  TOutputOptions out;
  out.VideoBitRate = 100;
  out.Metadata.Year = 2000;
  out.TargetDefaultNorm = 2;
  InitOutputOptions(out);
  EXPECT_EQ(out.TargetDefaultNorm, 1);
  EXPECT_EQ(out.Metadata.Year, -1);
  EXPECT_EQ(out.Metadata.TimeStamp, -1.0);
  EXPECT_EQ(out.Duration, OptionNoTime);
  const std::vector<TOptionLine> expected{{"alang", ""}, {"async", "0"}, {"vsync", "-1"},
                                          {"vlang", ""}, {"slang", ""},  {"isync", "0"}};
  EXPECT_EQ(OutputFieldOptions(out), expected);
}

TEST(OptionRecords, FieldsApplyInTableOrderUnderTheirConditions) {
  TOutputOptions out;
  out.FileFormat = "avi";
  out.MuxDelay = 0.7f;
  out.AudioVolume = 0;  // 0 is a volume: mute
  out.AudioChannels = 0;  // 0 channels is not set
  out.VideoBitRate = 800000;
  out.CropLeft = 8;
  out.DisableVideo = true;
  out.StartTime = 1500000;
  out.Duration = 61000001;
  out.AudioCodec = "mp2";  // a default, applied by the converter itself
  const std::vector<TOptionLine> lines = OutputFieldOptions(out);
  const std::vector<std::string> names = [&] {
    std::vector<std::string> n;
    for (const auto& l : lines) n.push_back(l.Name);
    return n;
  }();
  const std::vector<std::string> expected{"f",     "muxdelay", "vol",    "alang", "async", "vn",
                                          "cropleft", "vb",    "vsync",  "vlang", "slang", "isync",
                                          "ss",    "t"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(lines[1].Value, "0.7");
  EXPECT_EQ(lines[2].Value, "0");
  EXPECT_EQ(lines[5].Value, "1");
  EXPECT_EQ(lines[12].Value, "1.500000");
  EXPECT_EQ(lines[13].Value, "61.000001");
  EXPECT_FALSE(HasOption(lines, "acodec"));

  TInputOptions in;
  in.FileFormat = "mpegts";
  in.StartTime = 0;
  in.ProgramID = 0;
  EXPECT_EQ(InputFieldOptions(in),
            (std::vector<TOptionLine>{{"f", "mpegts"}, {"ss", "0.000000"}, {"programid", "0"}}));
}

TEST(OptionRecords, TargetNames) {
  EXPECT_EQ(TargetName(0), "");
  EXPECT_EQ(TargetName(2), "svcd");
  EXPECT_EQ(TargetNormName(2), "ntsc");
  EXPECT_EQ(TargetNormName(7), "auto");
  EXPECT_EQ(TargetDefaultNormName(1), "pal");
  EXPECT_EQ(TargetDefaultNormName(0), "ntsc");
}
