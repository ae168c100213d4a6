#include <gtest/gtest.h>

#include "profiles/FormatMappings.h"

namespace {

using Items = std::vector<std::string>;

TEST(ChoiceList, SplitsWithoutTrimming) {
  EXPECT_EQ(SplitChoiceList("as source,22050,44100,"), (Items{"as source", "22050", "44100", ""}));
  EXPECT_EQ(SplitChoiceList("a, b ,,c"), (Items{"a", " b ", "", "c"}));
  EXPECT_EQ(SplitChoiceList(","), (Items{"", ""}));
  EXPECT_EQ(SplitChoiceList(""), Items{});
  EXPECT_EQ(SplitChoiceList("NULL"), Items{"NULL"});
  EXPECT_EQ(SplitChoiceList("null,"), (Items{"null", ""}));
  EXPECT_FALSE(SplitChoiceList("null").has_value());
}

TEST(EncoderMapping, DisplayNamesMatchInAnyCaseButOnlyWhole) {
  EXPECT_EQ(VideoEncoderToEngine("MPEG-4"), "mpeg4");
  EXPECT_EQ(VideoEncoderToEngine("H264"), "libx264");
  EXPECT_EQ(VideoEncoderToEngine("DVVideo"), "dvvideo");
  EXPECT_FALSE(VideoEncoderToEngine("mpeg4"));  // engine names are not display names
  EXPECT_FALSE(VideoEncoderToEngine(" h264"));
  EXPECT_TRUE(IsH264Display("H264"));
  EXPECT_FALSE(IsH264Display("libx264"));

  EXPECT_EQ(AudioEncoderToEngine("FLAC"), "flac");
  EXPECT_EQ(AudioEncoderToEngine("OGG"), "vorbis");
  EXPECT_EQ(AudioEncoderToEngine("PCM-64bit float"), "pcm_f64be");
  EXPECT_EQ(AudioEncoderToEngine("CCITT A-law(8-bit)"), "pcm_alaw");
  EXPECT_EQ(AudioEncoderToEngine("pcm_mulaw "), "pcm_mulaw");
  EXPECT_FALSE(AudioEncoderToEngine("pcm_mulaw"));
  EXPECT_FALSE(AudioEncoderToEngine("libmp3lame"));
  EXPECT_FALSE(AudioEncoderToEngine(""));
  EXPECT_TRUE(AudioEncoderForcesGsmValues("Gsm"));
  EXPECT_FALSE(AudioEncoderForcesGsmValues("libgsm"));
}

TEST(ChannelMapping, IsCaseSensitive) {
  EXPECT_EQ(ChannelToEngine("as source"), "as source");
  EXPECT_EQ(ChannelToEngine("mono 1 channel"), "1");
  EXPECT_EQ(ChannelToEngine("stereo 2 channels"), "2");
  EXPECT_FALSE(ChannelToEngine("Stereo 2 channels"));
  EXPECT_FALSE(ChannelToEngine("As source"));
  EXPECT_FALSE(ChannelToEngine(""));
}

TEST(VolumeMapping, OnlyOfferedPercentages) {
  EXPECT_EQ(VolumeToEngine("150%"), "384");
  EXPECT_EQ(VolumeToEngine("25%"), "64");
  EXPECT_EQ(VolumeToEngine("100%"), "256");
  EXPECT_EQ(VolumeToEngine("400%"), "1024");
  EXPECT_EQ(VolumeToEngine("250x"), "640");       // any unit character
  EXPECT_EQ(VolumeToEngine("150\u2030"), "384");  // a multi-byte one too
  EXPECT_FALSE(VolumeToEngine("110%"));
  EXPECT_FALSE(VolumeToEngine("150"));  // the last digit is taken as the unit
  EXPECT_FALSE(VolumeToEngine("%"));
  EXPECT_FALSE(VolumeToEngine(""));
  EXPECT_FALSE(VolumeToEngine("1.5%"));
  EXPECT_FALSE(VolumeToEngine("-100%"));
}

TEST(ZoomMapping, RoundTripAndCenter) {
  for (int i = 0; i < kZoomItemCount; ++i) EXPECT_EQ(KeyToZoom(*ZoomToKey(i)), i);
  EXPECT_EQ(ZoomToKey(0), "full");
  EXPECT_EQ(ZoomToKey(1), "lbox");
  EXPECT_EQ(ZoomToKey(2), "pan");
  EXPECT_FALSE(ZoomToKey(-1));
  EXPECT_FALSE(ZoomToKey(3));
  EXPECT_EQ(KeyToZoom("center"), 3);
  EXPECT_FALSE(KeyToZoom("Full"));
  EXPECT_FALSE(KeyToZoom(""));
}

}  // namespace
