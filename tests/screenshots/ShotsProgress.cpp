// The progress window in the middle of the first of three files, paused,
// with the frame being encoded on show.
#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "Shots.h"
#include "app/SourceList.h"
#include "gui/windows/dialogs/WinProgress.h"
#include "gui/windows/main/winMain.h"
#include "support/MediaFactory.h"

QUOR_SHOT(60, progress) {
  TfrmMain& main = ctx.Main;
  main.ClearFiles();
  QStringList files{
      QString::fromStdString(TestMedia::Get(MediaSpec::Mp4().Size(640, 360).Seconds(20)))};
  for (const auto& clip : ctx.Clips) files << QString::fromStdString(clip);
  files.removeLast();
  main.AddFileList(files);
  main.Converter().SetProgressInterval(100);

  bool taken = false;
  QTimer watch;
  watch.setInterval(10);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* w = qobject_cast<TfrmProgress*>(QApplication::activeModalWidget());
    if (taken || !w || main.Batch().PreviewCount() == 0 || w->progbarFile->value() < 30) return;
    taken = true;
    w->Pause();
    ctx.Settle(400);
    ctx.Save(w, "progress");
    w->reject();
  });
  watch.start();
  main.StartBatch();
  watch.stop();
  ctx.Settle(300);
  main.ClearFiles();
}
