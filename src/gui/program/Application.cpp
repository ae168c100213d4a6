#include "gui/program/Application.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

#include "app/GlobalUnit.h"
#include "gui/common/QtHandOver.h"
#include "gui/common/QtUserInteraction.h"
#include "gui/common/Theme.h"
#include "gui/windows/dialogs/WinCover.h"
#include "gui/windows/main/winMain.h"
#include "platform/SignalWatch.h"

TQuorApplication::TQuorApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(kApplicationTitle);
  setApplicationDisplayName(kApplicationTitle);
}

bool TQuorApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowUnhandledError(std::current_exception(), activeWindow(), errorUi_);
    return false;
  }
}

int RunQuor(TQuorApplication& app) {
  theme::Apply(app);
  TQtHandOver handOver;
  TfrmMain* mainWindow = nullptr;
  // SIGTERM and SIGINT (a desktop session ending, Ctrl+C in a terminal)
  // close the program without the exit question; running conversions are
  // stopped so that their outputs stay playable. A second signal ends it at
  // once.
  platform::TSignalWatch signalWatch(
      [&mainWindow](int) {
        if (mainWindow) mainWindow->CloseWithoutQuestion();
        QCoreApplication::quit();
      },
      true);
  QSocketNotifier signalNotifier(signalWatch.ReadFd(), QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated,
                   [&signalWatch] { signalWatch.Dispatch(); });
  TfrmMain main;
  mainWindow = &main;
  auto* cover = new TfrmCover(&main);
  cover->show();
  cover->repaint();
  main.show();
  // Files given on the command line (a file manager's "Open with") are added
  // as Add adds them, once the window is up.
  const QStringList files = app.arguments().mid(1);
  if (!files.isEmpty()) QTimer::singleShot(0, &main, [&main, files] { main.AddFileList(files); });
  // QUOR_STARTUP_REPORT: print "shown" once the window is up and the event
  // loop idle, then end (the start-up benchmark measures up to this line).
  if (qEnvironmentVariableIsSet("QUOR_STARTUP_REPORT"))
    QTimer::singleShot(0, &main, [&main] {
      std::printf("shown rows=%d\n", main.SourceList().Count());
      std::fflush(stdout);
      main.CloseWithoutQuestion();
    });
  return app.exec();
}
