#include "engine/convert/StreamLevels.h"

#include <iterator>

namespace {

// Limits of the Simple profile's levels: macroblocks per picture and per
// second, and bit rate.
struct TSimpleLevel {
  int Level;
  int MacroblocksPerPicture;
  int MacroblocksPerSecond;
  std::int64_t BitRate;
};
constexpr TSimpleLevel kSimpleLevels[] = {
    {1, 99, 1485, 64000},      {2, 396, 5940, 128000},    {3, 396, 11880, 384000},
    {4, 1200, 36000, 4000000}, {5, 1620, 40500, 8000000}, {6, 3600, 108000, 12000000},
};

constexpr int kVisualObjectSequenceStart = 0xB0;

}  // namespace

int Mpeg4SimpleLevel(int width, int height, AVRational frameRate, std::int64_t bitRate) {
  const std::int64_t perPicture = std::int64_t((width + 15) / 16) * ((height + 15) / 16);
  const double rate =
      frameRate.num > 0 && frameRate.den > 0 ? double(frameRate.num) / frameRate.den : 30.0;
  const double perSecond = double(perPicture) * rate;
  for (const TSimpleLevel& l : kSimpleLevels)
    if (perPicture <= l.MacroblocksPerPicture && perSecond <= l.MacroblocksPerSecond + 0.5 &&
        bitRate <= l.BitRate)
      return l.Level;
  return kSimpleLevels[std::size(kSimpleLevels) - 1].Level;
}

int SetMpeg4SimpleLevel(std::uint8_t* data, int size, int level) {
  int changed = 0;
  for (int i = 0; data && i + 4 < size; ++i) {
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1 ||
        data[i + 3] != kVisualObjectSequenceStart)
      continue;
    std::uint8_t& indication = data[i + 4];
    if ((indication >> 4) == 0 && (indication & 0x0F) != level) {
      indication = std::uint8_t(level);
      ++changed;
    }
    i += 4;
  }
  return changed;
}
