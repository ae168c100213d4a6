#include "gui/QtHandOver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

TQtHandOver::TQtHandOver() {
  SetOnArrived([this] {
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(app, [this] { Pump(); }, Qt::QueuedConnection);
  });
  SetMainThreadHandOver(this);
}

TQtHandOver::~TQtHandOver() {
  SetMainThreadHandOver(nullptr);
  // Workers still waiting get their calls run rather than hang.
  Pump();
}

bool WaitWithEvents(const std::function<bool()>& done, int timeoutMs, int stepMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (timeoutMs >= 0 && clock.elapsed() >= timeoutMs) return false;
    PumpMainThread();
    QCoreApplication::processEvents(QEventLoop::AllEvents, stepMs);
    QThread::msleep(1);
  }
  return true;
}
