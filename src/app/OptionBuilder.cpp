#include "app/OptionBuilder.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <system_error>

#include "app/GlobalUnit.h"
#include "engine/probe/AVProbe.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "profiles/FormatCatalog.h"
#include "profiles/FormatMappings.h"
#include "profiles/ProfileText.h"

namespace {

constexpr const char* kAsSource = "as source";
constexpr const char* kWarningCaption = "Warning";

// The settings default of paraVolume is "unchanged": a section written by
// hand without the key must not come out nearly silent.
constexpr const char* kUnchangedVolume = "256";

// ---- Number texts ----

bool TryWhole(const std::string& text, int& value) { return platform::ParseIniInt(text, value); }

// An integer or a decimal number, the whole text (blanks around allowed).
bool TryNumber(const std::string& text, double& value) {
  std::string t = profiles::Trim(text);
  if (t.empty()) return false;
  const char* first = t.data();
  const char* last = t.data() + t.size();
  if (*first == '+') ++first;
  auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last && std::isfinite(value);
}

int WholeOrThrow(const std::string& text) {
  int value = 0;
  if (!TryWhole(text, value)) throw EConvertError("'" + text + "' is not a valid integer value");
  return value;
}

double NumberOrThrow(const std::string& text) {
  double value = 0;
  if (!TryNumber(text, value))
    throw EConvertError("'" + text + "' is not a valid floating point value");
  return value;
}

// kbit/s to bit/s. Values whose bit rate does not fit the record's field are
// refused rather than wrapped.
bool KiloToUnits(double kilo, std::int32_t& units) {
  double scaled = std::trunc(kilo * 1000.0);
  if (!(scaled > 0) || scaled > INT32_MAX) return false;
  units = static_cast<std::int32_t>(scaled);
  return true;
}

bool IsOneOf(const std::string& text, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* name) { return text == name; });
}

// 2 x (v div 2) for non-negative integers.
int EvenDown(std::int64_t v) { return static_cast<int>(2 * (v / 2)); }

std::string SizeText(int w, int h, char separator) {
  return std::to_string(w) + separator + std::to_string(h);
}

// ---- Tables ----

struct TTargetPreset {
  const char* Format;
  int Target;
  int Norm;
  const char* WideSize;  // the paraVideoSize that makes the aspect 16:9; nullptr: always 4:3
};
const TTargetPreset kTargetPresets[] = {
    {"ntsc-dvd", 3, 2, "720x480"}, {"pal-dvd", 3, 1, "720x576"}, {"ntsc-vcd", 1, 2, nullptr},
    {"pal-vcd", 1, 1, nullptr},    {"ntsc-svcd", 2, 2, nullptr}, {"pal-svcd", 2, 1, nullptr},
};

// Encoder texts handed to the engine as they are.
const std::initializer_list<const char*> kPlainVideoCodecs = {
    "mpeg4",   "libxvid",  "mpeg1video", "msmpeg4", "msmpeg4v1", "msmpeg4v2", "huffyuv",
    "dvvideo", "rawvideo", "h263p",      "h263",    "rv10",      "rv20",      "ljpeg",
    "mjpeg",   "svq1",     "zlib",       "wmv1",    "wmv2"};

struct TNamePair {
  const char* From;
  const char* To;
};
const TNamePair kX264Presets[] = {
    {"psp", "libx264-psp"}, {"ipod", "libx264-ipod"}, {"ps3", "libx264-ps3"}};
constexpr const char* kX264DefaultPreset = "libx264-mp4";

// Containers named explicitly; others are guessed by the engine from the
// output file's extension.
const std::initializer_list<const char*> kAudioContainers = {
    "amr", "ac3", "asf", "aiff", "au", "voc", "flac", "flv", "avi", "matroska", "mmf"};
const std::initializer_list<const char*> kVideoContainers = {
    "ipod", "3gp", "3g2", "avi", "psp", "mov", "vcd", "flv", "mpegts", "vob", "asf", "dv"};

// MPEG-4 Visual in AVI is known to a player by its four-character
// code alone. The encoders' own codes (FMP4, or lower-case "xvid") are
// refused by many standalone players and TVs, which look for XVID or for
// DX50, the code of the fifth DivX release; both are standard tags of the
// same stream. The Divx format writes DX50, every other AVI format XVID.
constexpr int kDivxFormatCode = 106;
constexpr const char* kDivxTag = "DX50";
constexpr const char* kXvidTag = "XVID";
const std::initializer_list<const char*> kMpeg4VisualEncoders = {"mpeg4", "libxvid"};

// Containers of the MP4 family. Their index is written at the front (the
// muxer's own option: one more pass over the file at its end), so that a
// web page or a phone can start playing before the whole file has arrived.
const std::initializer_list<const char*> kFrontIndexFormats = {"ipod", "mp4", "m4a", "mov",
                                                               "3gp",  "3g2", "psp"};

// Containers whose header carries the date the file was recorded, which
// players show. With none given the muxers write the first second of 1970;
// the conversion's own moment is the file's date instead.
const std::initializer_list<const char*> kDatedFormats = {"dv", "asf"};

// Frame sizes the H.263 encoder takes as they are.
const std::initializer_list<const char*> kH263Sizes = {"704x576", "352x288", "176x144", "160x120",
                                                       "128x96"};

struct TRangeKey {
  const char* Key;
  double Scale;  // the list's unit in source units
};
TRangeKey RangeKeyOf(TRangeKind kind) {
  switch (kind) {
    case rkSampleRate: return {"SampleRate", 1.0};
    case rkAudioBitRate: return {"AudioBitRate", 1000.0};
    case rkVideoBitRate: return {"VideoBitRate", 1000.0};
  }
  return {"SampleRate", 1.0};
}

// ---- One build ----

struct TPads {
  int Top = 0, Bottom = 0, Left = 0, Right = 0;
};

class TOptionBuild {
 public:
  TOptionBuild(const TBuildContext& context, const TlvFilesRecord& record, int code,
               TOutputOptions& output, const TSourceStreams& source, TInputOptions& input)
      : code_(code),
        profile_(context.ProfileFile, code),
        settings_(context.SettingsFile, context.ProfileFile, code),
        ui_(context.Ui ? context.Ui : &fallbackUi_),
        record_(record),
        source_(source),
        out_(output),
        in_(input) {}

  void Run() {
    format_ = profile_.Format();
    formatLower_ = profiles::LowerCase(format_);
    ApplyTargetPreset();
    if (profiles::Trim(Setting("paraVideoEncoder", builder_default::paraVideoEncoder)).empty())
      BuildAudioOnly();
    else
      BuildWithVideo();
    if (IsOneOf(formatLower_, kFrontIndexFormats)) AddOutputLine(kFrontIndexOption);
    if (IsOneOf(formatLower_, kDatedFormats)) out_.Metadata.TimeStamp = 0;  // now
  }

 private:
  std::string Setting(const char* key, const char* def) const { return settings_.Read(key, def); }

  void AddOutputLine(const std::string& line) {
    out_.ExtraOptions = out_.ExtraOptions.empty() ? line : out_.ExtraOptions + "\n" + line;
  }

  void ApplyTargetPreset() {
    for (const auto& preset : kTargetPresets) {
      if (formatLower_ != preset.Format) continue;
      out_.Target = preset.Target;
      out_.TargetNorm = preset.Norm;
      bool wide = preset.WideSize &&
                  Setting("paraVideoSize", builder_default::paraVideoSize) == preset.WideSize;
      out_.FrameAspectRatio = wide ? "16:9" : "4:3";
    }
  }

  void BuildAudioOnly() {
    out_.AudioCodec = Setting("paraAudioEncoder", builder_default::paraAudioEncoderAudioOnly);
    if (IsOneOf(formatLower_, kAudioContainers)) out_.FileFormat = formatLower_;
    ApplyChannels();
    ApplySampleRate();
    ApplyAudioBitRate();
    ApplyVolume();
    in_.ExtraOptions = "vn=1";
    out_.DisableVideo = true;
    out_.DisableSubtitle = true;
  }

  void BuildWithVideo() {
    ApplyVideoCodec(Setting("paraVideoEncoder", builder_default::paraVideoEncoder));
    std::string filter;
    if (source_.VideoStreamCount < 1) {
      out_.DisableVideo = true;
    } else {
      ApplyVideoBitRate();
      ApplyFrameRate();
      if (IsOneOf(formatLower_, kVideoContainers)) out_.FileFormat = format_;
      filter = ApplyFrameSizeAndZoom();
      ApplyVideoTag();
    }
    // A source without video adds nothing, so a chain the caller set stays valid.
    if (!filter.empty())
      out_.VideoFilters = out_.VideoFilters.empty() ? filter : out_.VideoFilters + "," + filter;
    ApplyAudioCodecWithVideo();
    ApplyChannels();
    ApplyVolume();
    ApplySampleRate();
    ApplyAudioBitRate();
  }

  // ---- Video ----

  void ApplyVideoCodec(const std::string& encoder) {
    if (IsOneOf(encoder, kPlainVideoCodecs)) {
      out_.VideoCodec = encoder;
    } else if (encoder == "mpeg2video") {
      out_.VideoCodec = encoder;
      out_.Target = 3;
    } else if (encoder == "libx264") {
      out_.VideoCodec = encoder;
      out_.VideoPreset = kX264DefaultPreset;
      for (const auto& preset : kX264Presets)
        if (formatLower_ == preset.From) out_.VideoPreset = preset.To;
    }
  }

  void ApplyVideoTag() {
    if (formatLower_ == "avi" && IsOneOf(out_.VideoCodec, kMpeg4VisualEncoders))
      out_.VideoTag = code_ == kDivxFormatCode ? kDivxTag : kXvidTag;
  }

  void ApplyVideoBitRate() {
    std::string text = Setting("paraVideoBitRate", builder_default::paraVideoBitRate);
    int kilo = 0;
    if (text != kAsSource && TryWhole(text, kilo)) {
      KiloToUnits(kilo, out_.VideoBitRate);
      return;
    }
    if (ValueInChoiceRange(profile_, rkVideoBitRate, source_.VideoBitRate)) {
      out_.VideoBitRate = source_.VideoBitRate;
      return;
    }
    std::string fallback = profile_.ParaVideoBitRate();
    if (!profiles::SameTextIgnoringCase(fallback, kAsSource))
      KiloToUnits(WholeOrThrow(fallback), out_.VideoBitRate);
  }

  void ApplyFrameRate() {
    std::string text = Setting("paraFrameRate", builder_default::paraFrameRate);
    double rate = 0;
    if (text != kAsSource && TryNumber(text, rate) && rate > 0) out_.FrameRate = text;
  }

  // The target size in tw_ x th_; false when neither the setting nor the
  // source gives a usable size.
  bool ChooseTargetSize() {
    const int sw = source_.Width, sh = source_.Height;
    std::string text = Setting("paraVideoSize", builder_default::paraVideoSize);
    bool asSource = text == kAsSource;
    size_t x = text.find('x');
    bool usable = x != std::string::npos && x > 0 && x + 1 < text.size();
    if (!asSource && usable) {
      tw_ = PositiveWholeOr(text.substr(0, x), sw);
      th_ = PositiveWholeOr(text.substr(x + 1), sh);
      // Whole sizes of the encoder's list only: a fragment such as "352x2"
      // is no size the encoder takes.
      if (profiles::LowerCase(out_.VideoCodec) == "h263" && !IsOneOf(text, kH263Sizes))
        FitH263Size();
    } else if (!asSource) {
      asSource = !ui_->AskYesNo(kWarningCaption,
                                "Error output Video Size.Use the default size 320x240?", true);
      if (!asSource) SetTarget(320, 240);
    }
    if (asSource) SetTarget(sw, sh);
    // Encoders of 4:2:0 pictures refuse odd sizes, so the target is made even.
    tw_ = EvenDown(tw_);
    th_ = EvenDown(th_);
    return tw_ > 0 && th_ > 0;
  }

  void SetTarget(int w, int h) {
    tw_ = w;
    th_ = h;
  }

  static int PositiveWholeOr(const std::string& part, int fallback) {
    int value = 0;
    return TryWhole(part, value) && value > 0 ? value : fallback;
  }

  void FitH263Size() {
    if (tw_ > 176 && tw_ <= 352) SetTarget(352, 288);
    if (tw_ > 352) SetTarget(704, 576);
  }

  std::string ApplyFrameSizeAndZoom() {
    bool haveSize = ChooseTargetSize();
    for (std::int32_t* crop : {&out_.CropTop, &out_.CropBottom, &out_.CropLeft, &out_.CropRight})
      if (*crop == -1) *crop = 0;
    if (!haveSize) return {};
    const std::string& zoom = record_.Zoom;
    if (zoom == "full") return ZoomFull();
    // The shaping zooms divide by the source's extent; a stream whose size
    // the probe could not tell is only brought to the target size.
    if (source_.Width <= 0 || source_.Height <= 0) {
      if (zoom == "lbox" || zoom == "pan" || zoom == "center") SetTargetFrame();
      return {};
    }
    if (zoom == "lbox") return ZoomLetterbox();
    if (zoom == "pan") return ZoomPanScan();
    if (zoom == "center") return ZoomCenter();
    return {};
  }

  // True when the record cuts something and still leaves a picture; margins
  // that leave none are ignored rather than handed to the engine.
  bool RecordCrops() const {
    bool any = record_.CropTop > 0 || record_.CropBottom > 0 || record_.CropLeft > 0 ||
               record_.CropRight > 0;
    return any && CroppedWidth() > 0 && CroppedHeight() > 0;
  }
  int CroppedWidth() const { return source_.Width - record_.CropLeft - record_.CropRight; }
  int CroppedHeight() const { return source_.Height - record_.CropTop - record_.CropBottom; }

  void CopyRecordCrop() {
    out_.CropTop = record_.CropTop;
    out_.CropBottom = record_.CropBottom;
    out_.CropLeft = record_.CropLeft;
    out_.CropRight = record_.CropRight;
  }
  void ClearOutputCrop() { out_.CropTop = out_.CropBottom = out_.CropLeft = out_.CropRight = 0; }

  void SetTargetFrame() {
    out_.FrameSize = SizeText(tw_, th_, 'x');
    out_.FrameAspectRatio = SizeText(tw_, th_, ':');
  }

  std::string ZoomFull() {
    if (RecordCrops()) CopyRecordCrop();
    SetTargetFrame();
    return {};
  }

  // Bars above and below (or left and right) so that a sw x sh picture keeps
  // its shape inside the target; every amount is even.
  TPads LetterboxPads(int sw, int sh) const {
    const std::int64_t SW = sw, SH = sh, TW = tw_, TH = th_;
    // G = SW / TW and H = SH / TH, compared without rounding.
    const std::int64_t g = SW * TH, h = SH * TW;
    TPads pads;
    auto bars = [&] {  // the picture fills the width
      int height = EvenDown(SH * TW / SW);
      pads = {};
      pads.Top = pads.Bottom = 2 * ((th_ - height) / 4);
    };
    auto pillars = [&] {  // the picture fills the height
      int width = EvenDown(SW * TH / SH);
      pads = {};
      pads.Left = pads.Right = 2 * ((tw_ - width) / 4);
    };
    if (SW >= TW && TH >= SH) bars();
    if (TW >= SW && SH >= TH) pillars();
    if (TW >= SW && TH >= SH) {
      if (g > h) bars();
      if (g < h) pillars();
      if (g == h) {
        pads.Top = pads.Bottom = 2 * ((th_ - EvenDown(SH * TW / SW)) / 4);
        pads.Left = pads.Right = 2 * ((tw_ - EvenDown(SW * TH / SH)) / 4);
      }
    }
    if (SW >= TW && SH >= TH) {
      if (g > h) bars();
      if (g < h) pillars();
      if (g == h) {
        pads = {};
        pads.Left = pads.Right = 2 * ((tw_ - EvenDown(SW * TH / SH)) / 4);
      }
    }
    if (TW == SW && TH == SH) pads = {};
    return pads;
  }

  // The crop filter takes the kept size first, then its position.
  std::string CropFilter() const {
    return "crop=" + SizeText(CroppedWidth(), CroppedHeight(), ':') + ":" +
           std::to_string(record_.CropLeft) + ":" + std::to_string(record_.CropTop);
  }
  std::string PadFilter(int x, int y) const {
    return "pad=" + SizeText(tw_, th_, ':') + ":" + SizeText(x, y, ':');
  }

  std::string ZoomLetterbox() {
    const bool crop = RecordCrops();
    // The bars follow the picture that is shown: the cropped one when the
    // record crops, so that the crop is not stretched to the source's shape.
    TPads pads = crop ? LetterboxPads(CroppedWidth(), CroppedHeight())
                      : LetterboxPads(source_.Width, source_.Height);
    const int innerW = tw_ - pads.Left - pads.Right;
    const int innerH = th_ - pads.Top - pads.Bottom;
    if (!crop) {
      out_.FrameSize = SizeText(innerW, innerH, 'x');
      out_.FrameAspectRatio = SizeText(innerW, innerH, ':');
      return PadFilter(pads.Left, pads.Top);
    }
    // The filter does the crop, once, on the whole source picture. The
    // engine applies the aspect to the picture it hands to the filter, which
    // is then the whole source: its own shape keeps the pixels square, so the
    // cropped part keeps its shape inside the bars.
    ClearOutputCrop();
    out_.FrameAspectRatio = SizeText(source_.Width, source_.Height, ':');
    return CropFilter() + ",scale=" + SizeText(innerW, innerH, ':') + "," +
           PadFilter(pads.Left, pads.Top);
  }

  // Pan and scan keeps a 4:3 part of the (cropped) picture: the side that is
  // too long loses the same even amount at both ends, on top of the record's
  // own margin at that end. The kept part may be up to 3 pixels longer than
  // exact 4:3 because the amounts are even and rounded down.
  std::string ZoomPanScan() {
    const bool crop = RecordCrops();
    TlvFilesRecord none;
    const TlvFilesRecord& margins = crop ? record_ : none;
    const std::int64_t cw = source_.Width - margins.CropLeft - margins.CropRight;
    const std::int64_t ch = source_.Height - margins.CropTop - margins.CropBottom;
    out_.CropTop = margins.CropTop;
    out_.CropBottom = margins.CropBottom;
    out_.CropLeft = margins.CropLeft;
    out_.CropRight = margins.CropRight;
    if (cw * 3 > ch * 4) {
      int extra = EvenDown((cw - ch * 4 / 3) / 2);
      out_.CropLeft += extra;
      out_.CropRight += extra;
    } else if (cw * 3 < ch * 4) {
      int extra = EvenDown((ch - cw * 3 / 4) / 2);
      out_.CropTop += extra;
      out_.CropBottom += extra;
    }
    SetTargetFrame();
    return {};
  }

  // "center" shows the (cropped) picture at its own size in the middle of a
  // black target frame, shrunk to fit only when it is larger than the target.
  // The filter does crop, shrink and pad, so the engine scales nothing
  // before it; the frame's aspect is left to the engine, which keeps the
  // source's (the padding adds square pixels only).
  std::string ZoomCenter() {
    const bool crop = RecordCrops();
    const std::int64_t cw = crop ? CroppedWidth() : source_.Width;
    const std::int64_t ch = crop ? CroppedHeight() : source_.Height;
    std::int64_t w = cw, h = ch;
    std::string filter = crop ? CropFilter() + "," : "";
    if (cw > tw_ || ch > th_) {
      const bool fillsWidth = cw * th_ >= ch * tw_;
      w = fillsWidth ? tw_ : EvenDown(cw * th_ / ch);
      h = fillsWidth ? EvenDown(ch * tw_ / cw) : th_;
      filter += "scale=" + SizeText(int(w), int(h), ':') + ",";
    }
    ClearOutputCrop();
    return filter + PadFilter(EvenDown((tw_ - w) / 2), EvenDown((th_ - h) / 2)) + ":black";
  }

  // ---- Audio ----

  void ApplyAudioCodecWithVideo() {
    std::string codec = Setting("paraAudioEncoder", builder_default::paraAudioEncoderWithVideo);
    out_.AudioCodec = codec == "libamr_nb" ? "libopencore_amrnb" : codec;
    if (profiles::Trim(codec).empty()) out_.DisableAudio = true;
  }

  void ApplyChannels() {
    std::string text = Setting("paraChannel", builder_default::paraChannel);
    int channels = 0;
    if (text != kAsSource && TryWhole(text, channels) && channels > 0)
      out_.AudioChannels = channels;
  }

  void ApplyVolume() {
    std::string text = Setting("paraVolume", kUnchangedVolume);
    if (text != kUnchangedVolume) out_.AudioVolume = WholeOrThrow(text);
  }

  void ApplySampleRate() {
    std::string text = Setting("paraSampleRate", builder_default::paraSampleRate);
    int rate = 0;
    if (text != kAsSource && TryWhole(text, rate)) {
      if (rate > 0) out_.AudioSampleRate = rate;
      return;
    }
    if (ValueInChoiceRange(profile_, rkSampleRate, source_.AudioSampleRate)) {
      out_.AudioSampleRate = source_.AudioSampleRate;
      return;
    }
    std::string fallback = profile_.ParaSampleRate();
    if (profiles::SameTextIgnoringCase(fallback, kAsSource)) return;
    int value = WholeOrThrow(fallback);
    if (value > 0) out_.AudioSampleRate = value;
  }

  void ApplyAudioBitRate() {
    std::string text = Setting("paraAudioBitRate", builder_default::paraAudioBitRate);
    double kilo = 0;
    if (text != kAsSource && TryNumber(text, kilo)) {
      KiloToUnits(kilo, out_.AudioBitRate);
      return;
    }
    if (ValueInChoiceRange(profile_, rkAudioBitRate, source_.AudioBitRate)) {
      out_.AudioBitRate = source_.AudioBitRate;
      return;
    }
    std::string fallback = profile_.ParaAudioBitRate();
    if (profiles::SameTextIgnoringCase(fallback, kAsSource) || profiles::Trim(fallback).empty())
      return;
    KiloToUnits(NumberOrThrow(fallback), out_.AudioBitRate);
  }

  int code_;
  TFormatProfile profile_;
  TConversionSettings settings_;
  TDefaultUserInteraction fallbackUi_;
  IUserInteraction* ui_;
  const TlvFilesRecord& record_;
  const TSourceStreams& source_;
  TOutputOptions& out_;
  TInputOptions& in_;
  std::string format_;
  std::string formatLower_;
  int tw_ = 0, th_ = 0;
};

// ---- Output names ----

bool PathExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::string OutputFolder(const std::string& settingsFile, IUserInteraction& ui) {
  TAppSettings settings(settingsFile);
  std::string folder = settings.OutPutDir();
  if (!platform::DirectoryExists(folder) && !platform::ForceDirectories(folder)) {
    std::string fallback = platform::DefaultVideoFolder();
    ui.ShowWarning(kWarningCaption, "Cannot create output directory:" + folder +
                                        ".It will create default directory " + fallback + "!");
    platform::ForceDirectories(fallback);
    settings.SetOutPutDir(fallback);
    folder = fallback;
  }
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

int FormatCodeOrDefault(const std::string& settingsFile) {
  const int code = TAppSettings(settingsFile).FormatCode();
  return IsFormatCode(code) ? code : kDefaultFormatCode;
}

int ChosenFormatCode(const std::string& settingsFile, IUserInteraction* ui) {
  const TAppSettings settings(settingsFile);
  const int code = settings.FormatCode();
  if (IsFormatCode(code)) return code;
  TDefaultUserInteraction fallbackUi;
  (ui ? ui : &fallbackUi)
      ->ShowWarning(kWarningCaption, "No output format has the code '" + settings.FormatCodeText() +
                                         "'; converting to " + kDefaultFormatName + " instead.");
  return kDefaultFormatCode;
}

TSourceStreams ReadSourceStreams(TCustomAVProbe& probe) {
  TSourceStreams source;
  if (!probe.Loaded()) return source;
  source.VideoStreamCount = probe.VideoStreamCount();
  if (probe.VideoStreamIndex() >= 0) {
    TVideoStreamInfo video;
    probe.VideoStreamInfo(-1, video);
    source.VideoBitRate = video.BitRate;
    source.Width = video.Width;
    source.Height = video.Height;
  }
  if (probe.AudioStreamIndex() >= 0) {
    TAudioStreamInfo audio;
    probe.AudioStreamInfo(-1, audio);
    source.AudioBitRate = audio.BitRate;
    source.AudioSampleRate = audio.SampleRate;
  }
  return source;
}

void BuildConversionOptions(const TBuildContext& context, const TlvFilesRecord& record,
                            int formatCode, TOutputOptions& output, const TSourceStreams& source,
                            TInputOptions& input) {
  TOptionBuild(context, record, formatCode, output, source, input).Run();
}

void BuildConversionOptions(const TBuildContext& context, const TlvFilesRecord& record,
                            int formatCode, TOutputOptions& output, TCustomAVProbe& probe,
                            TInputOptions& input) {
  BuildConversionOptions(context, record, formatCode, output, ReadSourceStreams(probe), input);
}

bool ValueInChoiceRange(const TFormatProfile& profile, TRangeKind kind, std::int64_t value) {
  const TRangeKey key = RangeKeyOf(kind);
  const std::string list = profile.Read(key.Key, kNotOffered);
  const size_t p = list.find(',');
  const size_t q = list.rfind(',');
  if (p == std::string::npos || p < 1) return false;
  const std::string first = list.substr(0, p);
  std::string low = first;
  if (list.size() > first.size() + 1 && profiles::SameTextIgnoringCase(first, kAsSource)) {
    size_t next = list.find(',', p + 1);
    low = list.substr(p + 1, next == std::string::npos ? std::string::npos : next - p - 1);
  }
  const std::string high = p < q ? list.substr(q + 1) : low;
  double lowValue = 0, highValue = 0;
  if (!TryNumber(low, lowValue) || !TryNumber(high, highValue)) return false;
  const double scaled = static_cast<double>(value) / key.Scale;
  return lowValue <= scaled && scaled <= highValue;
}

std::string MakeOutputFileName(const std::string& settingsFile, const std::string& sourcePath,
                               const std::string& suffix, IUserInteraction* ui) {
  TDefaultUserInteraction fallbackUi;
  const std::string base = OutputFolder(settingsFile, ui ? *ui : fallbackUi) + BaseName(sourcePath);
  std::string candidate = base + "_(new)" + suffix;
  for (std::int64_t n = 1; PathExists(candidate); ++n)
    candidate = base + "_(new_" + std::to_string(n) + ")" + suffix;
  return candidate;
}

std::string OutputFileNameFor(const std::string& settingsFile, const std::string& profileFile,
                              const std::string& sourcePath, IUserInteraction* ui) {
  const std::string ext = TFormatProfile(profileFile, FormatCodeOrDefault(settingsFile)).FileExt();
  return MakeOutputFileName(settingsFile, sourcePath, "." + ext, ui);
}
