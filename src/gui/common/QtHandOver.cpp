#include "gui/common/QtHandOver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

// Wakes the event loop for the hand-over. The wake-up is a queued call by
// name, so its record is made and read inside Qt alone: a queued functor
// would be written by the worker and read by the user-interface thread in
// our code, handed over through Qt's event queue, which the race detector
// cannot see into.
class TQtHandOverWaker : public QObject {
  Q_OBJECT

 public:
  explicit TQtHandOverWaker(TQueuedHandOver& handOver) : handOver_(handOver) {}

 public slots:
  void Pump() { handOver_.Pump(); }

 private:
  TQueuedHandOver& handOver_;
};

TQtHandOver::TQtHandOver() : waker_(std::make_unique<TQtHandOverWaker>(*this)) {
  SetOnArrived([waker = waker_.get()] {
    if (QCoreApplication::instance())
      QMetaObject::invokeMethod(waker, "Pump", Qt::QueuedConnection);
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

#include "QtHandOver.moc"
