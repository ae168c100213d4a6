// The rules for a folder the user picks in the folder browser: what the
// browser's Ok accepts, and what the main window's Browse (output folder)
// and the preferences' Brows (snapshot folder) store.
//
// Plain functions on the user-interface thread (they read and write the
// settings file and may show a box through `ui`).
#pragma once

#include <string>

class IUserInteraction;

// The browser's refusal of a folder on an optical disc.
constexpr const char* kDiscFolderMessage =
    "Output folder cannot be located in CD-ROM.Please select another folder.";

// The browser's Ok is enabled for a folder that exists (the tree may list a
// folder that was removed since).
bool FolderSelectable(const std::string& folder);
// The browser's Ok keeps a folder unless it lies on an optical disc.
bool FolderAcceptable(const std::string& folder);

enum class TFolderSetting { fsOutput, fsSnapshot };

// Stores a browsed folder as OutPutDir or SnapOutPutDir: a path shorter than
// 4 characters (a root) is refused with "The path <folder> is not a valid
// directory." and nothing is stored (false); a folder that passes the write
// test is stored; any other gets the permission message and the default
// folder is stored in its place. The boxes are captioned "Warning".
bool StoreBrowsedFolder(const std::string& settingsFile, TFolderSetting which,
                        const std::string& folder, IUserInteraction& ui);
