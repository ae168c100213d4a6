// The MP4 family's index at the front (the muxer's second pass over the
// finished file) against the conversion it ends, in this run. Each format's
// options come from the option builder with its factory choices, as the
// window's Start builds them; the same conversion runs once as built and
// once without the front-index line, in turns, best of N each. Input: the
// generated 10 s 1920x1080 25 fps H.264 + AAC clip. Goal: at most 5 %.
//
//   bench_front_index [repetitions]   (best of N, default 3)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "app/FilesRecord.h"
#include "app/OptionBuilder.h"
#include "common/BenchTiming.h"
#include "engine/component/FFmpegVCL.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/probe/AVProbe.h"
#include "support/MediaFactory.h"

namespace {

// The factory options of format `code` for `clip`.
TOutputOptions BuiltOptions(int code, const std::string& clip, const std::string& settingsFile) {
  TAVProbe probe;
  if (!probe.Open(clip)) throw std::runtime_error("cannot probe the clip");
  const TBuildContext context{settingsFile,
                              std::string(QUOR_SOURCE_DATA_DIR) + "/quormp4aviformat.ini"};
  TlvFilesRecord record(clip, "full");
  TOutputOptions output;
  InitOutputOptions(output);
  TInputOptions input;
  InitInputOptions(input);
  BuildConversionOptions(context, record, code, output, probe, input);
  return output;
}

std::string WithoutFrontIndex(std::string extra) {
  const size_t at = extra.find(kFrontIndexOption);
  if (at == std::string::npos) throw std::runtime_error("the options have no front index");
  extra.erase(at, std::string(kFrontIndexOption).size());
  return extra;
}

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Wall time is what the user waits; processor time (every thread) is the
// work, and stays comparable while other programs compete for the machine.
struct TTimes {
  double Wall = 1e30;
  double Cpu = 1e30;
  void Keep(const TTimes& t) {
    Wall = std::min(Wall, t.Wall);
    Cpu = std::min(Cpu, t.Cpu);
  }
};

// One conversion on this thread.
TTimes Convert(const std::string& clip, const std::string& output, TOutputOptions options) {
  TFFmpegVCL vcl;
  std::string error;
  vcl.SetOnTerminate([&](TCustomFFmpegVCL*, const TTerminateInfo& t) {
    if (t.Failed) error = t.ErrorMessage;
  });
  std::filesystem::remove(output);
  const double cpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  if (vcl.AddTask(clip) < 0) throw std::runtime_error(vcl.LastErrMsg());
  if (!vcl.SetOutputFile(0, output, &options)) throw std::runtime_error(vcl.LastErrMsg());
  vcl.StartTask(0);
  TTimes t;
  t.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t.Cpu = CpuSeconds() - cpu;
  if (!error.empty()) throw std::runtime_error(error);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = bench::Repetitions(argc, argv, 3);
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(TFFmpegLoader::DefaultLibraryPath());
  if (!loader.Load(AllLibraries)) {
    std::fprintf(stderr, "cannot load the media libraries\n");
    return 2;
  }
  FFLogger().SetLogLevel(llError);
  try {
    const std::string clip = TestMedia::Get(
        MediaSpec::Mp4().Size(bench::kFrameWidth, bench::kFrameHeight).Seconds(10).Fps(25));
    const std::string dir =
        TestMedia::MediaDir() + "bench_front_index_" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(dir);
    // No settings file: every format converts with its factory choices.
    const std::string settings = dir + "settings.ini";
    std::printf("index at the front, 10 s 1080p source (best of %d)\n", reps);
    for (const int code : {102, 103, 1, 202}) {
      TOutputOptions front = BuiltOptions(code, clip, settings);
      TOutputOptions back = front;
      back.ExtraOptions = WithoutFrontIndex(back.ExtraOptions);
      const std::string output = dir + "out." + (code == 202 ? "m4a" : "mp4");
      TTimes withFront, without;
      // In turns, so that a burst of load from elsewhere does not fall on one side only.
      for (int i = 0; i < reps; ++i) {
        without.Keep(Convert(clip, output, back));
        withFront.Keep(Convert(clip, output, front));
      }
      std::printf(
          "  format %3d: index at the end %.3f s (processor %.3f s), at the front %.3f s "
          "(%.3f s)\n             cost %+.1f %% wall, %+.1f %% processor (goal <= 5 %%)\n",
          code, without.Wall, without.Cpu, withFront.Wall, withFront.Cpu,
          100.0 * (withFront.Wall / without.Wall - 1.0),
          100.0 * (withFront.Cpu / without.Cpu - 1.0));
    }
    std::filesystem::remove_all(dir);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_front_index: %s\n", e.what());
    return 1;
  }
  return 0;
}
