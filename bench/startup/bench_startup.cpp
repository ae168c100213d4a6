// Start-up of the windowed program: from process start to the main window
// shown and idle (media libraries loaded, format list built), best of N runs.
// Baseline in the same run: a process that only shows an empty Qt window, so
// the ratio tells what the program adds to the toolkit's own start.
//
//   bench_startup [runs]     (offscreen platform unless DISPLAY is set)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

#include "common/BenchTiming.h"

namespace {

// The baseline: an empty window, reported once shown and idle.
int BareWindow(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(920, 570);
  window.show();
  QTimer::singleShot(0, [] {
    std::printf("shown\n");
    std::fflush(stdout);
    QCoreApplication::quit();
  });
  return app.exec();
}

// Seconds from starting `program` to its "shown" line.
double TimeToShown(const QString& program, const QStringList& args,
                   const QProcessEnvironment& env) {
  QProcess process;
  process.setProcessEnvironment(env);
  QElapsedTimer clock;
  clock.start();
  process.start(program, args);
  process.waitForStarted();
  while (!process.readAllStandardOutput().contains("shown")) {
    if (!process.waitForReadyRead(20000)) return -1;
  }
  const double seconds = clock.nsecsElapsed() / 1e9;
  process.waitForFinished(10000);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--bare") == 0) return BareWindow(argc, argv);
  QCoreApplication core(argc, argv);
  const int runs = bench::Repetitions(argc, argv, 7);
  QTemporaryDir appData;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (!env.contains("DISPLAY")) env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("QUOR_APPDATA", appData.path() + "/");
  env.insert("QUOR_STARTUP_REPORT", "1");
  env.insert("SDL_AUDIODRIVER", "dummy");
  const QString dir = QCoreApplication::applicationDirPath();
  // The first run installs the profile and settings, as a first start does;
  // it is not counted.
  TimeToShown(dir + "/quor", {}, env);
  double quor = 1e30, bare = 1e30;
  for (int i = 0; i < runs; ++i) {
    quor = std::min(quor, TimeToShown(dir + "/quor", {}, env));
    bare = std::min(bare, TimeToShown(QCoreApplication::applicationFilePath(), {"--bare"}, env));
  }
  std::printf("start-up to main window shown and idle: %.3f s (goal <= 0.5 s)\n", quor);
  std::printf("empty Qt window (baseline):              %.3f s\n", bare);
  std::printf("ratio program / baseline:                %.2f\n", quor / bare);
  return quor <= 0 ? 1 : 0;
}
