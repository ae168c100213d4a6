// Typed access to the two per-format INI schemas: the read-only format
// profile (what a format offers and its factory choices) and the format's
// section of the application settings file (the user's choices). Also the
// writing of a format's choices as the settings dialog's Ok stores them, and
// the seeding of missing sections with factory choices.
//
// The readers keep only the file path and the format code; every call opens
// and closes the file, so no state can go stale. They are meant for the
// user-interface thread, which owns the settings (the INI module serialises
// writers in any case). Nothing here ever writes the profile file.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The nine settings a format offers as choice lists, in profile key order.
enum TChoiceKey : int {
  ckVideoSize,
  ckVideoBitRate,
  ckFrameRate,
  ckVideoEncoder,
  ckAudioBitRate,
  ckSampleRate,
  ckAudioEncoder,
  ckChannel,
  ckVolume,
  ckChoiceKeyCount
};

// "VideoSize" ...: the profile's list key.
const char* ChoiceKeyName(TChoiceKey key);
// "iVideoSize" ...: the index key, in both files.
std::string IndexKeyName(TChoiceKey key);
// The settings key that stores the box's text (paraVideoSize, paraVideoBitRate,
// paraFrameRate, paraSampleRate, paraAudioBitRate); nullptr for settings that
// are stored through a mapping instead.
const char* TextParaKeyName(TChoiceKey key);
// The settings dialog's default for that key; nullptr where there is none.
const char* TextParaDialogDefault(TChoiceKey key);

// The H.264 tuning values, in the order they are copied.
enum TTuningKey : int {
  tkBitExact,
  tkMaxBitrate,
  tkBufferSize,
  tkLevel,
  tkQscale,
  tkGop,
  tkCoder,
  tkTuningKeyCount
};
const char* TuningKeyName(TTuningKey key);  // "paraBitExact" ...

// Defaults of the settings readers. The settings dialog's are the readers'
// own; the option builder and the main window pass theirs.
namespace dialog_default {
constexpr const char* paraVideoSize = "320x240";
constexpr const char* paraVideoBitRate = "800";
constexpr const char* paraFrameRate = "25";
constexpr const char* paraZoom = "full";
constexpr const char* paraSampleRate = "44100";
constexpr const char* paraAudioBitRate = "96";
}  // namespace dialog_default
namespace builder_default {
constexpr const char* paraVideoSize = "null";
constexpr const char* paraVideoBitRate = "512";
constexpr const char* paraFrameRate = "29.97";
constexpr const char* paraVideoEncoder = "";
constexpr const char* paraSampleRate = "44100";
constexpr const char* paraAudioBitRate = "128";
constexpr const char* paraChannel = "2";
constexpr const char* paraVolume = "3";
constexpr const char* paraAudioEncoderWithVideo = "";
constexpr const char* paraAudioEncoderAudioOnly = "libfaac";
}  // namespace builder_default
// The main window reads the zoom of new rows with this default.
constexpr const char* kListZoomDefault = "lbox";

// One format's section of the read-only format profile.
class TFormatProfile {
 public:
  TFormatProfile(std::string profileFile, int code);
  int Code() const { return code_; }

  std::string FileExt() const;  // default "mp4"
  std::string Format() const;   // default "null"
  // The raw list (default "null") and its items (nullopt: not offered).
  std::string ChoiceText(TChoiceKey key) const;
  std::optional<std::vector<std::string>> Choices(TChoiceKey key) const;
  int DefaultIndex(TChoiceKey key) const;  // default 0
  // Fallbacks for a source value outside the list's range.
  std::string ParaVideoBitRate() const;      // default "256"
  std::string ParaSampleRate() const;        // default "44100"
  std::string ParaAudioBitRate() const;      // default "128"
  std::string Tuning(TTuningKey key) const;  // default ""
  // The tuning values that pass their tests, as stored, in copy order.
  std::vector<std::pair<std::string, std::string>> H264TuningCopy() const;

  // Any key of the section, for keys without a typed reader.
  std::string Read(const std::string& key, const std::string& defaultValue) const;

 private:
  std::string file_;
  std::string section_;
  int code_;
};

// One format's section of the application settings file.
class TFormatSettings {
 public:
  TFormatSettings(std::string settingsFile, int code);
  int Code() const { return code_; }
  bool Exists() const;

  std::string Description() const;  // written only by the system; default ""
  int Index(TChoiceKey key, int defaultValue = 0) const;
  std::string ParaVideoSize(const std::string& def = dialog_default::paraVideoSize) const;
  std::string ParaVideoBitRate(const std::string& def = dialog_default::paraVideoBitRate) const;
  std::string ParaFrameRate(const std::string& def = dialog_default::paraFrameRate) const;
  // The key is read as "parazoom" by the main window; names match in any case.
  std::string ParaZoom(const std::string& def = dialog_default::paraZoom) const;
  std::string ParaVideoEncoder(const std::string& def = "") const;
  std::string ParaSampleRate(const std::string& def = dialog_default::paraSampleRate) const;
  std::string ParaAudioBitRate(const std::string& def = dialog_default::paraAudioBitRate) const;
  std::string ParaChannel(const std::string& def = "") const;
  std::string ParaVolume(const std::string& def = "") const;
  std::string ParaAudioEncoder(const std::string& def = "") const;
  std::string Tuning(TTuningKey key, const std::string& def = "") const;

  std::string Read(const std::string& key, const std::string& defaultValue) const;
  bool Write(const std::string& key, const std::string& value) const;
  // Several keys in order with one replacement of the file.
  bool WriteAll(const std::vector<std::pair<std::string, std::string>>& values) const;

 private:
  std::string file_;
  std::string section_;
  int code_;
};

// What the settings dialog's boxes hold when Ok stores a format. Text is the
// box's text, which for a list-only box is its chosen item ("" for none).
struct TChoiceBox {
  int Index = -1;  // chosen item, -1 when none (or typed text)
  std::string Text;
};
struct TFormatChoices {
  std::string Description;
  TChoiceBox Boxes[ckChoiceKeyCount];
  int ZoomIndex = -1;  // -1: no zoom chosen
};

// The boxes after the dialog's Default: each profile list with its factory
// index chosen (an index outside the list chooses nothing) and "Full screen".
TFormatChoices FactoryChoices(const TFormatProfile& profile, const std::string& description);

// True when the format's factory choices include a video encoder: its
// outputs carry pictures whenever the source has them.
bool FormatOffersVideo(const TFormatProfile& profile);

// The keys and values Ok stores for `choices`, in writing order (a later
// pair for the same key wins).
std::vector<std::pair<std::string, std::string>> FormatChoiceValues(const TFormatProfile& profile,
                                                                    const TFormatChoices& choices);

// Stores `choices` into the format's settings section as Ok does: the
// Description, the nine indexes, the box texts, and the engine names of the
// mapped settings (a value its table lacks writes nothing, keeping the old
// value); "h264" brings the profile's tuning copy, "gsm" its fixed sample
// rate and channel count. False when a write failed.
bool WriteFormatChoices(const TFormatSettings& settings, const TFormatProfile& profile,
                        const TFormatChoices& choices);

// A format's settings as a conversion reads them: a key missing from the
// section, or blank there, takes the value a fresh install writes (the
// profile's factory choice), so a section cut short or written by hand never
// quietly drops the picture or the sound. Reads the profile once; the
// settings file at every Read. User-interface thread, like the readers above.
class TConversionSettings {
 public:
  TConversionSettings(const std::string& settingsFile, const std::string& profileFile, int code);
  // The stored value; else the factory value; else `defaultValue` (a key
  // the format's factory choices do not write).
  std::string Read(const std::string& key, const std::string& defaultValue) const;

 private:
  TFormatSettings settings_;
  std::vector<std::pair<std::string, std::string>> factory_;
};

// The codes that get settings sections: the catalogue and the default format.
std::vector<int> SeededFormatCodes();
// Writes factory choices for every seeded code that has no section in the
// settings file yet; existing sections are left as they are. Returns the
// number of sections written, or -1 when a write failed.
int SeedFormatSettings(const std::string& settingsFile, const std::string& profileFile);
