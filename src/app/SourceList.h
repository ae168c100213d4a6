// The source list of the main window, without the window: one row per
// source file with its five cells, its check box and its per-file record;
// Add (with a probe of every file through the converter), Remove and Clear.
//
// TSourceList owns its rows and every row owns its TlvFilesRecord, which
// lives exactly as long as the row. The converter, the view and the
// question/warning boxes are borrowed for the duration of a call.
// Threads: user-interface thread only. A running batch reads the records from
// the converter's worker (the frame hook) while the modal progress window
// keeps every window from changing them, so no lock guards the rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/FilesRecord.h"

class TCustomFFmpegVCL;
class IBatchListView;
class IUserInteraction;

struct TSourceRow {
  std::string Caption;           // the source's full path
  std::string Length;            // whole seconds of the source
  std::int64_t DurationUs = -1;  // the source's length when it was added; -1 unknown
  std::string TrimmedLength;     // whole seconds after the trim
  std::string DestinationFile;   // display output name, without folder
  std::string Progress;          // "" until a batch reports on the row
  std::string ProgressTip;       // why the row's file failed, when it did
  bool Checked = true;
  std::unique_ptr<TlvFilesRecord> Record;
};

// What became of the files handed to Add.
struct TAddResult {
  int Added = 0;
  std::vector<std::string> Duplicates;                       // already in the list
  std::vector<std::pair<std::string, std::string>> Skipped;  // file, reason
};

// Column captions and widths of the report view.
struct TSourceColumn {
  const char* Caption;
  int Width;
};
constexpr TSourceColumn kSourceColumns[] = {{"Source", 140},
                                            {"Length", 65},
                                            {"Trimmed Length", 90},
                                            {"Destination File", 120},
                                            {"Progress", 60}};
constexpr int kProgressColumn = 4;

class TSourceList {
 public:
  TSourceList(std::string settingsFile, std::string profileFile);
  TSourceList(const TSourceList&) = delete;
  TSourceList& operator=(const TSourceList&) = delete;

  // Not owned; may be null. Told about every change of rows and buttons.
  void SetView(IBatchListView* view) { view_ = view; }

  // Adds the chosen files in their order (the caller has loaded the
  // converter's libraries and shown the file dialog). Every task of the
  // converter is removed first: each file is opened as a task only to probe
  // it. Folders, captions already in the list (letter case counts) and files
  // the converter cannot open are left out; the first row ends up selected.
  TAddResult Add(TCustomFFmpegVCL& vcl, const std::vector<std::string>& files,
                 IUserInteraction* ui);
  // Removes the selected row (nothing when none is) and selects a neighbour.
  void Remove();
  // Removes every row and every task of the converter.
  void Clear(TCustomFFmpegVCL& vcl);

  int Count() const { return int(rows_.size()); }
  bool Empty() const { return rows_.empty(); }
  // Valid for 0 <= index < Count().
  const TSourceRow& Row(int index) const { return rows_.at(size_t(index)); }
  TSourceRow& Row(int index) { return rows_.at(size_t(index)); }
  TlvFilesRecord& Record(int index) { return *Row(index).Record; }

  // The current row (-1 when none); the list selects at most one row.
  int Selected() const { return selected_; }
  void Select(int index);
  void SetChecked(int index, bool checked) { Row(index).Checked = checked; }
  int CheckedCount() const;
  // Names every row's "Destination File" anew after the output format or
  // folder changed.
  void RefreshDestinations(IUserInteraction* ui);
  // Writes the "Progress" cell and tells the view.
  void SetProgress(int index, const std::string& text, const std::string& tip = "");
  // Writes the "Trimmed Length" cell and tells the view.
  void SetTrimmedLength(int index, const std::string& text);

 private:
  bool HasCaption(const std::string& caption) const;
  void Changed();

  std::string settingsFile_;
  std::string profileFile_;
  std::vector<TSourceRow> rows_;
  int selected_ = -1;
  IBatchListView* view_ = nullptr;
};
