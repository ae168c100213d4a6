#include "CatalogueRuns.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "support/ChildProcess.h"
#include "support/MediaFactory.h"

namespace bench_catalogue {

namespace {

struct TCase {
  const char* Title;
  std::vector<std::string> Options;
};

struct TTimes {
  double Wall = 1e30;
  double Cpu = 1e30;
};

double ChildrenCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One conversion in a fresh output folder; wall and processor seconds of the
// whole program, start-up included.
TTimes Convert(const TCase& c, const std::string& clip, const std::string& dir) {
  namespace fs = std::filesystem;
  const std::string out = dir + "out";
  fs::remove_all(out);
  std::vector<std::string> args{"--quiet", "--format", "0", "--output-dir", out};
  args.insert(args.end(), c.Options.begin(), c.Options.end());
  args.push_back(clip);
  const double cpu = ChildrenCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const TChildResult r = TChildProcess::Run(
      QUOR_CONVERT, args, {{"QUOR_APPDATA", dir + "app/"}, {"QT_QPA_PLATFORM", "offscreen"}});
  TTimes t;
  t.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t.Cpu = ChildrenCpuSeconds() - cpu;
  if (r.Status != 0) throw std::runtime_error(std::string(c.Title) + " failed: " + r.Err);
  return t;
}

}  // namespace

void Run(const std::string& clip, int reps) {
  const std::vector<TCase> cases{
      {"plain", {}},
      {"--brightness 300", {"--brightness", "300"}},
      {"--text Hello@100,100,size=40", {"--text", "Hello@100,100,size=40"}}};
  const std::string dir =
      TestMedia::MediaDir() + "bench_catalogue_" + std::to_string(::getpid()) + "/";
  std::filesystem::create_directories(dir + "app");
  std::vector<TTimes> best(cases.size());
  // The cases take turns, so that a burst of load from elsewhere does not
  // fall on one of them only.
  for (int i = 0; i < reps; ++i)
    for (size_t k = 0; k < cases.size(); ++k) {
      const TTimes t = Convert(cases[k], clip, dir);
      best[k].Wall = std::min(best[k].Wall, t.Wall);
      best[k].Cpu = std::min(best[k].Cpu, t.Cpu);
    }
  std::filesystem::remove_all(dir);

  std::printf("(d) catalogue mode, format 0, quor-convert whole runs (best of %d)\n", reps);
  for (size_t k = 0; k < cases.size(); ++k) {
    std::printf("  %-30s %6.2f s wall, %6.2f s processor", cases[k].Title, best[k].Wall,
                best[k].Cpu);
    if (k > 0)
      std::printf("   cost %5.3fx wall, %5.3fx processor of plain (goal <= 1.20)",
                  best[k].Wall / best[0].Wall, best[k].Cpu / best[0].Cpu);
    std::printf("\n");
  }
}

}  // namespace bench_catalogue
