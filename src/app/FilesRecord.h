// TlvFilesRecord: the edits of one source list row (trim, zoom, crop, picture
// effects, watermark items).
//
// Owns its watermark items. Changed only on the user-interface thread (by the
// editing windows at Ok and by Start); the conversion hook reads it on a
// worker thread while a batch runs, when no window can change it (the
// progress window is modal), so no lock guards it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editing/PictureEffects.h"
#include "editing/WmRec.h"

class TlvFilesRecord {
 public:
  TlvFilesRecord() = default;
  TlvFilesRecord(std::string sourceFile, std::string zoom)
      : SourceFile(std::move(sourceFile)), Zoom(std::move(zoom)) {}

  std::string SourceFile;
  std::int64_t TrimStart = 0;   // microseconds; 0 = from the beginning
  std::int64_t TrimLength = 0;  // microseconds; 0 = no trim
  std::string Zoom;             // "full", "lbox" or "pan"
  // Margins cut away, in source pixels (even).
  std::int32_t CropTop = 0;
  std::int32_t CropLeft = 0;
  std::int32_t CropBottom = 0;
  std::int32_t CropRight = 0;
  // The same margins in the crop window's preview pixels, as entered.
  std::int32_t CropUpView = 0;
  std::int32_t CropLeftView = 0;
  std::int32_t CropDownView = 0;
  std::int32_t CropRightView = 0;
  std::vector<std::unique_ptr<TWmRec>> Watermarks;
  std::int32_t Brightness = kNeutralEffects.Brightness;
  std::int32_t Contrast = kNeutralEffects.Contrast;
  std::int32_t Saturation = kNeutralEffects.Saturation;
  std::int32_t Exposure = kNeutralEffects.Exposure;

  // True when a conversion of the file needs the per-frame hook: a picture
  // setting differs from neutral, or the first watermark item holds a text or
  // an image file name (later items are not looked at).
  bool HasEffects() const;
  // True when a picture setting differs from neutral (the colour pass).
  bool HasColorEffects() const {
    return TPictureEffects{Brightness, Contrast, Saturation, Exposure}.ChangesColors();
  }
  // Sets the number of watermark slots; every new or empty slot gets a fresh
  // item, slots beyond `count` are freed.
  void ResizeWatermarks(size_t count);
};
