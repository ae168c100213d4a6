// The built-in catalogue of output formats: three groups of formats, each
// format known by its code (group x 100 + entry) and its display name, which
// is also the name stored in the settings file.
//
// Constant data only; any thread may read it. TFormatNames tables belong to
// the window that shows a format list and are used on the user-interface
// thread.
#pragma once

#include <array>
#include <string>
#include <vector>

// The table a format list is built from, indexed [group][entry]; an empty
// string is no entry. The entries of a group are contiguous from entry 0.
constexpr int kFormatNameSlots = 51;
constexpr int kListedEntries = 50;  // a group's entries are looked up in 0..49
using TFormatNames = std::array<std::array<std::string, kFormatNameSlots>, kFormatNameSlots>;

constexpr int kFormatGroupCount = 3;

// The format used while the settings file names none yet. It is no catalogue
// entry, so no list row ever matches it.
constexpr int kDefaultFormatCode = 1;
constexpr const char* kDefaultFormatName = "Apple iPod Video MPEG-4 Movie (*.mp4)";
// The settings dialog remembers (and writes as Description) a shorter name.
constexpr const char* kDefaultFormatDialogName = "iPod Video MPEG-4";

struct TCatalogEntry {
  int Code;
  const char* Name;
};

// Header text of a group; "" outside 0..kFormatGroupCount-1.
std::string FormatGroupName(int group);
// Every catalogue entry in list order (group 0 first).
const std::vector<TCatalogEntry>& FormatCatalog();
// Display name of a catalogue code; "" when the code is not in the catalogue.
std::string CatalogFormatName(int code);
// True for a catalogue code and for the default format's.
bool IsFormatCode(int code);
// Clears the table and writes the catalogue into it.
void WriteCatalog(TFormatNames& names);

// "formatInfo" + the code in decimal: the format's section in both INI files.
std::string FormatSection(int code);
