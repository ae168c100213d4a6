// TPictureView: a picture area of the crop and progress windows: cleared to its
// ground colour, with a picture stretched into the rectangle that fits it
// (FitPicture), or a line of text when there is no picture to show.
//
// Owns a copy of its picture. User-interface thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

class TBitmap;

// The bitmap's pixels as an image of their own (the bitmap may change
// afterwards); a null image for an empty bitmap.
QImage BitmapImage(const TBitmap& bitmap);

class TPictureView : public QWidget {
  Q_OBJECT

 public:
  explicit TPictureView(QWidget* parent = nullptr);

  // A null picture clears the area.
  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return picture_; }
  void SetMessage(const QString& text);
  const QString& Message() const { return message_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  QString message_;
};
