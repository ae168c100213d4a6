#include "gui/windows/dialogs/WinCover.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "gui/common/Theme.h"
#include "platform/Folders.h"

TfrmCover::TfrmCover(QWidget* mainWindow)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      mainWindow_(mainWindow) {
  setObjectName("frmCover");
  setAttribute(Qt::WA_DeleteOnClose);
  // Closing the main window ends the program even while the picture shows.
  setAttribute(Qt::WA_QuitOnClose, false);
  // A JPEG beside the program replaces the built-in picture.
  const QString custom =
      QString::fromStdString(platform::ExecutableFolder()) + "skin/mp4avicover.jpg";
  picture_ = QPixmap(custom);
  if (picture_.isNull()) picture_ = theme::Artwork("cover");
  const QSize size = picture_.isNull() ? QSize(399, 239) : picture_.size();
  setFixedSize(size);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  timer_.setInterval(2000);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (!mainWindow_ || mainWindow_->isVisible()) close();
  });
  timer_.start();
}

void TfrmCover::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull())
    painter.fillRect(rect(), QColor(45, 94, 168));
  else
    painter.drawPixmap(rect(), picture_);
}
