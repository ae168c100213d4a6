// What the written output carries: muxer timing, pixel aspect, audio length.
#include "engine/convert/ConvertTestUtil.h"
#include "support/EditPattern.h"

using namespace convtest;

namespace {

struct PictureShape {
  int Width = 0, Height = 0;
  double Sar = 0;  // 0: not set
  double Dar() const { return Height > 0 ? (Sar > 0 ? Sar : 1.0) * Width / Height : 0; }
};

// The size and pixel shape the first video stream of `path` declares.
PictureShape ShapeOf(const std::string& path) {
  PictureShape shape;
  AVFormatContext* ctx = nullptr;
  if (OpenInputWithName(&ctx, path, nullptr, nullptr) < 0) return shape;
  FF.avformat_find_stream_info(ctx, nullptr);
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    const AVStream* st = ctx->streams[i];
    if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    shape.Width = st->codecpar->width;
    shape.Height = st->codecpar->height;
    AVRational sar = st->codecpar->sample_aspect_ratio.num ? st->codecpar->sample_aspect_ratio
                                                           : st->sample_aspect_ratio;
    shape.Sar = sar.num > 0 && sar.den > 0 ? av_q2d(sar) : 0;
    break;
  }
  CloseInputWithName(&ctx);
  return shape;
}

// Time stamp in seconds of the first packet of each kind (-1: none).
struct FirstTimes {
  double Video = -1, Audio = -1;
};

FirstTimes FirstPacketTimes(const std::string& path) {
  return {CountPackets(path, AVMEDIA_TYPE_VIDEO).FirstTime,
          CountPackets(path, AVMEDIA_TYPE_AUDIO).FirstTime};
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
// start-up delay and the last part frame must not lengthen the audio, nor
// an encoder that holds its last frame back shorten it.
TEST(ConvertOutput, TrimmedAudioMatchesTheTrimLength) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  struct Case {
    const char* name;
    Options options;
    double seconds = 1;
  } cases[] = {
      {"trim.avi", {{"acodec", "libmp3lame"}, {"t", "1"}}},
      {"trim.mp3", {{"t", "1"}}},
      {"trim_start.avi", {{"acodec", "libmp3lame"}, {"ss", "0.5"}, {"t", "1"}}},
      {"trim_22k.avi", {{"acodec", "libmp3lame"}, {"ar", "22050"}, {"t", "1"}}},
      // Keeping the sound in step must not pad it with silence past the end.
      {"trim_async.avi", {{"acodec", "libmp3lame"}, {"async", "1"}, {"t", "1"}}},
      // WMA: the decoder gives one frame fewer than was encoded.
      {"trim.wmv", {{"vcodec", "wmv2"}, {"acodec", "wmav2"}, {"t", "1"}}},
      {"whole.wmv", {{"vcodec", "wmv2"}, {"acodec", "wmav1"}}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = OutPath(c.name);
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, c.options));
    RunOk(task);
    TestMedia::AudioStats a = TestMedia::ScanAudio(out);
    ASSERT_TRUE(a.Ok);
    EXPECT_NEAR(double(a.Samples), c.seconds * a.SampleRate, 1152)
        << a.Samples << " samples at " << a.SampleRate;
    EXPECT_GT(a.Rms, 0.2);
  }
}

// A trim of a source sought by its time stamps (a transport stream, whose
// seek lands on any picture) starts from the key picture before the trim
// and drops what lies before it, pictures and sound alike: the output shows
// the trim's own picture first and every one after it, and its sound lasts
// as long as its pictures.
TEST(ConvertOutput, TransportStreamTrimStartsAtItsOwnPicture) {
  MediaSpec spec = MediaSpec::Ts().ForEdits().Size(160, 120).Seconds(3);
  spec.BFrames = 2;
  const std::string in = TestMedia::Get(spec);
  const std::map<int, double> times = TestMedia::EditFrameTimes(in);
  ASSERT_EQ(times.size(), 75u);
  int first = 0;  // the source's frame at 1.2 s on its own clock
  while (times.at(first) < 1.2 - 0.001) ++first;
  const std::string out = OutPath("ts_trim.avi");
  TCustomFFmpeg task;
  ASSERT_TRUE(OpenTask(task, in, {{"ss", "1.2"}}, out,
                       {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}, {"r", "25"}}));
  RunOk(task);
  const auto frames = TestMedia::ReadEditFrames(out, TestMedia::TPictureMap::Same(160, 120), {});
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.front().Number, first);
  EXPECT_EQ(frames.back().Number, 74);
  const TestMedia::AudioStats sound = TestMedia::ScanAudio(out);
  ASSERT_TRUE(sound.Ok);
  // The source's sound from the trim on, give or take the encoders' start-up
  // delays and whole frames (a run-up kept would add half a second).
  const TestMedia::AudioStats source = TestMedia::ScanAudio(in);
  EXPECT_NEAR(sound.Duration, source.Duration - 1.2, 0.1);
}

// The pixel shape written for the output follows the picture to the encoder:
// an aspect asked for belongs to the picture at the frame size, the input's
// own aspect keeps its pixel shape; crops, pads and scales of the filter chain
// change the encoded size but not how the picture looks.
TEST(ConvertOutput, PixelShapeFollowsCropsPadsAndScales) {
  const std::string wide = TestMedia::Get(MediaSpec::Mp4().Size(320, 180).Seconds(0.4));
  const std::string narrow = TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(0.4));
  struct Case {
    const char* name;
    const std::string& source;
    Options options;
    int width, height;
    double dar;
  } cases[] = {
      // The input's aspect: crop bands keep the pixels square.
      {"crop bands", narrow, {{"croptop", "30"}, {"cropbottom", "30"}}, 320, 180, 16.0 / 9},
      {"crop bands scaled",
       narrow,
       {{"cropleft", "40"}, {"cropright", "40"}, {"s", "160x160"}},
       160,
       160,
       1.0},
      // Bars add square pixels around the picture.
      {"pad", wide, {{"vf", "pad=320:240:0:30"}}, 320, 240, 4.0 / 3},
      {"aspect and pad", wide, {{"aspect", "16:9"}, {"vf", "pad=320:240:0:30"}}, 320, 240, 4.0 / 3},
      // A scale in the chain keeps the picture's shape.
      {"chain scale", wide, {{"vf", "scale=160:180"}}, 160, 180, 16.0 / 9},
      // The aspect asked for at the frame size, without and with a chain.
      {"aspect", narrow, {{"s", "160x120"}, {"aspect", "16:9"}}, 160, 120, 16.0 / 9},
      {"aspect then crop",
       narrow,
       {{"aspect", "16:9"}, {"vf", "crop=160:240:80:0"}},
       160,
       240,
       16.0 / 9 / 2},
      // Letterbox of a cropped picture: cut, brought to size, bars added.
      {"letterbox of a crop",
       narrow,
       {{"aspect", "320:240"}, {"vf", "crop=240:240:40:0,scale=180:180,pad=320:240:70:30"}},
       320,
       240,
       4.0 / 3},
      {"letterbox of a wide crop",
       wide,
       {{"aspect", "320:180"}, {"vf", "crop=280:180:20:0,scale=320:206,pad=320:240:0:17"}},
       320,
       240,
       4.0 / 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* container : {"shape.avi", "shape.mp4"}) {
      SCOPED_TRACE(container);
      std::string out = OutPath(container);
      TCustomFFmpeg task;
      std::string why;
      ASSERT_TRUE(OpenTask(task, c.source, {}, out, c.options, &why)) << why;
      RunOk(task);
      PictureShape shape = ShapeOf(out);
      EXPECT_EQ(shape.Width, c.width);
      EXPECT_EQ(shape.Height, c.height);
      EXPECT_NEAR(shape.Dar(), c.dar, c.dar * 0.015) << "SAR " << shape.Sar;
    }
  }
}
