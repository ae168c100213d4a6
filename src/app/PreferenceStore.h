// The preferences as the dialog edits them, without the window: what its
// show reads (the snapshot folder after the write test), what Default puts
// in, what Ok stores, and the rule that keeps one snapshot size and one
// format chosen; and the dialog's Open.
//
// TPreferenceEdit keeps the values being edited and the settings file's
// path; Load and Store open and close the file. User-interface thread only.
#pragma once

#include <string>

struct TPreferences {
  std::string SnapFolder;
  bool SmallSize = true;
  bool FullSize = true;
  bool Bmp = true;
  bool Jpg = true;
  int Quality = 30;     // JPEG quality 1..100
  int Priority = 1;     // 0 idle, 1 normal, 2 lower, 3 lowest; -1 none chosen
  int FilesAtOnce = 0;  // 0 Auto, else 1..16
};

// The four snapshot boxes; sizes and formats come in pairs.
enum TSnapChoice { scSmallSize, scFullSize, scBmp, scJpg };

class TPreferenceEdit {
 public:
  explicit TPreferenceEdit(std::string settingsFile) : file_(std::move(settingsFile)) {}

  const TPreferences& Values() const { return values_; }
  // Show: the stored values. A snapshot folder that fails the write test is
  // replaced by the default folder, which is stored at once. A pair stored
  // with both boxes off reads as the default box of the pair (Full Size,
  // BMP) on; a priority outside 0..3 as none chosen; files at once outside
  // 1..16 as Auto.
  const TPreferences& Load();
  // Default: the default folder, BMP at full size only, quality 20, normal
  // priority, Auto files at once. Nothing is stored.
  const TPreferences& Reset();
  // Ok: every value; an empty folder stores the default folder, a quality of
  // 0 or less is not stored. False when a write failed.
  bool Store() const;

  // A box set on or off; unchecking the last box of its pair is refused, so
  // that a snapshot always writes something. Returns the state it keeps.
  bool Choose(TSnapChoice choice, bool on);
  bool Chosen(TSnapChoice choice) const;
  // The quality controls are for JPEG files only.
  bool QualityEnabled() const { return values_.Jpg; }
  void SetFolder(std::string folder) { values_.SnapFolder = std::move(folder); }
  void SetQuality(int quality) { values_.Quality = quality; }
  void SetPriority(int priority) { values_.Priority = priority; }
  void SetFilesAtOnce(int files) { values_.FilesAtOnce = files; }

 private:
  std::string file_;
  TPreferences values_;
};

// The dialog's Open: the stored snapshot folder with the desktop's handler,
// when the folder field holds more than 2 characters. True when started.
bool OpenSnapshotFolder(const std::string& settingsFile, const std::string& fieldText);
