// Loading and running "vhook" frame hook modules.
#include "engine/convert/FrameHookModules.h"

#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "engine/common/FFmpegException.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/MediaUtils.h"

namespace {

constexpr size_t MaxPieces = 63;

// Module files loaded by this process; kept until the program ends so that a
// module shared by several tasks is loaded once.
std::mutex& ModuleTableLock() {
  static std::mutex lock;
  return lock;
}
std::map<std::string, void*>& ModuleTable() {
  static std::map<std::string, void*> table;
  return table;
}

// Makes the module's folder current (and searchable) while it loads, so that
// libraries it depends on beside it are found; restores both on exit.
class TModuleFolderScope {
 public:
  explicit TModuleFolderScope(const std::string& fileName) {
    std::string folder = ExtractFilePath(fileName);
    if (folder.empty()) return;
    saved_ = GetCurrentFolder();
    changed_ = SetCurrentFolder(folder);
    const char* path = std::getenv("PATH");
    std::string current = path ? path : "";
    if (current.find(folder) == std::string::npos)
      ::setenv("PATH", (folder + ":" + current).c_str(), 1);
  }
  ~TModuleFolderScope() {
    if (changed_) SetCurrentFolder(saved_);
  }

 private:
  std::string saved_;
  bool changed_ = false;
};

void LibraryError(const char* format, const std::string& arg) {
  FF.av_log(nullptr, AV_LOG_ERROR, format, arg.c_str());
}

}  // namespace

TFrameHookModules::~TFrameHookModules() {
  for (auto& e : entries_)
    if (e.Release) e.Release(e.Ctx);
}

std::vector<std::string> TFrameHookModules::Split(const std::string& text) {
  std::vector<std::string> pieces;
  bool bar = text.find('|') != std::string::npos;
  std::string piece;
  auto flush = [&] {
    if (!piece.empty() && pieces.size() < MaxPieces) pieces.push_back(piece);
    piece.clear();
  };
  for (char c : text) {
    if (bar ? c == '|' : c == ' ')
      flush();
    else
      piece += c;
  }
  flush();
  return pieces;
}

void TFrameHookModules::Add(const std::string& text) {
  if (AddModule(Split(text)) != 0)
    throw FFmpegException("Failed to add video hook function: " + text);
}

int TFrameHookModules::AddModule(const std::vector<std::string>& pieces) {
  if (pieces.empty()) return -2;
  const std::string& fileName = pieces[0];
  TModuleFolderScope folderScope(fileName);

  void* library = nullptr;
  {
    std::lock_guard lock(ModuleTableLock());
    auto it = ModuleTable().find(fileName);
    if (it != ModuleTable().end()) {
      library = it->second;
    } else {
      library = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!library) {
        const char* err = ::dlerror();
        LibraryError("%s\n", err ? err : fileName);
        return -1;
      }
      ModuleTable()[fileName] = library;
    }
  }

  TEntry entry;
  auto configure = reinterpret_cast<TVHookConfigure>(::dlsym(library, "Configure"));
  entry.Process = reinterpret_cast<TVHookProcess>(::dlsym(library, "Process"));
  entry.Release = reinterpret_cast<TVHookRelease>(::dlsym(library, "Release"));
  if (!entry.Process) {
    LibraryError("Failed to find Process entrypoint in %s\n", fileName);
    return -2;
  }
  if (!configure && pieces.size() > 1) {
    LibraryError("Failed to find Configure entrypoint in %s\n", fileName);
    return -2;
  }
  if (configure) {
    std::vector<std::string> copies(pieces);
    std::vector<char*> argv;
    for (auto& p : copies) argv.push_back(p.data());
    argv.push_back(nullptr);
    if (configure(&entry.Ctx, int(pieces.size()), argv.data()) != 0) {
      LibraryError("Failed to Configure %s\n", fileName);
      return -22;
    }
  }
  entries_.push_back(entry);
  return 0;
}

void TFrameHookModules::Process(TVHookPicture& picture, int pixFmt, int width, int height,
                                std::int64_t pts) {
  for (auto& e : entries_) e.Process(e.Ctx, &picture, pixFmt, width, height, pts);
}
