// Throughput of the per-frame pixel routines on a 1920x1080 frame, in
// Mpixel/s and as a ratio to a memcpy of the same frame measured in this run
// (the machines are shared, so only the ratio is comparable between runs).
//
//   bench_pixel [repetitions]
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "common/BenchTiming.h"
#include "editing/FrameEffects.h"
#include "editing/FrameEffectsKernels.h"

namespace {

using bench::BestSeconds;
constexpr int kWidth = bench::kFrameWidth;
constexpr int kHeight = bench::kFrameHeight;

// A picture like a video frame: smooth gradients with a little grain. Pure
// noise would make the portable loops' table reads look worse than they ever
// are on real pictures (the wide loops do not care).
void Picture(TBitmap& bmp, unsigned seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < bmp.Height(); ++y) {
    std::uint8_t* p = bmp.ScanLine(y);
    for (int x = 0; x < bmp.Width(); ++x, p += 3) {
      const int grain = int(rng() % 9) - 4;
      p[0] = std::uint8_t(std::clamp(x * 255 / bmp.Width() + grain, 0, 255));
      p[1] = std::uint8_t(y * 255 / bmp.Height());
      p[2] = std::uint8_t(((x + y) / 12 + grain) & 255);
    }
  }
}

void Report(const char* name, double seconds, double baseline) {
  const double mpix = double(kWidth) * kHeight / seconds / 1e6;
  std::printf("%-34s %8.2f ms %9.1f Mpixel/s  %6.2fx memcpy\n", name, seconds * 1e3, mpix,
              seconds / baseline);
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = bench::Repetitions(argc, argv, 30);
  TBitmap frame(kWidth, kHeight), overlay(kWidth, kHeight), copy(kWidth, kHeight);
  Picture(frame, 1);
  Picture(overlay, 2);
  const TBitmap pristine = frame;

  const double memcpyTime =
      BestSeconds(reps, [&] { std::memcpy(copy.Bits(), frame.Bits(), frame.ByteSize()); });
  // Alternating settings keep the frame from converging to a flat colour.
  int turn = 0;
  const double colorTime = BestSeconds(reps, [&] {
    const bool odd = (++turn & 1) != 0;
    AdjustColors(frame, odd ? 300 : 200, odd ? 20 : -20, odd ? 300 : 200);
    AdjustExposure(frame, odd ? 60.0f : -60.0f);
  });
  frame = pristine;
  const double colorsOnly = BestSeconds(reps, [&] { AdjustColors(frame, 300, 20, 300); });
  frame = pristine;
  const double exposureOnly = BestSeconds(reps, [&] { AdjustExposure(frame, 60.0f); });
  // The portable loops, which processors without the wide forms run.
  namespace fx = frame_effects_detail;
  frame = pristine;
  const fx::TColorTables colors = fx::ColorTables(fx::ToneTable(300, 20), 300);
  const fx::Table curve = fx::ExposureTable(60.0f);
  const double portableTime = BestSeconds(reps, [&] {
    fx::ColorsPortable(frame.AllRows(), colors);
    fx::MapPortable(frame.AllRows(), curve);
  });
  frame = pristine;
  const double blendTime = BestSeconds(reps, [&] { BlendOverlay(frame, overlay, 0, 0, 128); });

  std::printf("frame %dx%d, best of %d runs, %s loops\n", kWidth, kHeight, reps,
              fx::WideKernelsAvailable() ? "wide" : "portable");
  Report("memcpy (baseline)", memcpyTime, memcpyTime);
  Report("AdjustColors + AdjustExposure", colorTime, memcpyTime);
  Report("  AdjustColors", colorsOnly, memcpyTime);
  Report("  AdjustExposure", exposureOnly, memcpyTime);
  Report("  portable loops (both)", portableTime, memcpyTime);
  Report("BlendOverlay (full frame)", blendTime, memcpyTime);
  std::printf("goals: colour pass within 8x memcpy (%s), blend within 4x (%s)\n",
              colorTime / memcpyTime <= 8 ? "met" : "missed",
              blendTime / memcpyTime <= 4 ? "met" : "missed");
  return 0;
}
