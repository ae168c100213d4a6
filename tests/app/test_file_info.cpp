// The file information texts: the rules alone, then read through a converter
// of its own from generated clips (picture and sound, sound only, picture
// only, an NTSC rate) and from a file that is gone.
#include <gtest/gtest.h>

#include "app/FileInfoTexts.h"
#include "engine/component/FFmpegVCL.h"
#include "support/MediaFactory.h"

TEST(FileInfoTexts, DurationNameAndRateRules) {
  EXPECT_EQ(FileInfoDuration(83005000), "83.005 Second");
  EXPECT_EQ(FileInfoDuration(83005999), "83.005 Second");  // milliseconds are cut, not rounded
  EXPECT_EQ(FileInfoDuration(0), "0.000 Second");
  EXPECT_EQ(FileInfoDuration(-1), "");

  const std::string name45 = "/media/videos/holiday/2009/summer_at_sea1.mp4";
  ASSERT_EQ(name45.size(), 45u);
  EXPECT_EQ(FileInfoName(name45), name45);
  const std::string name46 = "/media/videos/holiday/2009/summer_at_sea12.mp4";
  ASSERT_EQ(name46.size(), 46u);
  EXPECT_EQ(FileInfoName(name46), name46.substr(0, 40) + "...mp4  ");
  // Characters, not bytes: 40 letters of two bytes each stay whole letters.
  std::string wide;
  for (int i = 0; i < 46; ++i) wide += "\xC3\xA9";  // é
  EXPECT_EQ(FileInfoName(wide), wide.substr(0, 80) + "..  ");

  EXPECT_EQ(FrameRateText(25, 1), "25");
  EXPECT_EQ(FrameRateText(30000, 1001), "29.97");
  EXPECT_EQ(FrameRateText(24000, 1001), "23.976");
  EXPECT_EQ(FrameRateText(25, 2), "12.5");
  EXPECT_EQ(FrameRateText(0, 1), "");
  EXPECT_EQ(FrameRateText(25, 0), "");
  EXPECT_EQ(TotalFramesText(2000000, 25, 1), "50");
  EXPECT_EQ(TotalFramesText(10010000, 30000, 1001), "300");
  EXPECT_EQ(TotalFramesText(1020000, 25, 1), "26");  // 25.5 frames round up
  EXPECT_EQ(TotalFramesText(-1, 25, 1), "");
  EXPECT_EQ(TotalFramesText(1000000, 0, 1), "");
}

TEST(FileInfoTexts, AudioFormatIsTheFirstAudioStreamsCodec) {
  const std::string text =
      "File Name: a.mp4\r\n"
      "  title           : Audio: not a stream\r\n"
      "Stream #0, 1/12800: Video: h264 (High), yuv420p, 320x240, 25 fps\r\n"
      "Stream #1, 1/44100: Audio: aac (LC) (mp4a / 0x6134706D), 44100 Hz, stereo\r\n"
      "Stream #2, 1/48000: Audio: mp3, 48000 Hz";
  EXPECT_EQ(AudioFormatFromDescription(text), "aac (LC) (mp4a / 0x6134706D)");
  EXPECT_EQ(AudioFormatFromDescription("Stream #0, 1/8000: Audio: pcm_s16le\r\nnext"), "pcm_s16le");
  EXPECT_EQ(AudioFormatFromDescription("Stream #0, 1/25: Video: h264"), "");
}

namespace {

TFileInfoTexts Read(TFFmpegVCL& vcl, const std::string& clip) {
  TFileInfoTexts texts;
  std::string error;
  EXPECT_TRUE(ReadFileInfo(vcl, clip, texts, error)) << error;
  return texts;
}

}  // namespace

TEST(FileInfoTexts, ReadFromClipsWithAndWithoutEitherStream) {
  TFFmpegVCL vcl;
  const TFileInfoTexts both = Read(vcl, TestMedia::Get(MediaSpec::Mp4()));
  EXPECT_EQ(vcl.TaskCount(), 1);
  EXPECT_TRUE(vcl.AVProbe().Loaded());
  EXPECT_EQ(both.Duration.substr(0, 2), "2.");
  EXPECT_EQ(both.Format, "mov,mp4,m4a,3gp,3g2,mj2");
  EXPECT_EQ(both.Resolution, "320x240");
  EXPECT_EQ(both.FrameRate, "25");
  EXPECT_EQ(both.TotalFrames, "50");
  EXPECT_GT(std::stoi(both.VideoBitRate), 0);
  EXPECT_EQ(both.AudioFormat.substr(0, 3), "aac");
  EXPECT_EQ(both.AudioFormat.find(','), std::string::npos);
  EXPECT_EQ(both.SampleRate, "44100");
  EXPECT_EQ(both.Channels, "2");
  EXPECT_GT(std::stoi(both.AudioBitRate), 0);

  // The next file replaces the task: the window probes one file at a time.
  const TFileInfoTexts sound = Read(vcl, TestMedia::Get(MediaSpec::AudioOnly().Audio(22050, 1)));
  EXPECT_EQ(vcl.TaskCount(), 1);
  EXPECT_FALSE(sound.Duration.empty());
  EXPECT_TRUE(sound.Resolution.empty() && sound.FrameRate.empty() && sound.TotalFrames.empty() &&
              sound.VideoBitRate.empty());
  EXPECT_EQ(sound.SampleRate, "22050");
  EXPECT_EQ(sound.Channels, "1");
  EXPECT_EQ(sound.AudioFormat.substr(0, 3), "aac");

  const TFileInfoTexts picture =
      Read(vcl, TestMedia::Get(MediaSpec::VideoOnly().Fps(30000, 1001).Seconds(3)));
  EXPECT_EQ(picture.FrameRate, "29.97");
  EXPECT_EQ(picture.TotalFrames, "90");
  EXPECT_TRUE(picture.AudioFormat.empty() && picture.SampleRate.empty() &&
              picture.Channels.empty() && picture.AudioBitRate.empty());

  CloseFileInfo(vcl);
  EXPECT_EQ(vcl.TaskCount(), 0);
  EXPECT_FALSE(vcl.AVProbe().Loaded());
}

TEST(FileInfoTexts, AFileThatIsGoneGivesTheConvertersMessageAndItsName) {
  TFFmpegVCL vcl;
  TFileInfoTexts texts;
  std::string error;
  const std::string missing = TestMedia::MissingFile();
  EXPECT_FALSE(ReadFileInfo(vcl, missing, texts, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(texts.Name, FileInfoName(missing));
  EXPECT_TRUE(texts.Duration.empty() && texts.Format.empty());
}
