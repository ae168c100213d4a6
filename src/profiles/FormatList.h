// The grouped format list as data: header rows that open and close their
// group, and format rows that the user picks. A window shows the rows and
// draws them; everything that decides which rows exist lives here.
//
// TFormatList owns its rows (each row owns its TItemInfo by value). It is
// used on the user-interface thread only and has no lock. Group states are
// kept in section "lstformat" of the application settings file, whose path
// the callers pass.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "profiles/FormatCatalog.h"

constexpr const char* kGroupStateSection = "lstformat";
constexpr int kFormatRowHeight = 20;
// The tallest the settings dialog's list opens (the main window's: 422).
constexpr int kSettingsListCap = 247;
// A press on a header toggles the group only within the expand glyph.
constexpr int kGroupToggleWidth = 20;

struct TItemInfo {
  bool IsFormat = false;   // a selectable format entry
  bool IsGroup = false;    // a group header
  bool Collapsed = false;  // header only: the group's entries are not shown
  std::int32_t Code = 0;   // header: group number; entry: format code
};

struct TFormatRow {
  std::string Text;  // header text or format name
  TItemInfo Info;
};

class TFormatList {
 public:
  int Count() const { return static_cast<int>(rows_.size()); }
  bool ValidRow(int row) const { return row >= 0 && row < Count(); }
  const TFormatRow& Row(int row) const { return rows_.at(static_cast<size_t>(row)); }
  const std::vector<TFormatRow>& Rows() const { return rows_; }

  void Clear() { rows_.clear(); }
  void Append(TFormatRow row) { rows_.push_back(std::move(row)); }
  void Insert(int row, TFormatRow value);
  void Erase(int row);
  void SetCollapsed(int row, bool collapsed) {
    rows_.at(static_cast<size_t>(row)).Info.Collapsed = collapsed;
  }

  // The row whose text equals `name` after trimming blanks, compared without
  // regard to letter case; -1 when none does.
  int FindRow(const std::string& name) const;

 private:
  std::vector<TFormatRow> rows_;
};

// How a row is drawn, so that the list's painter only paints. Colours are
// 0xRRGGBB; offsets are from the row's left edge after its 3-pixel inset.
constexpr unsigned kRowFillColor = 0xF6F7F8;
constexpr unsigned kHotRowFillColor = 0xB9CCEC;   // shrunk by 2 pixels each side
constexpr unsigned kHotRowFrameColor = 0x7AA0DA;  // 1 pixel, grown back by 1
constexpr unsigned kEntryTextColor = 0x000080;
constexpr unsigned kHeaderTextColor = 0x000000;
constexpr int kRowInset = 3;
struct TFormatRowLook {
  bool Bold = false;
  int GlyphIndex = -1;  // expand glyph (16 x 16): 0 collapsed, 1 expanded; -1 none
  int GlyphX = 1;
  int IconIndex = -1;  // group icon (20 x 20) by group number; -1 none
  int IconX = 20;
  int TextX = 25;
  int TextY = 2;
  unsigned TextColor = kEntryTextColor;
};
TFormatRowLook FormatRowLook(const TFormatRow& row);

// A list's height for `rows` rows of kFormatRowHeight: `cap` once the rows
// alone take more than `cap` pixels, else the rows plus one row.
int GroupedListHeight(int rows, int cap);

// Clears `names` and `list`, writes the catalogue into `names` and adds one
// header per group, each followed by its entries unless "lstformat" of
// `settingsFile` marks it collapsed (a missing key means collapsed).
void FillFormatList(TFormatList& list, TFormatNames& names, const std::string& settingsFile);
// Opens the collapsed header at `row`; a group without entries stays closed.
// Anything but a collapsed header is left alone.
void ExpandGroup(TFormatList& list, int row, const TFormatNames& names);
// Closes the open header at `row` by removing the format rows below it.
void CollapseGroup(TFormatList& list, int row);
// Expands a collapsed header, collapses an open one; other rows: nothing.
void ToggleGroup(TFormatList& list, int row, const TFormatNames& names);
// Writes every header's Collapsed flag under its group number ("1"/"0").
bool SaveGroupStates(const TFormatList& list, const std::string& settingsFile);

// What a left-button press at horizontal offset `x` in `row` does: a press
// on a header's glyph toggles the group; a press on a format row picks that
// format, which is returned (the window then closes the list).
std::optional<TFormatRow> PressFormatRow(TFormatList& list, int row, int x,
                                         const TFormatNames& names);
