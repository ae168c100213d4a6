// Catalogue mode of the command-line converter: converts files into one of
// the program's output formats with the user's settings for that format,
// through the same settings file, format profile, source list, option
// builder and batch driver as the window's Start, so a file converts here
// exactly as it would there.
//
//   quor-convert [--format CODE] [--output-dir DIR] [--save] [--trim START,LENGTH]
//                [--crop T,B,L,R] [--brightness N] [--contrast N]
//                [--saturation N] [--exposure N] [--text TEXT@X,Y[,options]]
//                [--image FILE@X,Y[,options]] [--jobs N|auto] [--] FILE...
//   quor-convert --list-formats
//
// Plain data and functions; the program's main thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "editing/PictureEffects.h"
#include "editing/WmRec.h"

struct TCatalogueCommandLine {
  bool ListFormats = false;
  bool Quiet = false;
  int FormatCode = -1;    // -1: the chosen format of the settings file
  std::string OutputDir;  // "": the output folder of the settings file
  bool Save = false;      // --save: FormatCode and OutputDir are stored, not for this run only
  int Jobs = 0;           // files converted at once: 0 Auto, else 1..16
  std::optional<std::int64_t> TrimStartUs;
  std::optional<std::int64_t> TrimLengthUs;
  bool HasCrop = false;
  int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
  int Brightness = kNeutralEffects.Brightness, Contrast = kNeutralEffects.Contrast,
      Saturation = kNeutralEffects.Saturation, Exposure = kNeutralEffects.Exposure;
  // Text items still need their box measured (TextWidth/TextHeight 0).
  std::vector<TWmRec> Watermarks;
  std::vector<std::string> Files;
};

// True when the arguments ask for catalogue mode rather than the engine's
// raw option vocabulary (which always names its inputs with -i): no -i, and
// a catalogue option or only names of existing files.
bool IsCatalogueCommandLine(const std::vector<std::string>& args);
// Throws TUsageError (cli/RawMode.h).
TCatalogueCommandLine ParseCatalogueCommandLine(const std::vector<std::string>& args);
void PrintCatalogueUsage(std::FILE* to);
// Parses and runs; an exit code of cli/ConsoleRun.h.
int RunCatalogueMode(const std::vector<std::string>& args);
