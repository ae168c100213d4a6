// Mouse and keyboard input as a person gives it: every action enters through
// the top-level QWindow under the widget, so it passes QGuiApplication's event
// processing, the application's event filters and the window's own dispatch
// (grabs, popups, modal blocking) before any widget sees it. Window tests use
// these functions for everything they click, drag, type or hover.
//
// Positions are in the target widget's coordinates; `user::kCentre` means the
// widget's centre. User-interface thread only.
#pragma once

#include <QPoint>
#include <QString>
#include <Qt>

class QWidget;

namespace user {

inline constexpr QPoint kCentre{-32768, -32768};

void Press(QWidget* widget, QPoint at = kCentre, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers modifiers = {});
void Release(QWidget* widget, QPoint at = kCentre, Qt::MouseButton button = Qt::LeftButton,
             Qt::KeyboardModifiers modifiers = {});
void Click(QWidget* widget, QPoint at = kCentre, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers modifiers = {});
// Two clicks close enough in time to count as a double click.
void DoubleClick(QWidget* widget, QPoint at = kCentre);
// Moves the pointer to `at` with whatever buttons are held at the time.
void MoveTo(QWidget* widget, QPoint at);
// Press at `from`, moves in steps of at most `step` pixels, release at `to`;
// both points in the widget's coordinates at the press (a widget that follows
// the pointer sees it where it now is on the screen).
void Drag(QWidget* widget, QPoint from, QPoint to, int step = 3);

// Gives `widget` the keyboard focus, as a click or Tab would, and presses
// `key` on its window.
void Key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = {});
// Types `text` (printable ASCII) into the focused `widget`, key by key.
void Type(QWidget* widget, const QString& text);
// Turns the wheel over `at` by `notches` (positive: away from the user).
void Wheel(QWidget* widget, QPoint at, int notches);

// Rests the pointer on `at` until a tooltip shows; its text, or an empty
// string when none showed within `ms`.
QString Hover(QWidget* widget, QPoint at = kCentre, int ms = 3000);

}  // namespace user
