#include "app/FolderChoice.h"

#include "app/GlobalUnit.h"
#include "app/UserInteraction.h"
#include "platform/Folders.h"

bool FolderSelectable(const std::string& folder) { return platform::DirectoryExists(folder); }

bool FolderAcceptable(const std::string& folder) { return !platform::IsOpticalDiscFolder(folder); }

bool StoreBrowsedFolder(const std::string& settingsFile, TFolderSetting which,
                        const std::string& folder, IUserInteraction& ui) {
  if (folder.size() < 4) {
    ui.ShowWarning("Warning", "The path " + folder + " is not a valid directory.");
    return false;
  }
  std::string stored = folder;
  if (!TGlobalObject::CanWriteToFolder(folder)) {
    ui.ShowWarning("Warning", "You login as " + TGlobalObject::LoginUserName() +
                                  " .You don't have permission to write to directory:" + folder);
    stored = platform::DefaultVideoFolder();
  }
  const TAppSettings settings(settingsFile);
  if (which == TFolderSetting::fsOutput)
    settings.SetOutPutDir(stored);
  else
    settings.SetSnapOutPutDir(stored);
  return true;
}
