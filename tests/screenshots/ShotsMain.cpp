// The main window: three sources listed, a picture in the preview panel, and
// the format list open.
#include <QStringList>
#include <QTest>

#include "Shots.h"
#include "app/GlobalUnit.h"
#include "gui/widgets/FormatListBox.h"
#include "gui/windows/dialogs/WinAbout.h"
#include "gui/windows/dialogs/WinCover.h"
#include "gui/windows/main/winMain.h"
#include "support/UserInput.h"

QUOR_SHOT(0, main) {
  QStringList files;
  for (const auto& clip : ctx.Clips) files << QString::fromStdString(clip);
  ctx.Main.AddFileList(files);
  ctx.Main.SelectRow(1);
  ctx.Main.PlayPreview();
  ctx.Settle(1500);
  ctx.Main.PausePreview();
  ctx.Save(&ctx.Main, "main");
}

QUOR_SHOT(1, main_formats) {
  // The video group open, the pointer over one of its formats.
  TFormatListBox* list = ctx.Main.FormatList();
  ctx.Main.ShowFormatList(false);
  for (int row = 0; row < list->List().Count(); ++row)
    if (list->List().Row(row).Info.IsGroup && list->List().Row(row).Info.Code == 1) {
      user::Click(list->viewport(), list->RowRect(row).topLeft() + QPoint(8, 10));
      break;
    }
  ctx.Main.ShowFormatList(false);
  list->SetCurrentRow(list->List().FindRow("H.264/MPEG-4 AVC Video (*.mp4)"));
  ctx.Settle(200);
  ctx.Save(&ctx.Main, "main-formats");
  ctx.Main.CloseFormatList();
}

QUOR_SHOT(2, about) {
  auto* about = new TfrmAbout(*GlobalObject(), &ctx.Main);
  about->show();
  ctx.Save(about, "about");
  about->close();
}

QUOR_SHOT(3, cover) {
  auto* cover = new TfrmCover(&ctx.Main);
  cover->show();
  ctx.Save(cover, "cover");
  cover->close();
}
