// Frame hook modules ("vhook"): plug-in libraries that process every decoded
// picture of a task in place.
//
// A module exports "Process" and optionally "Configure" and "Release" with
// the C signatures below. Each module file is loaded once per process (a
// table keyed by file name, kept until the program ends, guarded by its own
// mutex); each TFrameHookModules owns the contexts its modules configured
// and releases them when it is destroyed.
// Threads: one instance belongs to one task; Add on the configuring thread,
// Process on the task's worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The picture handed to a module: plane addresses and line sizes.
struct TVHookPicture {
  std::uint8_t* data[4];
  int linesize[4];
};

extern "C" {
typedef int (*TVHookConfigure)(void** ctx, int argc, char* argv[]);
typedef void (*TVHookProcess)(void* ctx, TVHookPicture* picture, int pixFmt, int width, int height,
                              std::int64_t pts);
typedef void (*TVHookRelease)(void* ctx);
}

class TFrameHookModules {
 public:
  TFrameHookModules() = default;
  ~TFrameHookModules();
  TFrameHookModules(const TFrameHookModules&) = delete;
  TFrameHookModules& operator=(const TFrameHookModules&) = delete;

  // Splits the "vhook" text at "|" when it holds one, else at runs of spaces
  // (at most 63 pieces), and adds the module. Throws FFmpegException
  // "Failed to add video hook function: <text>" when it cannot be added.
  void Add(const std::string& text);
  // Runs every module's Process in the order added.
  void Process(TVHookPicture& picture, int pixFmt, int width, int height, std::int64_t pts);
  bool Empty() const { return entries_.empty(); }

  // The pieces of a "vhook" text (exposed for tests).
  static std::vector<std::string> Split(const std::string& text);

 private:
  struct TEntry {
    TVHookProcess Process = nullptr;
    TVHookRelease Release = nullptr;
    void* Ctx = nullptr;
  };
  // 0, or a negative error code as the module loader reports it.
  int AddModule(const std::vector<std::string>& pieces);

  std::vector<TEntry> entries_;
};
