// The crop window: a clip playing, a band over its source picture and the
// output view showing the cut picture brightened; then its margins page.
#include <QTabWidget>

#include "Shots.h"
#include "app/SourceList.h"
#include "gui/windows/edit/WinCrop.h"
#include "gui/windows/main/winMain.h"

QUOR_SHOT(31, crop) {
  ctx.SelectClip(1);
  TlvFilesRecord& record = ctx.Main.SourceList().Record(1);
  record.CropUpView = 30;
  record.CropDownView = 40;
  record.CropLeftView = 60;
  record.CropRightView = 20;
  record.Brightness = 330;
  record.Saturation = 380;
  auto* crop = new TfrmCrop(ctx.Main.SourceList(), ctx.Main.SettingsFile(), &ctx.Main);
  crop->show();
  ctx.Settle(1800);
  ctx.Save(crop, "crop");
  crop->pgcPages->setCurrentWidget(crop->tabCrop);
  ctx.Save(crop, "crop-margins");
  crop->reject();
  delete crop;
}
