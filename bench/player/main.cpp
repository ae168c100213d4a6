// bench_player: how soon the first picture appears after Open, and how far
// the picture on show drifts from the sound over a 10 s clip (dummy audio
// driver). Goals: first picture within 200 ms; drift within 40 ms throughout.
// The baseline is a plain open-and-decode of the first frame of the same clip.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine/libav/FFmpegLoader.h"
#include "player/FFPlay.h"
#include "support/MediaFactory.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

class TFirstPicture : public IDisplayTarget {
 public:
  void Show(const TBitmap&, const TDisplayRect&, int, int) override {
    if (!shown_.exchange(true)) at_ = Clock::now();
  }
  void ClientSize(int& w, int& h) const override {
    w = 640;
    h = 480;
  }
  bool Shown() const { return shown_; }
  Clock::time_point At() const { return at_; }

 private:
  std::atomic<bool> shown_{false};
  Clock::time_point at_;
};

}  // namespace

int main() {
  ::setenv("SDL_AUDIODRIVER", "dummy", 0);
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(TFFmpegLoader::DefaultLibraryPath());
  if (!loader.Load(AllLibraries)) {
    std::fprintf(stderr, "cannot load the media libraries: %s\n", loader.LastErrMsg().c_str());
    return 2;
  }
  std::string clip = TestMedia::Get(MediaSpec::Mp4().Seconds(10));

  auto b = Clock::now();
  TBitmap first;
  TestMedia::DecodeFrame(clip, 0, first);
  double baselineMs = MsSince(b);

  TFFPlayer player;
  player.SetTriggerEventInMainThread(false);
  TFirstPicture display;
  auto t0 = Clock::now();
  if (!player.Open(clip, &display)) {
    std::fprintf(stderr, "open failed: %s\n", player.LastErrMsg().c_str());
    return 1;
  }
  double openMs = MsSince(t0);
  while (!display.Shown() && MsSince(t0) < 5000)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  double firstMs = std::chrono::duration<double, std::milli>(display.At() - t0).count();

  double worst = 0, sum = 0;
  int samples = 0;
  // Skip the first half second: the sound device is still filling up.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  while (player.FileOpen() && player.State() != psEnd) {
    std::int64_t video = 0, audio = 0;
    if (player.ClockSample(video, audio) && video < 9800000) {
      double drift = std::fabs(double(video - audio)) / 1000.0;
      worst = std::max(worst, drift);
      sum += drift;
      ++samples;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  player.Stop(true);

  std::printf(
      "first picture after Open: %.1f ms (Open returned after %.1f ms; goal 200 ms; "
      "%.2fx the plain decode of %.1f ms)\n",
      firstMs, openMs, firstMs / std::max(baselineMs, 0.001), baselineMs);
  std::printf("audio-video drift over %d samples: worst %.1f ms, mean %.1f ms (goal 40 ms)\n",
              samples, worst, samples ? sum / samples : 0.0);
  return 0;
}
