// The output check against the conversion it follows, both in this run: the
// 10 s 1920x1080 25 fps H.264 + AAC clip converted with the program's default
// AVI format (quor-convert --format 0, as Start converts it), then the check
// of that output. Goal: the check costs at most 5 % of the conversion.
//
//   bench_output_check [repetitions]   (best of N, default 3)
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/BenchTiming.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/probe/OutputCheck.h"
#include "support/ChildProcess.h"
#include "support/MediaFactory.h"

int main(int argc, char** argv) {
  const int reps = bench::Repetitions(argc, argv, 3);
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(TFFmpegLoader::DefaultLibraryPath());
  if (!loader.Load(AllLibraries)) {
    std::fprintf(stderr, "cannot load the media libraries\n");
    return 1;
  }
  const std::string clip = TestMedia::Get(
      MediaSpec::Mp4().Size(bench::kFrameWidth, bench::kFrameHeight).Seconds(10).Fps(25));
  const std::string dir = TestMedia::MediaDir() + "bench_output_check/";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir + "appdata");
  const std::string program =
      std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/quor-convert";
  std::string output;
  const double conversion = bench::BestSeconds(reps, [&] {
    std::filesystem::remove_all(dir + "out");
    const TChildResult r =
        TChildProcess::Run(program, {"--format", "0", "--output-dir", dir + "out", clip},
                           {{"QUOR_APPDATA", dir + "appdata/"}});
    if (r.Status != 0) std::fprintf(stderr, "conversion failed: %s\n", r.Err.c_str());
  });
  for (const auto& entry : std::filesystem::directory_iterator(dir + "out"))
    output = entry.path().string();
  TOutputExpectation expected;
  expected.DurationUs = 10000000;
  TOutputCheck check;
  const double checking = bench::BestSeconds(reps, [&] { check = CheckOutput(output, expected); });
  std::printf("conversion (format 0, 10 s 1080p): %.3f s\n", conversion);
  std::printf("output check:                      %.3f s (%s)\n", checking,
              check.Passed ? "passed" : check.Reason.c_str());
  std::printf("check / conversion:                %.1f %% (goal <= 5 %%)\n",
              100.0 * checking / conversion);
  return check.Passed ? 0 : 1;
}
