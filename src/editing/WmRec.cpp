#include "editing/WmRec.h"

#include <iterator>

TColor ColorToRGB(TColor color) {
  if ((color & 0xFF000000u) != clSystemColor) return color & 0x00FFFFFFu;
  // The light desktop palette, by system colour index (0x00BBGGRR).
  static constexpr TColor kPalette[] = {
      0xC8C8C8u,  // scroll bar
      0x000000u,  // desktop background
      0xD1B499u,  // active caption
      0xDBCDBFu,  // inactive caption
      0xF0F0F0u,  // menu
      0xFFFFFFu,  // window background
      0x646464u,  // window frame
      0x000000u,  // menu text
      0x000000u,  // window text
      0x000000u,  // caption text
      0xB4B4B4u,  // active border
      0xFCF7F4u,  // inactive border
      0xABABABu,  // application workspace
      0xD77800u,  // highlight
      0xFFFFFFu,  // highlighted text
      0xF0F0F0u,  // button face
      0xA0A0A0u,  // button shadow
      0xA0A0A0u,  // grey text
      0x000000u,  // button text
      0x000000u,  // inactive caption text
      0xFFFFFFu,  // button highlight
      0x696969u,  // 3-D dark shadow
      0xE3E3E3u,  // 3-D light
      0x000000u,  // tooltip text
      0xE1FFFFu,  // tooltip background
  };
  const unsigned index = color & 0xFFu;
  return index < std::size(kPalette) ? kPalette[index] : clBlack;
}

TWmRec::TWmRec(const TWmRec& other) { *this = other; }

TWmRec& TWmRec::operator=(const TWmRec& other) {
  if (this == &other) return *this;
  Layer = nullptr;
  Text = other.Text;
  Font = other.Font ? std::make_unique<TWmFont>(*other.Font) : nullptr;
  TextLeft = other.TextLeft;
  TextTop = other.TextTop;
  TextWidth = other.TextWidth;
  TextHeight = other.TextHeight;
  TextAlpha = other.TextAlpha;
  BackColor = other.BackColor;
  BackOpaque = other.BackOpaque;
  ImageFile = other.ImageFile;
  ImageLeft = other.ImageLeft;
  ImageTop = other.ImageTop;
  ImageWidth = other.ImageWidth;
  ImageHeight = other.ImageHeight;
  ImageAlpha = other.ImageAlpha;
  Kind = other.Kind;
  StartTime = other.StartTime;
  EndTime = other.EndTime;
  return *this;
}

bool TWmRec::ShownAt(std::int64_t ptsUs) const {
  const std::int64_t seconds = ptsUs / 1000000;
  return StartTime <= seconds && seconds <= EndTime;
}
