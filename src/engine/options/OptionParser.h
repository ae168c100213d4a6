// Folder engine/options: the engine's option vocabulary: a task's pending
// option state, the parser that applies one name and value to it (this header;
// its values, generic setter and target routine in OptionValues.cpp,
// OptionGeneric.cpp and OptionTarget.cpp), the presets, the options whose names
// moved in the libraries, and the converter's option records with their
// application to the parser. Built on libav and common; knows nothing of running
// a conversion. Used by the thread that configures a task, before it runs.
//
// TOptionParser: applies options, given as name and value texts in the
// command-line vocabulary ("vcodec", "b", "s", "r", "vpre", "target", ...),
// to one task's pending state (TOptionState).
//
// The parser owns nothing: it works on the state and reaches back into its
// engine through IOptionHost for what lives outside the pending state (the
// opened input files, new output streams, the total duration, frame hooks).
// Rejections raise FFmpegException with the user-facing message; warnings and
// information go to the log collector with the host as sender.
//
// Threads: like the state, it is used only by the thread that configures the
// task; the constant tables it reads (dispatcher, presets) are shared.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/options/OptionState.h"

struct AVFormatContext;

// What the parser needs from the engine that owns the state.
class IOptionHost {
 public:
  virtual ~IOptionHost() = default;
  // "newvideo", "newaudio", "newsubtitle": adds a stream of `type` to the last
  // opened output; throws "At least one output file must be specified" when
  // there is none.
  virtual void NewStream(AVMediaType type) = 0;
  // The input files opened so far, in order (the target routine's norm
  // detection looks at their video streams).
  virtual std::vector<AVFormatContext*> OpenedInputFiles() const = 0;
  // "t": the recording time also becomes the task's total duration (µs).
  virtual void SetTotalDuration(std::int64_t us) = 0;
  // "vhook": loads a frame hook module; throws when it cannot be added.
  virtual void AddFrameHook(const std::string& text) = 0;
  // The sender of the parser's log messages.
  virtual const void* LogSender() const { return this; }
};

class TOptionParser {
 public:
  // `host` may be nullptr (options that need it then raise or do nothing).
  TOptionParser(TOptionState& state, IOptionHost* host);

  // The dispatcher: applies one option; throws FFmpegException when the
  // option or its value is rejected. Unknown names go to the generic setter,
  // whose failure is ignored.
  void ParseOption(const std::string& name, const std::string& value);

  // Generic option setter: sets a codec, format or scaler option on the
  // default contexts, or keeps an encoder's or muxer's private option. False
  // when no context knows the name or the value is rejected.
  bool SetGenericOption(const std::string& name, const std::string& value);
  // "b", "vb", "ab": the generic setter plus the too-low warning.
  void SetBitRate(const std::string& name, const std::string& value);

  // Codec setters: "" does nothing, "copy" sets the kind's stream copy flag,
  // anything else becomes the kind's codec name.
  void SetAudioCodec(const std::string& value);
  void SetVideoCodec(const std::string& value);
  void SetSubtitleCodec(const std::string& value);

  // Preset loader; kind is "apre", "vpre", "spre" or "fpre".
  void LoadPreset(const std::string& kind, const std::string& preset);
  // Target routine: type "vcd", "svcd", "dvd", "dv", "dv50"; norm "pal",
  // "ntsc", "film" or anything else for automatic detection.
  void Target(const std::string& type, const std::string& norm, const std::string& defaultNorm);

  void SetFrameSize(const std::string& value);         // "s"
  void SetFrameRate(const std::string& value);         // "r"
  void SetFrameAspectRatio(const std::string& value);  // "aspect"
  void SetVideoFilters(const std::string& value);      // "vf", "vfilters"
  void AddMetadata(const std::string& key, const std::string& value);
  void SetRecordingTime(std::int64_t us);  // also the task's total duration
  void SetStartTime(std::int64_t us);
  void SetTimestamp(std::int64_t unixSeconds);

  // The date parser: a duration (isDuration) or a date, in µs. Throws the
  // user-facing "invalid duration/date" message naming `option`.
  static std::int64_t ParseTime(const std::string& option, const std::string& text,
                                bool isDuration);

  TOptionState& State() { return state_; }

 private:
  friend struct TOptionDispatch;

  void Log(int level, const std::string& text) const;
  // The generic setter's steps; `matched` tells an unknown name from a
  // rejected value.
  bool SetGeneric(const std::string& name, const std::string& value, bool& matched);
  bool SetOnDefaultContexts(const std::string& name, const std::string& value, bool& matched,
                            std::string& storedName);
  bool SetPrivateOption(const std::string& name, const std::string& value, bool& matched);
  bool SetPrivateCodecOption(const std::string& name, const std::string& value, bool& matched);
  bool SetPrivateFormatOption(const std::string& name, const std::string& value, bool& matched);
  void AfterGenericOption(const std::string& storedName);
  // The generic setter after rewriting options that moved; parts that have no
  // equivalent here are skipped with a warning. False when a part is unknown
  // or rejected.
  bool SetGenericOrMovedOption(const std::string& name, const std::string& value);
  // Syntax errors name the preset as it was found (with the codec prefix),
  // rejected options the preset as it was asked for.
  void ApplyPresetText(const std::string& preset, const std::string& lookedUpName,
                       const std::string& text);

  void SetCodecName(std::string& codecName, bool& streamCopy, const std::string& value);
  void SetFileFormat(const std::string& value);
  void SetPixelFormat(const std::string& value);
  void SetSampleFormat(const std::string& value);
  void SetCrop(const std::string& name, const std::string& value);
  void SetCodecTag(const std::string& name, const std::string& value);
  void AddStreamMap(const std::string& value);
  void AddMetaDataMap(const std::string& value);
  void SetInputTsScale(const std::string& value);
  void SetStreamId(const std::string& name, const std::string& value);
  void ParseMetadata(const std::string& value);
  void ParseMatrix(const std::string& name, const std::string& value);
  void AddBitstreamFilter(const std::string& name, const std::string& value);
  void ParseTargetOption(const std::string& value);
  int DetectNorm(const std::string& norm, const std::string& defaultNorm);
  void SetVStats();
  void SetQScale(const std::string& value);
  void SetPass(const std::string& value);
  void NewStream(AVMediaType type);

  TOptionState& state_;
  IOptionHost* host_;
};
