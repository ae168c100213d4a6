// Snapshots of the picture on show: the folder rule, the four file names and
// the BMP and JPEG writers. The main window and the progress window both save
// through TakeSnapshot; only the main window opens the folder afterwards.
//
// Stateless functions; user-interface thread (they read and may write the
// settings file). The bitmaps are only read.
#pragma once

#include <string>
#include <vector>

#include "engine/libav/FrameBitmap.h"

class IUserInteraction;

// Writes a 24-bit bottom-up BMP; false when the file cannot be written.
bool SaveBitmapFile(const TBitmap& bitmap, const std::string& path);
// Writes a baseline JPEG of `quality` (clamped to 1..100).
bool SaveJpegFile(const TBitmap& bitmap, const std::string& path, int quality);
// `source` stretched (bilinear) to width x height.
TBitmap StretchBitmap(const TBitmap& source, int width, int height);

// The snapshot folder of the settings file, created when missing. When it
// cannot be created the user is told (warning) and the default folder is
// created, stored and used. Ends in "/".
std::string SnapshotFolder(const std::string& settingsFile, IUserInteraction* ui);

struct TSnapshotResult {
  std::string Folder;                // ends in "/"
  std::vector<std::string> Written;  // full paths, in the order written
  std::vector<std::string> Failed;   // files that could not be written
};
// Saves "Snapshot_full.bmp", "Snapshot_small.bmp", "Snapshot_full.jpg" and
// "Snapshot_small.jpg", each only when both of its choices (size and kind)
// are on in the settings; existing files are replaced. `full` is the picture
// at its own size, `small` at the panel's. Nothing is saved for an empty
// `full` picture.
TSnapshotResult TakeSnapshot(const TBitmap& full, const TBitmap& small,
                             const std::string& settingsFile, IUserInteraction* ui);
