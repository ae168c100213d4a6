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
