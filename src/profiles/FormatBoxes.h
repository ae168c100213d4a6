// What the settings dialog's boxes show for one format: the profile's choice
// lists with the user's stored choices restored, the zoom, and which of the
// two groups can be used. The dialog fills its boxes from this and nothing
// else, so the rules (typed values only when the dialog opens, indexes past
// a list choosing nothing) are tested here.
//
// Pure reads of the two INI files (each opened per read); user-interface
// thread, like every settings access.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "profiles/FormatProfile.h"

// Opening the dialog restores typed values; picking a format in its list
// restores chosen items only.
enum class TFillMode { fmShow, fmPick };

struct TBoxFill {
  std::vector<std::string> Items;   // none when the setting is not offered
  int Index = -1;                   // the chosen item; -1 for none
  std::optional<std::string> Text;  // instead of an item: the text stored for the box
};

struct TFormatBoxes {
  TBoxFill Boxes[ckChoiceKeyCount];
  // The zoom item; -1 for none ("center" lies beyond the box's items);
  // nullopt when the stored key is unknown and the box keeps what it shows.
  std::optional<int> Zoom;
  bool VideoEnabled = false;         // the video encoder list has an item
  bool AudioEnabled = false;         // the audio encoder list has an item
  bool AudioBitRateEnabled = false;  // ... and the audio bit rate list too
};

// The boxes of the "Video Options" group; the rest are the audio group's.
bool IsVideoBox(TChoiceKey key);

TFormatBoxes ReadFormatBoxes(const TFormatProfile& profile, const TFormatSettings& settings,
                             TFillMode mode);
