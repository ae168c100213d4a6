// TTrimRange: the part of a file the trim window keeps, and the arithmetic of
// its two-thumb range bar: where the start and end thumbs are drawn, which
// thumb a press or a drag moves, the seconds each thumb stands for, and what
// Ok stores.
//
// The start thumb's time is scaled by the bar's whole width and the end
// thumb's by the track width (the bar less one end-thumb picture), so the end
// thumb reaches the full duration at the track's end while the start thumb
// never quite does. A duration the player cannot tell (0) leaves the bar
// without a scale: nothing here divides by it, and Ok stores the whole file.
//
// A plain value: no threads, no locks (the window's user-interface thread).
#pragma once

#include <cstdint>

// What Ok writes into the row's record.
struct TTrimResult {
  std::int64_t TrimStart = 0;   // microseconds; 0 = from the beginning
  std::int64_t TrimLength = 0;  // microseconds; 0 = up to the end
  // The row's "Trimmed Length" cell gets Seconds when ShowSeconds is set; a
  // part of no length clears the trim and leaves the cell alone.
  bool ShowSeconds = false;
  std::int64_t Seconds = 0;
};

class TTrimRange {
 public:
  // Half a thumb picture's width, rounded: a pointer at x puts the thumb's
  // left edge at x - kThumbHalf.
  static constexpr int kThumbHalf = 8;

  // Which thumbs an action moved (a bit set).
  enum TMoved : unsigned { tmNone = 0, tmStart = 1, tmEnd = 2 };

  // The bar's whole width and the end thumb picture's width.
  void SetBar(int barWidth, int endThumbWidth);
  // The player's duration; unknown (negative) counts as 0.
  void SetDuration(std::int64_t durationUs);
  // Takes a record's trim: the start in whole seconds, the end at the file's
  // end when no length is set, and both thumbs placed accordingly.
  void Load(std::int64_t trimStartUs, std::int64_t trimLengthUs);

  // A left press at x: moves the start thumb when x lies on its side of the
  // midpoint between the thumbs, then the end thumb when x lies beyond the
  // (possibly new) midpoint; x must lie on the track.
  unsigned Press(int x);
  // The pointer moved to x with the button held. Refused (false) once the
  // marked part is shorter than 2 seconds; otherwise `lowerPosition` gets the
  // bar's new lower position and `moved` the thumbs that followed.
  bool Drag(int x, int& lowerPosition, unsigned& moved);
  // The whole file; the thumbs keep their places.
  void Default();
  TTrimResult Result() const;

  std::int64_t DurationUs() const { return durationUs_; }
  std::int64_t DurationSec() const { return durationSec_; }
  bool HasDuration() const { return durationSec_ > 0; }
  std::int64_t StartSec() const { return startSec_; }
  std::int64_t EndSec() const { return endSec_; }
  int BarWidth() const { return barWidth_; }
  int TrackWidth() const { return trackWidth_; }
  int LeftThumbX() const { return leftThumbX_; }
  int RightThumbX() const { return rightThumbX_; }

 private:
  bool OnStartSide(int x) const;
  void MoveStart(int x);
  void MoveEnd(int x);
  unsigned MoveThumbs(int x, int limit);

  std::int64_t durationUs_ = 0;
  std::int64_t durationSec_ = 0;
  std::int64_t startSec_ = 0;
  std::int64_t endSec_ = 0;
  int barWidth_ = 0;
  int trackWidth_ = 0;
  int leftThumbX_ = 0;
  int rightThumbX_ = 0;
};
