// The preferences dialog (as a first start shows it, and with the quality
// hint open) and the folder browser opened a few folders deep.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QSpinBox>
#include <QToolTip>
#include <QTreeWidget>

#include "Shots.h"
#include "gui/windows/dialogs/WinDirectory.h"
#include "gui/windows/dialogs/WinPreference.h"
#include "gui/windows/main/winMain.h"

QUOR_SHOT(40, preference) {
  TfrmPreference* dialog = ctx.Main.PreferenceDialog();
  dialog->show();
  ctx.Settle(200);
  ctx.Save(dialog, "preference");
  dialog->reject();
}

QUOR_SHOT(41, preference_hint) {
  // The hint is a window of its own: drawn over the dialog where it opens.
  TfrmPreference* dialog = ctx.Main.PreferenceDialog();
  dialog->show();
  ctx.Settle(200);
  QSpinBox* spin = dialog->spedCmp;
  QToolTip::showText(spin->mapToGlobal(QPoint(-150, spin->height() + 4)), spin->toolTip(), spin);
  ctx.Settle(300);
  QPixmap shot = dialog->grab();
  QPainter painter(&shot);
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->inherits("QTipLabel"))
      painter.drawPixmap(dialog->mapFromGlobal(w->mapToGlobal(QPoint(0, 0))), w->grab());
  painter.end();
  shot.save(ctx.OutDir + "/preference-hint.png");
  QToolTip::hideText();
  dialog->reject();
}

QUOR_SHOT(42, directory) {
  const QString home = QDir::homePath();
  for (const char* folder : {"Videos/2024/holiday", "Videos/2023", "Videos/clips", "Pictures",
                             "Music", "Documents", "Downloads"})
    QDir().mkpath(home + "/" + folder);
  TfmDirectory* browser = ctx.Main.FolderBrowser();
  browser->SelectFolder(home + "/Videos/2024");
  browser->stview_selectdir->currentItem()->setExpanded(true);
  browser->show();
  ctx.Settle(200);
  ctx.Save(browser, "directory");
  browser->reject();
}
