#include "profiles/FormatBoxes.h"

#include "profiles/FormatMappings.h"

namespace {

TBoxFill ReadBox(const TFormatProfile& profile, const TFormatSettings& settings, TChoiceKey key,
                 TFillMode mode) {
  TBoxFill box;
  if (auto items = profile.Choices(key)) box.Items = std::move(*items);
  const int index = settings.Index(key);
  const char* textKey = TextParaKeyName(key);
  if (index < 0 && mode == TFillMode::fmShow && textKey) {
    box.Text = settings.Read(textKey, TextParaDialogDefault(key));
    return box;
  }
  // A section edited by hand may name an item the list does not have.
  if (index < static_cast<int>(box.Items.size())) box.Index = index;
  return box;
}

std::optional<int> ReadZoom(const TFormatSettings& settings) {
  const auto zoom = KeyToZoom(settings.ParaZoom());
  if (!zoom) return std::nullopt;
  return *zoom < kZoomItemCount ? *zoom : -1;
}

}  // namespace

bool IsVideoBox(TChoiceKey key) {
  return key == ckVideoSize || key == ckVideoBitRate || key == ckFrameRate || key == ckVideoEncoder;
}

TFormatBoxes ReadFormatBoxes(const TFormatProfile& profile, const TFormatSettings& settings,
                             TFillMode mode) {
  TFormatBoxes boxes;
  for (int i = 0; i < ckChoiceKeyCount; ++i)
    boxes.Boxes[i] = ReadBox(profile, settings, static_cast<TChoiceKey>(i), mode);
  boxes.Zoom = ReadZoom(settings);
  boxes.VideoEnabled = !boxes.Boxes[ckVideoEncoder].Items.empty();
  boxes.AudioEnabled = !boxes.Boxes[ckAudioEncoder].Items.empty();
  boxes.AudioBitRateEnabled = boxes.AudioEnabled && !boxes.Boxes[ckAudioBitRate].Items.empty();
  return boxes;
}
