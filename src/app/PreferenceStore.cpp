#include "app/PreferenceStore.h"

#include "app/GlobalUnit.h"
#include "platform/Folders.h"
#include "platform/Shell.h"

TPreferences ReadPreferences(const std::string& settingsFile) {
  const TAppSettings settings(settingsFile);
  TPreferences values;
  values.SnapFolder = settings.VerifySnapOutPutDir();
  values.SmallSize = settings.SnapSmallSize();
  values.FullSize = settings.SnapFullSize();
  values.Bmp = settings.SnapBmp();
  values.Jpg = settings.SnapJpg();
  values.Quality = settings.JpgCmp();
  values.Priority = settings.Priority();
  return values;
}

TPreferences DefaultPreferences() {
  TPreferences values;
  values.SnapFolder = platform::DefaultVideoFolder();
  values.Bmp = true;
  values.Jpg = false;
  values.FullSize = true;
  values.SmallSize = false;
  values.Priority = 1;
  values.Quality = 20;
  return values;
}

bool StorePreferences(const std::string& settingsFile, const TPreferences& values) {
  const TAppSettings settings(settingsFile);
  const std::string folder =
      values.SnapFolder.empty() ? platform::DefaultVideoFolder() : values.SnapFolder;
  bool ok = settings.SetSnapOutPutDir(folder);
  ok = settings.SetSnapBmp(values.Bmp) && ok;
  ok = settings.SetSnapJpg(values.Jpg) && ok;
  ok = settings.SetSnapFullSize(values.FullSize) && ok;
  ok = settings.SetSnapSmallSize(values.SmallSize) && ok;
  if (values.Quality > 0) ok = settings.SetJpgCmp(values.Quality) && ok;
  return settings.SetPriority(values.Priority) && ok;
}

bool OpenSnapshotFolder(const std::string& settingsFile, const std::string& fieldText) {
  if (fieldText.size() <= 2) return false;
  return platform::OpenWithDesktop(TAppSettings(settingsFile).SnapOutPutDir());
}
