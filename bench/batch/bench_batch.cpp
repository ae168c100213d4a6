// A batch converted one file at a time against several side by side, in the
// same run, measured two ways:
//
// - The batch itself, as the window's Start runs it: the files are in the
//   list already (added beforehand, as a user adds them), and the time runs
//   from Start to the batch's end, output checks included (the batch driver
//   in this process, with the real converter).
// - The whole command-line converter (quor-convert --jobs 1 against --jobs
//   auto, or a count): the process start (loading the media libraries) and
//   adding the files to its list, which no second file can share, count too.
//
// The batches: six short clips (2 s) and six phone-length clips (10 s) into
// MP3 and into AVI, eight clips of mixed sizes into MP3, AVI and H.264 MP4,
// and H.264 at 720 lines, the case the Auto rule halves for. The runs take
// turns; each prints its best wall time and the ratio, and the outputs of
// both runs must be the same bytes (H.264: alike, see TBatch::Exact).
//
//   bench_batch [repetitions [filter]]  (default 2; only the batches whose
//                                        title holds the filter text)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/BatchDriver.h"
#include "app/FirstStart.h"
#include "app/GlobalUnit.h"
#include "app/SourceList.h"
#include "common/BenchTiming.h"
#include "engine/common/MainThread.h"
#include "engine/component/FFmpegVCL.h"
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
  // x264 with threads of its own writes slightly different bytes from one
  // run to the next, one file at a time too: its outputs are held to the
  // same names and sizes within 3 %.
  bool Exact = true;
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

// The same names, each the same size within 3 %.
bool AlikeOutputs(const std::map<std::string, std::string>& a,
                  const std::map<std::string, std::string>& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
    const double x = double(i->second.size()), y = double(j->second.size());
    if (i->first != j->first || x <= 0 || std::abs(x - y) > 0.03 * x) return false;
  }
  return true;
}

// What runs a batch: the settings folder of a first start, the format and
// its frame size chosen in it, and the output folder of each run.
class TSettingsFolder {
 public:
  explicit TSettingsFolder(std::string dir) : dir_(std::move(dir)) {}
  std::string Settings() const { return dir_ + kSettingsFileName; }
  std::string Profile() const { return dir_ + kFormatFileName; }
  const std::string& Dir() const { return dir_; }
  void Choose(const TBatch& b, const std::string& out) const {
    fs::remove_all(out);
    fs::create_directories(out);
    TAppSettings settings(Settings());
    if (!settings.SetFormatCode(b.Format) || !settings.SetOutPutDir(out))
      throw std::runtime_error("cannot write the settings in " + dir_);
    const std::string section = "formatInfo" + std::to_string(b.Format);
    if (!b.Size.empty()) platform::WriteIniString(Settings(), section, "paraVideoSize", b.Size);
  }

 private:
  std::string dir_;
};

// The batch as the window runs it: Start, then the progress window's loop
// until the batch closes it.
class TDriverBench : public IProgressView {
 public:
  explicit TDriverBench(const TSettingsFolder& folder) : folder_(folder) {
    global_.SetSettingsFile(folder.Settings());
    global_.SetFormatFile(folder.Profile());
    if (!FirstStart(global_).ProfileInPlace) throw std::runtime_error("no format profile");
    SetMainThreadHandOver(&handOver_);
  }
  ~TDriverBench() override { SetMainThreadHandOver(nullptr); }

  // Wall seconds from Start to the batch's end.
  double Convert(const TBatch& b, int jobs, const std::string& out) {
    folder_.Choose(b, out);
    TSourceList list(folder_.Settings(), folder_.Profile());
    if (list.Add(vcl_, b.Clips, &ui_).Added != int(b.Clips.size()))
      throw std::runtime_error("a clip could not be added");
    TBatchDriver driver(vcl_, list, TBuildContext{folder_.Settings(), folder_.Profile(), &ui_});
    driver.SetFilesAtOnce(jobs);
    driver.SetProgressView(this);
    driver_ = &driver;
    const auto start = std::chrono::steady_clock::now();
    driver.Start();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    driver_ = nullptr;
    if (driver.Summary().Converted != int(b.Clips.size()))
      throw std::runtime_error(std::string(b.Title) + ": a file failed");
    return seconds;
  }

  void RunModal() override {
    closed_ = false;
    driver_->StartTasks();
    while (!closed_) handOver_.WaitAndPump(20);
  }
  void Close() override { closed_ = true; }
  void ShowProgress(const TProgressTexts&) override {}
  void SetFilePercent(int) override {}
  void TaskEnded(const TTerminateInfo&) override {}
  bool OpenFolderChecked() const override { return false; }
  bool ShutDownChecked() const override { return false; }

 private:
  const TSettingsFolder& folder_;
  TGlobalObject global_;
  TQueuedHandOver handOver_;
  TDefaultUserInteraction ui_;
  TFFmpegVCL vcl_;
  TBatchDriver* driver_ = nullptr;
  bool closed_ = true;
};

// The whole command-line converter, one process a run.
class TProcessBench {
 public:
  explicit TProcessBench(std::string dir) : dir_(std::move(dir)) {
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

// Best of `reps` turns of one at a time and side by side; prints a row and
// says whether both wrote the same outputs.
bool Compare(const TBatch& b, int reps, const std::string& dir,
             const std::function<double(const std::string& jobs, const std::string& out)>& run) {
  double one = 1e30, side = 1e30;
  // Turns, so that a burst of load from elsewhere does not fall on one only.
  for (int i = 0; i < reps; ++i) {
    one = std::min(one, run("1", dir + "one"));
    side = std::min(side, run(b.Jobs, dir + "side"));
  }
  const bool same = b.Exact ? Outputs(dir + "one") == Outputs(dir + "side")
                            : AlikeOutputs(Outputs(dir + "one"), Outputs(dir + "side"));
  const char* verdict = !same ? ", OUTPUTS DIFFER" : b.Exact ? ", same outputs" : ", alike outputs";
  std::printf("  %-48s one %6.2f s, --jobs %-4s %6.2f s, ratio %5.3f%s\n", b.Title, one,
              b.Jobs.c_str(), side, side / one, verdict);
  return same;
}

int JobsSetting(const std::string& jobs) {
  return jobs == "auto" ? kFilesAtOnceAuto : std::stoi(jobs);
}

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
  std::vector<std::string> hdLong;
  AddClips(hdLong, 2, 1280, 720, 8, 0.1);
  const std::vector<TBatch> batches{
      {"6 short clips -> MP3", 200, shortClips, "auto", ""},
      {"6 short clips -> AVI", 104, shortClips, "auto", ""},
      {"6 phone clips (10 s, 640x360) -> MP3", 200, phone, "auto", ""},
      {"6 phone clips (10 s, 640x360) -> AVI", 104, phone, "auto", ""},
      {"8 mixed clips -> MP3", 200, mixed, "auto", ""},
      {"8 mixed clips -> AVI", 104, mixed, "auto", ""},
      {"8 mixed clips -> H.264 MP4", 103, mixed, "auto", "", false},
      {"4 clips -> H.264 MP4 1280x720, 2 at once", 103, hd, "2", "1280x720", false},
      {"2 clips (8 s) -> H.264 MP4 1280x720, 2 at once", 103, hdLong, "2", "1280x720", false},
  };
  const std::string filter = argc > 2 ? argv[2] : "";
  auto Chosen = [&](const TBatch& b) {
    return std::string(b.Title).find(filter) != std::string::npos;
  };
  const std::string dir = TestMedia::MediaDir() + "bench_batch_" + std::to_string(::getpid()) + "/";
  int status = 0;
  try {
    TSettingsFolder folder(dir + "driver/");
    fs::create_directories(folder.Dir());
    TDriverBench driver(folder);
    TProcessBench process(dir);
    std::printf("Batch one file at a time against side by side, %ld processors, best of %d\n",
                sysconf(_SC_NPROCESSORS_ONLN), reps);
    std::printf("The batch, from Start to its end (the files already in the list):\n");
    for (const TBatch& b : batches)
      if (Chosen(b) && !Compare(b, reps, dir, [&](const std::string& jobs, const std::string& out) {
            return driver.Convert(b, JobsSetting(jobs), out);
          }))
        status = 1;
    std::printf("The command-line converter, process start and adding the files included:\n");
    for (const TBatch& b : batches)
      if (Chosen(b) && !Compare(b, reps, dir, [&](const std::string& jobs, const std::string& out) {
            return process.Convert(b, jobs, out);
          }))
        status = 1;
    std::printf("  (goal: 6 short clips into MP3 and into AVI at most 0.70 on 2 processors)\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_batch: %s\n", e.what());
    status = 1;
  }
  fs::remove_all(dir);
  return status;
}
