#include "profiles/FormatMappings.h"

#include <array>
#include <utility>

#include "platform/IniFile.h"
#include "profiles/ProfileText.h"

namespace {

using TNamePair = std::pair<const char*, const char*>;

template <size_t N>
std::optional<std::string> Lookup(const std::array<TNamePair, N>& table, const std::string& key) {
  for (const auto& [display, engine] : table)
    if (key == display) return std::string(engine);
  return std::nullopt;
}

template <size_t N>
bool Contains(const std::array<const char*, N>& names, const std::string& key) {
  for (const char* name : names)
    if (key == name) return true;
  return false;
}

const std::array<TNamePair, 3> kVideoRenamed = {{
    {"mpeg-4", "mpeg4"},
    {"xvid", "libxvid"},
    {"h264", "libx264"},
}};

// Display names that already are encoder names.
const std::array<const char*, 24> kVideoSame = {
    "3gp",     "3g2",       "mov",       "wmv1",       "wmv2",       "wmv3",  "flv",   "swf",
    "msmpeg4", "msmpeg4v1", "msmpeg4v2", "mpeg1video", "mpeg2video", "h263",  "h263p", "rawvideo",
    "rv10",    "rv20",      "dvvideo",   "huffyuv",    "ljpeg",      "mjpeg", "svq1",  "zlib",
};

const std::array<TNamePair, 20> kAudioRenamed = {{
    {"mp3", "libmp3lame"},
    {"ogg", "vorbis"},
    {"aac", "libfaac"},
    {"ac-3", "ac3"},
    {"libamr_nb", "libopencore_amrnb"},
    {"pcm-8bit", "pcm_s8"},
    {"pcm-16bit", "pcm_s16be"},
    {"pcm-24bit", "pcm_s24be"},
    {"pcm-32bit", "pcm_s32be"},
    {"pcm-32bit float", "pcm_f32be"},
    {"pcm-64bit float", "pcm_f64be"},
    {"ccitt a-law(8-bit)", "pcm_alaw"},
    {"ccitt mu-law(8-bit)", "pcm_mulaw"},
    {"ima adpcm(4-bit)", "adpcm_ima_qt"},
    {"gsm", "libgsm"},
    {"pcm_s16", "pcm_s16le"},
    {"pcm_u16", "pcm_u16le"},
    {"pcm_mulaw ", "pcm_mulaw"},  // list items are not trimmed; this spelling is in use
    {"wma1", "wmav1"},
    {"wma2", "wmav2"},
}};

const std::array<const char*, 8> kAudioSame = {
    "mp2", "flac", "alac", "adpcm_swf", "adpcm_yamaha", "pcm_alaw", "adpcm_ms", "adpcm_ima_wav",
};

const std::array<TNamePair, 3> kChannels = {{
    {"as source", "as source"},
    {"mono 1 channel", "1"},
    {"stereo 2 channels", "2"},
}};

const std::array<int, 12> kVolumePercents = {25,  50,  75,  100, 125, 150,
                                             175, 200, 250, 300, 350, 400};

const std::array<const char*, 4> kZoomKeys = {"full", "lbox", "pan", "center"};

}  // namespace

std::optional<std::vector<std::string>> SplitChoiceList(const std::string& text) {
  if (text == kNotOffered) return std::nullopt;
  std::vector<std::string> items;
  if (text.empty()) return items;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    items.push_back(
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

std::optional<std::string> VideoEncoderToEngine(const std::string& display) {
  const std::string key = profiles::LowerCase(display);
  if (auto renamed = Lookup(kVideoRenamed, key)) return renamed;
  if (Contains(kVideoSame, key)) return key;
  return std::nullopt;
}

std::optional<std::string> AudioEncoderToEngine(const std::string& display) {
  const std::string key = profiles::LowerCase(display);
  if (auto renamed = Lookup(kAudioRenamed, key)) return renamed;
  if (Contains(kAudioSame, key)) return key;
  return std::nullopt;
}

bool AudioEncoderForcesGsmValues(const std::string& display) {
  return profiles::LowerCase(display) == "gsm";
}

std::optional<std::string> ChannelToEngine(const std::string& display) {
  return Lookup(kChannels, display);
}

std::optional<std::string> VolumeToEngine(const std::string& display) {
  if (display.empty()) return std::nullopt;
  int percent = 0;
  // Drop the unit character; a multi-byte unit (UTF-8) is dropped whole.
  size_t cut = display.size() - 1;
  while (cut > 0 && (static_cast<unsigned char>(display[cut]) & 0xC0) == 0x80) --cut;
  if (!platform::ParseIniInt(display.substr(0, cut), percent)) return std::nullopt;
  for (int known : kVolumePercents)
    if (percent == known) return std::to_string(percent * 256 / 100);
  return std::nullopt;
}

std::optional<std::string> ZoomToKey(int index) {
  if (index < 0 || index >= kZoomItemCount) return std::nullopt;
  return std::string(kZoomKeys[static_cast<size_t>(index)]);
}

std::optional<int> KeyToZoom(const std::string& key) {
  for (size_t i = 0; i < kZoomKeys.size(); ++i)
    if (key == kZoomKeys[i]) return static_cast<int>(i);
  return std::nullopt;
}

bool IsH264Display(const std::string& display) { return profiles::LowerCase(display) == "h264"; }
