// The conversion option builder: turns a format's profile entry, the user's
// per-format settings, a file's edits and its probed streams into the two
// option records of one conversion task, and names the output file.
//
// Stateless: every call opens and closes the two INI files it reads, and the
// pads and filter text start afresh for each file. Runs on the
// user-interface thread while a batch is prepared (it may show modal boxes
// through the IUserInteraction it is handed, which it only borrows).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "app/FilesRecord.h"
#include "app/UserInteraction.h"
#include "engine/options/OptionRecords.h"
#include "profiles/FormatProfile.h"

class TCustomAVProbe;

// The standard conversion error: a text that has to be a number is not one.
// It ends the preparation of a batch.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the builder needs to know of a source file. -1 where the probe could
// not tell (a file that did not open, a stream kind the file lacks).
struct TSourceStreams {
  int VideoStreamCount = -1;
  int VideoBitRate = -1;  // bit/s, first video stream
  int Width = -1;         // first video stream
  int Height = -1;
  int AudioBitRate = -1;     // bit/s, first audio stream
  int AudioSampleRate = -1;  // Hz, first audio stream
};
// Reads the facts above from an opened probe (nothing is read from a probe
// that has no file loaded).
TSourceStreams ReadSourceStreams(TCustomAVProbe& probe);

// Where the builder reads from and whom it asks.
struct TBuildContext {
  std::string SettingsFile;        // the application settings file
  std::string ProfileFile;         // the format profile (only read)
  IUserInteraction* Ui = nullptr;  // borrowed; nullptr answers like TDefaultUserInteraction
};

// The format a batch converts to: the settings file's FormatCode when a
// format has that code, else the default format, after telling `ui` (nullptr
// answers like TDefaultUserInteraction).
int ChosenFormatCode(const std::string& settingsFile, IUserInteraction* ui);
// The same without telling anyone (for naming outputs ahead of a batch).
int FormatCodeOrDefault(const std::string& settingsFile);

// The output option line that puts an MP4-family file's index at its front;
// the builder adds it to the output's ExtraOptions of those formats.
constexpr const char* kFrontIndexOption = "movflags=+faststart";

// Fills `output` and `input` for one file converted to format `formatCode`.
// The caller has initialised both records and set their file names (and the
// output's crop and duration, the input's start time); `record.Zoom` holds
// the format's zoom choice. Throws EConvertError for a setting that has to be
// a number and is not.
void BuildConversionOptions(const TBuildContext& context, const TlvFilesRecord& record,
                            int formatCode, TOutputOptions& output, const TSourceStreams& source,
                            TInputOptions& input);
// The same with the source's facts read from an opened probe.
void BuildConversionOptions(const TBuildContext& context, const TlvFilesRecord& record,
                            int formatCode, TOutputOptions& output, TCustomAVProbe& probe,
                            TInputOptions& input);

// Which choice list a source value is held against, and how it is scaled to
// the list's unit.
enum TRangeKind { rkSampleRate, rkAudioBitRate, rkVideoBitRate };
// True when `value` (Hz or bit/s) lies within the range that the format's
// choice list spans: from its first number (the one after a leading
// "as source") to its last. A list without a comma spans nothing, and a list
// whose ends are not numbers accepts nothing.
bool ValueInChoiceRange(const TFormatProfile& profile, TRangeKind kind, std::int64_t value);

// The output path for `sourcePath`: OutPutDir of the settings file + the
// source's base name + "_(new)" + `suffix`, or "_(new_N)" with the first N
// that names no existing file. An output folder that cannot be created is
// reported through `ui` and replaced (in the settings too) by the default
// folder. Nothing is created besides the folder.
std::string MakeOutputFileName(const std::string& settingsFile, const std::string& sourcePath,
                               const std::string& suffix, IUserInteraction* ui = nullptr);
// The file a conversion of `sourcePath` writes with the format chosen in the
// settings file (FormatCode, its "FileExt" in the profile). The list's
// "Destination File" cell and Start both name outputs through this one
// function, so the cell never names a file that is not written.
std::string OutputFileNameFor(const std::string& settingsFile, const std::string& profileFile,
                              const std::string& sourcePath, IUserInteraction* ui = nullptr);
