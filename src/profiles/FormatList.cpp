#include "profiles/FormatList.h"

#include <algorithm>

#include "platform/IniFile.h"
#include "profiles/ProfileText.h"

namespace {

TFormatRow EntryRow(const std::string& name, int code) {
  TFormatRow row;
  row.Text = name;
  row.Info.IsFormat = true;
  row.Info.Code = code;
  return row;
}

bool IsHeader(const TFormatList& list, int row) {
  return list.ValidRow(row) && list.Row(row).Info.IsGroup;
}

bool StoredCollapsed(const std::string& settingsFile, int group) {
  return platform::ReadIniInt(settingsFile, kGroupStateSection, std::to_string(group), 1) != 0;
}

}  // namespace

void TFormatList::Insert(int row, TFormatRow value) {
  const int at = std::clamp(row, 0, Count());
  rows_.insert(rows_.begin() + at, std::move(value));
}

void TFormatList::Erase(int row) {
  if (ValidRow(row)) rows_.erase(rows_.begin() + row);
}

int TFormatList::FindRow(const std::string& name) const {
  const std::string wanted = profiles::Trim(name);
  for (int i = 0; i < Count(); ++i)
    if (profiles::SameTextIgnoringCase(profiles::Trim(rows_[static_cast<size_t>(i)].Text), wanted))
      return i;
  return -1;
}

int GroupedListHeight(int rows, int cap) {
  const int height = kFormatRowHeight * rows;
  return height > cap ? cap : height + kFormatRowHeight;
}

void FillFormatList(TFormatList& list, TFormatNames& names, const std::string& settingsFile) {
  list.Clear();
  WriteCatalog(names);
  for (int group = 0; group < kFormatGroupCount; ++group) {
    TFormatRow header;
    header.Text = FormatGroupName(group);
    header.Info.IsGroup = true;
    header.Info.Code = group;
    header.Info.Collapsed = StoredCollapsed(settingsFile, group);
    const bool open = !header.Info.Collapsed;
    list.Append(std::move(header));
    if (!open) continue;
    for (int entry = 0; entry < kListedEntries; ++entry) {
      const std::string& name = names[group][entry];
      if (!name.empty()) list.Append(EntryRow(name, group * 100 + entry));
    }
  }
}

void ExpandGroup(TFormatList& list, int row, const TFormatNames& names) {
  if (!IsHeader(list, row) || !list.Row(row).Info.Collapsed) return;
  const int group = list.Row(row).Info.Code;
  if (group < 0 || group >= kFormatNameSlots) return;
  // Entries go below the header in the order found, so a gap in the table
  // can never place a row beyond the end of the list.
  int inserted = 0;
  for (int entry = 0; entry < kListedEntries; ++entry) {
    const std::string& name = names[group][entry];
    if (name.empty()) continue;
    list.Insert(row + 1 + inserted, EntryRow(name, group * 100 + entry));
    ++inserted;
    list.SetCollapsed(row, false);
  }
}

void CollapseGroup(TFormatList& list, int row) {
  if (!IsHeader(list, row) || list.Row(row).Info.Collapsed) return;
  while (list.ValidRow(row + 1) && list.Row(row + 1).Info.IsFormat) {
    list.Erase(row + 1);
    list.SetCollapsed(row, true);
  }
}

void ToggleGroup(TFormatList& list, int row, const TFormatNames& names) {
  if (!IsHeader(list, row)) return;
  if (list.Row(row).Info.Collapsed)
    ExpandGroup(list, row, names);
  else
    CollapseGroup(list, row);
}

bool SaveGroupStates(const TFormatList& list, const std::string& settingsFile) {
  bool ok = true;
  for (const auto& row : list.Rows()) {
    if (!row.Info.IsGroup) continue;
    ok = platform::WriteIniString(settingsFile, kGroupStateSection, std::to_string(row.Info.Code),
                                  row.Info.Collapsed ? "1" : "0") &&
         ok;
  }
  return ok;
}

std::optional<TFormatRow> PressFormatRow(TFormatList& list, int row, int x,
                                         const TFormatNames& names) {
  if (!list.ValidRow(row)) return std::nullopt;
  if (list.Row(row).Info.IsGroup) {
    if (x < kGroupToggleWidth) ToggleGroup(list, row, names);
    return std::nullopt;
  }
  if (list.Row(row).Info.IsFormat) return list.Row(row);
  return std::nullopt;
}

TFormatRowLook FormatRowLook(const TFormatRow& row) {
  TFormatRowLook look;
  if (!row.Info.IsGroup) return look;
  look.Bold = true;
  look.GlyphIndex = row.Info.Collapsed ? 0 : 1;
  look.IconIndex = row.Info.Code;
  look.TextX = 45;
  look.TextColor = kHeaderTextColor;
  return look;
}
