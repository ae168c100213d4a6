#include "app/SettingsStore.h"

#include "app/GlobalUnit.h"

TDialogFormat ReadDialogFormat(const std::string& settingsFile) {
  const TAppSettings settings(settingsFile);
  return {settings.FormatName(), settings.FormatNameForSettingsDialog(), settings.FormatCode()};
}

bool StoreDialogChoices(const std::string& settingsFile, const std::string& profileFile, int code,
                        const std::string& name, TFormatChoices choices, const TFormatList& list) {
  choices.Description = name;
  const TAppSettings app(settingsFile);
  return WriteFormatChoices(TFormatSettings(settingsFile, code), TFormatProfile(profileFile, code),
                            choices) &&
         SaveGroupStates(list, settingsFile) && app.SetFormatName(name) && app.SetFormatCode(code);
}
