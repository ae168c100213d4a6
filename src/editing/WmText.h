// How watermark text looks: the Qt font and colour of an item's font fields,
// the size of a text box, and the text drawn into a box. The editor's layers
// and the conversion's renderer use the same functions, so what the editor
// shows is what a conversion draws.
//
// Stateless; any thread, but fonts come from the QGuiApplication, which must
// exist (text cannot be measured or drawn without one).
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>

#include "editing/WmRec.h"

class QPainter;

// Boxes wider than this are cut: a text of thousands of characters would
// otherwise ask for a picture of hundreds of megabytes. Far wider than any
// frame the program converts.
constexpr int kMaxTextBoxWidth = 8192;

// A font nobody has set: 8 points.
constexpr int kDefaultFontPoints = 8;

// Points at 96 pixels per inch, rounded as the desktop does, within 1..4096.
int PointsToPixels(int points);
QColor ToQColor(TColor color);
// The item's font, or the default one when it has none.
TWmFont FontFieldsOf(const TWmRec& item);
QFont MakeFont(const TWmFont& fields);
// The family a new text starts in: the desktop's sans-serif family when it is
// among `families`, else the first of them (which may be a symbol font); empty
// for no families. Needs a QGuiApplication.
QString DefaultTextFamily(const QStringList& families);
// True when a QGuiApplication runs in the process.
bool HaveGuiApplication();

// The box a text needs in a font: its advance width (at most
// kMaxTextBoxWidth) by the font's line height. Empty text gives 0 x 0.
QSize MeasureText(const QString& text, const TWmFont& font);
// Draws `text` with its cell's top-left corner at `origin` (one line).
void DrawTextLine(QPainter& painter, const QString& text, const TWmFont& font, QPointF origin);
// A box of `size` (per-pixel alpha, premultiplied) with the text drawn at its
// top-left corner in the font's colour, over `back` when `opaque`, else over
// nothing. Null when the size is empty.
QImage RenderTextBox(const QString& text, const TWmFont& font, QSize size, bool opaque,
                     TColor back);
