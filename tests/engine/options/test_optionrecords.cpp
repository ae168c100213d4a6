#include <gtest/gtest.h>

#include <algorithm>

#include "engine/options/OptionRecords.h"
#include "engine/options/test_option_host.h"

namespace {

bool HasOption(const std::vector<TOptionLine>& lines, const std::string& name) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const TOptionLine& l) { return l.Name == name; });
}

// What the pending state asks of each stream the option text adds.
struct TAddedStream {
  AVMediaType Type;
  std::string Codec;
  int FrameWidth;
  bool operator==(const TAddedStream&) const = default;
};

class TStreamRecordingHost : public TOptionTestHost {
 public:
  void NewStream(AVMediaType type) override {
    TOptionTestHost::NewStream(type);
    const std::string& codec =
        type == AVMEDIA_TYPE_AUDIO ? State.AudioCodecName : State.VideoCodecName;
    Added.push_back({type, codec, State.FrameWidth});
  }
  std::vector<TAddedStream> Added;
};

}  // namespace

TEST(OptionText, NamesAreLowerCasedAndValuesKeptAfterTheFirstEquals) {
  EXPECT_EQ(SplitOptionText("vn=1"), (std::vector<TOptionLine>{{"vn", "1"}}));
  EXPECT_EQ(SplitOptionText("VF=crop=10:20:30:40"),
            (std::vector<TOptionLine>{{"vf", "crop=10:20:30:40"}}));
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
  out.AudioVolume = 0;    // 0 is a volume: mute
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
  const std::vector<std::string> expected{"f",     "muxdelay", "vol", "alang", "async",
                                          "vn",    "cropleft", "vb",  "vsync", "vlang",
                                          "slang", "isync",    "ss",  "t"};
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

TEST(OptionRecords, InputRecordLeavesOutputOnlyLinesAlone) {
  TOptionTestHost h;  // no output: an added stream would throw
  TInputOptions in;
  in.FileFormat = "avi";
  in.ExtraOptions = "newvideo\nvf=scale=2:2\nvpre=fast\nvcodec=mpeg4";
  ApplyInputRecord(h.Parser, in);
  EXPECT_TRUE(h.NewStreams.empty());
  EXPECT_TRUE(h.State.VideoFilters.empty());
  EXPECT_EQ(h.State.VideoCodecName, "mpeg4");
  EXPECT_EQ(h.State.FileFormatName, "avi");
}

TEST(OptionRecords, AddedStreamsTakeTheirOwnEntriesInOrderThenTheDefaults) {
  TStreamRecordingHost h;
  h.HasOutput = true;
  TOutputOptions o;
  o.AudioCodec = "mp2";
  o.VideoCodec = "mpeg4";
  o.FrameSize = "640x480";
  o.ExtraOptions =
      "acodec=ac3\nacodec=libvorbis\nnewaudio\nnewaudio\nnewaudio\ns=320x240\nnewvideo";
  TOutputRecordApplier applier(o);
  applier.ApplyBeforeOpen(h.Parser);
  // The file's own streams get the fields; the per-stream lines wait.
  EXPECT_EQ(h.State.AudioCodecName, "mp2");
  EXPECT_EQ(h.State.FrameWidth, 640);
  EXPECT_TRUE(h.Added.empty());
  applier.AddStreams(h.Parser);
  const std::vector<TAddedStream> expected{{AVMEDIA_TYPE_AUDIO, "ac3", 640},
                                           {AVMEDIA_TYPE_AUDIO, "libvorbis", 640},
                                           {AVMEDIA_TYPE_AUDIO, "mp2", 640},
                                           {AVMEDIA_TYPE_VIDEO, "mpeg4", 320}};
  EXPECT_EQ(h.Added, expected);
}
