// TTrackBar2: a track bar with one or two thumbs on one track. It owns its
// thumb, tick and dither images and its geometry; owners may draw the track,
// thumbs and ticks themselves through the OnDraw* events. User-interface
// thread only.
//
// Geometry follows the widget's shape: every resize event picks the
// orientation (a hidden widget gets its resize event when it is shown).
// Scale arithmetic is done in 64 bits, so large ranges (e.g. milliseconds of a
// long film) do not overflow.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QWidget>

#include <functional>

class QPainter;

enum TOrientation { toHorizontal, toVertical };
enum TTrackStyle { trUserDrawn, trFlat, trRaised, trLowered };
enum TTickStyle { tiUserDrawn, tiLine, tiSquare, tiRaisedSquare, tiLoweredSquare };
enum TTickOrientation { toTopLeft, toBottomRight, toBoth };
enum TThumbStyle {
  tsUserDrawn,
  tsRectangle,
  tsRaisedRectangle,
  tsLoweredRectangle,
  tsSmallPointer,
  tsMediumPointer,
  tsLargePointer
};

class TTrackBar2 : public QWidget {
  Q_OBJECT

 public:
  using TNotifyEvent = std::function<void(TTrackBar2* Sender)>;
  // Canvas is the painter of the paint in progress, in widget coordinates.
  using TDrawTrackEvent = std::function<void(TTrackBar2* Sender, QPainter* Canvas)>;
  using TDrawThumbEvent = std::function<void(TTrackBar2* Sender, QPainter* Canvas, int X, int Y)>;
  using TDrawTickEvent =
      std::function<void(TTrackBar2* Sender, QPainter* Canvas, int X, int Y, int Position)>;
  using TMouseEvent = std::function<void(TTrackBar2* Sender, Qt::MouseButton Button,
                                         Qt::KeyboardModifiers Shift, int X, int Y)>;
  using TMouseMoveEvent = std::function<void(TTrackBar2* Sender, Qt::MouseButtons Buttons,
                                             Qt::KeyboardModifiers Shift, int X, int Y)>;
  using TKeyEvent = std::function<void(TTrackBar2* Sender, int Key, Qt::KeyboardModifiers Shift)>;

  explicit TTrackBar2(QWidget* parent = nullptr);
  ~TTrackBar2() override;

  int Max() const { return max_; }
  void SetMax(int v);
  int Min() const { return min_; }
  void SetMin(int v);
  int PositionL() const { return positionL_; }
  void SetPositionL(int v);
  int PositionU() const { return positionU_; }
  void SetPositionU(int v);
  bool SecondThumb() const { return secondThumb_; }
  void SetSecondThumb(bool v);
  int SmallChange() const { return smallChange_; }
  void SetSmallChange(int v) { smallChange_ = v; }
  int LargeChange() const { return largeChange_; }
  void SetLargeChange(int v) { largeChange_ = v; }
  TOrientation Orientation() const { return orientation_; }
  void SetOrientation(TOrientation v);

  int TrackSize() const { return trackSize_; }
  void SetTrackSize(int v);
  TTrackStyle TrackStyle() const { return trackStyle_; }
  void SetTrackStyle(TTrackStyle v);
  QColor TrackColor() const { return trackColor_; }
  void SetTrackColor(const QColor& v);

  int TickSize() const { return tickSize_; }
  void SetTickSize(int v);
  TTickStyle TickStyle() const { return tickStyle_; }
  void SetTickStyle(TTickStyle v);
  QColor TickColor() const { return tickColor_; }
  void SetTickColor(const QColor& v);
  TTickOrientation TickOrientation() const { return tickOrientation_; }
  void SetTickOrientation(TTickOrientation v);
  // Below 1 no ticks are drawn (the tick loop would never end).
  int TickInterval() const { return tickInterval_; }
  void SetTickInterval(int v);

  int ThumbSize() const { return thumbSize_; }
  void SetThumbSize(int v);
  TThumbStyle ThumbStyle() const { return thumbStyle_; }
  void SetThumbStyle(TThumbStyle v);
  QColor ThumbColor() const { return thumbColor_; }
  void SetThumbColor(const QColor& v);
  bool DitherThumb() const { return ditherThumb_; }
  void SetDitherThumb(bool v);
  // Switching the 3-D look on restyles flat-looking tracks and thumbs.
  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool v);

  bool TrackingL() const { return trackingL_; }
  bool TrackingU() const { return trackingU_; }

  int UsableLength() const;
  int ThumbOffset() const;
  int TrackOffset() const { return trackOffset_; }
  QRect TrackRect() const { return trackRect_; }
  // A user-drawn thumb never starts a drag unless this is set; then it is hit
  // where it is drawn and follows the mouse like a built-in one.
  bool DragDrawnThumbs() const { return dragDrawnThumbs_; }
  void SetDragDrawnThumbs(bool v) { dragDrawnThumbs_ = v; }
  // Hit rectangles of the thumbs; empty for user-drawn thumbs that do not drag.
  QRect LowerThumbRect() const;
  QRect UpperThumbRect() const;
  // Where a thumb at the given position is drawn (for every thumb style).
  QRect ThumbRectAt(int position) const;
  // The value under a point of the widget, unclamped.
  int ValueAt(const QPoint& p) const;

  QSize sizeHint() const override;

  TNotifyEvent OnChange;
  TNotifyEvent OnPaint;
  TDrawTrackEvent OnDrawTrack;
  TDrawThumbEvent OnDrawThumb;
  TDrawTickEvent OnDrawTick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TKeyEvent OnKeyDown;

 protected:
  virtual void UpdateTrackRect();
  virtual void DrawTrack(QPainter& canvas);
  virtual void DoDrawTrack(QPainter& canvas);
  virtual void UpdateTickImage();
  virtual void DrawTicks(QPainter& canvas);
  virtual void DoDrawTick(QPainter& canvas, int x, int y, int position);
  virtual void UpdateThumbImage();
  virtual void DrawThumbs(QPainter& canvas);
  virtual void DoDrawThumb(QPainter& canvas, int x, int y);
  virtual void UpdateDitherImage();
  virtual void DoChange();

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool Horizontal() const { return orientation_ == toHorizontal; }
  bool RectangleThumb() const;
  bool HitsThumbs() const;
  bool PointerThumb() const;
  qint64 Range() const;
  int ScalePoint(int position) const;
  QSize ThumbImageSize() const;
  QRect LineRect() const;
  QRegion ThumbArea() const;
  void StorePosition(int& field, int v);
  void ApplyGeometryChange();
  void DrawTickAt(QPainter& canvas, int s, int across, int p);
  void DrawThumbImage(QPainter& canvas, const QRect& at);
  void PressOnThumb(bool upper, const QPoint& p, Qt::KeyboardModifiers mods);
  bool AdjustPosition(bool upper, int delta);

  int max_ = 20;
  int min_ = 0;
  int positionL_ = 0;
  int positionU_ = 10;
  bool secondThumb_ = false;
  int smallChange_ = 1;
  int largeChange_ = 2;
  TOrientation orientation_ = toVertical;
  int trackSize_ = 10;
  TTrackStyle trackStyle_ = trLowered;
  QColor trackColor_ = Qt::white;
  int tickSize_ = 6;
  TTickStyle tickStyle_ = tiRaisedSquare;
  QColor tickColor_;
  TTickOrientation tickOrientation_ = toBoth;
  int tickInterval_ = 1;
  int thumbSize_ = 20;
  TThumbStyle thumbStyle_ = tsRaisedRectangle;
  QColor thumbColor_;
  bool ditherThumb_ = true;
  bool dragDrawnThumbs_ = false;
  bool ctl3D_ = true;
  bool trackingL_ = false;
  bool trackingU_ = false;

  int trackOffset_ = 0;
  QRect trackRect_;
  QImage thumbImage_;
  QImage tickImage_;
  QImage ditherImage_;
};
