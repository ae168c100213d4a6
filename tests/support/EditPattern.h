// The edit pattern: the picture of the clips that end-to-end checks of the
// editing convert, and the readers that find its parts again in a converted
// picture, wherever crop, scaling and bars have put them.
//
// The picture of frame n, w x h (parts placed in eighths of the picture,
// rounded up to whole pixels, so that they keep their place through scaling;
// the margin of an eighth around them lets a crop of up to an eighth on each
// side keep every part whole; EditCodeCell and EditPatch give the exact
// pixels):
//   background  EditBackground (mid grey) wherever no part lies, so that the
//               picture stands out against black bars;
//   code row    rows h/8 .. 3h/8, columns w/8 .. 7w/8: EditCodeBits equal cells;
//               cell i (left to right) is white when bit EditCodeBits-1-i of n is
//               set, else black;
//   patches     rows h/2 .. 3h/4, columns w/8 .. 7w/8: EditPatchCount equal
//               patches of the colours EditPatchColour(0 ..);
//   free band   rows 3h/4 .. h: background only, for the checks' watermarks.
// A clip with this picture: TestMedia::Get(MediaSpec::Mp4().ForEdits()).
//
// Reading goes through a TPictureMap, which says which part of the source
// picture an output picture shows and where: one reader serves the plain
// conversion, crops, every zoom and any output size.
//
//   TPictureMap map = TPictureMap::Stretched(160, 120, 176, 144);
//   TestMedia::ForEachFrame(out, [&](const TBitmap& pic, double t) {
//     int n = TestMedia::ReadEditFrameNumber(pic, map);          // source frame shown
//     Rgb wm = TestMedia::AreaColour(pic, map, {20, 100, 16, 12}); // what lies there
//     return true;
//   });
//
// Stateless functions on bitmaps the caller owns; any thread.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/libav/FrameBitmap.h"
#include "support/MediaFactory.h"

namespace TestMedia {

// A rectangle in pixels (fractions allowed: parts of a scaled picture).
struct TArea {
  double X = 0, Y = 0, W = 0, H = 0;
  double Right() const { return X + W; }
  double Bottom() const { return Y + H; }
};

// Of a Width x Height source picture, the part `Shown` (source pixels)
// appears stretched over `Placed` of the output picture (output pixels).
struct TPictureMap {
  int Width = 0, Height = 0;
  TArea Shown;
  TArea Placed;

  // The whole w x h source over the whole ow x oh output.
  static TPictureMap Stretched(int w, int h, int ow, int oh);
  // An output of the source's own size and nothing moved.
  static TPictureMap Same(int w, int h) { return Stretched(w, h, w, h); }
  // The same output showing the source without the given margins.
  TPictureMap Cropped(int left, int top, int right, int bottom) const;

  // Where source point (x, y) lies in the output.
  double X(double x) const { return Placed.X + (x - Shown.X) * Placed.W / Shown.W; }
  double Y(double y) const { return Placed.Y + (y - Shown.Y) * Placed.H / Shown.H; }
  TArea Map(const TArea& a) const;
};

constexpr int EditCodeBits = 12;  // frame numbers 0 .. 4095
constexpr int EditPatchCount = 4;
constexpr Rgb EditBackground{128, 128, 128};

// The parts of a w x h pattern picture, in its pixels.
TArea EditCodeCell(int cell, int w, int h);
TArea EditPatch(int patch, int w, int h);
// The free band's rectangle.
TArea EditFreeBand(int w, int h);
Rgb EditPatchColour(int patch);

// Draws the pattern of frame n into `bmp` (its size is kept).
void DrawEditPattern(TBitmap& bmp, int n);

// Average colour of the inner half of source area `a` where the map puts it
// (the edges, blurred by scaling and lossy coding, do not count).
Rgb AreaColour(const TBitmap& out, const TPictureMap& map, const TArea& a);
// The frame number the code row shows; -1 when a cell is not clearly black
// or white (no pattern there, or something drawn over it).
int ReadEditFrameNumber(const TBitmap& out, const TPictureMap& map);

// True when every component is below 40 (a bar, after lossy coding).
bool IsBlack(const Rgb& c);
// The picture inside black bars: found from the middle row and the middle
// column inwards, the first pixels that are not black. The whole bitmap
// when there are no bars.
TArea PictureArea(const TBitmap& out);

// The sharpest step of brightness along row y (averaged over rows y-1 .. y+1)
// within `window` pixels of `nearX`: the x such that the step lies between
// pixels x-1 and x. Compare it with the map's X of a boundary of the source.
double EdgeAlongRow(const TBitmap& out, int y, double nearX, int window = 8);
// The same along column x, for a boundary at a y.
double EdgeAlongColumn(const TBitmap& out, int x, double nearY, int window = 8);

// What one output picture shows: the source frame's number and the colour
// of each probe area (source pixels, through the map), in probe order.
struct TFrameRead {
  double Seconds = 0;  // from the file's start
  int Number = -1;
  std::vector<Rgb> Probes;
};
// Every picture of the file's first video stream, in the decoder's order.
std::vector<TFrameRead> ReadEditFrames(const std::string& path, const TPictureMap& map,
                                       const std::vector<TArea>& probes = {});

// Source frame number -> its time in seconds from the file's start, for a
// clip of the edit pattern (as ReadEditFrames reads it at its own size).
std::map<int, double> EditFrameTimes(const std::string& path);

// Writes a 24-bit BMP file of w x h pixels of one colour; false when the
// file cannot be written.
bool WriteSolidBmp(const std::string& path, int w, int h, const Rgb& colour);

}  // namespace TestMedia
