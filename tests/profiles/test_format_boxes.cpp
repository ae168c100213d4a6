// What the settings dialog's boxes show for a format: lists, restored
// choices, zoom and the groups' enabling.
#include <gtest/gtest.h>

#include "TempFolder.h"
#include "profiles/FormatBoxes.h"

namespace {

class FormatBoxes : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    profile_ = Put("profile.ini",
                   "[formatInfo104]\n"
                   "VideoSize=as source,320x240,640x480\n"
                   "VideoBitRate=as source,500,800\n"
                   "FrameRate=25,29.97\n"
                   "VideoEncoder=MPEG-4,Xvid\n"
                   "AudioBitRate=96,128\n"
                   "SampleRate=22050,44100\n"
                   "AudioEncoder=MP3\n"
                   "Channel=mono 1 channel,stereo 2 channels\n"
                   "Volume=100%\n"
                   "[formatInfo200]\n"
                   "VideoSize=320x240\n"
                   "FrameRate=25\n"
                   "VideoEncoder=null\n"
                   "AudioBitRate=null\n"
                   "SampleRate=8000\n"
                   "AudioEncoder=MP3\n");
  }
  TFormatBoxes Read(int code, const std::string& settings, TFillMode mode) const {
    return ReadFormatBoxes(TFormatProfile(profile_, code),
                           TFormatSettings(Put("settings.ini", settings), code), mode);
  }
  std::string profile_;
};

TEST_F(FormatBoxes, TypedValuesComeBackOnlyWhenTheDialogOpens) {
  const std::string section =
      "[formatInfo104]\niVideoSize=-1\nparaVideoSize=720x576\niVideoBitRate=-1\niFrameRate=-1\n"
      "iVideoEncoder=-1\niChannel=1\n";
  const TFormatBoxes shown = Read(104, section, TFillMode::fmShow);
  EXPECT_EQ(shown.Boxes[ckVideoSize].Text, "720x576");
  EXPECT_EQ(shown.Boxes[ckVideoBitRate].Text, "800");  // the key is missing: the dialog's default
  EXPECT_EQ(shown.Boxes[ckFrameRate].Text, "25");
  EXPECT_FALSE(shown.Boxes[ckVideoEncoder].Text);  // no text is stored for an encoder
  EXPECT_EQ(shown.Boxes[ckVideoEncoder].Index, -1);
  EXPECT_EQ(shown.Boxes[ckChannel].Index, 1);
  EXPECT_EQ(shown.Boxes[ckVolume].Index, 0);  // no key: the first item

  const TFormatBoxes picked = Read(104, section, TFillMode::fmPick);
  EXPECT_FALSE(picked.Boxes[ckVideoSize].Text);
  EXPECT_EQ(picked.Boxes[ckVideoSize].Index, -1);
  EXPECT_EQ(picked.Boxes[ckVideoSize].Items,
            (std::vector<std::string>{"as source", "320x240", "640x480"}));
}

TEST_F(FormatBoxes, IndexesPastTheListChooseNothing) {
  const TFormatBoxes boxes = Read(
      104, "[formatInfo104]\niVideoSize=3\niVolume=99\niAudioEncoder=2147483647\niSampleRate=1\n",
      TFillMode::fmShow);
  EXPECT_EQ(boxes.Boxes[ckVideoSize].Index, -1);
  EXPECT_EQ(boxes.Boxes[ckVolume].Index, -1);
  EXPECT_EQ(boxes.Boxes[ckAudioEncoder].Index, -1);
  EXPECT_EQ(boxes.Boxes[ckSampleRate].Index, 1);
}

TEST_F(FormatBoxes, ZoomKeys) {
  EXPECT_EQ(Read(104, "", TFillMode::fmShow).Zoom, 0);  // "full" by default
  EXPECT_EQ(Read(104, "[formatInfo104]\nparaZoom=pan\n", TFillMode::fmShow).Zoom, 2);
  EXPECT_EQ(Read(104, "[formatInfo104]\nparaZoom=center\n", TFillMode::fmShow).Zoom, -1);
  EXPECT_FALSE(Read(104, "[formatInfo104]\nparaZoom=Full\n", TFillMode::fmShow).Zoom);
}

TEST_F(FormatBoxes, GroupsFollowTheirEncoderLists) {
  const TFormatBoxes video = Read(104, "", TFillMode::fmShow);
  EXPECT_TRUE(video.VideoEnabled);
  EXPECT_TRUE(video.AudioEnabled);
  EXPECT_TRUE(video.AudioBitRateEnabled);
  // No video encoder: the group is off whatever its other lists hold; the
  // audio bit rate is off on its own when it offers nothing.
  const TFormatBoxes audio = Read(200, "", TFillMode::fmShow);
  EXPECT_FALSE(audio.VideoEnabled);
  EXPECT_EQ(audio.Boxes[ckVideoSize].Items.size(), 1u);
  EXPECT_TRUE(audio.AudioEnabled);
  EXPECT_FALSE(audio.AudioBitRateEnabled);
  EXPECT_TRUE(audio.Boxes[ckAudioBitRate].Items.empty());
  // A format without profile data offers nothing.
  const TFormatBoxes none = Read(206, "", TFillMode::fmShow);
  EXPECT_FALSE(none.VideoEnabled);
  EXPECT_FALSE(none.AudioEnabled);
  EXPECT_FALSE(none.AudioBitRateEnabled);
}

}  // namespace
