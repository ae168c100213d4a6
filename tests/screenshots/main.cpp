// quor-screenshots OUTDIR: shows every window in a representative state under
// a real display (Xvfb in `make screenshots`) and saves one PNG per window.
#include <QDir>
#include <QElapsedTimer>
#include <QScreen>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>

#include "Shots.h"
#include "app/GlobalUnit.h"
#include "engine/libav/FFmpegLoader.h"
#include "gui/common/QtHandOver.h"
#include "gui/common/Theme.h"
#include "gui/program/Application.h"
#include "gui/windows/main/winMain.h"
#include "platform/Environment.h"
#include "support/MediaFactory.h"

namespace {

struct TRegistered {
  int Order;
  const char* Name;
  TShotFunction Shot;
};

std::vector<TRegistered>& Registry() {
  static std::vector<TRegistered> shots;
  return shots;
}

}  // namespace

int RegisterShot(int order, const char* name, TShotFunction shot) {
  Registry().push_back({order, name, std::move(shot)});
  return int(Registry().size());
}

void TShotContext::Settle(int ms) const {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    PumpMainThread();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

void TShotContext::SelectClip(int index) const {
  if (Main.SourceList().Empty()) {
    QStringList files;
    for (const auto& clip : Clips) files << QString::fromStdString(clip);
    Main.AddFileList(files);
  }
  Main.SelectRow(index);
}

bool TShotContext::Save(QWidget* widget, const QString& name) const {
  Settle(150);
  QWidget* window = widget->window();
  QPixmap picture;
  // The screen's pixels where a window manager-free display has them; the
  // widget's own rendering otherwise.
  if (QScreen* screen = window->screen()) picture = screen->grabWindow(window->winId());
  if (picture.isNull() || picture.size() != window->size()) picture = window->grab();
  const QString path = OutDir + "/" + name + ".png";
  const bool ok = picture.save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quor-screenshots OUTDIR [NAME...]\n");
    return 2;
  }
  const QString outDir = QDir(argv[1]).absolutePath();
  QDir().mkpath(outDir);
  // A settings folder of its own, so the shots never touch the user's.
  const QString appData = outDir + "/appdata/";
  QDir(appData).removeRecursively();
  QDir().mkpath(appData);
  platform::SetEnv("QUOR_APPDATA", appData.toStdString());
  platform::SetEnv("HOME", (outDir + "/home").toStdString());
  QDir().mkpath(outDir + "/home");
  platform::SetEnv("SDL_AUDIODRIVER", "dummy");
  platform::SetEnv("QUOR_OPEN_COMMAND", "true");      // snapshots and folders open nothing
  platform::SetEnv("QUOR_SHUTDOWN_COMMAND", "true");  // and a batch never powers off

  TQuorApplication app(argc, argv);
  theme::Apply(app);
  TQtHandOver handOver;
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(TFFmpegLoader::DefaultLibraryPath());
  if (!loader.Load(AllLibraries)) {
    std::fprintf(stderr, "cannot load the media libraries: %s\n", loader.LastErrMsg().c_str());
    return 1;
  }
  TfrmMain main;
  main.SetUserInteraction(new TDefaultUserInteraction);  // no box may block the tool
  TShotContext ctx{main, outDir, {}};
  ctx.Clips = {TestMedia::Get(MediaSpec::Mp4().Seconds(6)),
               TestMedia::Get(MediaSpec::Mkv().Size(640, 360).Seconds(4)),
               TestMedia::Get(MediaSpec::Avi().Size(352, 288).Seconds(3))};
  main.show();

  auto& shots = Registry();
  std::stable_sort(shots.begin(), shots.end(), [](auto& a, auto& b) { return a.Order < b.Order; });
  int failed = 0;
  for (auto& shot : shots) {
    bool wanted = argc == 2;
    for (int i = 2; i < argc; ++i) wanted |= QString(argv[i]) == shot.Name;
    if (!wanted) continue;
    std::printf("shot %s\n", shot.Name);
    try {
      shot.Shot(ctx);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "shot %s failed: %s\n", shot.Name, e.what());
      ++failed;
    }
  }
  main.CloseWithoutQuestion();
  return failed ? 1 : 0;
}
