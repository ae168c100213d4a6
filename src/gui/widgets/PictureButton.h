// Flat buttons that show one of the program's pictures (play, pause, stop,
// mute, ...), as the preview panels use them. User-interface thread only.
#pragma once

#include <QString>

class QToolButton;
class QWidget;

// A button at (x, y) of w x h showing the artwork `art` at that size, with
// `hint` as its tool tip (and as its text when the picture is missing).
QToolButton* MakePictureButton(QWidget* parent, const char* name, const QString& art, int x, int y,
                               int w, int h, const QString& hint);
// Shows a mute button's state: the "mute_on" or "mute_off" picture at
// `side` pixels, remembered in the button's "muted" property.
void ShowMuteButtonState(QToolButton* button, bool muted, int side);
bool MuteButtonState(const QToolButton* button);
