// What the written output carries: muxer timing, pixel aspect, audio length.
#include "ConvertTestUtil.h"

using namespace convtest;

namespace {

// Time stamp in seconds of the first packet of each kind (-1: none).
struct FirstTimes {
  double Video = -1, Audio = -1;
};

FirstTimes FirstPacketTimes(const std::string& path) {
  return {CountPackets(path, AVMEDIA_TYPE_VIDEO).FirstTime, CountPackets(path, AVMEDIA_TYPE_AUDIO).FirstTime};
}

}  // namespace

// The program-stream muxers delay the first packet by the preload; the
// "muxpreload" option sets that delay.
TEST(ConvertOutput, MuxPreloadShiftsTheStartOfAProgramStream) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(1));
  auto convert = [&](const Options& extra) {
    std::string out = OutPath("preload.mpg");
    TCustomFFmpeg task;
    Options options = {{"vcodec", "mpeg1video"}, {"acodec", "mp2"}};
    options.insert(options.end(), extra.begin(), extra.end());
    std::string why;
    EXPECT_TRUE(OpenTask(task, in, {}, out, options, &why)) << why;
    RunOk(task);
    return FirstPacketTimes(out);
  };
  FirstTimes byDefault = convert({});
  FirstTimes half = convert({{"muxpreload", "0.5"}});
  FirstTimes one = convert({{"muxpreload", "1.0"}});
  FirstTimes short_ = convert({{"muxpreload", "0.1"}});
  ASSERT_GE(byDefault.Video, 0);
  ASSERT_GE(byDefault.Audio, 0);
  // 0.5 s is the option's default.
  EXPECT_NEAR(half.Video, byDefault.Video, 0.01);
  EXPECT_NEAR(half.Audio, 0.5, 0.1);
  EXPECT_NEAR(one.Audio - half.Audio, 0.5, 0.02);
  EXPECT_NEAR(one.Video - half.Video, 0.5, 0.02);
  EXPECT_NEAR(half.Audio - short_.Audio, 0.4, 0.02);
  EXPECT_NEAR(short_.Audio, 0.1, 0.1);

  // A muxer without the option is not offered it (no failure, no shift).
  std::string mkv = OutPath("preload.mkv");
  TCustomFFmpeg task;
  ASSERT_TRUE(OpenTask(task, in, {}, mkv, {{"muxpreload", "1.0"}}));
  RunOk(task);
  EXPECT_NEAR(FirstPacketTimes(mkv).Video, 0, 0.05);
}

// A trimmed conversion ends its sound with its picture: the encoder's
// start-up delay and the last part frame must not lengthen the audio.
TEST(ConvertOutput, TrimmedAudioMatchesTheTrimLength) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  struct Case {
    const char* name;
    Options options;
  } cases[] = {
      {"trim.avi", {{"acodec", "libmp3lame"}, {"t", "1"}}},
      {"trim.mp3", {{"t", "1"}}},
      {"trim_start.avi", {{"acodec", "libmp3lame"}, {"ss", "0.5"}, {"t", "1"}}},
      {"trim_22k.avi", {{"acodec", "libmp3lame"}, {"ar", "22050"}, {"t", "1"}}},
      // Keeping the sound in step must not pad it with silence past the end.
      {"trim_async.avi", {{"acodec", "libmp3lame"}, {"async", "1"}, {"t", "1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = OutPath(c.name);
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, c.options));
    RunOk(task);
    TestMedia::AudioStats a = TestMedia::ScanAudio(out);
    ASSERT_TRUE(a.Ok);
    EXPECT_NEAR(double(a.Samples), double(a.SampleRate), 1152) << a.Samples << " samples at " << a.SampleRate;
    EXPECT_GT(a.Rms, 0.2);
  }
}
