#include "app/EditStore.h"

#include <string>

#include "app/FilesRecord.h"
#include "app/SourceList.h"

void StoreTrim(TSourceList& list, int row, const TTrimResult& result) {
  if (row < 0 || row >= list.Count()) return;
  TlvFilesRecord& record = list.Record(row);
  record.TrimStart = result.TrimStart;
  record.TrimLength = result.TrimLength;
  if (result.ShowSeconds) list.SetTrimmedLength(row, std::to_string(result.Seconds));
}

void StoreCrop(TlvFilesRecord& record, const TCropResult& result) {
  record.CropUpView = result.View.Up;
  record.CropLeftView = result.View.Left;
  record.CropDownView = result.View.Down;
  record.CropRightView = result.View.Right;
  record.CropTop = result.Source.Up;
  record.CropBottom = result.Source.Down;
  record.CropLeft = result.Source.Left;
  record.CropRight = result.Source.Right;
  record.Brightness = result.Effects.Brightness;
  record.Contrast = result.Effects.Contrast;
  record.Saturation = result.Effects.Saturation;
  record.Exposure = result.Effects.Exposure;
}

TCropMargins ViewMarginsOf(const TlvFilesRecord& record) {
  return {record.CropUpView, record.CropDownView, record.CropLeftView, record.CropRightView};
}

TPictureEffects EffectsOf(const TlvFilesRecord& record) {
  return {record.Brightness, record.Contrast, record.Saturation, record.Exposure};
}
