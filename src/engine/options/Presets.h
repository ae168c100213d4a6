// The built-in option presets and the preset text format.
//
// A preset is a list of lines "name=value", applied one by one like options.
// The built-in table is constant (40 encoder presets); preset files hold the
// same text. Any thread may read the table and parse texts.
#pragma once

#include <string>
#include <vector>

struct TOptionsPreset {
  std::string Name;
  std::string Text;  // lines separated by line feeds, ending with one
};

// The 40 built-in presets.
const std::vector<TOptionsPreset>& BuiltInPresets();
// The built-in preset of that name (letter case ignored), or nullptr.
const TOptionsPreset* FindBuiltInPreset(const std::string& name);

struct TPresetLine {
  std::string Line;   // the trimmed line
  std::string Name;   // before the first "=", trimmed
  std::string Value;  // after it, trimmed
};

// Trims the text, takes CR LF, CR and LF as line breaks, skips empty lines
// and splits every line at its first "=". A line without a name or a value
// raises FFmpegException "<presetName>: Invalid syntax: \"<line>\"".
std::vector<TPresetLine> ParsePresetText(const std::string& presetName, const std::string& text);
