// The start-up step after the global settings object exists: the format
// profile is put in place, and every format that has no section in the
// settings file yet gets its factory choices there. The option builder reads
// a format's encoders and sizes from the settings file, which otherwise only
// the settings dialog's Ok writes, so without this a format the user never
// opened the dialog for (the default one above all) would convert without
// video or audio encoder.
//
// Stateless; user-interface thread (it writes the settings file).
#pragma once

#include <string>

class TGlobalObject;

struct TFirstStartResult {
  bool ProfileInPlace = false;  // the format profile exists in its folder
  int SeededSections = 0;       // sections written; -1 when a write failed
  std::string Error;            // what failed and why; "" when nothing did
};

// `dataFolder`: where the installed profile comes from ("" = the data folder
// beside the executable).
TFirstStartResult FirstStart(const TGlobalObject& global, const std::string& dataFolder = "");
