// TPreviewer: the floating preview of one converting task. The task offers it
// a frame about every 0.1 s; it keeps a copy and has it painted on the
// user-interface thread, in a window that the windowed program supplies
// through a factory (the engine itself draws nothing).
//
// Owns the copy of the last offered frame and the window it created.
// Threads: Offer is called on the task's worker (it hands the painting over
// to the user-interface thread and waits); MarkClosed and the destructor run
// on the user-interface thread. `frameMutex_` guards the frame copy; the
// window is touched only on the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/libav/FrameBitmap.h"

class TPreviewer;

// The preview window: a small stay-on-top tool window that the user can drag
// by its client area. Every member runs on the user-interface thread.
class IPreviewWindow {
 public:
  virtual ~IPreviewWindow() = default;
  // Shows `frame` at the top left of the client area, with the window
  // caption `caption` (the frame's time).
  virtual void ShowFrame(const TBitmap& frame, const std::string& caption) = 0;
};

// Creates the window for `owner` with a client area of the given size; the
// window calls owner.MarkClosed() when the user closes it. May return
// nullptr (no window: offers are accepted and nothing is shown).
using TPreviewWindowFactory = std::function<std::unique_ptr<IPreviewWindow>(
    TPreviewer& owner, int clientWidth, int clientHeight)>;

class TPreviewer {
 public:
  explicit TPreviewer(TPreviewWindowFactory factory);
  ~TPreviewer();
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  // Remembers the frame and paints it on the user-interface thread. False
  // once the user closed the window: the task then stops offering.
  bool Offer(const TBitmap& frame, int frameNumber, std::int64_t pts);
  void MarkClosed() { closed_ = true; }
  bool Closed() const { return closed_.load(); }

  // The last offered frame's number and time (µs; NoTimeValue when unknown).
  int FrameNumber() const;
  std::int64_t PTS() const;

 private:
  void Paint();

  TPreviewWindowFactory factory_;
  std::unique_ptr<IPreviewWindow> window_;  // user-interface thread only
  std::atomic<bool> closed_{false};
  mutable std::mutex frameMutex_;
  TBitmap frame_;
  int frameNumber_ = 0;
  std::int64_t pts_ = 0;
};
