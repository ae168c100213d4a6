// The looks of the windows' bars, drawn through the bars' own drawing
// events: the editing windows' playback bar (track picture, the played part
// light and the rest dark, the thumb picture), their volume bar, the trim
// window's range bar with its start and end thumbs and the effect bars; and
// the rounded bars of the main window's preview and the watermark editor.
// User-interface thread only; the pictures are the program's artwork.
#pragma once

#include <QColor>

#include <functional>

class TTrackBar2;

namespace editbars {

// The editing windows' ground.
inline const QColor kBackground(32, 75, 139);
inline const QColor kPlayed(118, 152, 202);
inline const QColor kUnplayed(36, 75, 123);
inline const QColor kChosen(255, 153, 0);

// Where a window draws its playback bar: the track picture's left edge
// when the bar draws its track, the right end of the unplayed part, and how
// far above the thumb's row the thumb picture starts.
struct TPlayBarLook {
  int TrackX = 0;
  int UnplayedRight = 0;
  int ThumbRise = 4;
};
// The playback thumb picture's width.
constexpr int kPlayThumbWidth = 13;

void SetUpPlayBar(TTrackBar2* bar, const TPlayBarLook& look);
void SetUpVolumeBar(TTrackBar2* bar);
// The trim window's range bar: both thumbs are drawn wherever `leftX` and
// `rightX` say (the bar's own positions do not place them); `trackWidth`
// hides the end thumb past the track.
constexpr int kRangeThumbWidth = 16;
void SetUpRangeBar(TTrackBar2* bar, std::function<int()> leftX, std::function<int()> rightX,
                   std::function<int()> trackWidth);
// An effect bar: a thin track and a small thumb in the built-in styles.
void SetUpEffectBar(TTrackBar2* bar, int min, int max);

// A rounded bar: a dark green track, orange from its start to the thumb (with
// two thumbs: between them), round white thumbs of `thumbSize`; the ground
// is filled with kPreviewGround when `ground` is set, else left to the
// window.
inline const QColor kPreviewGround(202, 229, 128);
void SetUpRoundBar(TTrackBar2* bar, int thumbSize, bool ground);

}  // namespace editbars
