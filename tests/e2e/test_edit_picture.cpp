// Crop, picture effects and the zoom modes, read back from the output's own
// pixels through every container family: where the source's parts landed
// (edges, bars, the picture's area), which source frame each picture shows,
// and the colours the written formulas of the effects give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "e2e/EditRun.h"

using namespace e2e;
using TestMedia::EdgeAlongColumn;
using TestMedia::EdgeAlongRow;
using TestMedia::ReadEditFrames;

namespace {

class EditFamilies : public EditTest, public ::testing::WithParamInterface<TFamily> {};

int Clamp(double v) { return int(std::clamp(v, 0.0, 255.0)); }

// The effects as written for the program: saturation pulls each channel
// toward or away from the pixel's grey, brightness then contrast (pivot 170)
// map it, the exposure curve follows.
Rgb Effects(const Rgb& c, int brightness, int contrast, int saturation, int exposure) {
  int channels[3] = {c.R, c.G, c.B};
  if (brightness != 255 || contrast != 0 || saturation != 255) {
    const int k100 = contrast == 100 ? 99 : contrast;
    const double k =
        k100 > 0 ? 1 / std::cos(k100 * std::numbers::pi / 200) : std::cos(k100 * 0.015708);
    auto weight = [&](int i) { return int(std::uint32_t((i + 1) * saturation) >> 8); };
    const int grey = (c.R + c.G + c.B) / 3;
    for (int& v : channels) {
      const int x = Clamp(grey - weight(grey) + weight(v));
      const int b = Clamp((brightness * x + 256 - brightness) / 256);
      v = Clamp(std::nearbyint((b - 170) * k + 170));
    }
  }
  if (exposure != 0) {
    for (int& v : channels) {
      const double t = (v / -128.0) * (exposure / 128.0);
      const std::int64_t r = std::llrint(256 * (1 - std::exp(t)));
      v = Clamp(double(exposure >= 0 ? v + ((r * (255 - v)) >> 8) : v - (((-r) * (255 - v)) >> 8)));
    }
  }
  return {channels[0], channels[1], channels[2]};
}

// The source's parts lie where the map puts them: the patch edges along
// the patches' middle row, and down the first code cell (always black for
// these short clips) the edges of the code row and of the first patch.
void ExpectPartsWhereMapped(const TBitmap& pic, const TPictureMap& map) {
  const int w = map.Width, h = map.Height;
  const double scale = std::max(map.Placed.W / map.Shown.W, map.Placed.H / map.Shown.H);
  const double tolerance = 1.5 + 0.5 * scale;
  const TArea first = TestMedia::EditPatch(0, w, h);
  std::vector<double> xs;
  for (int k = 0; k < TestMedia::EditPatchCount; ++k) xs.push_back(TestMedia::EditPatch(k, w, h).X);
  xs.push_back(TestMedia::EditPatch(TestMedia::EditPatchCount - 1, w, h).Right());
  const int row = int(map.Y(first.Y + first.H / 2));
  for (double x : xs) {
    if (x <= map.Shown.X || x >= map.Shown.Right()) continue;
    EXPECT_NEAR(EdgeAlongRow(pic, row, map.X(x)), map.X(x), tolerance) << "edge at source x " << x;
  }
  const TArea cell = TestMedia::EditCodeCell(0, w, h);
  const int column = int(map.X(cell.X + cell.W / 2));
  for (double y : {cell.Y, cell.Bottom(), first.Y, first.Bottom()}) {
    if (y <= map.Shown.Y || y >= map.Shown.Bottom()) continue;
    EXPECT_NEAR(EdgeAlongColumn(pic, column, map.Y(y)), map.Y(y), tolerance)
        << "edge at source y " << y;
  }
}

}  // namespace

// A crop (even margins, up to an eighth of the picture) and all four effects
// at once: the kept part of the source fills the picture, every picture
// shows its source frame, and each patch and the background have the
// colours the formulas give.
TEST_P(EditFamilies, CropAndEffectsGiveTheFormulasPixels) {
  const TFamily& family = GetParam();
  UseFamily(family);
  constexpr int w = 160, h = 120;
  constexpr int brightness = 300, contrast = 20, saturation = 380, exposure = 40;
  const std::string clip = TestMedia::Get(EditClip(w, h, 1));
  const std::string out = Convert(clip, [&](TlvFilesRecord& r) {
    r.CropTop = 8;
    r.CropBottom = 12;
    r.CropLeft = 16;
    r.CropRight = 8;
    r.Brightness = brightness;
    r.Contrast = contrast;
    r.Saturation = saturation;
    r.Exposure = exposure;
  });
  ASSERT_FALSE(out.empty());
  const TPictureMap map = FamilyMap(family, w, h).Cropped(16, 8, 8, 12);

  std::vector<TArea> probes;
  for (int k = 0; k < TestMedia::EditPatchCount; ++k)
    probes.push_back(TestMedia::EditPatch(k, w, h));
  probes.push_back({24, 96, 100, 16});  // background of the free band
  const auto frames = ReadEditFrames(out, map, probes);
  ExpectSourceFrames(frames, 0, kFps - 1);
  for (size_t k = 0; k < probes.size(); ++k) {
    const Rgb source = k < 4 ? TestMedia::EditPatchColour(int(k)) : TestMedia::EditBackground;
    const Rgb want = Effects(source, brightness, contrast, saturation, exposure);
    for (const auto& f : frames) {
      if (f.Number != 0 && f.Number != kFps / 2 && f.Number != kFps - 1) continue;
      const Rgb got = f.Probes[k];
      EXPECT_TRUE(TestMedia::ColourNear(got, want, 14))
          << "part " << k << " of frame " << f.Number << ": " << got.R << "," << got.G << ","
          << got.B << " instead of " << want.R << "," << want.G << "," << want.B;
    }
  }
  TBitmap pic;
  ASSERT_TRUE(TestMedia::DecodeFrame(out, kFps / 2, pic));
  ExpectPartsWhereMapped(pic, map);
}

// The three zooms of an odd-sized wide source (175 x 97) into the format's
// frame: "full" stretches the whole picture over it, "lbox" keeps its shape
// between black bars, "pan" cuts the sides to 4:3 and fills the frame.
// Expected places, from the even-number arithmetic of the zoom modes:
//   into 320 x 240: lbox  height 2*(97*320/175 div 2) = 176, bars 2*((240-176) div 4) = 32
//                   pan   sides 2*((175 - 97*4/3) div 2 div 2) = 22 cut at each end
//   into 720 x 576: lbox  height 398, bars 2*((576-398) div 4) = 88, picture 720 x 400
//                   pan   the same 22 at each end
// The crop keeps whole pairs of colour samples: pan's 131 x 97 becomes 130 x 96.
TEST_P(EditFamilies, ZoomModesPutBarsAndPictureWhereTheArithmeticSays) {
  const TFamily& family = GetParam();
  constexpr int w = 175, h = 97;
  MediaSpec spec = MediaSpec::Avi().ForEdits().Size(w, h).Seconds(1);
  spec.AudioCodec = "pcm_s16le";  // sound exactly as long as the pictures
  const std::string clip = TestMedia::Get(spec);
  const int ow = family.FixedWidth ? family.FixedWidth : 320;
  const int oh = family.FixedHeight ? family.FixedHeight : 240;
  const int bar = ow == 320 ? 32 : 88;
  struct TZoom {
    const char* Name;
    TArea Shown, Placed;
  };
  const TZoom zooms[] = {
      {"full", {0, 0, w, h}, {0, 0, double(ow), double(oh)}},
      {"lbox", {0, 0, w, h}, {0, double(bar), double(ow), double(oh - 2 * bar)}},
      {"pan", {22, 0, 130, 96}, {0, 0, double(ow), double(oh)}},
  };
  for (const TZoom& zoom : zooms) {
    SCOPED_TRACE(zoom.Name);
    std::vector<std::pair<std::string, std::string>> settings = {{"paraZoom", zoom.Name}};
    if (!family.FixedWidth) settings.push_back({"paraVideoSize", "320x240"});
    settings.push_back({"paraFrameRate", "25"});
    UseFormat(family.Code, settings);
    const std::string out = Convert(clip);
    ASSERT_FALSE(out.empty());
    const TPictureMap map{w, h, zoom.Shown, zoom.Placed};
    const auto frames = ReadEditFrames(out, map);
    ExpectSourceFrames(frames, 0, kFps - 1);

    TBitmap pic;
    ASSERT_TRUE(TestMedia::DecodeFrame(out, kFps / 2, pic));
    ASSERT_EQ(pic.Width(), ow);
    ASSERT_EQ(pic.Height(), oh);
    const TArea area = TestMedia::PictureArea(pic);
    EXPECT_NEAR(area.Y, zoom.Placed.Y, 2);
    EXPECT_NEAR(area.Bottom(), zoom.Placed.Bottom(), 2);
    EXPECT_NEAR(area.X, 0, 2);
    EXPECT_NEAR(area.Right(), ow, 2);
    if (zoom.Placed.Y > 0) {
      const TPictureMap whole = TPictureMap::Same(ow, oh);
      EXPECT_TRUE(
          TestMedia::IsBlack(TestMedia::AreaColour(pic, whole, {0, 0, double(ow), zoom.Placed.Y})));
      EXPECT_TRUE(TestMedia::IsBlack(
          TestMedia::AreaColour(pic, whole, {0, zoom.Placed.Bottom(), double(ow), zoom.Placed.Y})));
    }
    ExpectPartsWhereMapped(pic, map);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, EditFamilies, ::testing::ValuesIn(Families()), FamilyName);
