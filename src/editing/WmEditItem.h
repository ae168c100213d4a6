// TWmItemRec: one row of the watermark editor: the watermark item as the
// conversion will draw it, and the canvas layer that shows it on the frame.
// Also the steps that make a row (a new text or picture, a stored item) and
// the one that writes a row back into a stored item.
//
// A TWmItemRec owns its record (with its font) and its layer picture.
// Plain values: the thread that owns one uses it (the editor keeps its rows
// in a TWmLayerStack, which says who may touch what).
#pragma once

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <string>

#include "editing/WmRec.h"

// A picture on the canvas: per-pixel alpha (premultiplied), stretched over
// its location (frame pixels), drawn at its master alpha (0..255).
struct TWmLayer {
  QImage Bitmap;
  QRectF Location;
  int MasterAlpha = 255;
};

struct TWmItemRec {
  TWmRec Rec;  // Kind, text or file, font, colours, window of seconds
  TWmLayer Layer;

  bool IsText() const { return Rec.Kind == TWmRec::wkText; }
  // The row's caption: the text of a text item, the file of a picture item.
  const std::string& Caption() const { return IsText() ? Rec.Text : Rec.ImageFile; }
};

// A new text item: `font`, transparent box (the background colour is kept
// for when the user switches it on), master alpha `alpha`, shown from second
// 0 to `lastSecond`; the layer has the text's size with its top-left corner
// at (0, 0) until the caller places it.
TWmItemRec MakeTextItem(const std::string& text, const TWmFont& font, TColor backColor, int alpha,
                        std::int32_t lastSecond);
// A new picture item from `path`; false with `error` set when the file
// cannot be used as a watermark (missing, empty, no picture, too large).
bool MakeImageItem(const std::string& path, int alpha, std::int32_t lastSecond, TWmItemRec& item,
                   std::string& error);

// Draws a text item's layer again from its record (text, font, colours,
// background mode): the box takes the text's size, the top-left corner and
// the master alpha stay. An empty text leaves an empty layer at the corner.
void RedrawTextLayer(TWmItemRec& item);

// The row for a stored item: its box, opacity and window as stored; a text
// drawn into its stored box, a picture stretched over its stored box. A
// picture that cannot be read anymore keeps its row (so Ok does not lose
// it) with a crossed placeholder; `error` then says why.
TWmItemRec ItemFromRecord(const TWmRec& stored, std::string& error);

// What Ok writes for a row into its slot: the fields of the row's kind (the
// others keep what the slot held), the location rounded to whole pixels, the
// layer's master alpha and the window of seconds; a text row's font is a
// copy of its own.
void StoreItem(const TWmItemRec& item, TWmRec& slot);

// The layer picture of a file that could not be read: grey with a cross.
QImage PlaceholderPicture(int width, int height);
