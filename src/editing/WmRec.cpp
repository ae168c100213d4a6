#include "editing/WmRec.h"

TColor ColorToRGB(TColor color) {
  if ((color & 0xFF000000u) != clSystemColor) return color & 0x00FFFFFFu;
  switch (color & 0xFFu) {
    case 5:   // window background
    case 14:  // highlighted text
      return clWhite;
    case 13:  // highlight
      return 0xD77800u;
    case 15:  // button face
    case 4:   // menu
      return 0xF0F0F0u;
    case 16:  // button shadow
    case 17:  // grey text
      return 0xA0A0A0u;
    default:  // window text, captions and everything else dark
      return clBlack;
  }
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
