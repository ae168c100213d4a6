#include "profiles/FormatCatalog.h"

namespace {

const char* const kGroupNames[kFormatGroupCount] = {
    "Audio-Video-Interleaved - AVI",
    "General Video formates",
    "General Audio formates",
};

}  // namespace

std::string FormatGroupName(int group) {
  if (group < 0 || group >= kFormatGroupCount) return {};
  return kGroupNames[group];
}

const std::vector<TCatalogEntry>& FormatCatalog() {
  // The names are shown to users and stored in their settings files: their
  // spelling must never change, or stored choices stop matching.
  static const std::vector<TCatalogEntry> catalog = {
      {0, "AVI - Audio-Video-Interleaved(*.avi)"},
      {100, "MPEG-1 Video (*.mpg)"},
      {101, "MPEG-2 Video (*.mpg)"},
      {102, "MPEG-4 Video (*.mp4)"},
      {103, "H.264/MPEG-4 AVC Video (*.mp4)"},
      {104, "AVI Video (*.avi)"},
      {105, "WMV Video (*.wmv)"},
      {106, "Divx Video (*.avi)"},
      {107, "Xvid Video (*.avi)"},
      {108, "DV - NTSC -Digital Video Format (*.dv)"},
      {109, "DV - PAL -Digital Video Format (*.dv)"},
      {200, "MP3 MPEG Layer-3 Audio (*.mp3)"},
      {201, "AAC Advenced Audio Codec (*.aac)"},
      {202, "M4A MPEG-4 Audio (*.m4a)"},
      {203, "WMA - Windows Meida Audio (*.wma)"},
      {204, "WAV - Waveform Audio (*.wav)"},
      {205, "OGG Vorbis Audio Codec (*.ogg)"},
      {206, "AC-3 Audio Codec (*.ac3)"},
  };
  return catalog;
}

std::string CatalogFormatName(int code) {
  for (const auto& entry : FormatCatalog())
    if (entry.Code == code) return entry.Name;
  return {};
}

void WriteCatalog(TFormatNames& names) {
  for (auto& group : names)
    for (auto& name : group) name.clear();
  for (const auto& entry : FormatCatalog()) names[entry.Code / 100][entry.Code % 100] = entry.Name;
}

std::string FormatSection(int code) { return "formatInfo" + std::to_string(code); }

bool IsFormatCode(int code) {
  return code == kDefaultFormatCode || !CatalogFormatName(code).empty();
}
