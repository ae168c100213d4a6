// TWmCanvas: the watermark editor's canvas (ImgView). Paints a checkerboard,
// the playing frame fitted into the control (nearest neighbour, aspect kept,
// centred), the visible watermark layers over it at their master alpha, and
// a rubber band around the selected layer; a click selects the layer under
// the mouse, the band's inside drags it and its frame resizes it about its
// centre.
//
// Why our own QPainter canvas rather than Qt's Graphics View: the background
// is replaced by the player for every frame from the player's video thread,
// the layers live in a window-free list (TWmLayerStack) that the player's
// hook reads too, and the whole scene is one fitted mapping. One paint pass
// over that list keeps a single source of truth; a scene would duplicate
// every layer as a graphics item and need re-syncing on each change.
//
// Owns the copy of the last frame; borrows the layer list (it must outlive
// the canvas). SetBackground may be called from any thread: it copies the
// frame under frameMutex_ and raises a flag that a timer on the widget's
// thread turns into a repaint. Everything else is user-interface thread only.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <mutex>

#include "editing/WmCanvasGeometry.h"
#include "editing/WmLayerStack.h"
#include "engine/libav/FrameBitmap.h"

class TWmCanvas : public QWidget {
  Q_OBJECT

 public:
  TWmCanvas(TWmLayerStack& layers, QWidget* parent = nullptr);

  // Any thread: the frame to show behind the layers.
  void SetBackground(const TBitmap& frame);
  // The frame size items are placed in before the first frame arrives (the
  // file's picture size from the player).
  void SetFrameSize(QSize size);
  QSize FrameSize() const;
  // The current mapping between control and frame pixels.
  TWmViewMapping Mapping() const;
  // The last frame shown (null before the first), for checks.
  QImage Background() const;

  // A layer was clicked (its row) or the mouse pressed on no layer (-1).
  std::function<void(int row)> OnLayerClick;
  // The selected layer moved or changed size under the mouse.
  std::function<void(int row)> OnLayerDragged;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void PaintChecker(QPainter& painter);
  void PaintRubberBand(QPainter& painter, const TWmViewMapping& mapping);
  void UpdateCursor(QPointF at);

  TWmLayerStack& layers_;
  mutable std::mutex frameMutex_;
  TBitmap frame_;    // under frameMutex_
  QSize frameSize_;  // under frameMutex_
  std::atomic<bool> dirty_{false};
  QTimer repaintTimer_;

  TWmGrip grip_ = TWmGrip::None;  // what the mouse holds while a button is down
  QPointF pressFrame_;            // the press point, frame pixels
  QRectF pressLocation_;          // the held layer's location at the press
};
