// The settings dialog's reading of the current format when it opens and what
// its Ok stores, without the window: the format's choices, the group states
// of the dialog's format list and the format that becomes the current one,
// in that order.
//
// Stateless; every call opens and closes the settings file. User-interface
// thread, like every settings access.
#pragma once

#include <string>

#include "profiles/FormatList.h"
#include "profiles/FormatProfile.h"

// The format the dialog starts from.
struct TDialogFormat {
  std::string FieldText;  // what the format field shows (the main window's name default)
  std::string Name;       // the name Ok stores (the dialog's own default)
  int Code = kDefaultFormatCode;
};
// From "settings" FormatName and FormatCode of the settings file. A code
// that is no number reads as the default format's, as every reader does.
TDialogFormat ReadDialogFormat(const std::string& settingsFile);

// Ok: the choices into the section of `code` (Description = `name`), the
// group states of `list`, then FormatName and FormatCode. False when a write
// failed (what was written before stays).
bool StoreDialogChoices(const std::string& settingsFile, const std::string& profileFile, int code,
                        const std::string& name, TFormatChoices choices, const TFormatList& list);
