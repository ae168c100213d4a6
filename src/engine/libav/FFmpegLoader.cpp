#include "engine/libav/FFmpegLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <sys/stat.h>
#include <climits>
#include <stdexcept>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"

TMediaApi FF;

namespace {

#define QUOR_SO(lib, major) "lib" lib ".so." #major
#define QUOR_SO_EXPAND(lib, major) QUOR_SO(lib, major)

const TLibraryItem kItems[liLibraryCount] = {
    {liAVCodec, "avcodec", LIBAVCODEC_VERSION_MAJOR,
     QUOR_SO_EXPAND("avcodec", LIBAVCODEC_VERSION_MAJOR)},
    {liAVDevice, "avdevice", LIBAVDEVICE_VERSION_MAJOR,
     QUOR_SO_EXPAND("avdevice", LIBAVDEVICE_VERSION_MAJOR)},
    {liAVFilter, "avfilter", LIBAVFILTER_VERSION_MAJOR,
     QUOR_SO_EXPAND("avfilter", LIBAVFILTER_VERSION_MAJOR)},
    {liAVFormat, "avformat", LIBAVFORMAT_VERSION_MAJOR,
     QUOR_SO_EXPAND("avformat", LIBAVFORMAT_VERSION_MAJOR)},
    {liAVUtil, "avutil", LIBAVUTIL_VERSION_MAJOR,
     QUOR_SO_EXPAND("avutil", LIBAVUTIL_VERSION_MAJOR)},
    {liSWScale, "swscale", LIBSWSCALE_VERSION_MAJOR,
     QUOR_SO_EXPAND("swscale", LIBSWSCALE_VERSION_MAJOR)},
    {liCRT, "c", 6, "libc.so.6"},
    {liSDL, "SDL2", -1, "libSDL2-2.0.so.0"},
    {liSWResample, "swresample", LIBSWRESAMPLE_VERSION_MAJOR,
     QUOR_SO_EXPAND("swresample", LIBSWRESAMPLE_VERSION_MAJOR)},
};

// Dependency order: a library comes after every library it needs (avdevice
// needs SDL, so SDL from the folder must be there before avdevice asks for it).
const TLibraryIndex kLoadOrder[liLibraryCount] = {
    liCRT, liAVUtil, liSWResample, liSWScale, liAVCodec, liAVFormat, liAVFilter, liSDL, liAVDevice};

struct MissingSymbol : std::runtime_error {
  using std::runtime_error::runtime_error;
};

template <typename Fn>
void Resolve(void* handle, Fn& slot, const char* name, const std::string& fileName) {
  dlerror();
  void* sym = dlsym(handle, name);
  if (!sym) {
    const char* why = dlerror();
    char msg[1024];
    std::snprintf(msg, sizeof msg, "Load function %s@%s error: %s", name, fileName.c_str(),
                  why ? why : "symbol not found");
    throw MissingSymbol(msg);
  }
  slot = reinterpret_cast<Fn>(sym);
}

// Calls visit(slot, name) for every table slot of one library.
template <typename Visit>
void ForEachSlot(TLibraryIndex index, Visit&& visit) {
#define QUOR_API(name) visit(FF.name, #name);
  switch (index) {
    case liAVCodec:
#include "engine/libav/api/avcodec.inc"
      break;
    case liAVDevice:
#include "engine/libav/api/avdevice.inc"
      break;
    case liAVFilter:
#include "engine/libav/api/avfilter.inc"
      break;
    case liAVFormat:
#include "engine/libav/api/avformat.inc"
      break;
    case liAVUtil:
#include "engine/libav/api/avutil.inc"
      break;
    case liSWScale:
#include "engine/libav/api/swscale.inc"
      break;
    case liCRT:
#include "engine/libav/api/libc.inc"
      break;
    case liSDL:
#include "engine/libav/api/sdl.inc"
      break;
    case liSWResample:
#include "engine/libav/api/swresample.inc"
      break;
    default: break;
  }
#undef QUOR_API
}

// Resolves the table slots of one library.
void ResolveTable(TLibraryIndex index, void* handle, const std::string& fileName) {
  ForEachSlot(index, [&](auto& slot, const char* name) { Resolve(handle, slot, name, fileName); });
}

void ClearTable(TLibraryIndex index) {
  ForEachSlot(index, [](auto& slot, const char*) { slot = nullptr; });
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

TFFmpegLoader& TFFmpegLoader::Instance() {
  static TFFmpegLoader loader;
  return loader;
}

TFFmpegLoader::TFFmpegLoader() {
  for (int i = 0; i < liLibraryCount; ++i) status_[i].Index = TLibraryIndex(i);
}

const TLibraryItem& TFFmpegLoader::Item(TLibraryIndex index) { return kItems[index]; }

std::string TFFmpegLoader::DefaultLibraryPath() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "LibAV";
  std::string exe(buf, size_t(n));
  return exe.substr(0, exe.rfind('/') + 1) + "LibAV";
}

void TFFmpegLoader::SetLibraryPath(const std::string& folder) {
  std::lock_guard lock(mutex_);
  libraryPath_ = folder;
}

std::string TFFmpegLoader::LibraryPath() const {
  std::lock_guard lock(mutex_);
  return libraryPath_;
}

std::string TFFmpegLoader::LastErrMsg() const {
  std::lock_guard lock(mutex_);
  return lastErrMsg_;
}

void TFFmpegLoader::SetHookLog(bool hook) {
  std::lock_guard lock(mutex_);
  hookLog_ = hook;
}

void TFFmpegLoader::SetFileName(TLibraryIndex index, const std::string& fileName) {
  std::lock_guard lock(mutex_);
  status_[index].FileName = fileName;
}

TLibraryStatus TFFmpegLoader::Status(TLibraryIndex index) const {
  std::lock_guard lock(mutex_);
  return status_[index];
}

bool TFFmpegLoader::LibraryLoaded(TLibraryIndex index) const {
  std::lock_guard lock(mutex_);
  return status_[index].Handle && status_[index].Loaded;
}

bool TFFmpegLoader::Loaded(TLibrarySet set) const {
  std::lock_guard lock(mutex_);
  for (int i = 0; i < liLibraryCount; ++i)
    if ((set & LibBit(TLibraryIndex(i))) && !(status_[i].Handle && status_[i].Loaded)) return false;
  return true;
}

bool TFFmpegLoader::Load(TLibrarySet set) {
  std::lock_guard lock(mutex_);
  for (TLibraryIndex index : kLoadOrder) {
    if (!(set & LibBit(index))) continue;
    if (!LoadOne(index)) {
      Unload(set);
      return false;
    }
  }
  return true;
}

void TFFmpegLoader::Unload(TLibrarySet set) {
  std::lock_guard lock(mutex_);
  // Reverse dependency order, so that nothing is unloaded under a user.
  for (int k = liLibraryCount - 1; k >= 0; --k)
    if (set & LibBit(kLoadOrder[k])) UnloadOne(kLoadOrder[k]);
}

bool TFFmpegLoader::LoadOne(TLibraryIndex index) {
  if (index < 0 || index >= liLibraryCount) return false;
  TLibraryStatus& st = status_[index];
  if (!st.Handle) {
    std::string fileName = st.FileName.empty() ? kItems[index].FileName : st.FileName;
    std::string folder, name = fileName;
    if (auto slash = fileName.rfind('/'); slash != std::string::npos) {
      folder = fileName.substr(0, slash + 1);
      name = fileName.substr(slash + 1);
    } else if (!libraryPath_.empty()) {
      folder = libraryPath_;
      if (folder.back() != '/') folder += '/';
    }
    // A library found in the folder is loaded by its full path; its own
    // dependencies are already loaded (dependency order) and match by soname.
    std::string target = (!folder.empty() && IsRegularFile(folder + name)) ? folder + name : name;
    st.Handle = ::dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!st.Handle) {
      const char* why = dlerror();
      lastErrMsg_ = "Load library " + folder + name + " error: " + (why ? why : "unknown error");
      return false;
    }
  }
  if (!st.Loaded) {
    try {
      std::string fileName = st.FileName.empty() ? kItems[index].FileName : st.FileName;
      ResolveTable(index, st.Handle, fileName);
      st.Loaded = true;
    } catch (const MissingSymbol& e) {
      lastErrMsg_ = e.what();
      ClearTable(index);
    }
  }
  if (!st.Loaded) {
    UnloadOne(index);
    return false;
  }
  if (index == liAVUtil && hookLog_) InstallLibraryLogCallback();
  return true;
}

void TFFmpegLoader::UnloadOne(TLibraryIndex index) {
  TLibraryStatus& st = status_[index];
  if (st.Loaded) {
    if (index == liAVUtil) RemoveLibraryLogCallback();
    ClearTable(index);
    st.Loaded = false;
  }
  if (st.Handle) {
    ::dlclose(st.Handle);
    st.Handle = nullptr;
  }
}
