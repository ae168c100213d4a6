// The level an MPEG-4 Visual stream declares: chosen from its size, rate and
// bit rate, and written into headers an encoder made with another.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/convert/StreamLevels.h"

TEST(StreamLevels, TheLowestSimpleLevelThatHoldsTheStream) {
  const AVRational pal{25, 1};
  EXPECT_EQ(Mpeg4SimpleLevel(176, 144, AVRational{15, 1}, 64000), 1);
  EXPECT_EQ(Mpeg4SimpleLevel(352, 288, AVRational{15, 1}, 128000), 2);
  EXPECT_EQ(Mpeg4SimpleLevel(352, 288, pal, 384000), 3);
  // 320x240 fits level 3's pictures, but not its bit rate.
  EXPECT_EQ(Mpeg4SimpleLevel(320, 240, pal, 768000), 4);
  EXPECT_EQ(Mpeg4SimpleLevel(640, 480, pal, 1200000), 4);
  EXPECT_EQ(Mpeg4SimpleLevel(640, 480, AVRational{30000, 1001}, 1200000), 4);
  EXPECT_EQ(Mpeg4SimpleLevel(720, 576, pal, 1200000), 5);
  EXPECT_EQ(Mpeg4SimpleLevel(640, 480, pal, 6000000), 5);
  EXPECT_EQ(Mpeg4SimpleLevel(1280, 720, pal, 5000000), 6);
  // Beyond every level: the highest, so that smaller players refuse it.
  EXPECT_EQ(Mpeg4SimpleLevel(1920, 1080, pal, 5000000), 6);
  // An unknown rate counts as 30 frames per second, an unknown bit rate not at all.
  EXPECT_EQ(Mpeg4SimpleLevel(352, 288, AVRational{0, 0}, 0), 3);
}

TEST(StreamLevels, OnlySimpleProfileHeadersGetTheLevel) {
  // Two sequence headers (Simple profile, level 3; Advanced Simple, level 5)
  // around other start codes.
  std::vector<std::uint8_t> data = {0,    0, 1, 0xB0, 0x03, 0,    0, 1, 0xB5, 0x09,
                                    0x42, 0, 0, 1,    0xB0, 0xF5, 0, 0, 1,    0xB0};
  EXPECT_EQ(SetMpeg4SimpleLevel(data.data(), int(data.size()), 4), 1);
  EXPECT_EQ(data[4], 0x04);
  EXPECT_EQ(data[15], 0xF5);
  // A header cut off before its byte is left alone, and so is one that says so already.
  EXPECT_EQ(SetMpeg4SimpleLevel(data.data(), int(data.size()), 4), 0);
  EXPECT_EQ(data.back(), 0xB0);
}
