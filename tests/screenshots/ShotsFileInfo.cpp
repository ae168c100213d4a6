// The file information window for a clip with picture and sound under a long
// name, and for a sound-only file.
#include "Shots.h"
#include "gui/windows/dialogs/WinFileInfo.h"
#include "gui/windows/main/winMain.h"
#include "support/MediaFactory.h"

namespace {

void ShowInfo(TShotContext& ctx, const std::string& source, const QString& name) {
  TfrmFileInfo* window = ctx.Main.FileInfoWindow();
  window->ShowSource(source);
  window->show();
  ctx.Settle(200);
  ctx.Save(window, name);
  window->reject();
}

}  // namespace

QUOR_SHOT(45, fileinfo) {
  ctx.SelectClip(1);
  ShowInfo(ctx, ctx.Clips[1], "fileinfo");
}

QUOR_SHOT(46, fileinfo_audio) { ShowInfo(ctx, TestMedia::Get(MediaSpec::Mp3()), "fileinfo-audio"); }
