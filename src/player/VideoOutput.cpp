#include "player/VideoOutput.h"

#include <algorithm>
#include <cstring>

#include "engine/libav/FFmpegApi.h"
#include "player/AudioOutput.h"
#include "player/SubtitleDecoder.h"

TVideoOutput::TVideoOutput(TPlaybackState& state, IPlayerHost& host, const TAudioOutput& audio)
    : state_(state), host_(host), audio_(audio) {}

TVideoOutput::~TVideoOutput() {
  std::lock_guard lock(shownMutex_);
  if (shown_) FF.av_frame_free(&shown_);
}

bool TVideoOutput::Refresh() {
  if (!state_.Video.Open()) {
    if (waveMode_) DrawWaves();
    return true;
  }
  AVFrame* due = nullptr;
  bool dropped = false;
  if (!TakeDuePicture(due, dropped)) return !dropped;
  UpdateSubtitles();
  double pts;
  {
    std::lock_guard lock(state_.ClockMutex);
    pts = state_.CurrentPts;
  }
  {
    std::lock_guard lock(shownMutex_);
    if (shown_) FF.av_frame_free(&shown_);
    shown_ = due;
    shownPts_ = pts;
  }
  Display(due);
  return !dropped;
}

// Finds the picture due now, dropping the ones that are too late or stale,
// and takes it out of the queue. False when none is due.
bool TVideoOutput::TakeDuePicture(AVFrame*& due, bool& dropped) {
  TPictureQueue& q = state_.Pictures;
  std::lock_guard lock(q.Mutex);
  while (q.Count > 0) {
    TPicture& slot = q.Slots[q.ReadIndex];
    double now = NowSeconds();
    if (now < slot.Target) return false;
    double next;
    {
      std::lock_guard clock(state_.ClockMutex);
      state_.CurrentPts = slot.Pts;
      state_.CurrentPtsDrift = slot.Pts - now;
      state_.CurrentPos = slot.Pos;
      state_.PictureShown = true;
      next = q.Count > 1 ? q.Slots[(q.ReadIndex + 1) % TPictureQueue::kSize].Target
                         : slot.Target + (state_.DecodeClock - slot.Pts);
    }
    bool stale = state_.StalePictures;
    if ((now > next && !state_.CaptureDevice) || stale) {
      state_.SkipFactor = state_.SkipFactor * 1.05;
      if (q.Count > 1 || now > next + 0.5 || stale) {
        q.AdvanceLocked();
        dropped = true;
        continue;
      }
    }
    due = FF.av_frame_clone(slot.Frame);
    q.AdvanceLocked();
    return due != nullptr;
  }
  return false;
}

void TVideoOutput::UpdateSubtitles() {
  if (!state_.Subtitle.Open()) return;
  double pts;
  {
    std::lock_guard lock(state_.ClockMutex);
    pts = state_.CurrentPts;
  }
  TSubpictureQueue& q = state_.Subpictures;
  std::lock_guard lock(q.Mutex);
  while (q.Count > 0) {
    const TSubpicture& first = q.Slots[q.ReadIndex];
    bool ended = pts > first.Pts + first.Sub.end_display_time / 1000.0;
    bool superseded = false;
    if (q.Count > 1) {
      const TSubpicture& second = q.Slots[(q.ReadIndex + 1) % TSubpictureQueue::kSize];
      superseded = pts > second.Pts + second.Sub.start_display_time / 1000.0;
    }
    if (!ended && !superseded) break;
    q.DropFirstLocked();
  }
}

void TVideoOutput::BlendDueSubtitles(AVFrame* picture) {
  double pts;
  {
    std::lock_guard lock(state_.ClockMutex);
    pts = state_.CurrentPts;
  }
  TSubpictureQueue& q = state_.Subpictures;
  std::lock_guard lock(q.Mutex);
  if (q.Count == 0) return;
  const TSubpicture& sp = q.Slots[q.ReadIndex];
  if (pts < sp.Pts + sp.Sub.start_display_time / 1000.0) return;
  for (unsigned i = 0; i < sp.Sub.num_rects; ++i) BlendSubtitleRect(picture, *sp.Sub.rects[i]);
}

void TVideoOutput::Display(const AVFrame* picture) {
  IDisplayTarget* target = host_.Display();
  if (!target) return;
  const AVFrame* source = picture;
  AVFrame* blended = nullptr;
  if (state_.Subtitle.Open()) {
    // Subtitles go onto a private copy: the picture itself may be shown again.
    blended = FF.av_frame_clone(picture);
    if (blended && FF.av_frame_make_writable(blended) >= 0) {
      BlendDueSubtitles(blended);
      source = blended;
    }
  }
  bool ok = displayConverter_.ToBitmap(source);
  if (blended) FF.av_frame_free(&blended);
  if (!ok) return;
  int dw = 0, dh = 0;
  host_.DisplaySize(dw, dh);
  AVRational sar = picture->sample_aspect_ratio;
  double aspect = (sar.num > 0 && sar.den > 0) ? av_q2d(sar) : 1.0;
  TDisplayRect rect = host_.DisplayRect(picture->width, picture->height, aspect, dw, dh);
  target->Show(*displayConverter_.Bitmap(), rect, dw, dh);
}

void TVideoOutput::Redisplay() {
  if (!state_.Video.Open()) {
    if (waveMode_) DrawWaves();
    return;
  }
  AVFrame* copy = nullptr;
  {
    std::lock_guard lock(shownMutex_);
    if (shown_) copy = FF.av_frame_clone(shown_);
  }
  if (!copy) return;
  Display(copy);
  FF.av_frame_free(&copy);
}

int TVideoOutput::ShownPicture(TBitmap& bitmap, double& pts) {
  std::lock_guard lock(shownMutex_);
  if (!shown_) return 0;
  pts = shownPts_;
  if (!snapshotConverter_.ToBitmap(shown_)) return -1;
  bitmap = *snapshotConverter_.Bitmap();
  return 1;
}

// The wave window begins where the sound now being heard was written, moved
// back to a rising zero crossing with the steepest slope so that a steady
// tone stands still on screen.
int TVideoOutput::WaveStart(int channels, int width) {
  const int size = TAudioOutput::kSampleArraySize;
  if (state_.Paused && waveHasStart_) return waveLastStart_;
  int delay;
  {
    std::lock_guard lock(state_.ClockMutex);
    delay = state_.AudioBufferRemaining / (2 * channels);
    double since = NowSeconds() - state_.AudioCallbackTime;
    if (state_.AudioCallbackTime > 0) delay -= int(since * audio_.SampleRate());
  }
  delay += 2 * width;
  delay = std::max(delay, width);
  const int span = 1000 + 10 * channels;
  std::vector<std::int16_t> recent;
  // recent[k] is the sample `delay * channels - ...` back; index 0 is the oldest.
  audio_.RecentSamples(0, std::min(size, delay * channels + span), recent);
  const int base = int(recent.size()) - delay * channels;  // window start in `recent`
  int best = base, bestScore = INT32_MIN;
  for (int i = 0; i < 1000 && base - i >= 0; i += channels) {
    int at = base - i;
    if (at + 9 * channels >= int(recent.size())) continue;
    int a = recent[size_t(at)], b = recent[size_t(at + 4 * channels)],
        c = recent[size_t(at + 5 * channels)], d = recent[size_t(at + 9 * channels)];
    bool crosses = (b < 0) != (c < 0);
    if (crosses && a - d > bestScore) {
      bestScore = a - d;
      best = at;
    }
  }
  int write = audio_.SampleWriteIndex();
  int start = ((write - int(recent.size()) + best) % size + size) % size;
  waveLastStart_ = start;
  waveHasStart_ = true;
  return start;
}

void TVideoOutput::DrawWaves() {
  IDisplayTarget* target = host_.Display();
  int channels = audio_.Channels();
  if (!target || channels <= 0) return;
  int w = 0, h = 0;
  host_.DisplaySize(w, h);
  if (w <= 0 || h <= 0) {
    w = 640;
    h = 480;
  }
  if (waveBitmap_.Width() != w || waveBitmap_.Height() != h) waveBitmap_.SetSize(w, h);
  std::memset(waveBitmap_.Bits(), 0, waveBitmap_.ByteSize());
  int start = WaveStart(channels, w);
  int write = audio_.SampleWriteIndex();
  const int size = TAudioOutput::kSampleArraySize;
  int back = ((write - start) % size + size) % size;
  audio_.RecentSamples(std::max(back - w * channels, 0), w * channels, waveSamples_);
  const int band = h / channels;
  auto plot = [&](int x, int y) {
    if (y < 0 || y >= h) return;
    std::uint8_t* p = waveBitmap_.ScanLine(y) + x * 3;
    p[0] = p[1] = p[2] = 255;
  };
  for (int ch = 0; ch < channels; ++ch) {
    int centre = ch * band + band / 2;
    for (int x = 0; x < w; ++x) {
      int sample = waveSamples_[size_t(x * channels + ch)];
      int y = (sample * (band * 9 / 20)) >> 15;
      int from = y >= 0 ? centre : centre + y, to = y >= 0 ? centre + y : centre;
      for (int yy = from; yy <= to; ++yy) plot(x, yy);
    }
    if (ch > 0)
      for (int x = 0; x < w; ++x) plot(x, ch * band);
  }
  target->Show(waveBitmap_, TDisplayRect{0, 0, w, h}, w, h);
}
