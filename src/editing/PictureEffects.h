// The four picture settings of a file (brightness, contrast, saturation,
// exposure) as the per-file record, the crop window's bars, the conversion
// hook and the command line hold them, and the values that leave a picture
// as it is. Plain values; any thread.
#pragma once

struct TPictureEffects {
  int Brightness = 255;
  int Contrast = 0;
  int Saturation = 255;
  int Exposure = 0;
  bool Neutral() const;
  // Brightness, contrast or saturation differ from neutral (exposure is a
  // pass of its own).
  bool ChangesColors() const;
  bool operator==(const TPictureEffects&) const = default;
};

// Brightness 255, contrast 0, saturation 255, exposure 0.
inline constexpr TPictureEffects kNeutralEffects{};

inline bool TPictureEffects::Neutral() const { return *this == kNeutralEffects; }
inline bool TPictureEffects::ChangesColors() const {
  return Brightness != kNeutralEffects.Brightness || Contrast != kNeutralEffects.Contrast ||
         Saturation != kNeutralEffects.Saturation;
}
