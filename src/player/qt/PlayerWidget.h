// TPlayerWidget: the display target of a player in a Qt window. Shows each
// picture scaled into its display rectangle on black, keeps the last picture
// so that every repaint (while paused too) draws it again, and ignores close
// requests so that a player's window cannot be closed under it.
//
// Owns a copy of the last picture. Show() is called on the player's play
// thread: it copies the picture under pictureMutex_ and queues a repaint on
// the widget's thread; ClientSize() may be called from any thread (the size
// is mirrored into atomics on resize). Everything else is user-interface
// thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <functional>
#include <mutex>

#include "player/PlayerTypes.h"

class TPlayerWidget : public QWidget, public IDisplayTarget {
  Q_OBJECT

 public:
  explicit TPlayerWidget(QWidget* parent = nullptr);

  void Show(const TBitmap& picture, const TDisplayRect& rect, int displayWidth, int displayHeight) override;
  void ClientSize(int& width, int& height) const override;

  // The last picture shown (null before the first), for checks and snapshots.
  QImage LastPicture() const;
  // Called on resize with the new client size (e.g. TFFPlayer::DisplayResized).
  std::function<void(int width, int height)> OnResized;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  mutable std::mutex pictureMutex_;
  QImage picture_;            // under pictureMutex_
  TDisplayRect rect_;         // under pictureMutex_
  int displayWidth_ = 0;      // under pictureMutex_
  int displayHeight_ = 0;     // under pictureMutex_
  std::atomic<int> clientWidth_{0};
  std::atomic<int> clientHeight_{0};
};
