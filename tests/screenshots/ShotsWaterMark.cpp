// The watermark editor: a text and a picture on the playing frame, the
// picture selected.
#include <QLineEdit>
#include <QPainter>
#include <QSlider>
#include <QStringList>

#include "Shots.h"
#include "app/UserInteraction.h"
#include "gui/windows/main/winMain.h"
#include "gui/windows/watermark/WinWaterMark.h"

namespace {

// A small logo drawn for the shot.
QString MakeLogo(const QString& folder) {
  QImage logo(120, 60, QImage::Format_RGB32);
  logo.fill(QColor(250, 250, 240));
  QPainter painter(&logo);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(45, 94, 168));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(8, 8, 44, 44);
  painter.setPen(QColor(45, 94, 168));
  QFont font = painter.font();
  font.setPixelSize(22);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(58, 0, 60, 60), Qt::AlignVCenter, "Quor");
  painter.end();
  const QString path = folder + "/logo.png";
  logo.save(path);
  return path;
}

}  // namespace

QUOR_SHOT(50, watermark) {
  if (ctx.Main.SourceList().Empty()) {
    QStringList files;
    for (const auto& clip : ctx.Clips) files << QString::fromStdString(clip);
    ctx.Main.AddFileList(files);
  }
  ctx.Main.SelectRow(0);
  ctx.Main.StopPreview();
  const int row = ctx.Main.SourceList().Selected();
  TDefaultUserInteraction ui;
  TfrmWaterMark editor({&ctx.Main.SourceList().Record(row), ctx.Main.SourceList().Row(row).Caption,
                        ctx.Main.SettingsFile(), "https://quor.example.org/help/"},
                       ui, &ctx.Main);
  editor.setWindowFlag(Qt::Window);
  editor.show();
  ctx.Settle(800);
  editor.AddText();
  editor.edt1->setText("Holiday 2024");
  emit editor.edt1->textEdited("Holiday 2024");
  editor.ClickRow(0);
  const QString logo = MakeLogo(ctx.OutDir);
  editor.ChooseImageFile = [&] { return logo; };
  editor.AddImage();
  editor.trcTextTran->setValue(200);
  ctx.Settle(1200);
  editor.Pause();
  ctx.Settle(300);
  ctx.Save(&editor, "watermark");
  editor.Cancel();
}
