// The converter's option records: what the front end asks of one task's input
// (TInputOptions, given to AddTask) and output (TOutputOptions, given to
// SetOutputFile), in the engine's option vocabulary. A field at its "not set"
// value leaves the engine's default alone; ExtraOptions carries further
// option lines.
//
// The records are applied to a task's option parser here too, so that what a
// field means is written in one place: ApplyInputRecord before the input is
// opened, TOutputRecordApplier around the opening of the output.
//
// Plain values: no ownership beyond their strings, no locks. A record belongs
// to whoever fills it; the converter copies it into its task. Any thread;
// the applying runs on the thread that configures the task.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The no-value constant of 64-bit media times (same as NoTimeValue).
constexpr std::int64_t OptionNoTime = INT64_MIN;

// Metadata to write into an output file.
struct TStreamInfo {
  // Local date-time in days since 1899-12-30: -1.0 none, 0 "now", > 0 that moment.
  double TimeStamp = -1.0;
  std::int32_t Year = -1;
  std::int32_t Track = -1;
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

struct TInputOptions {
  std::string FileName;                   // AddTask fills it when empty
  std::string FileFormat;                 // "f"
  std::int64_t StartTime = OptionNoTime;  // microseconds; "ss"
  std::int32_t ProgramID = -1;            // "programid" when >= 0
  std::string ExtraOptions;               // option lines (SplitOptionText)
};

struct TOutputOptions {
  std::string FileName;                     // SetOutputFile fills it when empty
  std::string FileFormat;                   // "f"
  std::int32_t PacketSize = -1;             // "packetsize" when > 0
  std::int32_t MuxRate = -1;                // "muxrate" when > 0
  float MuxDelay = -1.0f;                   // seconds; "muxdelay" when > 0
  float MuxPreload = -1.0f;                 // seconds; "muxpreload" when > 0
  std::string AudioCodec;                   // default audio codec ("acodec")
  std::string AudioPreset;                  // default audio preset ("apre")
  bool DisableAudio = false;                // "an"
  std::int32_t AudioVolume = -1;            // "vol" when >= 0
  std::int32_t AudioChannels = -1;          // "ac" when > 0
  std::int32_t AudioSampleRate = -1;        // "ar" when > 0
  std::int32_t AudioBitRate = -1;           // bit/s; "ab" when > 0
  std::int32_t AudioBitRateTolerance = -1;  // "abt" when > 0
  std::string AudioLanguage;                // "alang", always
  std::int32_t AudioSync = 0;               // "async", always
  std::string AudioTag;                     // "atag" when not empty
  std::string VideoCodec;                   // default video codec ("vcodec")
  std::string VideoPreset;                  // default video preset ("vpre")
  bool DisableVideo = false;                // "vn"
  std::string FrameRate;                    // "r" when not empty
  std::string FrameSize;                    // default frame size ("s")
  std::string FrameAspectRatio;             // "aspect" when not empty
  std::int32_t CropTop = -1;                // "croptop" when > 0
  std::int32_t CropBottom = -1;             // "cropbottom" when > 0
  std::int32_t CropLeft = -1;               // "cropleft" when > 0
  std::int32_t CropRight = -1;              // "cropright" when > 0
  std::int32_t GopSize = -1;                // "g" when > 0
  std::int32_t VideoBitRate = -1;           // bit/s; "vb" when > 0
  std::int32_t VideoMaxRate = -1;           // "maxrate" when > 0
  std::int32_t VideoMinRate = -1;           // "minrate" when > 0
  std::int32_t VideoBitRateTolerance = -1;  // "bt" when > 0
  std::int32_t VideoBufSize = -1;           // "bufsize" when > 0
  std::int32_t VideoSync = -1;              // "vsync", always
  std::string VideoTag;                     // "vtag" when not empty
  std::string VideoFilters;                 // default video filter chain ("vf")
  std::string VideoLanguage;                // "vlang", always
  std::string SubtitleCodec;                // default subtitle codec ("scodec")
  std::string SubtitlePreset;               // default subtitle preset ("spre")
  bool DisableSubtitle = false;             // "sn"
  std::string SubtitleLanguage;             // "slang", always
  bool InputSync = false;                   // "isync", always
  bool CopyTimestamps = false;              // "copyts"
  std::int64_t StartTime = OptionNoTime;    // microseconds; "ss" when set
  std::int64_t Duration =
      OptionNoTime;  // microseconds; "t" when set (also the task's total duration)
  TStreamInfo Metadata;
  std::int32_t Target = 0;             // 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
  std::int32_t TargetNorm = 0;         // 0 "auto", 1 "pal", 2 "ntsc", other "auto"
  std::int32_t TargetDefaultNorm = 1;  // when "auto" cannot decide: 1 "pal", other "ntsc"
  bool CustomHook = false;             // route decoded video frames through OnCustomHook
  bool Join = false;                   // passed to the output opener
  std::string ExtraOptions;            // option lines (SplitOptionText)
};

// Give every field its default. The defaults above are the same, so a fresh
// record is already initialised; these reset a used one.
void InitInputOptions(TInputOptions& options);
void InitOutputOptions(TOutputOptions& options);

// One option as the engine's dispatcher takes it.
struct TOptionLine {
  std::string Name;  // lower case
  std::string Value;
  bool operator==(const TOptionLine&) const = default;
};

// Splits an option text ("ExtraOptions"): the text is trimmed, CR LF and lone
// CR become LF, the literal "<CRLF>" becomes LF too; each line is
// "name=value" (name lower-cased, value as written after the first "=") or a
// bare name with an empty value. Blank lines give nothing.
std::vector<TOptionLine> SplitOptionText(const std::string& text);

// The options the input record's fields ask for, in the order they apply:
// "f" (when set), "ss" (when set), "programid" (when >= 0).
std::vector<TOptionLine> InputFieldOptions(const TInputOptions& options);

// The options the output record's plain fields ask for, in table order and
// each under its condition. Not among them, because they are not single
// options: the default codecs, presets, frame size and filter chain
// (AudioCodec, AudioPreset, VideoCodec, VideoPreset, FrameSize, VideoFilters,
// SubtitleCodec, SubtitlePreset), Target*, Metadata and ExtraOptions, which
// TOutputRecordApplier applies, and CustomHook and Join, which the converter
// reads itself. Booleans carry "1" or "0"; times are seconds with six
// decimals ("12.500000"); MuxDelay and MuxPreload are "%g" seconds.
std::vector<TOptionLine> OutputFieldOptions(const TOutputOptions& options);

// "vcd", "svcd", "dvd" for Target 1..3, else "".
std::string TargetName(std::int32_t target);
// "auto", "pal", "ntsc" for TargetNorm (other values "auto").
std::string TargetNormName(std::int32_t norm);
// "pal" for 1, else "ntsc".
std::string TargetDefaultNormName(std::int32_t defaultNorm);

class TOptionParser;

// The input record's option text (less the lines only an output takes:
// added streams and per-stream defaults), then its fields.
void ApplyInputRecord(TOptionParser& parser, const TInputOptions& record);

// An output record, applied in two steps around the opening of its file.
// The per-stream entries (codec, preset, frame size, filters) of the fields
// and of the option text become the defaults of the file's streams; each
// stream the text adds ("newaudio", "newvideo", "newsubtitle") takes the
// first entry of each kind not yet taken, else the default.
class TOutputRecordApplier {
 public:
  explicit TOutputRecordApplier(const TOutputOptions& record);
  // Target, default codecs and presets, the option text, the fields, the
  // metadata, then the default frame size and filters.
  void ApplyBeforeOpen(TOptionParser& parser) const;
  // The streams the option text adds to the file just opened.
  void AddStreams(TOptionParser& parser);

 private:
  std::string Default(const std::string& name) const;
  std::string Take(const std::string& name);
  void AddDefault(const std::string& name, const std::string& value);

  TOutputOptions record_;
  std::vector<TOptionLine> extra_;          // the option text's lines
  std::vector<TOptionLine> streamEntries_;  // "def_<name>" defaults and per-stream entries
};
