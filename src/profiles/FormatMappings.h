// Choice lists of the format profile and the translation of what the user
// sees in them into what the conversion engine takes.
//
// Pure functions over constant tables; any thread. Every mapping yields
// nothing for a display value its table lacks, and callers then write
// nothing, so the settings file keeps the engine value it had.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The value that marks a setting as not offered (exact, case-sensitive).
constexpr const char* kNotOffered = "null";

// The items of a choice list: the value split at every comma, untrimmed, so
// "" gives no item and a trailing comma a last empty one. std::nullopt for
// "null": the setting is not offered for the format.
std::optional<std::vector<std::string>> SplitChoiceList(const std::string& text);

// Display name (any letter case) to encoder name.
std::optional<std::string> VideoEncoderToEngine(const std::string& display);
std::optional<std::string> AudioEncoderToEngine(const std::string& display);
// The one audio encoder that also forces a sample rate and a channel count.
bool AudioEncoderForcesGsmValues(const std::string& display);
constexpr const char* kGsmSampleRate = "8000";
constexpr const char* kGsmChannels = "1";

// "as source", "mono 1 channel", "stereo 2 channels" (exact case) to
// "as source", "1", "2".
std::optional<std::string> ChannelToEngine(const std::string& display);
// A whole percentage followed by one unit character ("150%") to the engine
// volume, where 256 leaves the volume unchanged. Only the percentages the
// format profile offers map.
std::optional<std::string> VolumeToEngine(const std::string& display);

// Zoom box index (0 "Full screen", 1 "Letterbox", 2 "Pan and Scan") to the
// stored key and back. "center" reads as 3, beyond the box's items, so the
// box shows no choice for it.
std::optional<std::string> ZoomToKey(int index);
std::optional<int> KeyToZoom(const std::string& key);
constexpr int kZoomItemCount = 3;

// Whether the video encoder display value asks for the H.264 tuning copy.
bool IsH264Display(const std::string& display);
