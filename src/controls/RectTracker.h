// TRectTracker: a rubber-band rectangle moved by its inside and resized by
// eight handles. It owns only its drag state; AcControl is a sibling widget it
// keeps 5 pixels inside its bounds (not owned; forgotten when destroyed).
// User-interface thread only.
//
// Rectangles handed out (GetFrameRect, OnChange) are in the parent's
// coordinates; QRect's width and height are the frame's extent, so its
// exclusive right edge is x() + width().
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>

class TCustomRectTracker : public QWidget {
  Q_OBJECT

 public:
  using TTrackerEvent = std::function<void(TCustomRectTracker* Sender, const QRect& TrackRect)>;
  using TMouseEvent = std::function<void(TCustomRectTracker* Sender, Qt::MouseButton Button,
                                         Qt::KeyboardModifiers Shift, int X, int Y)>;
  using TMouseMoveEvent = std::function<void(TCustomRectTracker* Sender, Qt::MouseButtons Buttons,
                                             Qt::KeyboardModifiers Shift, int X, int Y)>;

  // What a press at a point does; the values are the hit codes.
  enum TDragMode {
    dmLeft = 0,
    dmRight = 1,
    dmTop = 2,
    dmBottom = 3,
    dmTopLeft = 4,
    dmTopRight = 5,
    dmBottomLeft = 6,
    dmBottomRight = 7,
    dmMove = 8,
    dmNone = 9
  };

  static constexpr int kMinSize = 10;
  static constexpr int kHandleSize = 5;
  static constexpr int kControlMargin = 5;

  explicit TCustomRectTracker(QWidget* parent = nullptr);
  ~TCustomRectTracker() override;

  QRect GetFrameRect() const;
  QRect InnerRect() const { return innerRect_; }
  TDragMode HitTest(const QPoint& p) const;
  TDragMode DragMode() const { return dragMode_; }
  int LastX() const { return lastX_; }
  int LastY() const { return lastY_; }

 protected:
  QWidget* AcControl() const { return acControl_; }
  void SetAcControl(QWidget* c);

  TTrackerEvent OnChange;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QRect DraggedBounds(int dx, int dy, const QPoint& at);
  void BoundsChanged();
  void ShowCursorFor(TDragMode mode);

  QPointer<QWidget> acControl_;
  QRect innerRect_;
  int lastX_ = -1;
  int lastY_ = -1;
  TDragMode dragMode_ = dmNone;
  QRect pressBounds_;
  bool pressed_ = false;
  bool adjusting_ = false;
};

class TRectTracker : public TCustomRectTracker {
  Q_OBJECT

 public:
  explicit TRectTracker(QWidget* parent = nullptr) : TCustomRectTracker(parent) {}

  using TCustomRectTracker::AcControl;
  using TCustomRectTracker::OnChange;
  using TCustomRectTracker::OnMouseDown;
  using TCustomRectTracker::OnMouseMove;
  using TCustomRectTracker::OnMouseUp;
  using TCustomRectTracker::SetAcControl;
};
