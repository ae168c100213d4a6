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
  using TKeyEvent =
      std::function<void(TTrackBar2* Sender, int Key, Qt::KeyboardModifiers Shift)>;

  explicit TTrackBar2(QWidget* parent = nullptr);
  ~TTrackBar2() override;

  int Max() const { return FMax; }
  void SetMax(int v);
  int Min() const { return FMin; }
  void SetMin(int v);
  int PositionL() const { return FPositionL; }
  void SetPositionL(int v);
  int PositionU() const { return FPositionU; }
  void SetPositionU(int v);
  bool SecondThumb() const { return FSecondThumb; }
  void SetSecondThumb(bool v);
  int SmallChange() const { return FSmallChange; }
  void SetSmallChange(int v) { FSmallChange = v; }
  int LargeChange() const { return FLargeChange; }
  void SetLargeChange(int v) { FLargeChange = v; }
  TOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TOrientation v);

  int TrackSize() const { return FTrackSize; }
  void SetTrackSize(int v);
  TTrackStyle TrackStyle() const { return FTrackStyle; }
  void SetTrackStyle(TTrackStyle v);
  QColor TrackColor() const { return FTrackColor; }
  void SetTrackColor(const QColor& v);

  int TickSize() const { return FTickSize; }
  void SetTickSize(int v);
  TTickStyle TickStyle() const { return FTickStyle; }
  void SetTickStyle(TTickStyle v);
  QColor TickColor() const { return FTickColor; }
  void SetTickColor(const QColor& v);
  TTickOrientation TickOrientation() const { return FTickOrientation; }
  void SetTickOrientation(TTickOrientation v);
  // Below 1 no ticks are drawn (the tick loop would never end).
  int TickInterval() const { return FTickInterval; }
  void SetTickInterval(int v);

  int ThumbSize() const { return FThumbSize; }
  void SetThumbSize(int v);
  TThumbStyle ThumbStyle() const { return FThumbStyle; }
  void SetThumbStyle(TThumbStyle v);
  QColor ThumbColor() const { return FThumbColor; }
  void SetThumbColor(const QColor& v);
  bool DitherThumb() const { return FDitherThumb; }
  void SetDitherThumb(bool v);
  // Switching the 3-D look on restyles flat-looking tracks and thumbs.
  bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool v);

  bool TrackingL() const { return FTrackingL; }
  bool TrackingU() const { return FTrackingU; }

  int UsableLength() const;
  int ThumbOffset() const;
  int TrackOffset() const { return FTrackOffset; }
  QRect TrackRect() const { return FTrackRect; }
  // Hit rectangles of the built-in thumbs; empty for user-drawn thumbs.
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
  bool Horizontal() const { return FOrientation == toHorizontal; }
  bool RectangleThumb() const;
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

  int FMax = 20;
  int FMin = 0;
  int FPositionL = 0;
  int FPositionU = 10;
  bool FSecondThumb = false;
  int FSmallChange = 1;
  int FLargeChange = 2;
  TOrientation FOrientation = toVertical;
  int FTrackSize = 10;
  TTrackStyle FTrackStyle = trLowered;
  QColor FTrackColor = Qt::white;
  int FTickSize = 6;
  TTickStyle FTickStyle = tiRaisedSquare;
  QColor FTickColor;
  TTickOrientation FTickOrientation = toBoth;
  int FTickInterval = 1;
  int FThumbSize = 20;
  TThumbStyle FThumbStyle = tsRaisedRectangle;
  QColor FThumbColor;
  bool FDitherThumb = true;
  bool FCtl3D = true;
  bool FTrackingL = false;
  bool FTrackingU = false;

  int FTrackOffset = 0;
  QRect FTrackRect;
  QImage FThumbImage;
  QImage FTickImage;
  QImage FDitherImage;
};
