// The global settings object, the typed access to the "settings" section of
// the application settings file, and the message rule of the application-wide
// error display.
//
// TGlobalObject owns text fields only; one instance is created by the main
// window and registered as the global reference (GlobalObject()). It and
// TAppSettings are used on the user-interface thread only (settings are never
// touched from workers), so no lock guards them. TAppSettings keeps no state
// besides the file path: every call opens, reads or writes, and closes the
// file, so a value written by one window is seen by the next reader at once.
#pragma once

#include <exception>
#include <memory>
#include <string>

// Special folder numbers understood by SpecialFolderPath.
constexpr int CSIDL_COMMON_APPDATA = 35;

constexpr const char* kApplicationTitle = "Quor Video Converter";
constexpr const char* kEditionTitle = "Quor MP4 to AVI Converter";
constexpr const char* kHelpAddress = "https://quor.example.org/help/";
constexpr const char* kSettingsFileName = "quormp4aviconverter.ini";
constexpr const char* kFormatFileName = "quormp4aviformat.ini";

class TGlobalObject {
 public:
  // The creation step of the main window: the settings files in the common
  // application-data folder (the format profile installed there when it is
  // missing), the edition title and the help address.
  static std::unique_ptr<TGlobalObject> CreateForApplication();

  const std::string& SettingsFile() const { return settingsFile_; }
  const std::string& FormatFile() const { return formatFile_; }
  const std::string& EditionTitle() const { return editionTitle_; }
  const std::string& VersionText() const { return versionText_; }
  const std::string& HelpAddress() const { return helpAddress_; }
  // Each setter ignores a value that fails its condition: paths must be longer
  // than 3 characters, the other texts must not be empty.
  void SetSettingsFile(const std::string& value);
  void SetFormatFile(const std::string& value);
  void SetEditionTitle(const std::string& value);
  void SetVersionText(const std::string& value);
  void SetHelpAddress(const std::string& value);

  // The folder of a special folder number with a trailing "/"; "" for a
  // number this platform has no folder for.
  static std::string SpecialFolderPath(int csidl);
  // True when a file can be created in the folder and deleted again.
  static bool CanWriteToFolder(const std::string& folder);
  // The login name of the effective user, at most 253 characters.
  static std::string LoginUserName();
  // " major.minorreleasebuild " (version 4.4.0.0 gives " 4.400 ").
  static std::string FileVersionText();
  // The last n characters (UTF-8 code points) of text; all of it when shorter.
  static std::string RightChars(const std::string& text, int n);

 private:
  std::string settingsFile_;
  std::string formatFile_;
  std::string editionTitle_;
  std::string versionText_;
  std::string helpAddress_;
};

// The one global reference through which every window reaches the object.
// Not owned: the main window owns the object and clears the reference before
// freeing it.
TGlobalObject* GlobalObject();
void SetGlobalObject(TGlobalObject* object);

// Installs the format profile into `appDataFolder` from `dataFolder` (default:
// "data/" beside the executable) unless it is there already; the program never
// writes it afterwards. True when the profile is in place.
bool InstallFormatProfile(const std::string& appDataFolder, const std::string& dataFolder = "");

// Typed access to section "settings" of the application settings file. Each
// reader passes the default its callers use; where two callers use different
// defaults, both readings exist.
class TAppSettings {
 public:
  explicit TAppSettings(std::string settingsFile) : file_(std::move(settingsFile)) {}
  const std::string& File() const { return file_; }

  // Output and snapshot folders; default $HOME/videoconverter (both spellings
  // of the desktop default fold into that one folder here).
  std::string OutPutDir() const;
  bool SetOutPutDir(const std::string& folder) const;
  std::string SnapOutPutDir() const;
  bool SetSnapOutPutDir(const std::string& folder) const;
  // The show-time test: a stored folder that cannot be written is replaced by
  // $HOME/videoconverter, which is stored; returns the folder in effect.
  // Nothing is created here.
  std::string VerifyOutPutDir() const;
  std::string VerifySnapOutPutDir() const;

  // The chosen output format: the main window's reading and the settings
  // dialog's reading of the name differ in their defaults.
  std::string FormatName() const;
  std::string FormatNameForSettingsDialog() const;
  int FormatCode() const;
  std::string FormatCodeText() const;  // as stored, default "1"
  bool SetFormatName(const std::string& name) const;
  bool SetFormatCode(int code) const;
  bool SetFormatCodeText(const std::string& code) const;

  // Preview volume as stored (default 0), and as the volume bars show it:
  // 64 when the stored value is outside 0..128 (the key is not rewritten).
  int Volume() const;
  int VolumeForBar() const;
  bool SetVolume(int volume) const;
  // Stored mute value (default 0); players start muted on 1, unmuted on 0 and
  // leave their state for any other value.
  int Mute() const;
  bool SetMute(bool mute) const;

  int Priority() const;  // 0 idle, 1 normal, 2 lower, 3 lowest; default 1
  bool SetPriority(int priority) const;
  // Files a batch converts at once: 0 Auto (the default), else 1..16 as
  // stored (BatchJobs.h reads what is outside as Auto).
  int FilesAtOnce() const;
  bool SetFilesAtOnce(int files) const;
  // The folder the Add dialog opens in: the one the user last added files
  // from, while it still exists, else $HOME, as a desktop's open dialog
  // remembers its last folder for each program.
  std::string AddFolder() const;
  bool SetAddFolder(const std::string& folder) const;

  // Snapshot choices: a box is ticked when its key is 1 (default 1 each).
  bool SnapFullSize() const;
  bool SnapSmallSize() const;
  bool SnapBmp() const;
  bool SnapJpg() const;
  bool SetSnapFullSize(bool on) const;
  bool SetSnapSmallSize(bool on) const;
  bool SetSnapBmp(bool on) const;
  bool SetSnapJpg(bool on) const;
  int JpgCmp() const;  // JPEG quality 1..100, default 30
  // Stores the quality only when it is above 0; false otherwise.
  bool SetJpgCmp(int quality) const;

 private:
  std::string ReadText(const char* key, const std::string& defaultValue) const;
  int ReadInt(const char* key, int defaultValue) const;
  bool WriteText(const char* key, const std::string& value) const;
  bool WriteInt(const char* key, int value) const;
  std::string VerifyFolder(const char* key) const;

  std::string file_;
};

// The text the application-wide error display shows for a message: "."
// appended when the message is not empty and its last character sorts after
// "." (code above 46).
std::string ErrorDisplayText(const std::string& message);

// What the application-wide error display does with an error that nothing
// caught on the user-interface thread.
enum class TErrorDisplayKind {
  edWarning,  // the engine's FFmpegException: warning icon
  edError,    // any other error: error icon
  edNone      // an access violation: nothing is shown
};
struct TErrorDisplay {
  TErrorDisplayKind Kind;
  std::string Text;  // after ErrorDisplayText
};
// An access violation turned into an exception by a guarded memory access;
// the display stays silent for it. (A fault outside such a guard is not
// recoverable on this platform and never reaches the display.)
class EAccessViolation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
TErrorDisplay DescribeUnhandledError(std::exception_ptr error);
