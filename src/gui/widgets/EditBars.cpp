#include "gui/widgets/EditBars.h"

#include <QPainter>

#include <algorithm>

#include "controls/Tracker2.h"
#include "gui/common/Theme.h"

namespace editbars {

namespace {

constexpr int kTrackPictureHeight = 12;
constexpr int kPlayThumbHeight = 23;
constexpr int kRangeThumbHeight = 18;
constexpr int kVolumeThumb = 11;
constexpr int kVolumeTrackHeight = 8;

// A rectangle from its left-top to its right-bottom corner, both excluded
// edges on the right and bottom; nothing when empty.
void FillEdges(QPainter* canvas, int left, int top, int right, int bottom, const QColor& colour) {
  if (right > left && bottom > top)
    canvas->fillRect(QRect(left, top, right - left, bottom - top), colour);
}

QPixmap PlayTrack(const TTrackBar2* bar) {
  return theme::Artwork("seek_track", QSize(bar->width() - kPlayThumbWidth, kTrackPictureHeight));
}

void BarDefaults(TTrackBar2* bar) {
  bar->SetOrientation(toHorizontal);
  bar->SetTickStyle(tiUserDrawn);  // no ticks: nobody draws them
  bar->setFocusPolicy(Qt::NoFocus);
}

}  // namespace

void SetUpPlayBar(TTrackBar2* bar, const TPlayBarLook& look) {
  BarDefaults(bar);
  bar->SetTrackStyle(trUserDrawn);
  bar->SetThumbStyle(tsUserDrawn);
  bar->SetThumbSize(kPlayThumbWidth);
  bar->OnDrawTrack = [look](TTrackBar2* b, QPainter* canvas) {
    canvas->drawPixmap(look.TrackX, 2, PlayTrack(b));
  };
  bar->OnDrawThumb = [look](TTrackBar2* b, QPainter* canvas, int x, int y) {
    FillEdges(canvas, 0, 0, b->width(), 20, kBackground);
    canvas->drawPixmap(1, 2, PlayTrack(b));
    FillEdges(canvas, 5, 6, x + 10, y + 7, kPlayed);
    FillEdges(canvas, x + 13, 5, look.UnplayedRight, y + 8, kUnplayed);
    canvas->drawPixmap(x + 2, y - look.ThumbRise,
                       theme::Artwork("seek_thumb", QSize(kPlayThumbWidth, kPlayThumbHeight)));
  };
}

void SetUpVolumeBar(TTrackBar2* bar) {
  BarDefaults(bar);
  bar->SetTrackStyle(trUserDrawn);
  bar->SetThumbStyle(tsUserDrawn);
  bar->SetThumbSize(kVolumeThumb);
  const auto track = [](const TTrackBar2* b) {
    return theme::Artwork("volume_track", QSize(b->width() - 2, kVolumeTrackHeight));
  };
  bar->OnDrawTrack = [track](TTrackBar2* b, QPainter* canvas) {
    canvas->drawPixmap(1, 4, track(b));
  };
  // The heard part light up to the thumb, the rest dark, on the track's
  // middle rows.
  bar->OnDrawThumb = [track](TTrackBar2* b, QPainter* canvas, int x, int y) {
    FillEdges(canvas, 0, 0, b->width(), b->height(), kBackground);
    canvas->drawPixmap(1, 4, track(b));
    FillEdges(canvas, 4, 6, x + 2, 10, kPlayed);
    FillEdges(canvas, x + kVolumeThumb, 6, b->width() - 4, 10, kUnplayed);
    canvas->drawPixmap(x, y, theme::Artwork("volume_thumb", QSize(kVolumeThumb, kVolumeThumb)));
  };
}

void SetUpRangeBar(TTrackBar2* bar, std::function<int()> leftX, std::function<int()> rightX,
                   std::function<int()> trackWidth) {
  BarDefaults(bar);
  bar->SetSecondThumb(true);
  bar->SetTrackStyle(trUserDrawn);
  bar->SetThumbStyle(tsUserDrawn);
  bar->SetThumbSize(kRangeThumbWidth);
  bar->OnDrawTrack = [](TTrackBar2*, QPainter*) {};
  bar->OnDrawThumb = [leftX, rightX, trackWidth](TTrackBar2* b, QPainter* canvas, int, int y) {
    const int l = leftX(), r = rightX();
    FillEdges(canvas, 0, y - 6, b->width(), y + 10, kBackground);
    // The groove the thumbs run on, so the part left out shows too.
    FillEdges(canvas, kRangeThumbWidth / 2, y + 3, trackWidth() + kRangeThumbWidth / 2, y + 5,
              kUnplayed);
    FillEdges(canvas, l + 10, y + 2, r + 2, y + 6, kChosen);
    const QSize size(kRangeThumbWidth, kRangeThumbHeight);
    const bool on = b->isEnabled();
    if (r <= trackWidth())
      canvas->drawPixmap(r, y - 4, theme::Artwork(on ? "range_end" : "range_off", size));
    if (l >= 0)
      canvas->drawPixmap(l, y - 4, theme::Artwork(on ? "range_start" : "range_off", size));
  };
}

void SetUpEffectBar(TTrackBar2* bar, int min, int max) {
  BarDefaults(bar);
  bar->SetTrackStyle(trLowered);
  bar->SetTrackSize(4);
  bar->SetThumbStyle(tsRaisedRectangle);
  bar->SetThumbSize(18);
  bar->SetMin(min);
  bar->SetMax(max);
}

void SetUpRoundBar(TTrackBar2* bar, int thumbSize, bool ground) {
  bar->SetTrackStyle(trUserDrawn);
  bar->SetThumbStyle(tsUserDrawn);
  bar->SetTickStyle(tiUserDrawn);
  bar->SetThumbSize(thumbSize);
  bar->setFocusPolicy(Qt::NoFocus);
  bar->OnDrawTrack = [ground](TTrackBar2* b, QPainter* canvas) {
    const QRect r = b->rect();
    if (ground) canvas->fillRect(r, kPreviewGround);
    const int mid = r.height() / 2;
    canvas->setRenderHint(QPainter::Antialiasing);
    canvas->setPen(QColor(60, 80, 20));
    canvas->setBrush(QColor(74, 101, 0));
    canvas->drawRoundedRect(QRect(2, mid - 3, r.width() - 4, 6), 3, 3);
    const int to = b->ThumbRectAt(b->PositionL()).center().x();
    const int from = b->SecondThumb() ? to : 5;
    const int end = b->SecondThumb() ? b->ThumbRectAt(b->PositionU()).center().x() : to;
    if (end <= from && !b->SecondThumb()) return;
    canvas->setPen(Qt::NoPen);
    canvas->setBrush(b->isEnabled() ? QColor(242, 145, 38) : QColor(160, 150, 130));
    canvas->drawRoundedRect(QRect(from, mid - 2, std::max(end - from, 1), 4), 2, 2);
  };
  bar->OnDrawThumb = [](TTrackBar2* b, QPainter* canvas, int x, int) {
    canvas->setRenderHint(QPainter::Antialiasing);
    const int d = std::min(b->ThumbSize(), b->height() - 4);
    const QRect knob(x + (b->ThumbSize() - d) / 2, b->height() / 2 - d / 2, d, d);
    canvas->setPen(QColor(45, 94, 168));
    canvas->setBrush(b->isEnabled() ? QColor(255, 255, 255) : QColor(220, 220, 220));
    canvas->drawEllipse(knob);
  };
}

}  // namespace editbars
