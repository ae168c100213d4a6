// The conversion's per-frame handler: applies a file's picture effects and
// draws its watermark items whose time window holds the frame.
//
// TFrameEdits is a view of one file's edits; it does not own the items it
// points to (the per-file record does, and keeps them unchanged while a
// batch runs). TFrameHook owns a TWatermarkRenderer (rendered text and
// decoded pictures, kept across frames).
//
// Threads: any thread; TFrameHook serialises its callers with `mutex_`,
// which guards the renderer's caches, the error memory and the skipped items. Frame bitmaps are
// drawn on without taking their canvas: the caller holds it (the converter
// component takes it around its hook event, and the canvas mutex is not
// recursive). Text items need a QGuiApplication in the process: the program
// and the command-line tool create one before any conversion starts.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "editing/PictureEffects.h"
#include "editing/WatermarkRenderer.h"
#include "editing/WmRec.h"
#include "engine/convert/ConvertEvents.h"
#include "engine/libav/FrameBitmap.h"

struct TFrameEdits {
  std::int32_t Brightness = kNeutralEffects.Brightness;
  std::int32_t Contrast = kNeutralEffects.Contrast;
  std::int32_t Saturation = kNeutralEffects.Saturation;
  std::int32_t Exposure = kNeutralEffects.Exposure;
  std::vector<const TWmRec*> Watermarks;  // drawing order; later items on top

  // A view of a file's edits; `items` must outlive the view.
  static TFrameEdits Of(std::int32_t brightness, std::int32_t contrast, std::int32_t saturation,
                        std::int32_t exposure, const std::vector<std::unique_ptr<TWmRec>>& items);

  bool HasColorEffects() const {
    return TPictureEffects{Brightness, Contrast, Saturation, Exposure}.ChangesColors();
  }
  bool HasExposure() const { return Exposure != 0; }
};

class TFrameHook {
 public:
  // Applies `edits` to `frame`, a frame at `ptsUs` microseconds on the
  // source's time line: colours, then exposure, then every watermark item
  // shown at that time, in order. Returns true when the frame may have
  // changed. An item that cannot be drawn (a picture that does not read) is
  // skipped and the rest still apply: the reason is logged once and kept
  // for TakeWarnings, under task -1.
  bool Render(TBitmap& frame, std::int64_t ptsUs, const TFrameEdits& edits);

  // The converter hook: renders info.Bitmap at info.PTS, skipped items kept
  // under info.TaskIndex. Update becomes false when nothing changed, so the
  // engine keeps the decoded picture without converting it back, and after
  // an error of the effects themselves, so the frame is encoded as decoded;
  // the error is logged. StopHook is left alone.
  void Handle(THookInfo& info, const TFrameEdits& edits);

  // The distinct reasons items of task `taskIndex` were skipped, in the order
  // they first appeared; forgotten once taken.
  std::vector<std::string> TakeWarnings(int taskIndex);

  // Forgets rendered text and decoded pictures.
  void ClearCaches();
  // Picture decodes and text renderings done so far (cache checks).
  int PictureDecodes() const;
  int TextRenders() const;

 private:
  bool RenderTask(TBitmap& frame, std::int64_t ptsUs, const TFrameEdits& edits, int taskIndex);
  void LogError(int taskIndex, const std::string& text);
  // Caller holds mutex_.
  void NoteSkipped(int taskIndex, const std::string& text);

  mutable std::mutex mutex_;
  TWatermarkRenderer renderer_;
  // A failure repeats on every frame until its cause goes away; it is
  // logged when it first appears in a task, not thousands of times.
  std::string lastError_;
  int lastErrorTask_ = -1;
  std::map<int, std::vector<std::string>> skipped_;  // task index -> reasons
};
