// TPlayerWidget: the display target of a player in a Qt window. Shows each
// picture scaled into its display rectangle on black, keeps the last picture
// so that every repaint (while paused too) draws it again, and ignores close
// requests so that a player's window cannot be closed under it.
//
// Owns a copy of the last picture. Show() is called on the player's play
// thread: it copies the picture's bytes under pictureMutex_ and raises a flag
// that a timer on the widget's thread turns into a repaint, so no Qt object
// is touched off its thread. ClientSize() may be called from any thread (the
// size is mirrored into atomics on resize). Everything else is
// user-interface thread only.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "player/PlayerTypes.h"

class TPlayerWidget : public QWidget, public IDisplayTarget {
  Q_OBJECT

 public:
  explicit TPlayerWidget(QWidget* parent = nullptr);

  void Show(const TBitmap& picture, const TDisplayRect& rect, int displayWidth,
            int displayHeight) override;
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
  std::vector<std::uint8_t> pixels_;  // BGR rows of rowSize_ bytes, under pictureMutex_
  int pictureWidth_ = 0;              // under pictureMutex_
  int pictureHeight_ = 0;             // under pictureMutex_
  int rowSize_ = 0;                   // under pictureMutex_
  TDisplayRect rect_;                 // under pictureMutex_
  int displayWidth_ = 0;              // under pictureMutex_
  int displayHeight_ = 0;             // under pictureMutex_
  std::atomic<bool> dirty_{false};
  QTimer repaintTimer_;
  std::atomic<int> clientWidth_{0};
  std::atomic<int> clientHeight_{0};
};
