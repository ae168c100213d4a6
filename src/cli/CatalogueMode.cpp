#include "cli/CatalogueMode.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "app/BatchDriver.h"
#include "app/FirstStart.h"
#include "app/GlobalUnit.h"
#include "app/SourceList.h"
#include "cli/ConsoleRun.h"
#include "cli/RawMode.h"
#include "editing/BmpCache.h"
#include "engine/common/FFmpegException.h"
#include "engine/common/MainThread.h"
#include "engine/component/FFmpegVCL.h"
#include "engine/libav/MediaUtils.h"
#include "engine/probe/OutputCheck.h"
#include "platform/Folders.h"
#include "profiles/FormatCatalog.h"

namespace {

constexpr int kDefaultTextPoints = 20;

// ---- argument parsing ----

int ParseInt(const std::string& text, int low, int high, const std::string& what) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || p != end || value < low || value > high)
    throw TUsageError(what + " must be a whole number from " + std::to_string(low) + " to " +
                      std::to_string(high) + ", not '" + text + "'");
  return value;
}

std::int64_t ParseSecondsUs(const std::string& text, const std::string& what) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  // 100 days is far beyond any source; the bound keeps the product in range.
  if (text.empty() || *end != '\0' || !(seconds >= 0) || seconds > 8640000)
    throw TUsageError(what + " must be a number of seconds, not '" + text + "'");
  return std::int64_t(seconds * 1e6 + 0.5);
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

// "RRGGBB" to the platform's 0x00BBGGRR.
TColor ParseColour(const std::string& text, const std::string& what) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value, 16);
  if (text.size() != 6 || ec != std::errc() || p != end)
    throw TUsageError(what + " must be a colour RRGGBB in hexadecimal, not '" + text + "'");
  return ((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF);
}

// "CONTENT@X,Y[,key=value|flag]...": an item's content, place and options.
struct TPlacement {
  std::string Content;
  int X = 0, Y = 0;
  std::vector<std::pair<std::string, std::string>> Options;  // a flag has an empty value
};

TPlacement ParsePlacement(const std::string& arg, const std::string& option) {
  const size_t at = arg.rfind('@');
  if (at == std::string::npos || at == 0)
    throw TUsageError(option + " needs CONTENT@X,Y, not '" + arg + "'");
  const auto parts = SplitCommas(arg.substr(at + 1));
  if (parts.size() < 2) throw TUsageError(option + " needs a position X,Y after '@'");
  TPlacement place;
  place.Content = arg.substr(0, at);
  place.X = ParseInt(parts[0], -16384, 16384, option + " X");
  place.Y = ParseInt(parts[1], -16384, 16384, option + " Y");
  for (size_t i = 2; i < parts.size(); ++i) {
    const size_t eq = parts[i].find('=');
    place.Options.emplace_back(parts[i].substr(0, eq),
                               eq == std::string::npos ? std::string() : parts[i].substr(eq + 1));
  }
  return place;
}

// Options shared by text and image items; false when `key` is not one.
bool ApplyCommonItemOption(TWmRec& item, const std::string& key, const std::string& value,
                           const std::string& option) {
  if (key == "from") {
    item.StartTime = ParseInt(value, 0, INT_MAX, option + " from");
  } else if (key == "to") {
    item.EndTime = ParseInt(value, 0, INT_MAX, option + " to");
  } else if (key == "alpha") {
    const int alpha = ParseInt(value, 0, 255, option + " alpha");
    if (item.Kind == TWmRec::wkText) {
      item.TextAlpha = alpha;
    } else {
      item.ImageAlpha = alpha;
    }
  } else {
    return false;
  }
  return true;
}

void ApplyTextOption(TWmRec& item, const std::string& key, const std::string& value) {
  const std::string option = "--text";
  if (ApplyCommonItemOption(item, key, value, option)) return;
  if (key == "font") {
    item.Font->Name = value;
  } else if (key == "size") {
    item.Font->Size = ParseInt(value, 1, 500, "--text size");
  } else if (key == "color") {
    item.Font->Color = ParseColour(value, "--text color");
  } else if (key == "back") {
    item.BackColor = ParseColour(value, "--text back");
    item.BackOpaque = true;
  } else if (key == "width") {
    item.TextWidth = ParseInt(value, 1, 16384, "--text width");
  } else if (key == "height") {
    item.TextHeight = ParseInt(value, 1, 16384, "--text height");
  } else if (key == "bold") {
    item.Font->Style |= fsBold;
  } else if (key == "italic") {
    item.Font->Style |= fsItalic;
  } else if (key == "underline") {
    item.Font->Style |= fsUnderline;
  } else {
    throw TUsageError("unknown --text option '" + key + "'");
  }
}

TWmRec ParseTextItem(const std::string& arg) {
  const TPlacement place = ParsePlacement(arg, "--text");
  TWmRec item;
  item.Kind = TWmRec::wkText;
  item.Text = place.Content;
  item.Font = std::make_unique<TWmFont>();
  item.Font->Size = kDefaultTextPoints;
  item.Font->Color = clWhite;
  item.TextAlpha = 255;
  item.EndTime = INT_MAX;
  item.TextLeft = place.X;
  item.TextTop = place.Y;
  for (const auto& [key, value] : place.Options) ApplyTextOption(item, key, value);
  return item;
}

TWmRec ParseImageItem(const std::string& arg) {
  const TPlacement place = ParsePlacement(arg, "--image");
  const std::string& file = place.Content;
  if (!platform::FileExists(file)) throw TUsageError("the picture '" + file + "' does not exist");
  // Checked now rather than on the first frame, where it could only be skipped.
  TBitmap picture;
  std::string why;
  if (!LoadBitmapFile(file, picture, why))
    throw TUsageError("the picture '" + file + "' cannot be read: " + why);
  TWmRec item;
  item.Kind = TWmRec::wkImage;
  item.ImageFile = ExpandFullPath(file);
  item.ImageAlpha = 255;
  item.EndTime = INT_MAX;
  item.ImageLeft = place.X;
  item.ImageTop = place.Y;
  for (const auto& [key, value] : place.Options)
    if (!ApplyCommonItemOption(item, key, value, "--image"))
      throw TUsageError("unknown --image option '" + key + "'");
  return item;
}

// ---- running ----

// Boxes become lines on the terminal; questions take their default answer.
class TConsoleUserInteraction : public IUserInteraction {
 public:
  bool AskYesNo(const std::string& caption, const std::string& text, bool defaultYes) override {
    std::fprintf(stderr, "%s: %s [%s]\n", caption.c_str(), text.c_str(), defaultYes ? "Yes" : "No");
    return defaultYes;
  }
  void ShowWarning(const std::string& caption, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
};

// The progress window on a terminal: one live line, a line per finished
// file, Ctrl+C as its Cancel button. It is also the driver's output checker:
// the check the window's Start makes, remembered per output so that the
// file's line tells when it failed. The checker runs on the converter's
// notice thread, the rest on the main thread; the mutex guards the results.
class TConsoleProgressView : public IProgressView {
 public:
  TConsoleProgressView(TBatchDriver& driver, TQueuedHandOver& handOver, bool quiet)
      : driver_(driver), handOver_(handOver), line_(quiet) {
    driver_.SetOutputChecker([this](const std::string& file, const TOutputExpectation& expected) {
      TOutputCheck check = CheckOutput(file, expected);
      std::lock_guard lock(checksMutex_);
      checks_[file] = check;
      return check;
    });
  }

  void RunModal() override {
    closed_ = false;
    driver_.StartTasks();
    while (!closed_) {
      handOver_.WaitAndPump(50);
      if (TInterruptWatch::Interrupted() && !cancelled_) {
        cancelled_ = true;
        line_.End();
        std::fprintf(stderr, "Stopping: finishing the output file...\n");
        driver_.Cancel();
      }
    }
    line_.End();
  }
  void Close() override {
    driver_.Cancel();
    closed_ = true;
  }
  void ShowProgress(const TProgressTexts& t) override {
    std::string line = t.Counter + " " + t.File;
    if (t.Percent >= 0) line += "  " + std::to_string(t.Percent) + "%";
    line += "  " + t.Elapsed + (t.Length.empty() ? "" : " / " + t.Length) + "  " + t.Size;
    // Side by side, the line follows the first running file and ends with
    // the batch, so that it reads the same from one update to the next.
    if (driver_.FilesAtOnce() > 1) line += "  | " + BatchLine(t);
    line_.Show(line);
  }
  void SetFilePercent(int) override {}
  void TaskEnded(const TTerminateInfo& info) override {
    line_.End();
    const std::vector<std::string> outputs = driver_.OutputFiles();
    const std::string output =
        info.TaskIndex < int(outputs.size()) ? outputs[size_t(info.TaskIndex)] : std::string();
    const std::string checkFailure = info.Completed ? CheckFailure(output) : std::string();
    if (info.Failed) {
      std::fprintf(stderr, "failed: %s: %s\n", output.c_str(), info.ErrorMessage.c_str());
    } else if (!checkFailure.empty()) {
      std::fprintf(stderr, "%s: Check failed: %s\n", output.c_str(), checkFailure.c_str());
    } else {
      std::printf("%s: %s\n", info.Completed ? "done" : "stopped", output.c_str());
    }
    std::fflush(stdout);
  }
  void FileWarning(int taskIndex, const std::string& text) override {
    line_.End();
    const std::vector<std::string> outputs = driver_.OutputFiles();
    const std::string output =
        taskIndex < int(outputs.size()) ? outputs[size_t(taskIndex)] : std::string();
    std::fprintf(stderr, "warning: %s: %s\n", output.c_str(), text.c_str());
  }
  void FileLeftOut(const std::string& source, const std::string& text) override {
    std::fprintf(stderr, "failed: %s: %s\n", source.c_str(), text.c_str());
  }
  bool OpenFolderChecked() const override { return false; }
  bool ShutDownChecked() const override { return false; }
  bool Cancelled() const { return cancelled_; }

  // "batch 42%: 2 of 6 done, 2 running, 1:20 left"
  static std::string BatchLine(const TProgressTexts& t) {
    std::string line = "batch";
    if (t.BatchPercent >= 0) line += " " + std::to_string(t.BatchPercent) + "%";
    return line + ": " + BatchLineText(t);
  }

 private:
  // Why the output failed its check; "" when it passed or was not checked.
  std::string CheckFailure(const std::string& output) {
    std::lock_guard lock(checksMutex_);
    const auto found = checks_.find(output);
    return found == checks_.end() || found->second.Passed ? std::string() : found->second.Reason;
  }

  TBatchDriver& driver_;
  TQueuedHandOver& handOver_;
  TProgressLine line_;
  bool closed_ = true;
  bool cancelled_ = false;
  std::mutex checksMutex_;
  std::map<std::string, TOutputCheck> checks_;  // output file -> its check
};

// Fonts come from the application object; a terminal has no display, so the
// off-screen platform serves unless the user chose one.
std::unique_ptr<QGuiApplication> MakeGuiApplication() {
  if (QCoreApplication::instance()) return nullptr;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "quor-convert";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QGuiApplication>(argc, argv);
}

// A text box the size of the text in its font, as the watermark editor
// would have drawn it around the text.
void MeasureTextBox(TWmRec& item) {
  if (item.TextWidth > 0 && item.TextHeight > 0) return;
  QFont font;
  if (!item.Font->Name.empty()) font.setFamily(QString::fromStdString(item.Font->Name));
  font.setPixelSize((item.Font->Size * 96 + 36) / 72);
  font.setBold(item.Font->Style & fsBold);
  font.setItalic(item.Font->Style & fsItalic);
  const QFontMetrics metrics(font);
  if (item.TextWidth <= 0)
    item.TextWidth = metrics.horizontalAdvance(QString::fromStdString(item.Text)) + 4;
  if (item.TextHeight <= 0) item.TextHeight = metrics.height() + 2;
}

void ApplyEdits(const TCatalogueCommandLine& cl, TSourceRow& row) {
  TlvFilesRecord& record = *row.Record;
  if (cl.TrimStartUs) record.TrimStart = *cl.TrimStartUs;
  if (cl.TrimLengthUs) {
    record.TrimLength = *cl.TrimLengthUs;
    if (record.TrimLength > 0) row.TrimmedLength = std::to_string(record.TrimLength / 1000000);
  }
  if (cl.HasCrop) {
    record.CropTop = cl.CropTop;
    record.CropBottom = cl.CropBottom;
    record.CropLeft = cl.CropLeft;
    record.CropRight = cl.CropRight;
  }
  record.Brightness = cl.Brightness;
  record.Contrast = cl.Contrast;
  record.Saturation = cl.Saturation;
  record.Exposure = cl.Exposure;
  for (const TWmRec& item : cl.Watermarks)
    record.Watermarks.push_back(std::make_unique<TWmRec>(item));
}

// Says why the settings file could not be written (a full disk, a folder
// that is not writable) while errno still tells; false for the caller.
bool SettingsWriteFailed(const TAppSettings& settings) {
  std::fprintf(stderr, "quor-convert: cannot write the settings file %s: %s\n",
               settings.File().c_str(), std::strerror(errno));
  return false;
}

// Stores what the command line chose, as the window's format picker and
// folder browser would (in the run's settings, see TRunSettings).
bool StoreChoices(const TCatalogueCommandLine& cl, const TAppSettings& settings) {
  if (cl.FormatCode >= 0) {
    const std::string name =
        cl.FormatCode == kDefaultFormatCode ? kDefaultFormatName : CatalogFormatName(cl.FormatCode);
    if (!settings.SetFormatCode(cl.FormatCode) || !settings.SetFormatName(name))
      return SettingsWriteFailed(settings);
  }
  if (!cl.OutputDir.empty()) {
    const std::string folder = ExpandFullPath(cl.OutputDir);
    if (!platform::ForceDirectories(folder)) {
      std::fprintf(stderr, "quor-convert: cannot create the output folder %s\n", folder.c_str());
      return false;
    }
    if (!settings.SetOutPutDir(folder)) return SettingsWriteFailed(settings);
  }
  return true;
}

// The settings file a run reads. A format or folder given on the command
// line is for this run only: it goes into a copy of the user's settings in a
// private temporary folder, removed when the run ends, so the window's
// choices stay as they were; with --save it is stored in the user's
// settings, as the window's format picker and folder browser store it.
class TRunSettings {
 public:
  TRunSettings() = default;
  TRunSettings(const TRunSettings&) = delete;
  TRunSettings& operator=(const TRunSettings&) = delete;
  ~TRunSettings() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }

  // False, with the reason printed, when the choices cannot be made.
  bool Prepare(const TCatalogueCommandLine& cl, const std::string& userFile) {
    file_ = userFile;
    if ((cl.FormatCode >= 0 || !cl.OutputDir.empty()) && !cl.Save) {
      std::string tmpl = (std::filesystem::temp_directory_path() / "quor-run-XXXXXX").string();
      if (!::mkdtemp(tmpl.data())) {
        std::fprintf(stderr, "quor-convert: cannot make a temporary folder: %s\n",
                     std::strerror(errno));
        return false;
      }
      folder_ = tmpl;
      file_ = IncludeTrailingSlash(folder_) + ExtractFileName(userFile);
      // A settings file that was never written reads as the defaults either way.
      if (platform::FileExists(userFile) && !platform::CopyFile(userFile, file_)) {
        std::fprintf(stderr, "quor-convert: cannot copy the settings file %s: %s\n",
                     userFile.c_str(), std::strerror(errno));
        return false;
      }
    }
    return StoreChoices(cl, TAppSettings(file_));
  }
  const std::string& File() const { return file_; }

 private:
  std::string folder_;  // the private copy's folder; empty: the user's file is read
  std::string file_;
};

int ListFormats(const TAppSettings& settings) {
  const int chosen = settings.FormatCode();
  auto line = [&](int code, const std::string& name) {
    std::printf("%c %4d  %s\n", code == chosen ? '*' : ' ', code, name.c_str());
  };
  line(kDefaultFormatCode, std::string(kDefaultFormatName) + " (default)");
  int group = -1;
  for (const auto& entry : FormatCatalog()) {
    if (entry.Code / 100 != group) {
      group = entry.Code / 100;
      std::printf("%s\n", FormatGroupName(group).c_str());
    }
    line(entry.Code, entry.Name);
  }
  std::printf("(* the chosen format)\n");
  return ExitOk;
}

int ExitCodeOf(const TBatchDriver& driver, bool cancelled) {
  // The summary counts a completed file that failed its output check as failed.
  bool failed = !driver.SkippedRows().empty() || driver.Summary().Failed > 0;
  bool stopped = cancelled;
  for (const auto& n : driver.Notices()) {
    if (n.TaskIndex < 0) continue;
    failed |= n.Failed;
    stopped |= !n.Completed && !n.Failed;
  }
  if (failed) return ExitFailed;
  return stopped ? StoppedExitCode() : ExitOk;
}

int Convert(const TCatalogueCommandLine& cl, const std::string& settingsFile,
            const std::string& formatFile) {
  TFFmpegVCL vcl;
  if (!LoadMediaLibraries(vcl)) return ExitFailed;
  TQueuedHandOver handOver;
  SetMainThreadHandOver(&handOver);
  struct TRestore {
    ~TRestore() { SetMainThreadHandOver(nullptr); }
  } restore;

  TConsoleUserInteraction ui;
  TSourceList list(settingsFile, formatFile);
  std::vector<std::string> files;
  for (const auto& f : cl.Files) files.push_back(ExpandFullPath(f));
  const TAddResult added = list.Add(vcl, files, &ui);
  for (const auto& d : added.Duplicates)
    std::fprintf(stderr, "quor-convert: %s is given twice\n", d.c_str());
  for (const auto& [file, why] : added.Skipped)
    std::fprintf(stderr, "quor-convert: skipped %s: %s\n", file.c_str(), why.c_str());
  if (added.Added == 0) return ExitFailed;
  for (int i = 0; i < list.Count(); ++i) ApplyEdits(cl, list.Row(i));

  TBatchDriver driver(vcl, list, TBuildContext{settingsFile, formatFile, &ui});
  driver.SetFilesAtOnce(cl.Jobs);
  TConsoleProgressView view(driver, handOver, cl.Quiet);
  driver.SetProgressView(&view);

  int code = ExitOk;
  try {
    const TInterruptWatch interrupt;
    driver.Start();
    code = ExitCodeOf(driver, view.Cancelled());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quor-convert: %s\n", ErrorDisplayText(e.what()).c_str());
    code = ExitFailed;
  }
  // Tasks added before a failed preparation stay until the list is cleared.
  list.Clear(vcl);
  return (added.Skipped.empty() || code != ExitOk) ? code : ExitFailed;
}

}  // namespace

bool IsCatalogueCommandLine(const std::vector<std::string>& args) {
  bool catalogueOption = false, allFilesExist = true, optionsEnded = false;
  for (const auto& a : args) {
    if (optionsEnded || a.empty() || a[0] != '-') {
      allFilesExist &= platform::FileExists(a);
      continue;
    }
    if (a == "--") optionsEnded = true;
    if (a == "-i") return false;
    if (a.rfind("--", 0) == 0 && a != "--quiet" && a != "--") catalogueOption = true;
  }
  // A bare name that names no file is more likely a raw command line that
  // forgot its -i, which raw mode explains.
  return catalogueOption || allFilesExist;
}

TCatalogueCommandLine ParseCatalogueCommandLine(const std::vector<std::string>& args) {
  TCatalogueCommandLine cl;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw TUsageError("the option " + arg + " needs a value");
      return args[++i];
    };
    if (optionsEnded) {
      cl.Files.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;  // what follows are files, even those that start with "-"
    } else if (arg == "--list-formats") {
      cl.ListFormats = true;
    } else if (arg == "--quiet") {
      cl.Quiet = true;
    } else if (arg == "--save") {
      cl.Save = true;
    } else if (arg == "--format") {
      cl.FormatCode = ParseInt(value(), 0, 9999, "--format");
      if (!IsFormatCode(cl.FormatCode))
        throw TUsageError("no format has the code " + std::to_string(cl.FormatCode) +
                          " (see --list-formats)");
    } else if (arg == "--jobs") {
      const std::string& jobs = value();
      cl.Jobs = jobs == "auto" ? kFilesAtOnceAuto : ParseInt(jobs, 1, kMaxFilesAtOnce, "--jobs");
    } else if (arg == "--output-dir") {
      cl.OutputDir = value();
      if (cl.OutputDir.empty()) throw TUsageError("--output-dir needs a folder");
    } else if (arg == "--trim") {
      const auto parts = SplitCommas(value());
      if (parts.size() > 2) throw TUsageError("--trim takes START[,LENGTH] in seconds");
      cl.TrimStartUs = ParseSecondsUs(parts[0], "--trim START");
      cl.TrimLengthUs = parts.size() == 2 ? ParseSecondsUs(parts[1], "--trim LENGTH") : 0;
    } else if (arg == "--crop") {
      const auto parts = SplitCommas(value());
      if (parts.size() != 4) throw TUsageError("--crop takes four margins T,B,L,R");
      cl.CropTop = ParseInt(parts[0], 0, 16384, "--crop T");
      cl.CropBottom = ParseInt(parts[1], 0, 16384, "--crop B");
      cl.CropLeft = ParseInt(parts[2], 0, 16384, "--crop L");
      cl.CropRight = ParseInt(parts[3], 0, 16384, "--crop R");
      cl.HasCrop = true;
    } else if (arg == "--brightness") {
      cl.Brightness = ParseInt(value(), 0, 512, "--brightness");
    } else if (arg == "--contrast") {
      cl.Contrast = ParseInt(value(), -100, 100, "--contrast");
    } else if (arg == "--saturation") {
      cl.Saturation = ParseInt(value(), 0, 512, "--saturation");
    } else if (arg == "--exposure") {
      cl.Exposure = ParseInt(value(), -255, 512, "--exposure");
    } else if (arg == "--text") {
      cl.Watermarks.push_back(ParseTextItem(value()));
    } else if (arg == "--image") {
      cl.Watermarks.push_back(ParseImageItem(value()));
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw TUsageError("unknown option " + arg);
    } else {
      cl.Files.push_back(arg);
    }
  }
  if (!cl.ListFormats && cl.Files.empty()) throw TUsageError("no file to convert");
  return cl;
}

void PrintCatalogueUsage(std::FILE* to) {
  std::fputs(
      "Usage: quor-convert [options] [--] FILE...\n"
      "       quor-convert --list-formats\n"
      "\n"
      "Converts each FILE into one of the program's output formats, with the settings\n"
      "chosen for that format in the program (its settings file and format profile),\n"
      "exactly as the window's Start does. Each output is named after its source:\n"
      "NAME_(new).EXT, or NAME_(new_N).EXT when that file exists already.\n"
      "\n"
      "  --list-formats          list the output formats with their codes (* = chosen)\n"
      "  --format CODE           convert into format CODE (else the chosen format)\n"
      "  --output-dir DIR        write into DIR (created when missing; else the output\n"
      "                          folder of the settings)\n"
      "  --save                  keep --format and --output-dir as the chosen format and\n"
      "                          output folder, as picking them in the window does\n"
      "  --trim START[,LENGTH]   start at START seconds and convert LENGTH seconds\n"
      "                          (decimals allowed; no LENGTH or 0: to the end)\n"
      "  --crop T,B,L,R          cut T, B, L, R source pixels from the top, bottom, left\n"
      "                          and right of the picture (even numbers)\n"
      "  --brightness N          0..512, 255 unchanged\n"
      "  --contrast N            -100..100, 0 unchanged\n"
      "  --saturation N          0..512, 255 unchanged, 0 grey\n"
      "  --exposure N            -255..512, 0 unchanged\n"
      "  --text TEXT@X,Y[,OPT]   draw TEXT with its box's top left corner at pixel X,Y of\n"
      "                          the source picture; OPT, comma separated:\n"
      "                            from=S,to=S   shown from second S to second S (whole\n"
      "                                          seconds of the source, both included;\n"
      "                                          default: the whole file)\n"
      "                            alpha=N       opacity 0..255 (default 255)\n"
      "                            font=NAME size=POINTS (default 20) color=RRGGBB\n"
      "                            (default FFFFFF) bold italic underline\n"
      "                            back=RRGGBB   an opaque box of that colour\n"
      "                            width=W height=H  the box (default: the text's size)\n"
      "  --image FILE@X,Y[,OPT]  blend the picture FILE (BMP) at pixel X,Y; OPT: from=S,\n"
      "                          to=S, alpha=N as for --text\n"
      "  --jobs N                convert N files at once (1..16), or auto (the default):\n"
      "                          one per core, at most 4, half that for H.264 at 720\n"
      "                          lines and above\n"
      "  --quiet                 no progress line\n"
      "  --                      the names after it are files, even those that start\n"
      "                          with -\n"
      "Trim, crop, effects and pictures apply to every FILE; --text and --image may be\n"
      "given several times (later items are drawn over earlier ones).\n"
      "The settings live in $QUOR_APPDATA, else $XDG_CONFIG_HOME/quor (~/.config/quor).\n"
      "Ctrl+C (or SIGTERM) stops the conversion; each file being written keeps what was\n"
      "converted.\n"
      "Each output is checked as the window's Start checks it: it opens, lasts what\n"
      "was asked for, its first and last second decode, and its sound and picture\n"
      "start together. An output that fails prints \"Check failed: REASON\" and counts\n"
      "as a failed file.\n"
      "Exit status: 0 converted, 1 a file failed (its output check included) or could\n"
      "not be read, 2 bad command line, 130 stopped by Ctrl+C, 143 stopped by SIGTERM.\n",
      to);
}

int RunCatalogueMode(const std::vector<std::string>& args) {
  TCatalogueCommandLine cl;
  try {
    cl = ParseCatalogueCommandLine(args);
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "quor-convert: %s\nTry quor-convert --help.\n", e.what());
    return ExitUsage;
  }
  std::unique_ptr<QGuiApplication> app;
  bool hasText = false;
  for (const auto& item : cl.Watermarks) hasText |= item.Kind == TWmRec::wkText;
  if (hasText) app = MakeGuiApplication();
  for (auto& item : cl.Watermarks)
    if (item.Kind == TWmRec::wkText) MeasureTextBox(item);

  auto global = TGlobalObject::CreateForApplication();
  SetGlobalObject(global.get());
  struct TForget {
    ~TForget() { SetGlobalObject(nullptr); }
  } forget;
  const TFirstStartResult first = FirstStart(*global);
  if (!first.Error.empty())
    std::fprintf(stderr, "quor-convert: warning: %s\n", first.Error.c_str());
  const TAppSettings settings(global->SettingsFile());
  if (cl.ListFormats) return ListFormats(settings);
  TRunSettings run;
  if (!run.Prepare(cl, global->SettingsFile())) return ExitFailed;
  return Convert(cl, run.File(), global->FormatFile());
}
