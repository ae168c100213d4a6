// End-to-end conversions: encode, limits, stop, failures of the openers.
#include <atomic>
#include <thread>

#include "engine/convert/ConvertTestUtil.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"

using namespace convtest;

TEST(Convert, Mp4ToAviEncodesPictureAndSound) {
  std::string in = TestMedia::Get(MediaSpec::Mp4());
  std::string out = OutPath("basic.avi");
  TCustomFFmpeg task;
  std::vector<TProgressInfo> reports;
  task.OnProgress = [&](TCustomFFmpeg&, const TProgressInfo& p) { reports.push_back(p); };
  std::string why;
  ASSERT_TRUE(OpenTask(task, in, {}, out, {}, &why)) << why;
  EXPECT_NEAR(double(task.TotalDuration()) / 1e6, 2.0, 0.1);
  RunOk(task);

  StreamInfo info = Probe(out);
  EXPECT_EQ(info.Streams, 2);
  EXPECT_EQ(info.Video, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(info.Width, 320);
  EXPECT_EQ(info.Height, 240);
  EXPECT_NE(info.Audio, AV_CODEC_ID_NONE);
  EXPECT_EQ(info.SampleRate, 44100);

  TestMedia::VideoStats v = TestMedia::ScanVideo(out);
  ASSERT_TRUE(v.Ok);
  EXPECT_NEAR(v.Frames, 50, 1);
  ASSERT_GE(v.Numbers.size(), 40u);
  for (size_t i = 0; i < 40; ++i) EXPECT_EQ(v.Numbers[i], int(i)) << "frame " << i;
  TBitmap frame;
  ASSERT_TRUE(TestMedia::DecodeFrame(out, 10, frame));
  EXPECT_TRUE(TestMedia::ColourNear(TestMedia::BandSample(frame, 0), TestMedia::BandColour(0)));

  TestMedia::AudioStats a = TestMedia::ScanAudio(out);
  ASSERT_TRUE(a.Ok);
  EXPECT_NEAR(a.Duration, 2.0, 0.1);
  EXPECT_NEAR(a.PitchHz, 440, 15);

  ASSERT_FALSE(reports.empty());
  const TProgressInfo& last = reports.back();
  EXPECT_EQ(last.FileIndex, -1);
  EXPECT_NEAR(last.FrameNumber, 50, 1);
  EXPECT_GT(last.CurrentSize, 0);
  EXPECT_NEAR(double(last.CurrentDuration) / 1e6, 2.0, 0.15);
}

TEST(Convert, LimitsEndTheLoopEarly) {
  std::string in = TestMedia::Get(MediaSpec::Mp4());
  {
    SCOPED_TRACE("t");
    std::string out = OutPath("limit_t.mp4");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, {{"t", "1"}}));
    EXPECT_EQ(task.TotalDuration(), 1000000);
    RunOk(task);
    TestMedia::VideoStats v = TestMedia::ScanVideo(out);
    EXPECT_EQ(v.Frames, 25);
    EXPECT_NEAR(TestMedia::ScanAudio(out).Duration, 1.0, 0.06);
  }
  {
    // The AVI clips skip their second frame slot (an empty chunk, as AVI
    // writers make of a stream the muxer moved later): the first picture
    // lasts two slots. The output lagged that slot behind its source and
    // made it up nowhere, so a second of it had 24 frames; and the engine's
    // own AVI got such a slot from the MP3 encoder's delay.
    SCOPED_TRACE("t of an AVI");
    std::string out = OutPath("limit_t.avi");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, TestMedia::Get(MediaSpec::Avi().Seconds(3)), {}, out, {{"t", "1"}}));
    RunOk(task);
    TestMedia::VideoStats v = TestMedia::ScanVideo(out);
    EXPECT_EQ(v.Frames, 25);
    EXPECT_NEAR(v.Duration, 1.0, 0.001);
    ASSERT_EQ(v.Numbers.size(), 25u);
    EXPECT_EQ(v.Numbers[23], 23);
    EXPECT_EQ(v.Numbers[24], 23);
  }
  {
    SCOPED_TRACE("vframes");
    std::string out = OutPath("limit_vframes.mp4");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, {{"vframes", "10"}}));
    RunOk(task);
    TestMedia::VideoStats v = TestMedia::ScanVideo(out);
    EXPECT_EQ(v.Frames, 10);
    ASSERT_EQ(v.Numbers.size(), 10u);
    EXPECT_EQ(v.Numbers.back(), 9);
  }
  for (bool onInput : {true, false}) {
    SCOPED_TRACE(onInput ? "ss on the input" : "ss on the output");
    std::string out = OutPath("start.mp4");
    TCustomFFmpeg task;
    Options ss = {{"ss", "1"}};
    ASSERT_TRUE(OpenTask(task, in, onInput ? ss : Options{}, out, onInput ? Options{} : ss));
    RunOk(task);
    TestMedia::VideoStats v = TestMedia::ScanVideo(out);
    EXPECT_NEAR(v.Frames, 25, 1);
    ASSERT_FALSE(v.Numbers.empty());
    EXPECT_NEAR(v.Numbers.front(), 25, 1);
    EXPECT_NEAR(v.FirstPts, 0, 0.05);
    // An input seek lands on the packets just before the point.
    EXPECT_NEAR(TestMedia::ScanAudio(out).Duration, 1.0, onInput ? 0.1 : 0.06);
  }
  {
    SCOPED_TRACE("fs");
    std::string full = OutPath("limit_full.avi");
    TCustomFFmpeg whole;
    ASSERT_TRUE(OpenTask(whole, in, {}, full, {{"an", "1"}}));
    RunOk(whole);
    std::int64_t fullSize = FileSize(full);
    std::int64_t limit = fullSize / 3;
    std::string out = OutPath("limit_fs.avi");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, {{"an", "1"}, {"fs", std::to_string(limit)}}));
    RunOk(task);
    std::int64_t size = FileSize(out);
    EXPECT_GT(size, limit);
    EXPECT_LT(size, fullSize * 2 / 3);
    EXPECT_TRUE(TestMedia::ScanVideo(out).Ok);
  }
}

// A stop from another thread ends the loop; the file is still finished.
TEST(Convert, StopLeavesAPlayableFile) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(20));
  std::string out = OutPath("stopped.mp4");
  TCustomFFmpeg task;
  task.SetProgressInterval(0);
  std::atomic<int> reports{0};
  task.OnProgress = [&](TCustomFFmpeg&, const TProgressInfo&) { ++reports; };
  ASSERT_TRUE(OpenTask(task, in, {}, out, {}));
  std::atomic<bool> done{false};
  std::thread worker([&] {
    task.RunConversion();
    done = true;
  });
  while (reports < 3 && !done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (done) {
    worker.join();
    FAIL() << "the conversion ended before it could be stopped: " << task.ErrorMessage();
  }
  task.Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int whilePaused = reports;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LE(reports - whilePaused, 1) << "a paused task kept running";
  task.RequestStop();  // also releases the pause
  worker.join();
  EXPECT_FALSE(task.Completed());
  EXPECT_FALSE(task.Failed()) << task.ErrorMessage();
  TestMedia::VideoStats v = TestMedia::ScanVideo(out);
  ASSERT_TRUE(v.Ok);
  EXPECT_GT(v.Frames, 0);
  EXPECT_LT(v.Frames, 500);
  EXPECT_GT(TestMedia::ContainerDuration(out), 0);
}

TEST(Convert, OpenersReportTheirFailures) {
  std::string in = TestMedia::Get(MediaSpec::Mp4());
  {
    TCustomFFmpeg task;
    task.ResetTask();
    ASSERT_TRUE(task.OpenInputFile(in));
    std::string out = OutPath("unknown.xyzq");
    EXPECT_EQ(task.OpenOutputFile(out, false), -1);
    EXPECT_EQ(task.LastError(), "Unable to find a suitable output format for '" + out + "'");
    EXPECT_FALSE(FileExists(out));
    task.ParseOption("f", "matroska");
    EXPECT_EQ(task.OpenOutputFile(out, false), 1) << task.LastError();
  }
  {
    // The container's default video codec is not used without input video.
    TCustomFFmpeg task;
    ASSERT_TRUE(
        OpenTask(task, TestMedia::Get(MediaSpec::AudioOnly()), {}, OutPath("sound.mp4"), {}));
    ASSERT_NE(task.OutputFile(0), nullptr);
    ASSERT_EQ(task.OutputFile(0)->nb_streams, 1u);
    EXPECT_EQ(task.OutputFile(0)->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
  }
  {
    TCustomFFmpeg task;
    task.ResetTask();
    EXPECT_FALSE(task.OpenInputFile(TestMedia::MissingFile()));
    EXPECT_FALSE(task.LastError().empty());
    EXPECT_FALSE(task.OpenInputFile(TestMedia::Garbage(4096)));
    EXPECT_FALSE(task.LastError().empty());
    EXPECT_EQ(task.InputFileCount(), 0);
  }
  {
    // Transport streams carry programs; only a known one can be picked.
    std::string ts = TestMedia::Get(MediaSpec::Ts().Size(160, 120));
    TCustomFFmpeg task;
    task.ResetTask();
    task.ParseOption("programid", "4242");
    EXPECT_FALSE(task.OpenInputFile(ts));
    EXPECT_EQ(task.LastError(), "Specified program id not found");
    AVFormatContext* probe = nullptr;
    ASSERT_GE(OpenInputWithName(&probe, ts, nullptr, nullptr), 0);
    ASSERT_GE(probe->nb_programs, 1u);
    int id = probe->programs[0]->id;
    CloseInputWithName(&probe);
    task.ParseOption("programid", std::to_string(id));
    EXPECT_TRUE(task.OpenInputFile(ts)) << task.LastError();
  }
  {
    TCustomFFmpeg task;
    task.ResetTask();
    task.ParseOption("vcodec", "nosuchcodec");
    EXPECT_FALSE(task.OpenInputFile(in));
    EXPECT_EQ(task.LastError(), "Unknown decoder 'nosuchcodec'");
  }
}

// "an" and "vn": nothing to write; the task fails and the empty file goes.
TEST(Convert, OutputWithoutStreamsFailsAndIsDeleted) {
  std::string in = TestMedia::Get(MediaSpec::Mp4());
  std::string out = OutPath("nothing.mp4");
  TCustomFFmpeg task;
  ASSERT_TRUE(OpenTask(task, in, {}, out, {{"an", "1"}, {"vn", "1"}}));
  EXPECT_TRUE(FileExists(out));
  task.RunConversion();
  EXPECT_TRUE(task.Failed());
  EXPECT_EQ(task.ErrorMessage(), "Output file #0 does not contain any stream");
  EXPECT_FALSE(task.Completed());
  EXPECT_FALSE(FileExists(out));
}

TEST(Convert, DamagedInputsNeverCrash) {
  MediaSpec spec = MediaSpec::Mp4().Size(160, 120);
  for (const std::string& in : {TestMedia::Corrupted(spec, 7), TestMedia::Truncated(spec, 0.5),
                                TestMedia::Corrupted(MediaSpec::Avi().Size(160, 120), 3)}) {
    SCOPED_TRACE(in);
    std::string out = OutPath("damaged.avi");
    TCustomFFmpeg task;
    std::string why;
    if (!OpenTask(task, in, {}, out, {}, &why)) {
      EXPECT_FALSE(why.empty());
      continue;
    }
    task.RunConversion();
    if (task.Failed())
      EXPECT_FALSE(task.ErrorMessage().empty());
    else
      EXPECT_TRUE(TestMedia::ScanVideo(out).Ok);
  }
}
