#include "engine/component/Previewer.h"

#include "engine/common/MainThread.h"
#include "engine/libav/MediaUtils.h"

TPreviewer::TPreviewer(TPreviewWindowFactory factory) : factory_(std::move(factory)) {}

TPreviewer::~TPreviewer() {
  if (window_) RunOnMainThread([this] { window_.reset(); });
}

bool TPreviewer::Offer(const TBitmap& frame, int frameNumber, std::int64_t pts) {
  if (closed_) return false;
  {
    std::lock_guard lock(frameMutex_);
    frame_ = frame;
    frameNumber_ = frameNumber;
    pts_ = pts;
  }
  RunOnMainThread([this] { Paint(); });
  return !closed_;
}

int TPreviewer::FrameNumber() const {
  std::lock_guard lock(frameMutex_);
  return frameNumber_;
}

std::int64_t TPreviewer::PTS() const {
  std::lock_guard lock(frameMutex_);
  return pts_;
}

void TPreviewer::Paint() {
  if (closed_) return;
  std::lock_guard lock(frameMutex_);
  if (!window_ && factory_) window_ = factory_(*this, frame_.Width(), frame_.Height());
  if (window_ && !closed_) window_->ShowFrame(frame_, TimeToText(pts_));
}
