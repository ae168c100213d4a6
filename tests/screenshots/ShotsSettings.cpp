// The settings dialog: a video format (both groups on), an audio format (the
// video group off and grey), a box's open list and the format list.
#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>
#include <QTest>

#include "Shots.h"
#include "gui/widgets/FormatListBox.h"
#include "gui/windows/main/winMain.h"
#include "gui/windows/settings/WinSettings.h"
#include "support/UserInput.h"

namespace {

void ShowFormat(TShotContext& ctx, const char* name, int code, const QString& shot) {
  TfrmSettings* dialog = ctx.Main.SettingsDialog();
  dialog->show();
  dialog->PickFormat(name, code);
  ctx.Settle(300);
  ctx.Save(dialog, shot);
  dialog->reject();
}

}  // namespace

QUOR_SHOT(20, settings) { ShowFormat(ctx, "AVI Video (*.avi)", 104, "settings"); }

QUOR_SHOT(21, settings_audio) {
  ShowFormat(ctx, "MP3 MPEG Layer-3 Audio (*.mp3)", 200, "settings-audio");
}

QUOR_SHOT(22, settings_popup) {
  // The owner-drawn items of a list-only box, the pointer on the second.
  TfrmSettings* dialog = ctx.Main.SettingsDialog();
  dialog->show();
  dialog->PickFormat("WAV - Waveform Audio (*.wav)", 204);
  dialog->cmbAudioEncoder->showPopup();
  dialog->cmbAudioEncoder->view()->setCurrentIndex(dialog->cmbAudioEncoder->model()->index(1, 0));
  ctx.Settle(300);
  QPixmap shot = dialog->grab();
  QWidget* popup = dialog->cmbAudioEncoder->view()->window();
  QPainter painter(&shot);
  painter.drawPixmap(dialog->mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
  painter.end();
  shot.save(ctx.OutDir + "/settings-popup.png");
  dialog->cmbAudioEncoder->hidePopup();
  dialog->reject();
}

QUOR_SHOT(23, settings_formats) {
  // The grouped list open below the format field, the video group expanded.
  TfrmSettings* dialog = ctx.Main.SettingsDialog();
  dialog->show();
  dialog->PickFormat("AVI Video (*.avi)", 104);
  dialog->ShowFormatList();
  TFormatListBox* list = dialog->lst1;
  const int header = list->List().FindRow("General Video formates");
  user::Click(list->viewport(), list->RowRect(header).topLeft() + QPoint(8, 10));
  dialog->ShowFormatList();
  list->SelectName("AVI Video (*.avi)");
  ctx.Settle(200);
  ctx.Save(dialog, "settings-formats");
  dialog->reject();
}
