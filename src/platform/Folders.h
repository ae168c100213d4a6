// Folders, identity and version: stand-ins for the desktop's special-folder,
// write-test, user-name and file-version services.
// Stateless; any thread may call them.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The common application-data folder, with a trailing "/": $QUOR_APPDATA when
// set, else $XDG_CONFIG_HOME/quor/ (default ~/.config/quor/). Created when missing.
std::string CommonAppDataFolder();
// $HOME/videoconverter (the default output and snapshot folder).
std::string DefaultVideoFolder();
// Folder with a trailing "/" (unless empty).
std::string WithTrailingSlash(const std::string& folder);
// The folder of the running executable, with a trailing "/".
std::string ExecutableFolder();
// The program's data (format profile, artwork), with a trailing "/": "data/"
// beside the executable in a build tree, else the installed
// "../share/quor/" next to the executable's folder.
std::string DataFolder();
// True when a unique file with prefix "DA" can be created in the folder and
// deleted again.
bool CanCreateFileIn(const std::string& folder);
// Creates the folder and its parents; true when it exists afterwards.
bool ForceDirectories(const std::string& folder);
bool DirectoryExists(const std::string& folder);
bool FileExists(const std::string& path);
// Which file a path names, so that a writer can tell whether the path still
// leads to the file it opened (a removed, renamed or replaced file, or one
// whose folder went, no longer does).
struct TFileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  bool operator==(const TFileIdentity&) const = default;
};
// False when the path names nothing.
bool IdentifyFile(const std::string& path, TFileIdentity& identity);
// Copies a file: the copy is written beside `to` and renamed into place, so
// `to` is either absent or complete. False when anything fails, with errno
// telling why.
bool CopyFile(const std::string& from, const std::string& to);
// The login name of the effective user ("" when unknown).
std::string LoginName();
// The program's version: major, minor, release, build.
struct FileVersion {
  int Major, Minor, Release, Build;
};
FileVersion ProgramVersion();
// True when the folder lies on an ISO 9660 or UDF file system (an optical disc),
// or at or below one of the folders that $QUOR_OPTICAL_DISC_FOLDERS lists
// (separated by ":"), which stand in for a disc where none is mounted (tests).
bool IsOpticalDiscFolder(const std::string& folder);

}  // namespace platform
