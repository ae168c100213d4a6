// The check of a finished output: what passes and what fails, with the reason.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/probe/OutputCheck.h"
#include "support/MediaFactory.h"

namespace fs = std::filesystem;

TEST(OutputCheck, AGoodFilePassesWithItsDuration) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  TOutputExpectation expected;
  expected.DurationUs = 3000000;
  const TOutputCheck check = CheckOutput(clip, expected);
  EXPECT_TRUE(check.Passed) << check.Reason;
  EXPECT_NEAR(check.DurationSeconds, 3.0, 0.1);
  // Sound only and picture only pass too.
  EXPECT_TRUE(CheckOutput(TestMedia::Get(MediaSpec::Wav().Seconds(2)), {}).Passed);
  EXPECT_TRUE(
      CheckOutput(TestMedia::Get(MediaSpec::VideoOnly().Size(160, 120).Seconds(2)), {}).Passed);
}

TEST(OutputCheck, ALengthOtherThanAskedForFails) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  TOutputExpectation expected;
  expected.DurationUs = 2000000;
  TOutputCheck check = CheckOutput(clip, expected);
  EXPECT_FALSE(check.Passed);
  EXPECT_EQ(check.Reason, "the output lasts 3.00 s instead of 2.00 s");
  expected.DurationUs = 3400000;  // within half a second
  EXPECT_TRUE(CheckOutput(clip, expected).Passed);
}

TEST(OutputCheck, ATruncatedOrMissingFileFailsWithItsReason) {
  const MediaSpec spec = MediaSpec::Avi().Size(160, 120).Seconds(4);
  TOutputExpectation expected;
  expected.DurationUs = 4000000;
  const TOutputCheck cut = CheckOutput(TestMedia::Truncated(spec, 0.5), expected);
  EXPECT_FALSE(cut.Passed);
  EXPECT_FALSE(cut.Reason.empty());
  const TOutputCheck missing = CheckOutput(TestMedia::MissingFile(), expected);
  EXPECT_FALSE(missing.Passed);
  EXPECT_EQ(missing.Reason, "the output cannot be opened");
  const TOutputCheck garbage = CheckOutput(TestMedia::Garbage(10000), expected);
  EXPECT_FALSE(garbage.Passed);
}

// A program stream has no index: the seek to the last second lands on a byte
// position, inside an audio frame and before the next picture that decodes
// alone. That is the seek's doing; the file is good.
TEST(OutputCheck, AProgramStreamPassesThoughTheSeekLandsInsideAFrame) {
  for (const char* audio : {"mp2", "ac3"}) {
    MediaSpec spec = MediaSpec::Ts().Size(176, 144).Seconds(3);
    spec.Format = "mpeg";
    spec.Extension = "mpg";
    spec.AudioCodec = audio;
    TOutputExpectation expected;
    expected.DurationUs = 3000000;
    const TOutputCheck check = CheckOutput(TestMedia::Get(spec), expected);
    EXPECT_TRUE(check.Passed) << audio << ": " << check.Reason;
    // Cut in half it fails, by its length.
    EXPECT_FALSE(CheckOutput(TestMedia::Truncated(spec, 0.5), expected).Passed) << audio;
  }
}

// An MP3 file's first frame tells how long the whole file is; cut in half,
// the file still says so, but its sound ends half way.
TEST(OutputCheck, AFileThatEndsBeforeItsHeaderSaysFails) {
  const MediaSpec spec = MediaSpec::Mp3().Seconds(4);
  ASSERT_TRUE(CheckOutput(TestMedia::Get(spec), {}).Passed);
  const TOutputCheck cut = CheckOutput(TestMedia::Truncated(spec, 0.5), {});
  EXPECT_FALSE(cut.Passed);
  EXPECT_EQ(cut.Reason.rfind("the output's picture and sound end at", 0), 0u) << cut.Reason;
  EXPECT_NE(cut.Reason.find("though it says it lasts 4."), std::string::npos) << cut.Reason;
}
