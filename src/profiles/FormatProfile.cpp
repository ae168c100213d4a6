#include "profiles/FormatProfile.h"

#include "platform/IniFile.h"
#include "profiles/FormatCatalog.h"
#include "profiles/FormatMappings.h"
#include "profiles/ProfileText.h"

namespace {

const char* const kChoiceKeyNames[ckChoiceKeyCount] = {
    "VideoSize",  "VideoBitRate", "FrameRate", "VideoEncoder", "AudioBitRate",
    "SampleRate", "AudioEncoder", "Channel",   "Volume",
};

const char* const kTuningKeyNames[tkTuningKeyCount] = {
    "paraBitExact", "paraMaxBitrate", "paraBufferSize", "paraLevel",
    "paraQscale",   "paraGop",        "paraCoder",
};

// Whether a stored tuning value is copied. Values that are not integers
// have no meaning to the encoder options they end up in, so they are not.
bool TuningPasses(TTuningKey key, const std::string& value) {
  if (value.empty()) return false;
  if (key == tkBitExact) return profiles::LowerCase(value) == "true";
  int number = 0;
  if (!platform::ParseIniInt(value, number)) return false;
  return key == tkCoder ? number >= 0 : number > 0;
}

// Ok writes the indexes in the dialog's box order, not the profile's.
constexpr TChoiceKey kIndexWriteOrder[ckChoiceKeyCount] = {
    ckVideoSize,    ckVideoBitRate, ckVideoEncoder, ckFrameRate,    ckSampleRate,
    ckAudioBitRate, ckChannel,      ckVolume,       ckAudioEncoder,
};

// Ok's writes for one section, applied in order and saved with one file
// replacement, so a later value for a key (the GSM rate) wins as it would
// with separate writes.
class TWriteBatch {
 public:
  void Put(const std::string& key, const std::string& value) { values_.emplace_back(key, value); }
  void PutMapped(const char* key, const std::optional<std::string>& value) {
    if (value) Put(key, *value);
  }
  const std::vector<std::pair<std::string, std::string>>& Values() const { return values_; }

 private:
  std::vector<std::pair<std::string, std::string>> values_;
};

void WriteVideoEncoder(TWriteBatch& out, const TFormatProfile& profile,
                       const std::string& display) {
  out.PutMapped("paraVideoEncoder", VideoEncoderToEngine(display));
  if (!IsH264Display(display)) return;
  for (const auto& [key, value] : profile.H264TuningCopy()) out.Put(key, value);
}

void WriteAudioEncoder(TWriteBatch& out, const std::string& display) {
  out.PutMapped("paraAudioEncoder", AudioEncoderToEngine(display));
  if (!AudioEncoderForcesGsmValues(display)) return;
  out.Put("paraSampleRate", kGsmSampleRate);
  out.Put("paraChannel", kGsmChannels);
}

}  // namespace

const char* ChoiceKeyName(TChoiceKey key) { return kChoiceKeyNames[key]; }

std::string IndexKeyName(TChoiceKey key) { return std::string("i") + kChoiceKeyNames[key]; }

const char* TextParaKeyName(TChoiceKey key) {
  switch (key) {
    case ckVideoSize: return "paraVideoSize";
    case ckVideoBitRate: return "paraVideoBitRate";
    case ckFrameRate: return "paraFrameRate";
    case ckSampleRate: return "paraSampleRate";
    case ckAudioBitRate: return "paraAudioBitRate";
    default: return nullptr;
  }
}

const char* TextParaDialogDefault(TChoiceKey key) {
  switch (key) {
    case ckVideoSize: return dialog_default::paraVideoSize;
    case ckVideoBitRate: return dialog_default::paraVideoBitRate;
    case ckFrameRate: return dialog_default::paraFrameRate;
    case ckSampleRate: return dialog_default::paraSampleRate;
    case ckAudioBitRate: return dialog_default::paraAudioBitRate;
    default: return nullptr;
  }
}

const char* TuningKeyName(TTuningKey key) { return kTuningKeyNames[key]; }

// ---- TFormatProfile ----

TFormatProfile::TFormatProfile(std::string profileFile, int code)
    : file_(std::move(profileFile)), section_(FormatSection(code)), code_(code) {}

std::string TFormatProfile::Read(const std::string& key, const std::string& defaultValue) const {
  return platform::ReadIniString(file_, section_, key, defaultValue);
}

std::string TFormatProfile::FileExt() const { return Read("FileExt", "mp4"); }
std::string TFormatProfile::Format() const { return Read("Format", "null"); }
std::string TFormatProfile::ChoiceText(TChoiceKey key) const {
  return Read(ChoiceKeyName(key), kNotOffered);
}

std::optional<std::vector<std::string>> TFormatProfile::Choices(TChoiceKey key) const {
  return SplitChoiceList(ChoiceText(key));
}

int TFormatProfile::DefaultIndex(TChoiceKey key) const {
  return platform::ReadIniInt(file_, section_, IndexKeyName(key), 0);
}

std::string TFormatProfile::ParaVideoBitRate() const { return Read("paraVideoBitRate", "256"); }
std::string TFormatProfile::ParaSampleRate() const { return Read("paraSampleRate", "44100"); }
std::string TFormatProfile::ParaAudioBitRate() const { return Read("paraAudioBitRate", "128"); }
std::string TFormatProfile::Tuning(TTuningKey key) const { return Read(TuningKeyName(key), ""); }

std::vector<std::pair<std::string, std::string>> TFormatProfile::H264TuningCopy() const {
  std::vector<std::pair<std::string, std::string>> copy;
  for (int i = 0; i < tkTuningKeyCount; ++i) {
    const auto key = static_cast<TTuningKey>(i);
    std::string value = Tuning(key);
    if (TuningPasses(key, value)) copy.emplace_back(TuningKeyName(key), std::move(value));
  }
  return copy;
}

// ---- TFormatSettings ----

TFormatSettings::TFormatSettings(std::string settingsFile, int code)
    : file_(std::move(settingsFile)), section_(FormatSection(code)), code_(code) {}

bool TFormatSettings::Exists() const { return platform::IniSectionExists(file_, section_); }

std::string TFormatSettings::Read(const std::string& key, const std::string& defaultValue) const {
  return platform::ReadIniString(file_, section_, key, defaultValue);
}

bool TFormatSettings::Write(const std::string& key, const std::string& value) const {
  return platform::WriteIniString(file_, section_, key, value);
}

bool TFormatSettings::WriteAll(
    const std::vector<std::pair<std::string, std::string>>& values) const {
  return platform::WriteIniStrings(file_, section_, values);
}

std::string TFormatSettings::Description() const { return Read("Description", ""); }

int TFormatSettings::Index(TChoiceKey key, int defaultValue) const {
  return platform::ReadIniInt(file_, section_, IndexKeyName(key), defaultValue);
}

std::string TFormatSettings::ParaVideoSize(const std::string& def) const {
  return Read("paraVideoSize", def);
}
std::string TFormatSettings::ParaVideoBitRate(const std::string& def) const {
  return Read("paraVideoBitRate", def);
}
std::string TFormatSettings::ParaFrameRate(const std::string& def) const {
  return Read("paraFrameRate", def);
}
std::string TFormatSettings::ParaZoom(const std::string& def) const {
  return Read("paraZoom", def);
}
std::string TFormatSettings::ParaVideoEncoder(const std::string& def) const {
  return Read("paraVideoEncoder", def);
}
std::string TFormatSettings::ParaSampleRate(const std::string& def) const {
  return Read("paraSampleRate", def);
}
std::string TFormatSettings::ParaAudioBitRate(const std::string& def) const {
  return Read("paraAudioBitRate", def);
}
std::string TFormatSettings::ParaChannel(const std::string& def) const {
  return Read("paraChannel", def);
}
std::string TFormatSettings::ParaVolume(const std::string& def) const {
  return Read("paraVolume", def);
}
std::string TFormatSettings::ParaAudioEncoder(const std::string& def) const {
  return Read("paraAudioEncoder", def);
}
std::string TFormatSettings::Tuning(TTuningKey key, const std::string& def) const {
  return Read(TuningKeyName(key), def);
}

// ---- choices ----

TFormatChoices FactoryChoices(const TFormatProfile& profile, const std::string& description) {
  TFormatChoices choices;
  choices.Description = description;
  for (int i = 0; i < ckChoiceKeyCount; ++i) {
    const auto key = static_cast<TChoiceKey>(i);
    const auto items = profile.Choices(key);
    const int index = profile.DefaultIndex(key);
    if (items && index >= 0 && index < static_cast<int>(items->size()))
      choices.Boxes[i] = {index, (*items)[static_cast<size_t>(index)]};
  }
  choices.ZoomIndex = 0;
  return choices;
}

bool FormatOffersVideo(const TFormatProfile& profile) {
  return !FactoryChoices(profile, "").Boxes[ckVideoEncoder].Text.empty();
}

std::vector<std::pair<std::string, std::string>> FormatChoiceValues(const TFormatProfile& profile,
                                                                    const TFormatChoices& choices) {
  TWriteBatch out;
  const auto& box = choices.Boxes;
  out.Put("Description", choices.Description);
  for (TChoiceKey key : kIndexWriteOrder)
    out.Put(IndexKeyName(key), std::to_string(box[key].Index));
  for (TChoiceKey key : {ckVideoSize, ckVideoBitRate, ckFrameRate})
    out.Put(TextParaKeyName(key), box[key].Text);
  out.PutMapped("paraZoom", ZoomToKey(choices.ZoomIndex));
  WriteVideoEncoder(out, profile, box[ckVideoEncoder].Text);
  for (TChoiceKey key : {ckSampleRate, ckAudioBitRate})
    out.Put(TextParaKeyName(key), box[key].Text);
  out.PutMapped("paraChannel", ChannelToEngine(box[ckChannel].Text));
  out.PutMapped("paraVolume", VolumeToEngine(box[ckVolume].Text));
  WriteAudioEncoder(out, box[ckAudioEncoder].Text);
  return out.Values();
}

bool WriteFormatChoices(const TFormatSettings& settings, const TFormatProfile& profile,
                        const TFormatChoices& choices) {
  return settings.WriteAll(FormatChoiceValues(profile, choices));
}

// ---- TConversionSettings ----

TConversionSettings::TConversionSettings(const std::string& settingsFile,
                                         const std::string& profileFile, int code)
    : settings_(settingsFile, code) {
  const TFormatProfile profile(profileFile, code);
  factory_ = FormatChoiceValues(profile, FactoryChoices(profile, ""));
}

std::string TConversionSettings::Read(const std::string& key,
                                      const std::string& defaultValue) const {
  std::string value = settings_.Read(key, "");
  if (!profiles::Trim(value).empty()) return value;
  // Later pairs win, as they do when the values are written.
  for (auto it = factory_.rbegin(); it != factory_.rend(); ++it)
    if (profiles::SameTextIgnoringCase(it->first, key)) return it->second;
  return defaultValue;
}

std::vector<int> SeededFormatCodes() {
  std::vector<int> codes;
  for (const auto& entry : FormatCatalog()) codes.push_back(entry.Code);
  codes.push_back(kDefaultFormatCode);
  return codes;
}

int SeedFormatSettings(const std::string& settingsFile, const std::string& profileFile) {
  int written = 0;
  for (int code : SeededFormatCodes()) {
    TFormatSettings settings(settingsFile, code);
    if (settings.Exists()) continue;
    // The dialog writes the name it shows; for the default format that is
    // the short name it remembers, not a catalogue name.
    const std::string name =
        code == kDefaultFormatCode ? kDefaultFormatDialogName : CatalogFormatName(code);
    const TFormatProfile profile(profileFile, code);
    if (!WriteFormatChoices(settings, profile, FactoryChoices(profile, name))) return -1;
    ++written;
  }
  return written;
}
