// A batch converted one file at a time against several side by side
// (quor-convert --jobs 1 against --jobs auto, or a count), in the same run:
// six short clips (2 s) and six phone-length clips (10 s) into MP3 and into
// AVI, eight clips of mixed sizes into MP3, AVI and H.264 MP4, and H.264 at
// 720 lines, the case the Auto rule halves for. The runs take turns; each
// prints its best wall time and the ratio, and the outputs of both runs must
// be the same bytes.
//
// What one run holds that no second file can share: the process start (the
// media libraries are loaded, about a quarter of a 2 s clips' run) and each
// file's preparation before the batch starts (opening it and reading its
// stream information, under the codec lock). A 2 s clip converts in about as
// long as it takes to prepare, so its ratio stays far above a 10 s clip's.
//
//   bench_batch [repetitions]      (default 2)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/BenchTiming.h"
#include "engine/libav/FFmpegLoader.h"
#include "platform/IniFile.h"
#include "support/ChildProcess.h"
#include "support/MediaFactory.h"

namespace fs = std::filesystem;

namespace {

struct TBatch {
  const char* Title;
  int Format;
  std::vector<std::string> Clips;
  std::string Jobs;  // what runs against --jobs 1
  std::string Size;  // the format's frame size, "" as stored
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The outputs of a run, by name.
std::map<std::string, std::string> Outputs(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder))
    files[e.path().filename().string()] = ReadAll(e.path());
  return files;
}

class TBench {
 public:
  explicit TBench(std::string dir) : dir_(std::move(dir)) {
    fs::create_directories(app());
    // The first run sets the settings up, so that a frame size can be set.
    Run({"--list-formats"});
  }

  // Wall seconds of one whole run into a fresh folder.
  double Convert(const TBatch& b, const std::string& jobs, const std::string& out) {
    fs::remove_all(out);
    const std::string settings = app() + "quormp4aviconverter.ini";
    const std::string section = "formatInfo" + std::to_string(b.Format);
    if (!b.Size.empty()) platform::WriteIniString(settings, section, "paraVideoSize", b.Size);
    std::vector<std::string> args{
        "--quiet", "--jobs", jobs, "--format", std::to_string(b.Format), "--output-dir", out};
    args.insert(args.end(), b.Clips.begin(), b.Clips.end());
    const auto start = std::chrono::steady_clock::now();
    Run(args);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

 private:
  std::string app() const { return dir_ + "app/"; }
  void Run(const std::vector<std::string>& args) {
    const TChildResult r = TChildProcess::Run(
        QUOR_CONVERT, args, {{"QUOR_APPDATA", app()}, {"QT_QPA_PLATFORM", "offscreen"}});
    if (r.Status != 0) throw std::runtime_error("quor-convert failed: " + r.Err);
  }
  std::string dir_;
};

// `count` clips of one size, `seconds` long and each `step` longer than the
// one before (distinct lengths make distinct files), appended to `clips`.
void AddClips(std::vector<std::string>& clips, int count, int width, int height, double seconds,
              double step) {
  for (int i = 0; i < count; ++i)
    clips.push_back(
        TestMedia::Get(MediaSpec::Mp4().Size(width, height).Seconds(seconds + step * i)));
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = bench::Repetitions(argc, argv, 2);
  // The clips are made with the media libraries.
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(TFFmpegLoader::DefaultLibraryPath());
  if (!loader.Load(AllLibraries)) {
    std::fprintf(stderr, "bench_batch: %s\n", loader.LastErrMsg().c_str());
    return 1;
  }
  std::vector<std::string> shortClips, phone, mixed, hd;
  AddClips(shortClips, 6, 320, 240, 2, 0.1);
  AddClips(phone, 6, 640, 360, 10, 0.5);
  AddClips(mixed, 4, 320, 240, 1.5, 0.2);
  AddClips(mixed, 2, 640, 360, 3, 0.2);
  AddClips(mixed, 2, 1280, 720, 2, 0.2);
  AddClips(hd, 4, 1280, 720, 2, 0.1);
  const std::vector<TBatch> batches{
      {"6 short clips -> MP3", 200, shortClips, "auto", ""},
      {"6 short clips -> AVI", 104, shortClips, "auto", ""},
      {"6 phone clips (10 s, 640x360) -> MP3", 200, phone, "auto", ""},
      {"6 phone clips (10 s, 640x360) -> AVI", 104, phone, "auto", ""},
      {"8 mixed clips -> MP3", 200, mixed, "auto", ""},
      {"8 mixed clips -> AVI", 104, mixed, "auto", ""},
      {"8 mixed clips -> H.264 MP4", 103, mixed, "auto", ""},
      {"4 clips -> H.264 MP4 1280x720, 2 at once", 103, hd, "2", "1280x720"},
  };
  const std::string dir = TestMedia::MediaDir() + "bench_batch_" + std::to_string(::getpid()) + "/";
  int status = 0;
  try {
    TBench bench(dir);
    std::printf(
        "Batch one file at a time (--jobs 1) against side by side, %ld processors,"
        " best of %d\n",
        sysconf(_SC_NPROCESSORS_ONLN), reps);
    for (const TBatch& b : batches) {
      double one = 1e30, side = 1e30;
      // Turns, so that a burst of load from elsewhere does not fall on one only.
      for (int i = 0; i < reps; ++i) {
        one = std::min(one, bench.Convert(b, "1", dir + "one"));
        side = std::min(side, bench.Convert(b, b.Jobs, dir + "side"));
      }
      const bool same = Outputs(dir + "one") == Outputs(dir + "side");
      std::printf("  %-42s one %6.2f s, --jobs %-4s %6.2f s, ratio %5.3f%s\n", b.Title, one,
                  b.Jobs.c_str(), side, side / one, same ? ", same outputs" : ", OUTPUTS DIFFER");
      if (!same) status = 1;
    }
    std::printf("  (goal: 6 short clips into MP3 and into AVI at most 0.70 on 2 processors)\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_batch: %s\n", e.what());
    status = 1;
  }
  fs::remove_all(dir);
  return status;
}
