// quor-play FILE: plays a file in a small window to try the player by hand.
//   space  pause / resume        .  one picture forward (step)
//   left / right  seek 5 s       up / down  volume      m  mute
//   a  cycle aspect (own, 16:9, fill)                    Esc / q  quit
// Each change of state is printed ("playing", "paused", ...). SIGINT and
// SIGTERM close it like q; a file that cannot be played is named on standard
// error with the reason, exit status 1.
#include <QApplication>
#include <QKeyEvent>
#include <QSocketNotifier>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/MediaUtils.h"
#include "platform/SignalWatch.h"
#include "player/FFPlay.h"
#include "player/qt/PlayerWidget.h"

namespace {

class TPlayWindow : public QWidget {
 public:
  explicit TPlayWindow(TFFPlayer& player) : player_(player) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    display_ = new TPlayerWidget(this);
    layout->addWidget(display_);
    display_->OnResized = [this](int w, int h) { player_.DisplayResized(w, h); };
    resize(640, 360);
    setFocusPolicy(Qt::StrongFocus);
  }
  TPlayerWidget* Display() const { return display_; }

  void ShowStatus(std::int64_t pts, const char* note = nullptr) {
    if (pts >= 0) position_ = pts;
    QString title =
        QString::fromStdString(TimeToText(position_)) + " / " +
        QString::fromStdString(TimeToText(player_.Duration())) +
        QString("  vol %1%2").arg(player_.AudioVolume()).arg(player_.Mute() ? " (mute)" : "");
    if (note) title += QString("  ") + note;
    setWindowTitle(title);
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    switch (e->key()) {
      case Qt::Key_Space:
        if (player_.Paused())
          player_.Resume();
        else
          player_.Pause();
        break;
      case Qt::Key_Period: player_.Step(); break;
      case Qt::Key_Left: player_.Seek(std::max<std::int64_t>(position_ - 5000000, 0), 1); break;
      case Qt::Key_Right: player_.Seek(position_ + 5000000); break;
      case Qt::Key_Up: player_.SetAudioVolume(player_.AudioVolume() + 8); break;
      case Qt::Key_Down: player_.SetAudioVolume(player_.AudioVolume() - 8); break;
      case Qt::Key_M: player_.SetMute(!player_.Mute()); break;
      case Qt::Key_A: {
        float a = player_.AspectRatio();
        player_.SetAspectRatio(a == 0 ? 16.0f / 9.0f : a > 0 ? -1.0f : 0.0f);
        break;
      }
      case Qt::Key_Escape:
      case Qt::Key_Q: close(); break;
      default: QWidget::keyPressEvent(e); return;
    }
    ShowStatus(-1);
  }

 private:
  TFFPlayer& player_;
  TPlayerWidget* display_;
  std::int64_t position_ = 0;
};

const char* StateName(TPlayState s) {
  static const char* names[] = {"playing",  "paused",  "playing",
                                "stepping", "stopped", "at the end"};
  return names[s];
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: quor-play FILE\n");
    return 2;
  }
  TFFPlayer player;
  if (!player.AVLibLoaded() && !player.LoadAVLib(TFFmpegLoader::DefaultLibraryPath())) {
    std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
    return 1;
  }
  TPlayWindow window(player);
  // Events arrive on the player's event thread and are queued to the window.
  player.SetTriggerEventInMainThread(false);
  player.SetOnPosition([&](TFFPlayer*, std::int64_t pts) {
    QMetaObject::invokeMethod(
        &window, [&window, pts] { window.ShowStatus(pts); }, Qt::QueuedConnection);
  });
  player.SetOnState([&](TFFPlayer*, TPlayState s) {
    QMetaObject::invokeMethod(
        &window,
        [&window, s] {
          window.ShowStatus(-1, StateName(s));
          std::printf("%s\n", StateName(s));
          std::fflush(stdout);
        },
        Qt::QueuedConnection);
  });
  // Ctrl+C in the terminal, or the session ending, closes the window; a
  // second signal ends the program at once.
  platform::TSignalWatch signalWatch([&window](int) { window.close(); }, true);
  QSocketNotifier signalNotifier(signalWatch.ReadFd(), QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated,
                   [&signalWatch] { signalWatch.Dispatch(); });
  window.show();
  if (!player.Open(argv[1], window.Display())) {
    std::fprintf(stderr, "quor-play: %s\n", player.LastErrMsg().c_str());
    return 1;
  }
  int rc = app.exec();
  player.SetOnPosition(nullptr);
  player.SetOnState(nullptr);
  player.Stop(true);
  return rc;
}
