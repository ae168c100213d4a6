#include <gtest/gtest.h>

#include "TempFolder.h"
#include "platform/IniFile.h"
#include "profiles/FormatCatalog.h"
#include "profiles/FormatProfile.h"

namespace {

class FormatProfile : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    settings_ = PathOf("settings.ini");
    profile_ = Put("profile.ini",
                   "[formatInfo103]\n"
                   "FileExt=mp4\n"
                   "VideoSize=as source,320x240,640x480\n"
                   "iVideoSize=2\n"
                   "VideoEncoder=MPEG-4,H264\n"
                   "iVideoEncoder=1\n"
                   "FrameRate=25,29.97\n"
                   "iFrameRate=7\n"
                   "AudioEncoder=AAC,GSM\n"
                   "iAudioEncoder=0\n"
                   "Channel=mono 1 channel,stereo 2 channels\n"
                   "iChannel=1\n"
                   "Volume=50%,100%,110%\n"
                   "iVolume=1\n"
                   "paraBitExact=TRUE\n"
                   "paraMaxBitrate=0\n"
                   "paraBufferSize=2000\n"
                   "paraLevel=3.1\n"
                   "paraQscale=-2\n"
                   "paraGop=250\n"
                   "paraCoder=0\n");
  }
  std::string S(int code, const std::string& key) const {
    return platform::ReadIniString(settings_, FormatSection(code), key, "<none>");
  }

  std::string settings_;
  std::string profile_;
};

TEST_F(FormatProfile, MissingFileGivesTheReadersDefaults) {
  TFormatProfile p(PathOf("absent.ini"), 104);
  EXPECT_EQ(p.FileExt(), "mp4");
  EXPECT_EQ(p.Format(), "null");
  EXPECT_EQ(p.ChoiceText(ckVolume), "null");
  EXPECT_FALSE(p.Choices(ckVideoEncoder));
  EXPECT_EQ(p.DefaultIndex(ckSampleRate), 0);
  EXPECT_EQ(p.ParaVideoBitRate(), "256");
  EXPECT_EQ(p.ParaSampleRate(), "44100");
  EXPECT_EQ(p.ParaAudioBitRate(), "128");
  EXPECT_EQ(p.Tuning(tkGop), "");
  EXPECT_TRUE(p.H264TuningCopy().empty());

  TFormatSettings s(PathOf("absent.ini"), 104);
  EXPECT_FALSE(s.Exists());
  EXPECT_EQ(s.Index(ckVolume), 0);
  EXPECT_EQ(s.ParaVideoSize(), "320x240");
  EXPECT_EQ(s.ParaVideoBitRate(), "800");
  EXPECT_EQ(s.ParaFrameRate(), "25");
  EXPECT_EQ(s.ParaZoom(), "full");
  EXPECT_EQ(s.ParaZoom(kListZoomDefault), "lbox");
  EXPECT_EQ(s.ParaSampleRate(), "44100");
  EXPECT_EQ(s.ParaAudioBitRate(), "96");
  EXPECT_EQ(s.ParaVolume(builder_default::paraVolume), "3");
}

TEST_F(FormatProfile, TuningCopyKeepsOnlyValuesThatPassTheirTests) {
  TFormatProfile p(profile_, 103);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"paraBitExact", "TRUE"}, {"paraBufferSize", "2000"}, {"paraGop", "250"}, {"paraCoder", "0"}};
  EXPECT_EQ(p.H264TuningCopy(), expected);
}

TEST_F(FormatProfile, FactoryChoicesTakeTheProfileIndexes) {
  const auto c = FactoryChoices(TFormatProfile(profile_, 103), "name");
  EXPECT_EQ(c.Boxes[ckVideoSize].Index, 2);
  EXPECT_EQ(c.Boxes[ckVideoSize].Text, "640x480");
  EXPECT_EQ(c.Boxes[ckVideoEncoder].Text, "H264");
  EXPECT_EQ(c.Boxes[ckFrameRate].Index, -1);  // index beyond the list chooses nothing
  EXPECT_EQ(c.Boxes[ckFrameRate].Text, "");
  EXPECT_EQ(c.Boxes[ckSampleRate].Index, -1);  // not offered
  EXPECT_EQ(c.ZoomIndex, 0);
}

TEST_F(FormatProfile, OkWritesIndexesTextsAndMappedNames) {
  TFormatSettings s(settings_, 103);
  TFormatChoices c =
      FactoryChoices(TFormatProfile(profile_, 103), "H.264/MPEG-4 AVC Video (*.mp4)");
  c.Boxes[ckSampleRate] = {-1, "22050"};  // typed into the box
  ASSERT_TRUE(WriteFormatChoices(s, TFormatProfile(profile_, 103), c));
  EXPECT_EQ(S(103, "Description"), "H.264/MPEG-4 AVC Video (*.mp4)");
  EXPECT_EQ(S(103, "iVideoSize"), "2");
  EXPECT_EQ(S(103, "iFrameRate"), "-1");
  EXPECT_EQ(S(103, "iSampleRate"), "-1");
  EXPECT_EQ(S(103, "paraVideoSize"), "640x480");
  EXPECT_EQ(S(103, "paraFrameRate"), "");
  EXPECT_EQ(S(103, "paraSampleRate"), "22050");
  EXPECT_EQ(S(103, "paraZoom"), "full");
  EXPECT_EQ(S(103, "paraVideoEncoder"), "libx264");
  EXPECT_EQ(S(103, "paraBitExact"), "TRUE");
  EXPECT_EQ(S(103, "paraBufferSize"), "2000");
  EXPECT_EQ(S(103, "paraMaxBitrate"), "<none>");
  EXPECT_EQ(S(103, "paraLevel"), "<none>");
  EXPECT_EQ(S(103, "paraCoder"), "0");
  EXPECT_EQ(S(103, "paraChannel"), "2");
  EXPECT_EQ(S(103, "paraVolume"), "256");
  EXPECT_EQ(S(103, "paraAudioEncoder"), "libfaac");
}

TEST_F(FormatProfile, UnmappedValuesKeepWhatWasStored) {
  TFormatSettings s(settings_, 104);
  for (const char* key :
       {"paraZoom", "paraVideoEncoder", "paraChannel", "paraVolume", "paraAudioEncoder"})
    s.Write(key, "old");
  TFormatChoices c;
  c.Boxes[ckVideoEncoder] = {0, "mpeg4"};
  c.Boxes[ckChannel] = {0, "Stereo 2 channels"};
  c.Boxes[ckVolume] = {2, "110%"};
  c.Boxes[ckAudioEncoder] = {0, "vorbis"};
  ASSERT_TRUE(WriteFormatChoices(s, TFormatProfile(profile_, 104), c));
  for (const char* key :
       {"paraZoom", "paraVideoEncoder", "paraChannel", "paraVolume", "paraAudioEncoder"})
    EXPECT_EQ(S(104, key), "old") << key;
  EXPECT_EQ(S(104, "iVolume"), "2");
  EXPECT_EQ(S(104, "paraBufferSize"), "<none>");  // no H.264: no tuning copy
}

TEST_F(FormatProfile, GsmForcesRateAndChannelWhateverTheBoxesShow) {
  TFormatSettings s(settings_, 204);
  TFormatChoices c;
  c.Boxes[ckSampleRate] = {0, "44100"};
  c.Boxes[ckChannel] = {1, "stereo 2 channels"};
  c.Boxes[ckAudioEncoder] = {1, "GSM"};
  ASSERT_TRUE(WriteFormatChoices(s, TFormatProfile(profile_, 204), c));
  EXPECT_EQ(S(204, "paraAudioEncoder"), "libgsm");
  EXPECT_EQ(S(204, "paraSampleRate"), "8000");
  EXPECT_EQ(S(204, "paraChannel"), "1");
}

TEST_F(FormatProfile, SeedingWritesMissingSectionsOnce) {
  platform::WriteIniString(settings_, "formatInfo103", "paraVideoEncoder", "mpeg4");
  platform::WriteIniString(settings_, "settings", "FormatCode", "103");
  EXPECT_EQ(SeedFormatSettings(settings_, profile_), 18);
  EXPECT_EQ(platform::ReadIniKeys(settings_, "formatInfo103").size(), 1u);
  EXPECT_EQ(S(103, "paraVideoEncoder"), "mpeg4");
  EXPECT_EQ(platform::ReadIniString(settings_, "settings", "FormatCode", ""), "103");
  EXPECT_EQ(S(1, "Description"), "iPod Video MPEG-4");
  EXPECT_EQ(S(206, "Description"), "AC-3 Audio Codec (*.ac3)");
  // A format the profile lacks still gets its section, with nothing chosen.
  EXPECT_EQ(S(206, "iAudioEncoder"), "-1");
  EXPECT_EQ(S(206, "paraAudioEncoder"), "<none>");

  platform::WriteIniString(settings_, "formatInfo200", "paraAudioBitRate", "320");
  EXPECT_EQ(SeedFormatSettings(settings_, profile_), 0);
  EXPECT_EQ(S(200, "paraAudioBitRate"), "320");
}

TEST_F(FormatProfile, SeedingTheInstalledProfile) {
  ASSERT_EQ(SeedFormatSettings(settings_, QUOR_PROFILE_FILE), 19);
  // Every format gets working engine names and a volume the engine keeps.
  for (int code : SeededFormatCodes()) {
    EXPECT_EQ(S(code, "paraVolume"), "256") << code;
    EXPECT_EQ(S(code, "paraChannel"), "2") << code;
    EXPECT_EQ(S(code, "paraZoom"), "full") << code;
    EXPECT_NE(S(code, "paraAudioEncoder"), "<none>") << code;
    EXPECT_EQ(S(code, "paraVideoEncoder") == "<none>", code >= 200) << code;
  }
  EXPECT_EQ(S(1, "paraVideoEncoder"), "mpeg4");
  EXPECT_EQ(S(1, "paraVideoSize"), "320x240");
  EXPECT_EQ(S(1, "paraAudioEncoder"), "libfaac");
  EXPECT_EQ(S(1, "paraGop"), "<none>");  // tuning only comes with H.264
  EXPECT_EQ(S(103, "paraVideoEncoder"), "libx264");
  EXPECT_EQ(S(103, "paraGop"), "250");
  EXPECT_EQ(S(101, "paraVideoEncoder"), "mpeg2video");
  EXPECT_EQ(S(101, "paraSampleRate"), "48000");
  EXPECT_EQ(S(108, "paraFrameRate"), "29.97");
  EXPECT_EQ(S(108, "paraVideoBitRate"), "");
  EXPECT_EQ(S(200, "paraAudioEncoder"), "libmp3lame");
  EXPECT_EQ(S(200, "paraVideoSize"), "");
  EXPECT_EQ(S(205, "paraAudioEncoder"), "vorbis");
}

}  // namespace
