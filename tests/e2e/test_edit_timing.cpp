// Trim and timed watermarks, read back from the output's own pictures and
// sound: which source frame every output picture shows, and on which of them
// each watermark item lies, through every container family, from sources
// whose time stamps start late or come reordered, and through quor-convert.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <memory>

#include "e2e/EditRun.h"
#include "support/ChildProcess.h"

using namespace e2e;
using TestMedia::ReadEditFrames;

namespace {

const Rgb kRed{230, 30, 30}, kBlue{30, 30, 230}, kYellow{230, 230, 30}, kMagenta{255, 0, 255};

bool Within(int n, int first, int last) { return n >= first && n <= last; }

class EditFamilies : public EditTest, public ::testing::WithParamInterface<TFamily> {};

}  // namespace

// Trim from 1 s for 2.6 s of a 4 s clip (source frames 25 .. 89) with four
// items in the free band: a picture shown in second 2 only, a text box in
// seconds 1 to 2, and two pictures shown throughout that overlap, the later
// one on top. Item times count from the source's start, not the trim's.
TEST_P(EditFamilies, TrimAndTimedWatermarksShowOnTheSourceFramesSet) {
  const TFamily& family = GetParam();
  UseFamily(family);
  const std::string clip = TestMedia::Get(EditClip());
  const std::string red = Picture("red", 24, 16, kRed);
  const std::string blue = Picture("blue", 32, 16, kBlue);
  const std::string yellow = Picture("yellow", 32, 16, kYellow);
  const std::string out = Convert(clip, [&](TlvFilesRecord& r) {
    r.TrimStart = 1000000;
    r.TrimLength = 2600000;
    r.Watermarks.push_back(std::make_unique<TWmRec>(ImageItem(red, 8, 96, 2, 2)));
    r.Watermarks.push_back(std::make_unique<TWmRec>(TextItem("I", 40, 96, 40, 16, 0xFF00FF, 1, 2)));
    r.Watermarks.push_back(std::make_unique<TWmRec>(ImageItem(blue, 88, 96)));
    r.Watermarks.push_back(std::make_unique<TWmRec>(ImageItem(yellow, 104, 96)));
  });
  ASSERT_FALSE(out.empty());

  const std::vector<TArea> probes = {
      {8, 96, 24, 16},    // the red picture
      {40, 96, 40, 16},   // the text box
      {88, 96, 16, 16},   // blue alone
      {104, 96, 16, 16},  // blue under yellow
      {120, 96, 16, 16},  // yellow alone
  };
  const auto frames = ReadEditFrames(out, FamilyMap(family, 160, 120), probes);
  ExpectSourceFrames(frames, 25, 89);
  ExpectShownOn(
      frames, 0, kRed, [](int n) { return Within(n, 50, 74); }, "picture of second 2");
  ExpectShownOn(
      frames, 1, kMagenta, [](int n) { return Within(n, 25, 74); }, "text of seconds 1-2");
  auto always = [](int) { return true; };
  ExpectShownOn(frames, 2, kBlue, always, "lower picture");
  ExpectShownOn(frames, 3, kYellow, always, "upper picture over the lower one");
  ExpectShownOn(frames, 4, kYellow, always, "upper picture");

  const TestMedia::AudioStats sound = TestMedia::ScanAudio(out);
  ASSERT_TRUE(sound.Ok);
  EXPECT_NEAR(sound.PitchHz, 440, 20);
  EXPECT_NEAR(sound.Duration, 2.6, 1.0 / kFps);
}

INSTANTIATE_TEST_SUITE_P(Formats, EditFamilies, ::testing::ValuesIn(Families()), FamilyName);

// Sources whose time stamps do not simply count from zero: reordered
// pictures (B-frames) in MP4 and AVI, a transport stream whose clock starts
// late, a video stream that starts after the sound. A text box for second 1
// of the source lies on the pictures of that second, with and without a
// trim; the output shows the source from the trim to its end.
namespace {

struct TSource {
  const char* Name;
  MediaSpec Spec;
};
void PrintTo(const TSource& s, std::ostream* os) { *os << s.Name; }

MediaSpec WithBFrames(MediaSpec spec) {
  spec.BFrames = 2;
  return spec;
}

const std::vector<TSource>& Sources() {
  static const std::vector<TSource> sources = {
      {"Mp4BFrames", WithBFrames(EditClip(160, 120, 3))},
      {"AviBFrames", WithBFrames(MediaSpec::Avi().ForEdits().Size(160, 120).Seconds(3))},
      {"MpegTs", WithBFrames(MediaSpec::Ts().ForEdits().Size(160, 120).Seconds(3))},
      {"LateVideo", EditClip(160, 120, 3).VideoLate(12)},
  };
  return sources;
}

class EditSources : public EditTest,
                    public ::testing::WithParamInterface<std::tuple<TSource, bool>> {};

std::string SourceName(const ::testing::TestParamInfo<std::tuple<TSource, bool>>& info) {
  return std::string(std::get<0>(info.param).Name) + (std::get<1>(info.param) ? "Trimmed" : "");
}

}  // namespace

TEST_P(EditSources, WatermarkWindowsFollowTheSourcesTimeLine) {
  const auto& [source, trimmed] = GetParam();
  UseFamily(Families()[0]);
  const std::string clip = TestMedia::Get(source.Spec);
  // Each source frame's own time, as the source gives it.
  const std::map<int, double> times = TestMedia::EditFrameTimes(clip);
  ASSERT_EQ(int(times.size()), int(source.Spec.Duration * kFps));
  const double trim = trimmed ? 1.2 : 0;
  int first = 0;
  while (times.at(first) < trim - 0.001) ++first;
  const std::string out = Convert(clip, [&](TlvFilesRecord& r) {
    r.TrimStart = std::int64_t(trim * 1e6);
    r.Watermarks.push_back(std::make_unique<TWmRec>(TextItem("I", 40, 96, 40, 16, 0xFF00FF, 1, 1)));
  });
  ASSERT_FALSE(out.empty());
  const auto read = ReadEditFrames(out, TPictureMap::Same(160, 120), {{40, 96, 40, 16}});
  ExpectSourceFrames(read, first, int(times.size()) - 1, times.at(0) > 0);
  auto inSecondOne = [&](int n) { return times.count(n) && int(times.at(n)) == 1; };
  ExpectShownOn(read, 0, kMagenta, inSecondOne, "text of second 1");
}

INSTANTIATE_TEST_SUITE_P(Timelines, EditSources,
                         ::testing::Combine(::testing::ValuesIn(Sources()), ::testing::Bool()),
                         SourceName);

// quor-convert takes the same way as Start: a picture for second 2 of the
// source lies on the pictures of second 2 after a trim from second 1.
TEST_F(EditTest, CommandLineTrimKeepsPicturesOnTheirSourceSeconds) {
  const std::string clip = TestMedia::Get(EditClip());
  const std::string red = Picture("red", 24, 16, kRed);
  const TChildResult run =
      TChildProcess::Run(QUOR_CONVERT,
                         {"--quiet", "--output-dir", out_, "--format", "104", "--trim", "1,2.6",
                          "--image", red + "@8,96,from=2,to=2", clip},
                         {{"QUOR_APPDATA", scratch_.Sub("appdata")}});
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  const std::string out = out_ + std::filesystem::path(clip).stem().string() + "_(new).avi";
  // The format's own choices: 320 x 240, the source stretched over it.
  const auto frames =
      ReadEditFrames(out, TPictureMap::Stretched(160, 120, 320, 240), {{8, 96, 24, 16}});
  ExpectSourceFrames(frames, 25, 89);
  ExpectShownOn(
      frames, 0, kRed, [](int n) { return Within(n, 50, 74); }, "picture of second 2");
}
