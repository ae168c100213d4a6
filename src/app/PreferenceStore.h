// What the preferences dialog shows and what its Ok stores, without the
// window: the snapshot folder (after the write test), which snapshot sizes
// and formats are written, the JPEG quality and the conversion priority;
// the rule that keeps one size and one format chosen; the dialog's Open.
//
// Plain functions on the user-interface thread: each opens and closes the
// settings file.
#pragma once

#include <string>

struct TPreferences {
  std::string SnapFolder;
  bool SmallSize = true;
  bool FullSize = true;
  bool Bmp = true;
  bool Jpg = true;
  int Quality = 30;  // JPEG quality 1..100
  int Priority = 1;  // 0 idle, 1 normal, 2 lower, 3 lowest; -1 none chosen
};

// The dialog's show: the stored choices. A snapshot folder that fails the
// write test is replaced by the default folder, which is stored.
TPreferences ReadPreferences(const std::string& settingsFile);
// What "Default" shows: the default folder, BMP at full size only, quality
// 20, normal priority. Nothing is stored until Ok.
TPreferences DefaultPreferences();
// Ok: every value; an empty folder stores the default folder, a quality of
// 0 or less is not stored. False when a write failed.
bool StorePreferences(const std::string& settingsFile, const TPreferences& values);

// A size or format box the user unchecked while its partner is unchecked
// too is checked again, so that a snapshot always writes something: the
// state the box keeps.
inline bool KeepChecked(bool checked, bool partnerChecked) {
  return checked || !partnerChecked;
}

// The dialog's Open: the stored snapshot folder with the desktop's handler,
// when the folder field holds more than 2 characters. True when started.
bool OpenSnapshotFolder(const std::string& settingsFile, const std::string& fieldText);
