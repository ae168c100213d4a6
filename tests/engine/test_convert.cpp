// End-to-end conversions: encode, limits, stop, failures of the openers.
#include <atomic>
#include <thread>

#include "engine/FFmpegLogger.h"
#include "engine/MediaUtils.h"
#include "ConvertTestUtil.h"

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
