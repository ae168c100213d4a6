// The option dispatcher: one table from option name to its effect.
#include "engine/options/OptionParser.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <unordered_map>

#include "engine/common/FFmpegException.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"

namespace {

using THandler = std::function<void(TOptionParser& p, TOptionState& s, const std::string& name,
                                    const std::string& value)>;

// A Boolean option is on for every value but "0" (an empty value included).
bool Bool(const std::string& v) { return v != "0"; }
int Int(const std::string& v) { return StrToIntStrict(v); }
float Float(const std::string& v) { return static_cast<float>(StrToFloatStrict(v)); }

std::string ShortNumber(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// Values the engine computes with (negates, scales to microseconds, casts)
// are checked here, so that an absurd one is refused by name instead of
// overflowing later.
int IntIn(const std::string& name, const std::string& v, int low, int high) {
  const int value = Int(v);
  if (value < low || value > high)
    throw FFmpegException(name + " must be from " + std::to_string(low) + " to " +
                          std::to_string(high));
  return value;
}
float FloatIn(const std::string& name, const std::string& v, double low, double high) {
  const double value = StrToFloatStrict(v);
  if (!(value >= low && value <= high))
    throw FFmpegException(name + " must be from " + ShortNumber(low) + " to " + ShortNumber(high));
  return static_cast<float>(value);
}

}  // namespace

constexpr double kDaySeconds = 86400;
constexpr double kMaxMuxSeconds = 2147;

// Builds the dispatcher table; a friend so that handlers reach the private
// parsers.
struct TOptionDispatch {
  static const std::unordered_map<std::string, THandler>& Table();

 private:
  static void Add(std::unordered_map<std::string, THandler>& t,
                  std::initializer_list<const char*> names, THandler h) {
    for (const char* n : names) t.emplace(n, h);
  }
  template <typename T>
  static THandler SetBool(T TPendingOptions::*field) {
    return [field](TOptionParser&, TOptionState& s, const std::string&, const std::string& v) {
      s.*field = Bool(v);
    };
  }
  template <typename T>
  static THandler SetInt(T TPendingOptions::*field, int low = INT_MIN, int high = INT_MAX) {
    return [field, low, high](TOptionParser&, TOptionState& s, const std::string& n,
                              const std::string& v) { s.*field = IntIn(n, v, low, high); };
  }
  static THandler SetFloat(float TPendingOptions::*field, double low, double high) {
    return [field, low, high](TOptionParser&, TOptionState& s, const std::string& n,
                              const std::string& v) { s.*field = FloatIn(n, v, low, high); };
  }
  static THandler SetText(std::string TPendingOptions::*field) {
    return [field](TOptionParser&, TOptionState& s, const std::string&, const std::string& v) {
      s.*field = v;
    };
  }
  static THandler SetTrue(bool TPendingOptions::*field) {
    return [field](TOptionParser&, TOptionState& s, const std::string&, const std::string&) {
      s.*field = true;
    };
  }
  static THandler NewStream(AVMediaType type) {
    return [type](TOptionParser& p, TOptionState&, const std::string&, const std::string&) {
      p.NewStream(type);
    };
  }
  static std::unordered_map<std::string, THandler> Build();
};

std::unordered_map<std::string, THandler> TOptionDispatch::Build() {
  using S = TPendingOptions;
  std::unordered_map<std::string, THandler> t;
  Add(t,
      {"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "i", "y",
       "benchmark"},
      [](TOptionParser& p, TOptionState&, const std::string& n, const std::string&) {
        p.Log(llInfo, "Do nothing: option - " + n);
      });
  Add(t, {"loglevel"}, [](TOptionParser&, TOptionState&, const std::string&, const std::string& v) {
    FFLogger().SetLogLevelByName(v);
  });
  Add(t, {"f"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.SetFileFormat(v);
  });
  Add(t, {"map"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.AddStreamMap(v);
  });
  Add(t, {"map_meta_data"},
      [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
        p.AddMetaDataMap(v);
      });
  Add(t, {"t"}, [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
    p.SetRecordingTime(TOptionParser::ParseTime(n, v, true));
  });
  Add(t, {"fs"}, [](TOptionParser&, TOptionState& s, const std::string&, const std::string& v) {
    s.FileSizeLimit = StrToInt64Strict(v);
  });
  Add(t, {"ss"}, [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
    p.SetStartTime(TOptionParser::ParseTime(n, v, true));
  });
  Add(t, {"itsoffset"},
      [](TOptionParser&, TOptionState& s, const std::string& n, const std::string& v) {
        s.InputTsOffset = TOptionParser::ParseTime(n, v, true);
      });
  Add(t, {"itsscale"},
      [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
        p.SetInputTsScale(v);
      });
  Add(t, {"timestamp"},
      [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
        p.SetTimestamp(llround(TOptionParser::ParseTime(n, v, false) / 1000000.0));
      });
  Add(t, {"metadata"},
      [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
        p.ParseMetadata(v);
      });
  Add(t, {"dframes"}, SetInt(&S::MaxDataFrames));
  Add(t, {"timelimit"},
      [](TOptionParser& p, TOptionState&, const std::string&, const std::string&) {
        p.Log(llWarning, "Warning: -timelimit not implemented on Windows");
      });
  Add(t, {"dump"}, SetBool(&S::DoPktDump));
  Add(t, {"hex"}, SetBool(&S::DoHexDump));
  Add(t, {"re"}, SetBool(&S::RateEmu));
  Add(t, {"loop_input"}, SetBool(&S::LoopInput));
  Add(t, {"loop_output"}, SetInt(&S::LoopOutput));
  Add(t, {"v"}, SetInt(&S::Verbose));
  Add(t, {"target"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.ParseTargetOption(v);
  });
  Add(t, {"threads"}, [](TOptionParser&, TOptionState&, const std::string& n, const std::string&) {
    throw FFmpegException("TODO: option - " + n);
  });
  Add(t, {"vsync"}, SetInt(&S::VideoSyncMethod, -1, 2));
  Add(t, {"async"}, SetInt(&S::AudioSyncMethod, 0, INT_MAX));
  Add(t, {"adrift_threshold"}, SetFloat(&S::AudioDriftThreshold, 0, kDaySeconds));
  Add(t, {"vglobal"}, SetInt(&S::VideoGlobalHeader));
  Add(t, {"copyts"}, SetTrue(&S::CopyTs));
  Add(t, {"shortest"}, SetBool(&S::Shortest));
  Add(t, {"dts_delta_threshold"}, SetFloat(&S::DtsDeltaThreshold, 0, kDaySeconds));
  Add(t, {"programid"}, SetInt(&S::ProgramId));
  Add(t, {"xerror"}, SetTrue(&S::ExitOnError));
  Add(t, {"copyinkf"}, SetInt(&S::CopyInitialNonKeyFrames));
  Add(t, {"b", "vb", "ab"},
      [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
        p.SetBitRate(n, v);
      });
  Add(t, {"vframes"}, SetInt(&S::MaxVideoFrames));
  Add(t, {"r"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.SetFrameRate(v);
  });
  Add(t, {"s"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.SetFrameSize(v);
  });
  Add(t, {"aspect"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.SetFrameAspectRatio(v);
  });
  Add(t, {"pix_fmt"},
      [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
        p.SetPixelFormat(v);
      });
  Add(t, {"croptop", "cropbottom", "cropleft", "cropright"},
      [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
        p.SetCrop(n, v);
      });
  Add(t, {"padtop", "padbottom", "padleft", "padright", "padcolor"},
      [](TOptionParser&, TOptionState&, const std::string&, const std::string&) {
        throw FFmpegException("Please use vfilters=pad");
      });
  Add(t, {"intra"}, SetBool(&S::IntraOnly));
  Add(t, {"vn"}, SetBool(&S::VideoDisable));
  Add(t, {"vdt"}, SetInt(&S::VideoDiscard, AVDISCARD_NONE, AVDISCARD_ALL));
  Add(t, {"qscale"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.SetQScale(v);
  });
  Add(t, {"rc_override"},
      [](TOptionParser&, TOptionState& s, const std::string&, const std::string& v) {
        s.RcOverride = v;
      });
  Add(t, {"vcodec"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.SetVideoCodec(v);
  });
  Add(t, {"me_threshold"}, SetInt(&S::MeThreshold));
  Add(t, {"sameq"}, SetBool(&S::SameQuality));
  Add(t, {"pass"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.SetPass(v);
  });
  Add(t, {"passlogfile"}, SetText(&S::PassLogFileName));
  Add(t, {"deinterlace"}, SetBool(&S::Deinterlace));
  Add(t, {"psnr"}, SetBool(&S::DoPsnr));
  Add(t, {"vstats"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string&) {
    p.SetVStats();
  });
  Add(t, {"vstats_file"}, SetText(&S::VStatsFileName));
  Add(t, {"vhook"},
      [](TOptionParser& p, TOptionState& s, const std::string&, const std::string& v) {
        if (!p.host_) throw FFmpegException("Failed to add video hook function: " + v);
        p.host_->AddFrameHook(v);
        s.UsingVHook = true;
      });
  Add(t, {"vfilters", "vf"},
      [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
        p.SetVideoFilters(v);
      });
  Add(t, {"intra_matrix", "inter_matrix"},
      [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
        p.ParseMatrix(n, v);
      });
  Add(t, {"top"}, SetInt(&S::TopFieldFirst, -1, 1));
  // The library takes -8..16 for the precision less 8.
  Add(t, {"dc"}, SetInt(&S::IntraDcPrecision, 0, 24));
  Add(t, {"vtag", "atag", "stag"},
      [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
        p.SetCodecTag(n, v);
      });
  Add(t, {"newvideo"}, NewStream(AVMEDIA_TYPE_VIDEO));
  Add(t, {"vlang"}, SetText(&S::VideoLanguage));
  Add(t, {"qphist"}, SetBool(&S::QpHistogram));
  Add(t, {"force_fps"}, SetBool(&S::ForceFps));
  Add(t, {"streamid"},
      [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
        p.SetStreamId(n, v);
      });
  Add(t, {"aframes"}, SetInt(&S::MaxAudioFrames));
  Add(t, {"aq"}, SetFloat(&S::AudioQScale, -10000, 10000));
  Add(t, {"ar"}, [](TOptionParser&, TOptionState& s, const std::string&, const std::string& v) {
    if (int rate = Int(v); rate > 0) s.AudioSampleRate = rate;
  });
  Add(t, {"ac"}, [](TOptionParser&, TOptionState& s, const std::string&, const std::string& v) {
    if (int channels = Int(v); channels > 0) {
      s.AudioChannels = channels;
      s.AudioChannelsGiven = true;
    }
  });
  Add(t, {"an"}, SetBool(&S::AudioDisable));
  Add(t, {"acodec"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.SetAudioCodec(v);
  });
  Add(t, {"vol"}, [](TOptionParser& p, TOptionState& s, const std::string&, const std::string& v) {
    // Beyond 256 times the loudness every sample is at full scale anyway; the
    // limit keeps the scaling of 16-bit samples within 32 bits.
    s.AudioVolume = Int(v);
    if (s.AudioVolume <= MaxAudioVolume) return;
    p.Log(llWarning, "vol " + v + " is more than " + std::to_string(MaxAudioVolume) + "; " +
                         std::to_string(MaxAudioVolume) + " is used");
    s.AudioVolume = MaxAudioVolume;
  });
  Add(t, {"newaudio"}, NewStream(AVMEDIA_TYPE_AUDIO));
  Add(t, {"alang"}, SetText(&S::AudioLanguage));
  Add(t, {"sample_fmt"},
      [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
        p.SetSampleFormat(v);
      });
  Add(t, {"sn"}, SetBool(&S::SubtitleDisable));
  Add(t, {"scodec"}, [](TOptionParser& p, TOptionState&, const std::string&, const std::string& v) {
    p.SetSubtitleCodec(v);
  });
  Add(t, {"newsubtitle"}, NewStream(AVMEDIA_TYPE_SUBTITLE));
  Add(t, {"slang"}, SetText(&S::SubtitleLanguage));
  Add(t, {"vc"}, SetInt(&S::VideoChannel));
  Add(t, {"tvstd"}, SetText(&S::VideoStandard));
  Add(t, {"isync"}, SetBool(&S::InputSync));
  // Both reach the muxer as whole microseconds in an int.
  Add(t, {"muxdelay"}, SetFloat(&S::MuxMaxDelay, 0, kMaxMuxSeconds));
  Add(t, {"muxpreload"}, SetFloat(&S::MuxPreload, 0, kMaxMuxSeconds));
  Add(t, {"absf", "vbsf", "sbsf"},
      [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
        p.AddBitstreamFilter(n, v);
      });
  Add(t, {"apre", "vpre", "spre", "fpre"},
      [](TOptionParser& p, TOptionState&, const std::string& n, const std::string& v) {
        p.LoadPreset(n, v);
      });
  return t;
}

const std::unordered_map<std::string, THandler>& TOptionDispatch::Table() {
  static const std::unordered_map<std::string, THandler> table = Build();
  return table;
}

TOptionParser::TOptionParser(TOptionState& state, IOptionHost* host) : state_(state), host_(host) {}

void TOptionParser::Log(int level, const std::string& text) const {
  FFLogger().Log(host_ ? host_->LogSender() : this, static_cast<TLogLevel>(level), text);
}

void TOptionParser::ParseOption(const std::string& name, const std::string& value) {
  const auto& table = TOptionDispatch::Table();
  if (auto it = table.find(name); it != table.end()) {
    it->second(*this, state_, name, value);
    return;
  }
  // Anything else is a generic option; an unknown name or a rejected value
  // changes nothing (the library has logged why).
  SetGenericOrMovedOption(name, value);
}

void TOptionParser::SetCodecName(std::string& codecName, bool& streamCopy,
                                 const std::string& value) {
  if (value.empty()) return;
  codecName.clear();
  if (value == "copy")
    streamCopy = true;
  else
    codecName = value;
}

void TOptionParser::SetAudioCodec(const std::string& value) {
  SetCodecName(state_.AudioCodecName, state_.AudioStreamCopy, value);
}

void TOptionParser::SetVideoCodec(const std::string& value) {
  SetCodecName(state_.VideoCodecName, state_.VideoStreamCopy, value);
}

void TOptionParser::SetSubtitleCodec(const std::string& value) {
  SetCodecName(state_.SubtitleCodecName, state_.SubtitleStreamCopy, value);
}

void TOptionParser::SetVideoFilters(const std::string& value) { state_.VideoFilters = value; }

void TOptionParser::SetRecordingTime(std::int64_t us) {
  state_.RecordingTime = us;
  if (us != NoTimeValue && host_) host_->SetTotalDuration(us);
}

void TOptionParser::SetStartTime(std::int64_t us) {
  // A start before the beginning would be made up of repeated pictures.
  if (us < 0 && us != NoTimeValue) throw FFmpegException("ss must not be negative");
  state_.StartTime = us;
}

void TOptionParser::SetTimestamp(std::int64_t unixSeconds) { state_.RecordTimestamp = unixSeconds; }

void TOptionParser::SetFileFormat(const std::string& value) {
  if (value == "pgmyuv") {
    state_.PgmYuv = true;
    state_.FileFormatName = "image2";
    Log(llInfo, "pgmyuv format is deprecated, use image2");
  } else {
    state_.FileFormatName = value;
  }
}

void TOptionParser::SetQScale(const std::string& value) {
  float q = Float(value);
  if (!(q > 0 && q <= 255)) throw FFmpegException("qscale must be > 0.0 and <= 255");
  state_.VideoQScale = q;
}

void TOptionParser::SetPass(const std::string& value) {
  int pass = Int(value);
  if (pass != 1 && pass != 2) throw FFmpegException("pass number can be only 1 or 2");
  state_.DoPass = pass;
}

void TOptionParser::SetVStats() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H%M%S", &local);
  // In the current folder, like every other relative file name of the
  // options; the program's own folder is read-only once installed.
  state_.VStatsFileName = std::string("vstats_") + stamp + ".log";
}

void TOptionParser::NewStream(AVMediaType type) {
  if (!host_) throw FFmpegException("At least one output file must be specified");
  host_->NewStream(type);
}
