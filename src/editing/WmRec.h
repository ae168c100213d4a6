// TWmRec: one watermark item (a text or a picture) drawn over the frames of
// one source file during a window of whole seconds.
//
// Owns its font (TWmFont). The per-file record owns the items. Changed only
// on the user-interface thread (watermark editor Ok); the conversion hook
// reads them on a worker thread while no window can change them (the
// progress window is modal), so no lock guards them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Platform colour value: 0x00BBGGRR, or a system colour (high byte 0xFF,
// low byte the index) that ColorToRGB resolves when drawing.
using TColor = std::uint32_t;

constexpr TColor clSystemColor = 0xFF000000u;
constexpr TColor clWindowText = clSystemColor | 8u;
constexpr TColor clWindow = clSystemColor | 5u;
constexpr TColor clBtnFace = clSystemColor | 15u;
constexpr TColor clBlack = 0x000000u;
constexpr TColor clWhite = 0xFFFFFFu;

// The RGB value (0x00BBGGRR) of a colour; system colours map to the light
// desktop palette the windows use.
TColor ColorToRGB(TColor color);

// Font style set.
enum TFontStyle : unsigned { fsBold = 1u, fsItalic = 2u, fsUnderline = 4u, fsStrikeOut = 8u };

struct TWmFont {
  std::string Name;
  int Size = 0;        // points
  unsigned Style = 0;  // TFontStyle bits
  TColor Color = clWindowText;

  bool operator==(const TWmFont&) const = default;
};

class TWmRec {
 public:
  TWmRec() = default;
  // Copies every field and gives the copy a font of its own; the copy has no
  // editor layer (stored items never have one).
  TWmRec(const TWmRec& other);
  TWmRec& operator=(const TWmRec& other);
  TWmRec(TWmRec&&) = default;
  TWmRec& operator=(TWmRec&&) = default;

  enum : std::int32_t { wkText = 0, wkImage = 1 };

  // Editor only: the canvas layer showing the item; not owned, null in
  // stored items.
  void* Layer = nullptr;
  std::string Text;
  std::unique_ptr<TWmFont> Font;  // null until the editor gives the item one
  std::int32_t TextLeft = 0;
  std::int32_t TextTop = 0;
  std::int32_t TextWidth = 0;
  std::int32_t TextHeight = 0;
  std::int32_t TextAlpha = 0;
  TColor BackColor = 0;
  bool BackOpaque = false;
  std::string ImageFile;
  std::int32_t ImageLeft = 0;
  std::int32_t ImageTop = 0;
  std::int32_t ImageWidth = 0;  // size on the editor canvas only
  std::int32_t ImageHeight = 0;
  std::int32_t ImageAlpha = 0;
  std::int32_t Kind = wkText;
  std::int32_t StartTime = 0;  // whole seconds, inclusive
  std::int32_t EndTime = 0;    // whole seconds, inclusive

  // True when a frame at `ptsUs` microseconds lies in the item's window:
  // the time truncated to whole seconds is within StartTime..EndTime.
  bool ShownAt(std::int64_t ptsUs) const;
  // True when the item holds something to draw (a text or a file name).
  bool HasContent() const { return !Text.empty() || !ImageFile.empty(); }
};
