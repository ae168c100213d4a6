// The "target" presets (VCD, SVCD, DVD, DV) and the preset loader.
#include <strings.h>

#include <cmath>

#include "engine/common/FFmpegException.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"
#include "engine/options/OptionParser.h"
#include "engine/options/OptionText.h"
#include "engine/options/Presets.h"

namespace {

enum TNorm { nmPal, nmNtsc, nmFilm };

const char* const NormFrameRates[] = {"25", "30000/1001", "24000/1001"};

enum TChannelRule { crKeep, crStereo, crMonoToStereo };
enum TPixFmtRule { pfKeep, pfDv, pfDv50 };

// One target type; nullptr or 0 leaves the setting alone.
struct TTargetSettings {
  const char* Type;
  const char* VideoCodec;
  const char* AudioCodec;
  const char* Format;
  const char* SizePal;
  const char* SizeNtsc;
  int GopPal, GopNtsc;
  const char* BitRate;
  const char* MaxRate;
  const char* MinRate;
  const char* BufSize;
  const char* Flags;
  const char* AudioBitRate;
  int SampleRate;
  TChannelRule Channels;
  const char* PacketSize;
  const char* MuxRate;
  float MuxPreload;
  TPixFmtRule PixFmt;
  const char* DefaultAspect;
};

constexpr TTargetSettings Targets[] = {
    {"vcd", "mpeg1video", "mp2",     "vcd",     "352x288", "352x240", 15,
     18,    "1150000",    "1150000", "1150000", "327680",  nullptr,   "224000",
     44100, crStereo,     "2324",    "1411200", 0.44f,     pfKeep,    "4:3"},
    {"svcd", "mpeg2video",   "mp2",     "svcd",  "480x576", "480x480",      15,
     18,     "2040000",      "2516000", "0",     "1835008", "+scan_offset", "224000",
     44100,  crMonoToStereo, "2324",    nullptr, 0,         pfKeep,         "4:3"},
    {"dvd", "mpeg2video",   "ac3",     "dvd",      "720x576", "720x480", 15,
     18,    "6000000",      "9000000", "0",        "1835008", nullptr,   "448000",
     48000, crMonoToStereo, "2048",    "10080000", 0,         pfKeep,    "16:9"},
    {"dv",    nullptr, nullptr, "dv",  "720x576", "720x480", 0,       0, nullptr, nullptr, nullptr,
     nullptr, nullptr, nullptr, 48000, crStereo,  nullptr,   nullptr, 0, pfDv,    nullptr},
    {"dv50",  nullptr, nullptr, "dv",  "720x576", "720x480", 0,       0, nullptr, nullptr, nullptr,
     nullptr, nullptr, nullptr, 48000, crStereo,  nullptr,   nullptr, 0, pfDv50,  nullptr},
};

// Frames per second x 1000, rounded, as the norm tables know them.
long RateKey(AVRational rate) { return std::lround(av_q2d(rate) * 1000); }

int NormOfRate(long key) {
  if (key == 25000) return nmPal;
  if (key == 29970 || key == 23976) return nmNtsc;
  return -1;
}

}  // namespace

void TOptionParser::ParseTargetOption(const std::string& value) {
  const std::string text = TrimOptionText(value);
  static const char* const prefixes[][2] = {{"pal-", "pal"}, {"ntsc-", "ntsc"}, {"film-", "film"}};
  for (const auto& p : prefixes) {
    const std::string prefix = p[0];
    if (text.compare(0, prefix.size(), prefix) == 0) {
      Target(text.substr(prefix.size()), p[1], "ntsc");
      return;
    }
  }
  Target(text, "auto", "ntsc");
}

int TOptionParser::DetectNorm(const std::string& norm, const std::string& defaultNorm) {
  if (norm == "pal") return nmPal;
  if (norm == "ntsc") return nmNtsc;
  if (norm == "film") return nmFilm;
  if (state_.FrameRate.den == 0) throw FFmpegException("frame_rate is invalid.");
  int found = NormOfRate(RateKey(state_.FrameRate));
  if (found < 0 && host_) {
    // Inputs opened before "target" tell the norm by their video rate.
    for (AVFormatContext* ic : host_->OpenedInputFiles()) {
      for (unsigned i = 0; ic && i < ic->nb_streams && found < 0; ++i) {
        const AVStream* st = ic->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        AVRational rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
        if (rate.den) found = NormOfRate(RateKey(rate));
      }
      if (found >= 0) break;
    }
  }
  if (found < 0) found = defaultNorm == "film" ? nmFilm : defaultNorm == "ntsc" ? nmNtsc : nmPal;
  if (state_.Verbose > 0)
    Log(llVerbose, std::string("Assuming ") + (found == nmPal ? "PAL" : "NTSC") + " for target.");
  return found;
}

void TOptionParser::Target(const std::string& type, const std::string& norm,
                           const std::string& defaultNorm) {
  const int n = DetectNorm(norm, defaultNorm);
  const TTargetSettings* t = nullptr;
  for (const auto& candidate : Targets)
    if (type == candidate.Type) t = &candidate;
  if (!t) throw FFmpegException("Unknown target type");
  const bool pal = n == nmPal;
  if (t->VideoCodec) SetVideoCodec(t->VideoCodec);
  if (t->AudioCodec) SetAudioCodec(t->AudioCodec);
  SetFileFormat(t->Format);
  SetFrameSize(pal ? t->SizePal : t->SizeNtsc);
  SetFrameRate(NormFrameRates[n]);
  if (t->GopPal) SetGenericOption("g", std::to_string(pal ? t->GopPal : t->GopNtsc));
  const std::pair<const char*, const char*> generic[] = {
      {"b", t->BitRate},       {"maxrate", t->MaxRate}, {"minrate", t->MinRate},
      {"bufsize", t->BufSize}, {"flags", t->Flags},     {"ab", t->AudioBitRate}};
  for (const auto& [name, value] : generic)
    if (value) SetGenericOrMovedOption(name, value);
  state_.AudioSampleRate = t->SampleRate;
  if (t->Channels == crStereo || (t->Channels == crMonoToStereo && state_.AudioChannels == 1)) {
    state_.AudioChannels = 2;
    state_.AudioChannelsGiven = true;
  }
  if (t->PacketSize) SetGenericOption("packetsize", t->PacketSize);
  if (t->MuxRate) SetGenericOption("muxrate", t->MuxRate);
  if (t->MuxPreload > 0) state_.MuxPreload = t->MuxPreload;
  if (t->PixFmt == pfDv50) SetPixelFormat("yuv422p");
  if (t->PixFmt == pfDv) SetPixelFormat(pal ? "yuv420p" : "yuv411p");
  if (t->DefaultAspect && state_.FrameAspectRatio == 0) {
    SetFrameAspectRatio(t->DefaultAspect);
    Log(llInfo, std::string("Assuming ") + t->DefaultAspect + " for aspect ratio");
  }
}

void TOptionParser::LoadPreset(const std::string& kind, const std::string& preset) {
  if (preset.empty()) return;
  const TOptionsPreset* found = nullptr;
  std::string presetName = preset;
  if (kind != "fpre") {
    found = FindBuiltInPreset(preset);
    const std::string& codec = kind == "vpre"   ? state_.VideoCodecName
                               : kind == "apre" ? state_.AudioCodecName
                                                : state_.SubtitleCodecName;
    if (!found && !codec.empty()) {
      presetName = codec + "-" + preset;
      found = FindBuiltInPreset(presetName);
    }
  }
  std::string text;
  if (found) {
    text = found->Text;
  } else {
    presetName = preset;
    if (!FileExists(preset) || ReadWholeFile(preset, text) != 0)
      throw FFmpegException("Preset \"" + preset + "\" not found");
  }
  ApplyPresetText(preset, presetName, text);
}

void TOptionParser::ApplyPresetText(const std::string& preset, const std::string& lookedUpName,
                                    const std::string& text) {
  for (const TPresetLine& l : ParsePresetText(lookedUpName, text)) {
    if (strcasecmp(l.Name.c_str(), "acodec") == 0) {
      SetAudioCodec(l.Value);
    } else if (strcasecmp(l.Name.c_str(), "vcodec") == 0) {
      SetVideoCodec(l.Value);
    } else if (strcasecmp(l.Name.c_str(), "scodec") == 0) {
      SetSubtitleCodec(l.Value);
    } else if (!SetGenericOrMovedOption(l.Name, l.Value)) {
      throw FFmpegException(preset + ": Invalid option or argument: \"" + l.Line +
                            "\", parsed as \"" + l.Name + "\" = \"" + l.Value + "\"");
    }
  }
}
