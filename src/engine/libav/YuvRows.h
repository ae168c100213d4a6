// Exact conversion between planar YUV 4:2:0 (BT.601, limited range, as
// decoders deliver it) and 24-bit blue-green-red rows, one row pair (one
// chroma row) at a time, so that callers can convert any band of a picture
// on any thread and get the same pixels as a whole-picture pass.
//
// The arithmetic is fixed-point and written out in the portable forms below;
// the wide forms (512-bit vectors, chosen at run time) give identical bytes.
// Picture to bitmap: each chroma sample serves its 2x2 block of pixels.
// Bitmap to picture: each chroma sample comes from the sum of its 2x2 block;
// a block cut by an odd width or height repeats its last column or row.
// Stateless; any thread.
#pragma once

#include <cstdint>

namespace yuv_rows {

// One row pair of a 4:2:0 picture: luma rows y0 and y1, their chroma rows u
// and v, and the matching bitmap rows bgr0 and bgr1, `width` pixels each.
// For the last row of an odd height pass the same row as both members.
struct TRowPair {
  const std::uint8_t* Y0;
  const std::uint8_t* Y1;
  const std::uint8_t* U;
  const std::uint8_t* V;
  std::uint8_t* Bgr0;
  std::uint8_t* Bgr1;
  int Width;
};
struct TBgrPair {
  const std::uint8_t* Bgr0;
  const std::uint8_t* Bgr1;
  std::uint8_t* Y0;
  std::uint8_t* Y1;
  std::uint8_t* U;
  std::uint8_t* V;
  int Width;
};

// The fixed-point coefficients both forms use (BT.601, limited range).
namespace coef {
// Picture to bitmap, Q14: luma scale 255/219; chroma to red, green, blue
// (blue's 2.017 is 1 + BlueU, since 2.017 in Q14 does not fit 16 bits).
constexpr int Luma = 19077, RedV = 26149, GreenU = 6419, GreenV = 13320, BlueU = 16666;
// Bitmap to picture: luma weights of red, green, blue in Q16; chroma
// weights in Q15 (signs applied where they are used).
constexpr int YRed = 16829, YGreen = 33039, YBlue = 6416;
constexpr int URed = 4857, UGreen = 9535, UBlue = 14392;
constexpr int VRed = 14392, VGreen = 12052, VBlue = 2341;
}  // namespace coef

// Picture rows to bitmap rows.
void ToBgr(const TRowPair& rows);
// Bitmap rows to picture rows.
void FromBgr(const TBgrPair& rows);

// The forms behind ToBgr and FromBgr, for tests to hold against each other.
// The portable forms start at pixel `from` (even), so that the wide forms
// can leave them the end of a row that fills no whole vector.
void ToBgrPortable(const TRowPair& rows, int from = 0);
void FromBgrPortable(const TBgrPair& rows, int from = 0);
// Only when WideAvailable().
void ToBgrWide(const TRowPair& rows);
void FromBgrWide(const TBgrPair& rows);
bool WideAvailable();

}  // namespace yuv_rows
