// TFFmpegLoader: loads the media libraries and SDL at run time and fills the
// function table `FF` (FFmpegApi.h).
//
// One instance for the program (Instance()). Libraries are loaded from
// LibraryPath when the file is there, else by file name through the system's
// search, always in dependency order (avutil first) so that libraries bundled
// in one folder find each other. A missing function fails its whole library.
// Owns the codec lock that serialises codec open/close and stream-information
// look-ups across all components and threads.
// Threads: Load/Unload are meant for the user-interface thread; all members
// are guarded by an internal mutex, so queries are safe from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// Library indices; a library set is a bit set over them (LibBit).
enum TLibraryIndex : int {
  liAVCodec = 0,
  liAVDevice = 1,
  liAVFilter = 2,
  liAVFormat = 3,
  liAVUtil = 4,
  liSWScale = 5,
  liCRT = 6,  // the C runtime the media libraries use (the process's libc)
  liSDL = 7,
  liSWResample = 8,  // audio resampling, split out of avcodec since
  liLibraryCount = 9
};

using TLibrarySet = std::uint32_t;
constexpr TLibrarySet LibBit(TLibraryIndex i) { return TLibrarySet(1) << i; }

// What the converter needs; the probe and the player name their own sets.
constexpr TLibrarySet ConverterLibraries = LibBit(liAVCodec) | LibBit(liAVFilter) |
                                           LibBit(liAVFormat) | LibBit(liAVUtil) |
                                           LibBit(liSWScale) | LibBit(liCRT) | LibBit(liSWResample);
constexpr TLibrarySet ProbeLibraries =
    LibBit(liAVCodec) | LibBit(liAVFormat) | LibBit(liAVUtil) | LibBit(liSWScale) | LibBit(liCRT);
constexpr TLibrarySet PlayerLibraries = ConverterLibraries | LibBit(liSDL);
constexpr TLibrarySet AllLibraries = (TLibrarySet(1) << liLibraryCount) - 1;

// Constant description of one library.
struct TLibraryItem {
  TLibraryIndex Index;
  const char* Name;      // base name, e.g. "avcodec"
  int Version;           // major version (soname), -1 when the name carries none
  const char* FileName;  // the file loaded when the status names none
};

// Per-library state.
struct TLibraryStatus {
  TLibraryIndex Index;
  std::string FileName;    // empty: the item's file name; otherwise used unchanged
  void* Handle = nullptr;  // dlopen handle
  bool Loaded = false;     // the function table is resolved
};

class TFFmpegLoader {
 public:
  static TFFmpegLoader& Instance();

  static const TLibraryItem& Item(TLibraryIndex index);
  // The folder "LibAV" beside the running executable.
  static std::string DefaultLibraryPath();

  void SetLibraryPath(const std::string& folder);
  std::string LibraryPath() const;

  // Loads every library of the set; on the first failure unloads the whole
  // set, fills LastErrMsg and returns false.
  bool Load(TLibrarySet set);
  bool Loaded(TLibrarySet set) const;
  bool LibraryLoaded(TLibraryIndex index) const;
  void Unload(TLibrarySet set);
  std::string LastErrMsg() const;

  // Overrides the file loaded for one library (empty restores the default).
  void SetFileName(TLibraryIndex index, const std::string& fileName);
  TLibraryStatus Status(TLibraryIndex index) const;

  // When true (the default), loading avutil installs the log collector's
  // callback into the library.
  void SetHookLog(bool hook);

  std::mutex& CodecLock() { return codecLock_; }

 private:
  TFFmpegLoader();
  bool LoadOne(TLibraryIndex index);
  void UnloadOne(TLibraryIndex index);

  mutable std::recursive_mutex mutex_;
  std::mutex codecLock_;
  std::string libraryPath_;
  std::string lastErrMsg_;
  bool hookLog_ = true;
  TLibraryStatus status_[liLibraryCount];
};

// Shorthand for the codec lock: std::lock_guard lock(CodecLock());
inline std::mutex& CodecLock() { return TFFmpegLoader::Instance().CodecLock(); }
