// Window tests that open a modal window: the call that opens it blocks in
// the window's own event loop, so what the test does in the window runs from
// a timer once the window is up.
#pragma once

#include <QApplication>
#include <QTimer>

#include <functional>

#include "gui/common/QtHandOver.h"

// `open` brings the window up (a click through the window system, a menu
// entry); `inside` runs once the modal window of type W is up. A window that
// `inside` left open is rejected. True when `inside` ran.
template <class W>
bool WhileModal(const std::function<void()>& open, const std::function<void(W&)>& inside,
                int timeoutMs = 10000) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    W* window = nullptr;
    if (!WaitWithEvents(
            [&] { return (window = qobject_cast<W*>(QApplication::activeModalWidget())); },
            timeoutMs))
      return;
    inside(*window);
    ran = true;
    if (window->isVisible()) window->reject();
  });
  open();
  return ran;
}
