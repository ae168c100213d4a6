// The check a finished conversion's output gets before the batch calls it
// done: the file opens, lasts what was asked for, its first and last second
// decode, its sound and picture start together, and what decodes reaches the
// end the file declares (a file cut short may keep a header or index that
// promises the whole length).
//
// Reads the file only. Takes the codec lock around decoder open and close
// and the stream-information look-up, like every component. Any thread.
#pragma once

#include <cstdint>
#include <string>

struct TOutputCheck {
  bool Passed = false;
  std::string Reason;  // why it failed, for the user; "" when it passed
  double DurationSeconds = -1;
};

struct TOutputExpectation {
  std::int64_t DurationUs = -1;  // what the conversion should last; < 0: not checked
  std::int64_t DurationToleranceUs = 500000;
  std::int64_t StartSkewLimitUs = 100000;  // sound against picture
  std::int64_t DecodeSpanUs = 1000000;     // how much of the start and of the end is decoded
  bool VideoRequired = false;              // a picture must be there
};

TOutputCheck CheckOutput(const std::string& file, const TOutputExpectation& expected);
