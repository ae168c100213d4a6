#include "editing/FrameHook.h"

#include <algorithm>
#include <exception>

#include "editing/FrameEffects.h"
#include "engine/libav/FFmpegLogger.h"

TFrameEdits TFrameEdits::Of(std::int32_t brightness, std::int32_t contrast, std::int32_t saturation,
                            std::int32_t exposure,
                            const std::vector<std::unique_ptr<TWmRec>>& items) {
  TFrameEdits edits;
  edits.Brightness = brightness;
  edits.Contrast = contrast;
  edits.Saturation = saturation;
  edits.Exposure = exposure;
  edits.Watermarks.reserve(items.size());
  for (const auto& item : items)
    if (item) edits.Watermarks.push_back(item.get());
  return edits;
}

bool TFrameHook::Render(TBitmap& frame, std::int64_t ptsUs, const TFrameEdits& edits) {
  return RenderTask(frame, ptsUs, edits, -1);
}

bool TFrameHook::RenderTask(TBitmap& frame, std::int64_t ptsUs, const TFrameEdits& edits,
                            int taskIndex) {
  std::lock_guard lock(mutex_);
  bool changed = false;
  if (edits.HasColorEffects() || edits.HasExposure()) {
    AdjustPicture(frame, {edits.HasColorEffects(), edits.Brightness, edits.Contrast,
                          edits.Saturation, float(edits.Exposure)});
    changed = true;
  }
  for (std::size_t slot = 0; slot < edits.Watermarks.size(); ++slot) {
    const TWmRec* item = edits.Watermarks[slot];
    if (!item || !item->ShownAt(ptsUs)) continue;
    // One item that cannot be drawn must not cost the frame its other edits.
    try {
      if (renderer_.Draw(frame, *item, slot)) changed = true;
    } catch (const std::exception& e) {
      NoteSkipped(taskIndex, e.what());
    }
  }
  return changed;
}

void TFrameHook::Handle(THookInfo& info, const TFrameEdits& edits) {
  if (!info.Bitmap) return;
  try {
    info.Update = RenderTask(*info.Bitmap, info.PTS, edits, info.TaskIndex);
    std::lock_guard lock(mutex_);
    lastError_.clear();
  } catch (const std::exception& e) {
    info.Update = false;
    LogError(info.TaskIndex, e.what());
  }
}

void TFrameHook::LogError(int taskIndex, const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    if (text == lastError_ && taskIndex == lastErrorTask_) return;
    lastError_ = text;
    lastErrorTask_ = taskIndex;
  }
  FFLogger().Log(this, llError, "Frame hook error: " + text);
}

void TFrameHook::NoteSkipped(int taskIndex, const std::string& text) {
  std::vector<std::string>& reasons = skipped_[taskIndex];
  if (std::find(reasons.begin(), reasons.end(), text) != reasons.end()) return;
  reasons.push_back(text);
  FFLogger().Log(this, llWarning, "Watermark skipped: " + text);
}

std::vector<std::string> TFrameHook::TakeWarnings(int taskIndex) {
  std::lock_guard lock(mutex_);
  auto it = skipped_.find(taskIndex);
  if (it == skipped_.end()) return {};
  std::vector<std::string> reasons = std::move(it->second);
  skipped_.erase(it);
  return reasons;
}

void TFrameHook::ClearCaches() {
  std::lock_guard lock(mutex_);
  renderer_.ClearCaches();
}

int TFrameHook::PictureDecodes() const {
  std::lock_guard lock(mutex_);
  return renderer_.Images().DecodeCount();
}

int TFrameHook::TextRenders() const {
  std::lock_guard lock(mutex_);
  return renderer_.TextRenderCount();
}
