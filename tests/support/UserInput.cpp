#include "support/UserInput.h"

#include <QApplication>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>

namespace user {

namespace {

QPoint Resolve(const QWidget* widget, QPoint at) {
  return at == kCentre ? widget->rect().center() : at;
}

QWindow* WindowOf(QWidget* widget) {
  QWidget* top = widget->window();
  if (!top->windowHandle()) top->winId();  // a window the system has not shown yet
  return top->windowHandle();
}

// The point in the top-level window's coordinates, through the screen, as
// the window system reports it.
QPoint InWindow(QWidget* widget, QPoint at) {
  return WindowOf(widget)->mapFromGlobal(widget->mapToGlobal(Resolve(widget, at)));
}

}  // namespace

void Press(QWidget* widget, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
  QTest::mousePress(WindowOf(widget), button, modifiers, InWindow(widget, at));
}

void Release(QWidget* widget, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
  QTest::mouseRelease(WindowOf(widget), button, modifiers, InWindow(widget, at));
}

void Click(QWidget* widget, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
  QTest::mouseClick(WindowOf(widget), button, modifiers, InWindow(widget, at));
}

void DoubleClick(QWidget* widget, QPoint at) {
  QTest::mouseDClick(WindowOf(widget), Qt::LeftButton, {}, InWindow(widget, at));
}

void MoveTo(QWidget* widget, QPoint at) {
  QTest::mouseMove(WindowOf(widget), InWindow(widget, at));
}

void Drag(QWidget* widget, QPoint from, QPoint to, int step) {
  // The path is fixed on the screen at the press; the widget may move under it.
  QWindow* window = WindowOf(widget);
  const QPoint start = InWindow(widget, from), end = InWindow(widget, to);
  QTest::mousePress(window, Qt::LeftButton, {}, start);
  const QPoint d = end - start;
  const int n = std::max(1, std::max(std::abs(d.x()), std::abs(d.y())) / std::max(1, step));
  for (int i = 1; i <= n; ++i) QTest::mouseMove(window, start + d * i / n);
  QTest::mouseRelease(window, Qt::LeftButton, {}, end);
}

void Key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  if (!widget->hasFocus()) widget->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(WindowOf(widget), key, modifiers);
}

void Type(QWidget* widget, const QString& text) {
  if (!widget->hasFocus()) widget->setFocus(Qt::OtherFocusReason);
  for (const QChar c : text) QTest::keyClick(WindowOf(widget), c.toLatin1());
}

void Wheel(QWidget* widget, QPoint at, int notches) {
  QWindow* window = WindowOf(widget);
  const QPoint local = InWindow(widget, at);
  QWheelEvent wheel(QPointF(local), QPointF(window->mapToGlobal(local)), QPoint(),
                    QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                    false);
  QApplication::sendEvent(window, &wheel);
  QApplication::processEvents();
}

QString Hover(QWidget* widget, QPoint at, int ms) {
  // A tip still on show fades out first, so the one read is the new one.
  QToolTip::hideText();
  if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, ms)) return {};
  const QPoint target = Resolve(widget, at);
  // Coming from a pixel away, so the widget sees the pointer arrive.
  MoveTo(widget, target + QPoint(1, 1));
  MoveTo(widget, target);
  if (!QTest::qWaitFor([] { return QToolTip::isVisible(); }, ms)) return {};
  return QToolTip::text();
}

}  // namespace user
