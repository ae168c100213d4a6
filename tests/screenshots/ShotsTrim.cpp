// The trim window: a clip playing with a part of it marked on the range bar.
#include "Shots.h"
#include "app/SourceList.h"
#include "gui/windows/edit/WinTrim.h"
#include "gui/windows/main/winMain.h"

QUOR_SHOT(30, trim) {
  ctx.SelectClip(0);
  TlvFilesRecord& record = ctx.Main.SourceList().Record(0);
  record.TrimStart = 1000000;
  record.TrimLength = 3000000;
  auto* trim = new TfrmTrim(ctx.Main.SourceList(), ctx.Main.SettingsFile(), &ctx.Main);
  trim->show();
  ctx.Settle(1800);
  ctx.Save(trim, "trim");
  trim->reject();
  delete trim;
}
