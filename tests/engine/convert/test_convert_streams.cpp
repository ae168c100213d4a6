// Conversions that exercise the stream paths: copy, frame-rate sync, audio
// conversion and sync, crop and scale, join.
#include "engine/convert/AudioOutput.h"
#include "engine/convert/ConvertStreams.h"
#include "engine/convert/ConvertTestUtil.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"

using namespace convtest;

TEST(ConvertCopy, CopiesPacketsAndWaitsForAKeyFrame) {
  std::string in = TestMedia::Get(MediaSpec::Mp4());
  {
    std::string out = OutPath("copy.mkv");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, {{"vcodec", "copy"}, {"acodec", "copy"}}));
    RunOk(task);
    StreamInfo info = Probe(out);
    EXPECT_EQ(info.Video, AV_CODEC_ID_H264);
    EXPECT_EQ(info.Audio, AV_CODEC_ID_AAC);
    TestMedia::VideoStats v = TestMedia::ScanVideo(out);
    EXPECT_EQ(v.Frames, 50);
    EXPECT_EQ(v.Numbers.front(), 0);
  }
  // Starting at 0.3 s: without "copyinkf" the copy begins at the next key
  // frame (every 12 frames), with it at the first packet after the start.
  PacketCount counts[2];
  for (int inkf = 0; inkf < 2; ++inkf) {
    std::string out = OutPath("copy_ss.mkv");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(
        task, in, {}, out,
        {{"vcodec", "copy"}, {"an", "1"}, {"ss", "0.3"}, {"copyinkf", std::to_string(inkf)}}));
    RunOk(task);
    counts[inkf] = CountPackets(out, AVMEDIA_TYPE_VIDEO);
  }
  EXPECT_TRUE(counts[0].FirstIsKey);
  EXPECT_EQ(counts[0].Packets, 50 - 12);
  EXPECT_GT(counts[1].Packets, counts[0].Packets);
  EXPECT_FALSE(counts[1].FirstIsKey);
}

TEST(ConvertCopy, RefusesWhatNeedsDecodedFrames) {
  std::string in = TestMedia::Get(MediaSpec::Mp4());
  struct Case {
    Options options;
    int previewFlags;
    const char* message;
  } cases[] = {
      {{{"acodec", "copy"}, {"vol", "512"}},
       0,
       "-acodec copy and -vol are incompatible (frames are not decoded)"},
      {{{"vcodec", "copy"}},
       PreviewBitmapFlag,
       "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
  };
  for (const Case& c : cases) {
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, OutPath("refused.mkv"), c.options));
    task.SetPreviewFlags(c.previewFlags);
    task.RunConversion();
    EXPECT_TRUE(task.Failed());
    EXPECT_EQ(task.ErrorMessage(), c.message);
  }
  TCustomFFmpeg task;
  ASSERT_TRUE(OpenTask(task, in, {}, OutPath("vol256.mkv"), {{"acodec", "copy"}, {"vol", "256"}}));
  RunOk(task);
}

// Constant-rate outputs duplicate and drop to follow "r"; variable-rate
// outputs keep the input's pictures.
TEST(ConvertVideoSync, DuplicatesDropsAndPassesThrough) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120));
  struct Case {
    const char* file;
    Options options;
    int frames;
  } cases[] = {
      {"r50.avi", {{"r", "50"}}, 99},
      {"r10.avi", {{"r", "10"}}, 20},
      {"r50.mkv", {{"r", "50"}}, 50},
      {"vsync0.avi", {{"vsync", "0"}}, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string out = OutPath(c.file);
    TCustomFFmpeg task;
    Options options = c.options;
    options.push_back({"an", "1"});
    ASSERT_TRUE(OpenTask(task, in, {}, out, options));
    RunOk(task);
    TestMedia::VideoStats v = TestMedia::ScanVideo(out);
    EXPECT_NEAR(v.Frames, c.frames, 1.5);
    EXPECT_NEAR(v.Duration, 2.0, 0.12);
    if (c.frames == 99) {
      // A picture is repeated once the input runs more than 1.1 ticks ahead.
      EXPECT_NEAR(task.DuplicatedFrames(), 49, 1.5);
      ASSERT_GE(v.Numbers.size(), 6u);
      EXPECT_EQ(v.Numbers[1], 1);
      EXPECT_EQ(v.Numbers[2], 2);
      EXPECT_EQ(v.Numbers[3], 2);
      EXPECT_EQ(v.Numbers[4], 3);
    }
    if (c.frames == 20) {
      EXPECT_NEAR(task.DroppedFrames(), 30, 1);
    }
  }
}

// "itsscale" stretches one input stream's time line.
TEST(ConvertVideoSync, TimestampScaleStretchesTheInput) {
  std::string in = TestMedia::Get(MediaSpec::VideoOnly().Size(160, 120));
  std::string out = OutPath("stretched.mkv");
  TCustomFFmpeg task;
  ASSERT_TRUE(OpenTask(task, in, {{"itsscale", "0:2"}}, out, {}));
  RunOk(task);
  TestMedia::VideoStats v = TestMedia::ScanVideo(out);
  EXPECT_NEAR(v.Frames, 50, 1);
  EXPECT_NEAR(v.Duration, 4.0, 0.2);
}

TEST(ConvertAudio, VolumeScalesAndClampsSamples) {
  TFramePtr frame = NewFrame();
  frame->format = AV_SAMPLE_FMT_S16;
  frame->nb_samples = 3;
  FF.av_channel_layout_default(&frame->ch_layout, 1);
  ASSERT_GE(FF.av_frame_get_buffer(frame.get(), 0), 0);
  auto* s = reinterpret_cast<std::int16_t*>(frame->data[0]);
  s[0] = 20000, s[1] = -20000, s[2] = 1001;
  ApplyVolume(frame.get(), 512);
  EXPECT_EQ(s[0], 32767);
  EXPECT_EQ(s[1], -32768);
  EXPECT_EQ(s[2], 2002);
  s[2] = 1001;
  ApplyVolume(frame.get(), 128);
  EXPECT_EQ(s[2], 501);

  // Through a conversion of planar float sound.
  std::string in = TestMedia::Get(MediaSpec::AudioOnly().Tone(440, 0.4));
  std::string out = OutPath("vol.wav");
  TCustomFFmpeg task;
  ASSERT_TRUE(OpenTask(task, in, {}, out, {{"vol", "128"}}));
  RunOk(task);
  EXPECT_NEAR(TestMedia::ScanAudio(out).Peak, 0.2, 0.03);
}

TEST(ConvertAudio, ResamplesRemixesAndPicksASupportedRate) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Audio(48000, 6).Size(160, 120));
  {
    std::string out = OutPath("resampled.mp3");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, {{"ar", "22050"}, {"ac", "1"}}));
    RunOk(task);
    TestMedia::AudioStats a = TestMedia::ScanAudio(out);
    EXPECT_EQ(a.SampleRate, 22050);
    EXPECT_EQ(a.Channels, 1);
    EXPECT_NEAR(a.Duration, 2.0, 0.1);
    EXPECT_NEAR(a.PitchHz, 440, 15);
  }
  {
    TLogCapture log;
    std::string out = OutPath("closest.ac3");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, {{"ar", "22050"}, {"ac", "2"}}));
    EXPECT_TRUE(
        log.Contains("Requested sampling rate unsupported using closest supported (32000)"));
    RunOk(task);
    EXPECT_EQ(Probe(out).SampleRate, 32000);
  }
}

// Sound that starts 0.5 s after the picture gets 0.5 s of silence in front.
TEST(ConvertAudio, AsyncFillsAGapWithSilence) {
  std::string video = TestMedia::Get(MediaSpec::VideoOnly().Size(160, 120));
  std::string audio = TestMedia::Get(MediaSpec::Wav().Seconds(1.5));
  std::string out = OutPath("async.mkv");
  TLogCapture log;
  TCustomFFmpeg task;
  task.ResetTask();
  ASSERT_TRUE(task.OpenInputFile(video));
  task.ParseOption("itsoffset", "0.5");
  ASSERT_TRUE(task.OpenInputFile(audio));
  Apply(task, {{"async", "1"}, {"v", "3"}, {"acodec", "pcm_s16le"}});
  ASSERT_GE(task.OpenOutputFile(out, false), 1) << task.LastError();
  RunOk(task);
  EXPECT_TRUE(log.Contains("adding 22050 audio samples of silence"));
  TestMedia::AudioStats a = TestMedia::ScanAudio(out);
  EXPECT_NEAR(a.Duration, 2.0, 0.05);
}

TEST(ConvertPicture, CropsAndScales) {
  std::string in = TestMedia::Get(MediaSpec::Mp4());
  {
    std::string out = OutPath("scaled.mp4");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, {{"s", "160x120"}, {"an", "1"}}));
    RunOk(task);
    TestMedia::VideoStats v = TestMedia::ScanVideo(out);
    EXPECT_EQ(v.Width, 160);
    EXPECT_EQ(v.Height, 120);
    EXPECT_EQ(v.Numbers.at(7), 7);
  }
  {
    // Cropping the top half leaves the colour bars on top.
    std::string out = OutPath("cropped.mp4");
    TCustomFFmpeg task;
    ASSERT_TRUE(
        OpenTask(task, in, {}, out, {{"croptop", "60"}, {"cropbottom", "120"}, {"an", "1"}}));
    RunOk(task);
    TBitmap frame;
    ASSERT_TRUE(TestMedia::DecodeFrame(out, 3, frame));
    EXPECT_EQ(frame.Width(), 320);
    EXPECT_EQ(frame.Height(), 60);
    EXPECT_TRUE(
        TestMedia::ColourNear(TestMedia::PixelAt(frame, 40, 30, 3), TestMedia::BandColour(0)));
    EXPECT_TRUE(
        TestMedia::ColourNear(TestMedia::PixelAt(frame, 200, 30, 3), TestMedia::BandColour(2)));
  }
  {
    std::string out = OutPath("filtered.mp4");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, {{"vf", "hflip"}, {"an", "1"}}));
    RunOk(task);
    TBitmap frame;
    ASSERT_TRUE(TestMedia::DecodeFrame(out, 3, frame));
    EXPECT_TRUE(TestMedia::ColourNear(TestMedia::PixelAt(frame, 319 - 40, 90, 3),
                                      TestMedia::BandColour(0)));
  }
}

TEST(ConvertJoin, TwoInputsMakeOneContinuousFile) {
  std::string first = TestMedia::Get(MediaSpec::Mp4().Size(160, 120));
  // A different picture size: the output takes the last opened input's size
  // and the first segment is scaled up to it.
  std::string second = TestMedia::Get(MediaSpec::Avi().Size(320, 240).Seconds(1));
  std::string out = OutPath("joined.mp4");
  TCustomFFmpeg task;
  task.ResetTask();
  ASSERT_TRUE(task.OpenInputFile(first));
  ASSERT_TRUE(task.OpenInputFile(second));
  EXPECT_EQ(task.OpenOutputFile(out, true), 2) << task.LastError();
  EXPECT_NEAR(double(task.TotalDuration()) / 1e6, 3.0, 0.15);
  EXPECT_EQ(task.OpenOutputFile(OutPath("second.mp4"), false), -1);
  EXPECT_EQ(task.LastError(), "Cannot join more than one output file.");
  std::vector<int> fileIndexes;
  task.SetProgressInterval(0);
  task.OnProgress = [&](TCustomFFmpeg&, const TProgressInfo& p) {
    if (fileIndexes.empty() || fileIndexes.back() != p.FileIndex)
      fileIndexes.push_back(p.FileIndex);
  };
  RunOk(task);
  EXPECT_EQ(fileIndexes, (std::vector<int>{0, 1, -1}));
  TestMedia::VideoStats v = TestMedia::ScanVideo(out);
  EXPECT_NEAR(v.Frames, 75, 2);
  EXPECT_NEAR(v.Duration, 3.0, 0.15);
  ASSERT_GE(v.Numbers.size(), 60u);
  EXPECT_EQ(v.Numbers[49], 49);
  EXPECT_EQ(v.Numbers[50], 0);  // the second clip starts over
  EXPECT_EQ(v.Width, 320);
  EXPECT_NEAR(TestMedia::ScanAudio(out).Duration, 3.0, 0.15);
}

TEST(ConvertMapping, TwoOutputsAndExplicitMaps) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120));
  std::string tone = TestMedia::Get(MediaSpec::Wav().Tone(1000, 0.5));
  {
    // Both outputs take both streams of the one input.
    TCustomFFmpeg task;
    std::string out1 = OutPath("two1.mp4"), out2 = OutPath("two2.avi");
    ASSERT_TRUE(OpenTask(task, in, {}, out1, {}));
    EXPECT_EQ(task.OpenOutputFile(out2, false), 2) << task.LastError();
    RunOk(task);
    for (const std::string& out : {out1, out2}) {
      EXPECT_EQ(Probe(out).Streams, 2) << out;
      EXPECT_NEAR(TestMedia::ScanVideo(out).Frames, 50, 1) << out;
    }
  }
  {
    // Picture of the first input, sound of the second.
    TCustomFFmpeg task;
    task.ResetTask();
    ASSERT_TRUE(task.OpenInputFile(in));
    ASSERT_TRUE(task.OpenInputFile(tone));
    Apply(task, {{"map", "0:0"}, {"map", "1:0"}});
    std::string out = OutPath("mapped.mkv");
    ASSERT_GE(task.OpenOutputFile(out, false), 1) << task.LastError();
    RunOk(task);
    EXPECT_NEAR(TestMedia::ScanAudio(out).PitchHz, 1000, 30);
    EXPECT_TRUE(TestMedia::ScanVideo(out).Ok);
  }
  {
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, OutPath("badmap.mkv"), {{"map", "0:1"}, {"map", "0:1"}}));
    task.RunConversion();
    EXPECT_EQ(task.ErrorMessage(), "Codec type mismatch for mapping #0.1 (Audio) -> #0.0 (Video)");
  }
}
