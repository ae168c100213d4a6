// The installed format profile checked against the catalogue, the mapping
// tables and the encoders and muxers of the loaded media libraries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "engine/libav/FFmpegApi.h"
#include "platform/IniFile.h"
#include "profiles/FormatCatalog.h"
#include "profiles/FormatMappings.h"
#include "profiles/FormatProfile.h"
#include "profiles/ProfileText.h"

namespace {

const std::string kProfile = QUOR_PROFILE_FILE;

// Encoder names the engine resolves to the encoder serving the same codec.
std::string EngineEncoder(const std::string& name) {
  if (name == "libfaac") return "aac";
  if (name == "vorbis") return "libvorbis";
  return name;
}

const std::set<std::string> kAvailable = {
    "mpeg4",      "libxvid",      "libx264",   "mpeg1video",   "mpeg2video", "msmpeg4",
    "msmpeg4v2",  "h263",         "h263p",     "flv",          "rv10",       "rv20",
    "svq1",       "wmv1",         "wmv2",      "mjpeg",        "ljpeg",      "huffyuv",
    "dvvideo",    "rawvideo",     "zlib",      "aac",          "ac3",        "mp2",
    "libmp3lame", "libvorbis",    "flac",      "alac",         "wmav1",      "wmav2",
    "libgsm",     "pcm_s8",       "pcm_s16be", "pcm_s24be",    "pcm_s32be",  "pcm_f32be",
    "pcm_f64be",  "pcm_alaw",     "pcm_mulaw", "adpcm_ima_qt", "pcm_s16le",  "pcm_u16le",
    "adpcm_swf",  "adpcm_yamaha", "adpcm_ms",  "adpcm_ima_wav"};

std::string NameOf(int code) {
  return code == kDefaultFormatCode ? kDefaultFormatName : CatalogFormatName(code);
}

bool IsVideoFormat(int code) { return code < 200; }

// The muxer a conversion of this format ends up with: a known container
// family names it, an MPEG-2 target writes DVD streams, anything else is
// guessed from the output file's extension.
const AVOutputFormat* MuxerOf(const TFormatProfile& p) {
  static const std::set<std::string> videoFamilies = {"ipod", "3gp", "3g2",    "avi", "psp", "mov",
                                                      "vcd",  "flv", "mpegts", "vob", "asf", "dv"};
  static const std::set<std::string> audioFamilies = {"amr",  "ac3", "asf", "aiff",     "au", "voc",
                                                      "flac", "flv", "avi", "matroska", "mmf"};
  const std::string family = profiles::LowerCase(p.Format());
  const auto& known = IsVideoFormat(p.Code()) ? videoFamilies : audioFamilies;
  if (known.count(family)) return FF.av_guess_format(family.c_str(), nullptr, nullptr);
  if (family.find("dvd") != std::string::npos) return FF.av_guess_format("dvd", nullptr, nullptr);
  return FF.av_guess_format(nullptr, ("out." + p.FileExt()).c_str(), nullptr);
}

std::string DefaultItem(const TFormatProfile& p, TChoiceKey key) {
  const auto items = p.Choices(key);
  const int index = p.DefaultIndex(key);
  if (!items || index < 0 || index >= static_cast<int>(items->size())) return {};
  return (*items)[static_cast<size_t>(index)];
}

const AVCodec* DefaultEncoder(const TFormatProfile& p, TChoiceKey key) {
  const auto name = key == ckVideoEncoder ? VideoEncoderToEngine(DefaultItem(p, key))
                                          : AudioEncoderToEngine(DefaultItem(p, key));
  return name ? FF.avcodec_find_encoder_by_name(EngineEncoder(*name).c_str()) : nullptr;
}

TEST(InstalledProfile, HasExactlyTheSeededFormats) {
  std::set<std::string> expected;
  for (int code : SeededFormatCodes()) expected.insert(FormatSection(code));
  const auto sections = platform::ReadIniSections(kProfile);
  EXPECT_EQ(std::set<std::string>(sections.begin(), sections.end()), expected);
  EXPECT_EQ(sections.size(), 19u);
}

TEST(InstalledProfile, ExtensionsMatchTheNames) {
  for (int code : SeededFormatCodes()) {
    const std::string ext = TFormatProfile(kProfile, code).FileExt();
    EXPECT_NE(NameOf(code).find("(*." + ext + ")"), std::string::npos) << code << " " << ext;
  }
}

TEST(InstalledProfile, EveryListIsUsableAndEveryItemMaps) {
  for (int code : SeededFormatCodes()) {
    SCOPED_TRACE(code);
    const TFormatProfile p(kProfile, code);
    EXPECT_EQ(p.Choices(ckVideoEncoder).has_value(), IsVideoFormat(code));
    ASSERT_TRUE(p.Choices(ckAudioEncoder));
    for (int k = 0; k < ckChoiceKeyCount; ++k) {
      const auto key = static_cast<TChoiceKey>(k);
      const auto items = p.Choices(key);
      if (!items) continue;
      ASSERT_FALSE(items->empty()) << ChoiceKeyName(key);
      EXPECT_FALSE(DefaultItem(p, key).empty()) << ChoiceKeyName(key);
      for (const auto& item : *items) {
        EXPECT_FALSE(item.empty()) << ChoiceKeyName(key);
        if (key == ckChannel) {
          EXPECT_TRUE(ChannelToEngine(item)) << item;
        }
        if (key == ckVolume) {
          EXPECT_TRUE(VolumeToEngine(item)) << item;
        }
        if (key == ckVideoEncoder || key == ckAudioEncoder) {
          const auto engine =
              key == ckVideoEncoder ? VideoEncoderToEngine(item) : AudioEncoderToEngine(item);
          ASSERT_TRUE(engine) << item;
          const std::string name = EngineEncoder(*engine);
          EXPECT_TRUE(kAvailable.count(name)) << name;
          EXPECT_NE(FF.avcodec_find_encoder_by_name(name.c_str()), nullptr) << name;
        }
      }
    }
  }
}

TEST(InstalledProfile, NumericListsAscendAfterAsSource) {
  for (int code : SeededFormatCodes()) {
    const TFormatProfile p(kProfile, code);
    for (TChoiceKey key : {ckVideoBitRate, ckFrameRate, ckAudioBitRate, ckSampleRate}) {
      auto items = p.Choices(key);
      if (!items) continue;
      if (items->front() == "as source") items->erase(items->begin());
      std::vector<double> values;
      for (const auto& item : *items) values.push_back(std::strtod(item.c_str(), nullptr));
      EXPECT_TRUE(std::is_sorted(values.begin(), values.end()))
          << code << " " << ChoiceKeyName(key);
      EXPECT_GT(values.front(), 0) << code << " " << ChoiceKeyName(key);
    }
  }
}

TEST(InstalledProfile, DefaultEncodersFitTheirContainer) {
  for (int code : SeededFormatCodes()) {
    SCOPED_TRACE(code);
    const TFormatProfile p(kProfile, code);
    const AVOutputFormat* muxer = MuxerOf(p);
    ASSERT_NE(muxer, nullptr);
    std::vector<TChoiceKey> keys = {ckAudioEncoder};
    if (IsVideoFormat(code)) keys.push_back(ckVideoEncoder);
    for (TChoiceKey key : keys) {
      const AVCodec* encoder = DefaultEncoder(p, key);
      ASSERT_NE(encoder, nullptr);
      // 0 is a definite no; muxers without a tag table cannot tell (< 0).
      EXPECT_NE(FF.avformat_query_codec(muxer, encoder->id, FF_COMPLIANCE_NORMAL), 0)
          << encoder->name << " in " << muxer->name;
    }
  }
}

TEST(InstalledProfile, DefaultAudioRateIsOneTheEncoderTakes) {
  for (int code : SeededFormatCodes()) {
    const TFormatProfile p(kProfile, code);
    const AVCodec* encoder = DefaultEncoder(p, ckAudioEncoder);
    ASSERT_NE(encoder, nullptr) << code;
    const int rate = std::atoi(DefaultItem(p, ckSampleRate).c_str());
    EXPECT_GT(rate, 0) << code;
    if (!encoder->supported_samplerates) continue;
    bool found = false;
    for (const int* r = encoder->supported_samplerates; *r; ++r) found = found || *r == rate;
    EXPECT_TRUE(found) << code << " " << encoder->name << " " << rate;
  }
}

}  // namespace
