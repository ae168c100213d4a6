#include "app/FirstStart.h"

#include "app/GlobalUnit.h"
#include "engine/MediaUtils.h"
#include "profiles/FormatProfile.h"

TFirstStartResult FirstStart(const TGlobalObject& global, const std::string& dataFolder) {
  TFirstStartResult result;
  result.ProfileInPlace = InstallFormatProfile(ExtractFilePath(global.FormatFile()), dataFolder);
  // Without a profile every format would be seeded with "not offered"
  // choices, which would then stick; better to seed once it is there.
  if (result.ProfileInPlace) result.SeededSections = SeedFormatSettings(global.SettingsFile(), global.FormatFile());
  return result;
}
