#include "gui/widgets/TitleBar.h"

#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QWindow>

#include "gui/common/Theme.h"

TTitleBar::TTitleBar(QWidget* window, const QString& caption) : QWidget(window) {
  setObjectName("titleBar");
  setAttribute(Qt::WA_StyledBackground, true);
  setGeometry(0, 0, window->width(), kHeight);
  auto* icon = new QLabel(this);
  icon->setPixmap(theme::Artwork("quor", QSize(20, 20)));
  icon->setGeometry(8, 5, 20, 20);
  caption_ = new QLabel(caption, this);
  caption_->setObjectName("lbl_appname");
  caption_->setGeometry(34, 0, width() - 80, kHeight);
  caption_->setAttribute(Qt::WA_TransparentForMouseEvents);
  close_ = new QToolButton(this);
  close_->setObjectName("btnClose");
  close_->setIcon(theme::ArtworkIcon("close", QSize(22, 18)));
  close_->setIconSize(QSize(22, 18));
  close_->setGeometry(width() - 32, 4, 26, 22);
  close_->setToolTip("Close");
  close_->setFocusPolicy(Qt::NoFocus);
  connect(close_, &QToolButton::clicked, window, &QWidget::close);
}

void TTitleBar::SetCaption(const QString& caption) { caption_->setText(caption); }

QString TTitleBar::Caption() const { return caption_->text(); }

// The desktop moves the window where it can (Wayland lets only the
// compositor move windows); elsewhere the window follows the pointer.
void TTitleBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  QWidget* w = window();
  if (w->windowHandle() && w->windowHandle()->startSystemMove()) return;
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - w->frameGeometry().topLeft();
}

void TTitleBar::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) window()->move(event->globalPosition().toPoint() - dragOffset_);
}

void TTitleBar::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }
