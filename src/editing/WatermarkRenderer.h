// TWatermarkRenderer: draws watermark items (text boxes and pictures) onto
// 24-bit frames, blending each at its opacity.
//
// Owns, per item slot, the item's text rendered once (glyph coverage for the
// part of its box inside the frame, and for an opaque box the finished box),
// and a TBmpCache of the pictures. A text slot is rendered again only when
// its item (text, font, box, background) or the frame size changes.
//
// Threads: any thread, one at a time (the owner serialises; no lock here).
// Text needs a QGuiApplication to exist in the process (fonts come from
// it); without one a text item raises an error instead of rendering.
// Whoever draws on a frame that another thread may read holds its canvas.
#pragma once

#include <QImage>
#include <QRect>

#include <optional>
#include <string>
#include <vector>

#include "editing/BmpCache.h"
#include "editing/WmRec.h"
#include "engine/libav/FrameBitmap.h"

class TWatermarkRenderer {
 public:
  // Draws `item` onto `frame` (its time window is the caller's business);
  // `slot` is the item's position in its list and selects the cached
  // rendering. Returns true when pixels of the frame may have changed.
  // Throws FFmpegException when a picture cannot be read or text cannot be
  // rendered; the frame may then be partly drawn.
  bool Draw(TBitmap& frame, const TWmRec& item, std::size_t slot);

  void ClearCaches();
  const TBmpCache& Images() const { return images_; }
  // How many times text was rendered (for checking the cache).
  int TextRenderCount() const { return textRenders_; }

 private:
  // Everything the rendered text depends on.
  struct TTextKey {
    std::string Text;
    std::optional<TWmFont> Font;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    TColor Back = 0;
    bool Opaque = false;
    int FrameWidth = 0, FrameHeight = 0;
    bool operator==(const TTextKey&) const = default;
  };
  struct TTextLayer {
    TTextKey Key;
    QRect Visible;    // the box's part inside the frame, frame pixels
    QRect Ink;        // where glyphs cover anything, frame pixels
    QImage Coverage;  // premultiplied glyphs over Visible
    TBitmap Box;      // opaque boxes: background and text over Visible
    TBitmap Scratch;  // transparent boxes: frame under Ink with the text
  };

  bool DrawText(TBitmap& frame, const TWmRec& item, std::size_t slot);
  bool DrawImage(TBitmap& frame, const TWmRec& item);
  TTextLayer& TextLayer(const TBitmap& frame, const TWmRec& item, std::size_t slot);
  void RenderText(TTextLayer& layer, const TWmRec& item);

  std::vector<std::optional<TTextLayer>> textLayers_;
  TBmpCache images_;
  int textRenders_ = 0;
};
