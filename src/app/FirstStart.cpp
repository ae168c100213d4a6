#include "app/FirstStart.h"

#include <cerrno>
#include <cstring>

#include "app/GlobalUnit.h"
#include "engine/libav/MediaUtils.h"
#include "profiles/FormatProfile.h"

TFirstStartResult FirstStart(const TGlobalObject& global, const std::string& dataFolder) {
  TFirstStartResult result;
  result.ProfileInPlace = InstallFormatProfile(ExtractFilePath(global.FormatFile()), dataFolder);
  if (!result.ProfileInPlace) {
    result.Error = "cannot put the format profile in place as " + global.FormatFile() + ": " +
                   std::strerror(errno);
    // Without a profile every format would get "not offered" choices,
    // which would then stick; better to write them once it is there.
    return result;
  }
  result.SeededSections = SeedFormatSettings(global.SettingsFile(), global.FormatFile());
  if (result.SeededSections < 0)
    result.Error =
        "cannot write the settings file " + global.SettingsFile() + ": " + std::strerror(errno);
  return result;
}
