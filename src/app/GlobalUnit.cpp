#include "app/GlobalUnit.h"

#include <stdexcept>

#include "engine/common/FFmpegException.h"
#include "platform/Environment.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"

namespace {

TGlobalObject* globalObject = nullptr;

constexpr const char* kSection = "settings";
constexpr const char* kMainWindowFormatName = "Apple iPod Video MPEG-4 Movie (*.mp4)";
constexpr const char* kDialogFormatName = "iPod Video MPEG-4";
constexpr int kBarVolume = 64;

// Keys as the program writes them (matching ignores case).
constexpr const char* kOutPutDir = "OutPutDir";
constexpr const char* kSnapOutPutDir = "snapOutPutDir";
constexpr const char* kFormatName = "FormatName";
constexpr const char* kFormatCode = "FormatCode";
constexpr const char* kVolume = "volume";
constexpr const char* kMute = "mute";
constexpr const char* kPriority = "priority";
constexpr const char* kFilesAtOnce = "filesAtOnce";
constexpr const char* kAddFolder = "addFolder";
constexpr const char* kSnapFullSize = "snapFullSize";
constexpr const char* kSnapSmallSize = "snapSmallSize";
constexpr const char* kSnapBmp = "snapBmp";
constexpr const char* kSnapJpg = "snapJpg";
constexpr const char* kJpgCmp = "jpgCmp";

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

// ---- TGlobalObject ---------------------------------------------------------

std::unique_ptr<TGlobalObject> TGlobalObject::CreateForApplication() {
  auto object = std::make_unique<TGlobalObject>();
  const std::string folder = SpecialFolderPath(CSIDL_COMMON_APPDATA);
  object->SetSettingsFile(folder + kSettingsFileName);
  object->SetFormatFile(folder + kFormatFileName);
  object->SetEditionTitle(kEditionTitle);
  object->SetHelpAddress(kHelpAddress);
  InstallFormatProfile(folder);
  return object;
}

void TGlobalObject::SetSettingsFile(const std::string& value) {
  if (value.size() > 3) settingsFile_ = value;
}

void TGlobalObject::SetFormatFile(const std::string& value) {
  if (value.size() > 3) formatFile_ = value;
}

void TGlobalObject::SetEditionTitle(const std::string& value) {
  if (!value.empty()) editionTitle_ = value;
}

void TGlobalObject::SetVersionText(const std::string& value) {
  if (!value.empty()) versionText_ = value;
}

void TGlobalObject::SetHelpAddress(const std::string& value) {
  if (!value.empty()) helpAddress_ = value;
}

std::string TGlobalObject::SpecialFolderPath(int csidl) {
  if (csidl != CSIDL_COMMON_APPDATA) return {};
  return platform::WithTrailingSlash(platform::CommonAppDataFolder());
}

bool TGlobalObject::CanWriteToFolder(const std::string& folder) {
  return platform::CanCreateFileIn(folder);
}

std::string TGlobalObject::LoginUserName() {
  std::string name = platform::LoginName();
  if (name.size() > 253) name.resize(253);
  return name;
}

std::string TGlobalObject::FileVersionText() {
  const platform::FileVersion v = platform::ProgramVersion();
  return " " + std::to_string(v.Major) + "." + std::to_string(v.Minor) + std::to_string(v.Release) +
         std::to_string(v.Build) + " ";
}

std::string TGlobalObject::RightChars(const std::string& text, int n) {
  if (n <= 0) return {};
  size_t start = text.size();
  for (int counted = 0; start > 0 && counted < n; ++counted) {
    --start;
    while (start > 0 && IsUtf8Continuation(text[start])) --start;
  }
  return text.substr(start);
}

TGlobalObject* GlobalObject() { return globalObject; }

void SetGlobalObject(TGlobalObject* object) { globalObject = object; }

bool InstallFormatProfile(const std::string& appDataFolder, const std::string& dataFolder) {
  const std::string target = platform::WithTrailingSlash(appDataFolder) + kFormatFileName;
  if (platform::FileExists(target)) return true;
  const std::string from =
      platform::WithTrailingSlash(dataFolder.empty() ? platform::DataFolder() : dataFolder) +
      kFormatFileName;
  return platform::CopyFile(from, target);
}

// ---- TAppSettings ----------------------------------------------------------

std::string TAppSettings::ReadText(const char* key, const std::string& defaultValue) const {
  return platform::ReadIniString(file_, kSection, key, defaultValue);
}

int TAppSettings::ReadInt(const char* key, int defaultValue) const {
  return platform::ReadIniInt(file_, kSection, key, defaultValue);
}

bool TAppSettings::WriteText(const char* key, const std::string& value) const {
  return platform::WriteIniString(file_, kSection, key, value);
}

bool TAppSettings::WriteInt(const char* key, int value) const {
  return platform::WriteIniInt(file_, kSection, key, value);
}

std::string TAppSettings::OutPutDir() const {
  return ReadText(kOutPutDir, platform::DefaultVideoFolder());
}

bool TAppSettings::SetOutPutDir(const std::string& folder) const {
  return WriteText(kOutPutDir, folder);
}

std::string TAppSettings::SnapOutPutDir() const {
  return ReadText(kSnapOutPutDir, platform::DefaultVideoFolder());
}

bool TAppSettings::SetSnapOutPutDir(const std::string& folder) const {
  return WriteText(kSnapOutPutDir, folder);
}

std::string TAppSettings::VerifyFolder(const char* key) const {
  std::string folder = ReadText(key, platform::DefaultVideoFolder());
  if (TGlobalObject::CanWriteToFolder(folder)) return folder;
  folder = platform::DefaultVideoFolder();
  WriteText(key, folder);
  return folder;
}

std::string TAppSettings::VerifyOutPutDir() const { return VerifyFolder(kOutPutDir); }

std::string TAppSettings::VerifySnapOutPutDir() const { return VerifyFolder(kSnapOutPutDir); }

std::string TAppSettings::FormatName() const {
  return ReadText(kFormatName, kMainWindowFormatName);
}

std::string TAppSettings::FormatNameForSettingsDialog() const {
  return ReadText(kFormatName, kDialogFormatName);
}

int TAppSettings::FormatCode() const { return ReadInt(kFormatCode, 1); }

std::string TAppSettings::FormatCodeText() const { return ReadText(kFormatCode, "1"); }

bool TAppSettings::SetFormatName(const std::string& name) const {
  return WriteText(kFormatName, name);
}

bool TAppSettings::SetFormatCode(int code) const { return WriteInt(kFormatCode, code); }

bool TAppSettings::SetFormatCodeText(const std::string& code) const {
  return WriteText(kFormatCode, code);
}

int TAppSettings::Volume() const { return ReadInt(kVolume, 0); }

int TAppSettings::VolumeForBar() const {
  const int v = Volume();
  return v < 0 || v > 128 ? kBarVolume : v;
}

bool TAppSettings::SetVolume(int volume) const { return WriteInt(kVolume, volume); }

int TAppSettings::Mute() const { return ReadInt(kMute, 0); }

bool TAppSettings::SetMute(bool mute) const { return WriteInt(kMute, mute ? 1 : 0); }

int TAppSettings::Priority() const { return ReadInt(kPriority, 1); }

bool TAppSettings::SetPriority(int priority) const { return WriteInt(kPriority, priority); }

int TAppSettings::FilesAtOnce() const { return ReadInt(kFilesAtOnce, 0); }

bool TAppSettings::SetFilesAtOnce(int files) const { return WriteInt(kFilesAtOnce, files); }

std::string TAppSettings::AddFolder() const {
  const std::string folder = ReadText(kAddFolder, "");
  if (!folder.empty() && platform::DirectoryExists(folder)) return folder;
  return platform::GetEnvOr("HOME", "");
}

bool TAppSettings::SetAddFolder(const std::string& folder) const {
  return WriteText(kAddFolder, folder);
}

bool TAppSettings::SnapFullSize() const { return ReadInt(kSnapFullSize, 1) == 1; }
bool TAppSettings::SnapSmallSize() const { return ReadInt(kSnapSmallSize, 1) == 1; }
bool TAppSettings::SnapBmp() const { return ReadInt(kSnapBmp, 1) == 1; }
bool TAppSettings::SnapJpg() const { return ReadInt(kSnapJpg, 1) == 1; }
bool TAppSettings::SetSnapFullSize(bool on) const { return WriteInt(kSnapFullSize, on ? 1 : 0); }
bool TAppSettings::SetSnapSmallSize(bool on) const { return WriteInt(kSnapSmallSize, on ? 1 : 0); }
bool TAppSettings::SetSnapBmp(bool on) const { return WriteInt(kSnapBmp, on ? 1 : 0); }
bool TAppSettings::SetSnapJpg(bool on) const { return WriteInt(kSnapJpg, on ? 1 : 0); }

int TAppSettings::JpgCmp() const { return ReadInt(kJpgCmp, 30); }

bool TAppSettings::SetJpgCmp(int quality) const {
  return quality > 0 && WriteInt(kJpgCmp, quality);
}

// ---- Error display ---------------------------------------------------------

std::string ErrorDisplayText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

TErrorDisplay DescribeUnhandledError(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const FFmpegException& e) {
    return {TErrorDisplayKind::edWarning, ErrorDisplayText(e.what())};
  } catch (const EAccessViolation&) {
    return {TErrorDisplayKind::edNone, {}};
  } catch (const std::exception& e) {
    return {TErrorDisplayKind::edError, ErrorDisplayText(e.what())};
  } catch (...) {
    return {TErrorDisplayKind::edError, ErrorDisplayText("Unknown error")};
  }
  return {TErrorDisplayKind::edNone, {}};
}
