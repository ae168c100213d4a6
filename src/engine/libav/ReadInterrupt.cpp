#include "engine/libav/ReadInterrupt.h"

#include <chrono>

#include "engine/libav/FFmpegApi.h"

namespace {

std::int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void TReadInterrupt::Attach(AVFormatContext* ctx) {
  if (!ctx) return;
  ctx->interrupt_callback.callback = Callback;
  ctx->interrupt_callback.opaque = this;
}

void TReadInterrupt::StartOpenLimit() {
  timedOut_ = false;
  const std::int64_t limit = limitUs_;
  deadline_ = limit > 0 ? NowUs() + limit : 0;
}

void TReadInterrupt::EndOpenLimit() { deadline_ = 0; }

std::string TReadInterrupt::Reason(const std::string& name) const {
  if (timedOut_) {
    const std::int64_t seconds = (limitUs_ + 999999) / 1000000;
    return name + ": the file did not open within " + std::to_string(seconds) +
           " seconds (it does not answer, or is read very slowly)";
  }
  return name + ": reading was stopped";
}

int TReadInterrupt::Callback(void* opaque) {
  auto* self = static_cast<TReadInterrupt*>(opaque);
  if (self->stop_ && self->stop_->load()) return 1;
  const std::int64_t deadline = self->deadline_;
  if (deadline == 0 || NowUs() < deadline) return 0;
  self->timedOut_ = true;
  return 1;
}
