// The synthetic media the other tests rely on: every container variant must
// carry readable frame numbers, the colour bars and the tone after encoding.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "support/MediaFactory.h"

namespace {

struct VariantCase {
  const char* Name;
  MediaSpec Spec;
  int Frames;
};

void ExpectPatternReadsBack(const MediaSpec& spec, int frames) {
  const std::string clip = TestMedia::Get(spec);
  const TestMedia::VideoStats v = TestMedia::ScanVideo(clip);
  ASSERT_TRUE(v.Ok) << clip;
  EXPECT_EQ(v.Width, spec.Width);
  EXPECT_EQ(v.Height, spec.Height);
  ASSERT_EQ(v.Frames, frames);
  for (int i = 0; i < v.Frames; ++i)
    EXPECT_EQ(v.Numbers[size_t(i)], i) << "frame " << i << " of " << clip;

  TBitmap bmp;
  ASSERT_TRUE(TestMedia::DecodeFrame(clip, frames / 2, bmp));
  EXPECT_EQ(TestMedia::ReadFrameNumber(bmp), frames / 2);
  for (int band = 0; band < 4; ++band)
    EXPECT_TRUE(
        TestMedia::ColourNear(TestMedia::BandSample(bmp, band), TestMedia::BandColour(band)))
        << "band " << band << " of " << clip;
}

void ExpectTone(const MediaSpec& spec) {
  const TestMedia::AudioStats a = TestMedia::ScanAudio(TestMedia::Get(spec));
  ASSERT_TRUE(a.Ok);
  EXPECT_EQ(a.SampleRate, spec.SampleRate);
  EXPECT_EQ(a.Channels, spec.Channels);
  // Encoder delay and padding add a few frames at most.
  EXPECT_NEAR(a.Duration, spec.Duration, 0.15);
  EXPECT_NEAR(a.PitchHz, spec.ToneHz, spec.ToneHz * 0.03);
  EXPECT_NEAR(a.Rms, spec.ToneLevel / std::sqrt(2.0), 0.05);
}

}  // namespace

TEST(TestMedia, FrameNumbersColoursAndToneSurviveEveryContainer) {
  const VariantCase cases[] = {
      {"mp4", MediaSpec::Mp4(), 50},
      {"avi", MediaSpec::Avi(), 50},
      {"mkv", MediaSpec::Mkv(), 50},
      {"ts", MediaSpec::Ts(), 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ExpectPatternReadsBack(c.Spec, c.Frames);
    ExpectTone(c.Spec);
  }
}

TEST(TestMedia, AudioOnlyContainersCarryTheTone) {
  ExpectTone(MediaSpec::Wav());
  ExpectTone(MediaSpec::Mp3());
  ExpectTone(MediaSpec::AudioOnly());
  ExpectTone(MediaSpec::Mp4().Audio(48000, 6));
  EXPECT_FALSE(TestMedia::ScanVideo(TestMedia::Get(MediaSpec::Wav())).Ok);
  EXPECT_FALSE(TestMedia::ScanAudio(TestMedia::Get(MediaSpec::VideoOnly())).Ok);
}

TEST(TestMedia, OddSizesAndNtscRate) {
  ExpectPatternReadsBack(MediaSpec::Avi().Size(321, 241).Seconds(1), 25);
  const MediaSpec ntsc = MediaSpec::Mp4().Fps(30000, 1001).Seconds(1);
  ExpectPatternReadsBack(ntsc, 30);
  EXPECT_NEAR(TestMedia::ScanVideo(TestMedia::Get(ntsc)).FrameRate, 29.97, 0.01);
}

TEST(TestMedia, ReorderedFramesReadBackInPresentationOrder) {
  ExpectPatternReadsBack(MediaSpec::Mp4().Seconds(1).NoAudio(), 25);
  MediaSpec withB = MediaSpec::Mp4().Seconds(1).NoAudio();
  withB.BFrames = 2;
  ExpectPatternReadsBack(withB, 25);
  withB.VideoCodec = "mpeg4";
  ExpectPatternReadsBack(withB, 25);
}

TEST(TestMedia, SubtitleCuesInMatroskaAndMp4) {
  for (const MediaSpec& spec : {MediaSpec::Mkv().Subtitles("subrip").Seconds(3),
                                MediaSpec::Mp4().Subtitles("mov_text").Seconds(3)}) {
    const std::vector<TestMedia::SubtitleCue> cues = TestMedia::ScanSubtitles(TestMedia::Get(spec));
    ASSERT_EQ(cues.size(), 3u) << spec.Format;
    for (size_t i = 0; i < cues.size(); ++i) {
      EXPECT_EQ(cues[i].Text, "Cue " + std::to_string(i));
      EXPECT_NEAR(cues[i].Start, double(i),
                  0.05);  // Matroska shifts all streams past the audio priming
    }
    // The cues do not disturb the picture.
    EXPECT_EQ(TestMedia::ScanVideo(TestMedia::Get(spec)).Frames, 75);
  }
}

TEST(TestMedia, FrameAtTimeIsTheFrameOnShow) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4());
  TBitmap bmp;
  ASSERT_TRUE(TestMedia::DecodeFrameAt(clip, 0, bmp));
  EXPECT_EQ(TestMedia::ReadFrameNumber(bmp), 0);
  ASSERT_TRUE(TestMedia::DecodeFrameAt(clip, 1'000'000, bmp));
  EXPECT_EQ(TestMedia::ReadFrameNumber(bmp), 25);
  ASSERT_TRUE(TestMedia::DecodeFrameAt(clip, 1'030'000, bmp));
  EXPECT_EQ(TestMedia::ReadFrameNumber(bmp), 25);
}

TEST(TestMedia, LongTinyClip) {
  const MediaSpec spec =
      MediaSpec::Mp4().Size(16, 16).Fps(1).Seconds(31 * 60).Audio(8000, 1).Tone(100, 0.01);
  EXPECT_NEAR(TestMedia::ContainerDuration(TestMedia::Get(spec)), 31 * 60, 1.5);
}

TEST(TestMedia, MetadataTagsAreWritten) {
  const std::string clip = TestMedia::Get(
      MediaSpec::Mp3().Seconds(0.5).Tag("title", "Synthetic").Tag("artist", "Nobody"));
  EXPECT_TRUE(std::filesystem::file_size(clip) > 0);
  EXPECT_NE(clip, TestMedia::Get(MediaSpec::Mp3().Seconds(0.5)));
}

TEST(TestMedia, DamagedCopiesDecodeLessOrNothing) {
  const MediaSpec spec = MediaSpec::Mp4();
  const TestMedia::VideoStats half = TestMedia::ScanVideo(TestMedia::Truncated(spec, 0.5));
  EXPECT_LT(half.Frames, 50);
  TestMedia::ScanVideo(TestMedia::Corrupted(spec));  // must not crash
  EXPECT_FALSE(TestMedia::ScanVideo(TestMedia::Garbage(4096)).Ok);
  EXPECT_FALSE(TestMedia::ScanVideo(TestMedia::MissingFile()).Ok);
  EXPECT_EQ(std::filesystem::file_size(TestMedia::WavOfSize(1024)), 1024u);
}

TEST(TestMedia, TwoWritersOfOneClipDoNotCollide) {
  const MediaSpec spec = MediaSpec::Wav().Seconds(0.3).Tag(
      "comment", std::to_string(::getpid()) + "-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string a, b;
  std::thread t([&] { a = TestMedia::Get(spec); });
  b = TestMedia::Get(spec);
  t.join();
  EXPECT_EQ(a, b);
  EXPECT_TRUE(TestMedia::ScanAudio(a).Ok);
  std::filesystem::remove(a);
}
