#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <filesystem>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

// Unloading and loading the media libraries again runs the one-time set-up of
// their own dependencies (audio servers, thread pools) twice, and the leak
// checker of sanitized builds trips over the unloaded code at exit. Address
// and undefined-behaviour checks still run; only the exit-time leak scan is
// skipped for this program.
extern "C" int __lsan_is_turned_off() { return 1; }

// The test main loaded every library; the tables must be usable.
TEST(Loader, AllLibrariesLoadedAndCallable) {
  auto& loader = TFFmpegLoader::Instance();
  EXPECT_TRUE(loader.Loaded(AllLibraries));
  ASSERT_NE(FF.avcodec_find_encoder_by_name, nullptr);
  EXPECT_NE(FF.avcodec_find_encoder_by_name("mpeg4"), nullptr);
  EXPECT_EQ(FF.av_rescale(10, 3, 2), 15);
}

namespace {

const TLibraryIndex kMediaLibraries[] = {liAVCodec, liAVDevice, liAVFilter, liAVFormat,
                                         liAVUtil,  liSWScale,  liSDL,      liSWResample};

// The file the dynamic linker loaded for a handle, as it was named to it.
std::string LoadedFrom(void* handle) {
  struct link_map* map = nullptr;
  if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return {};
  return map->l_name;
}

// The system's copy of a library: the folder the test main loaded it from.
std::string SystemFileOf(TLibraryIndex index) {
  return LoadedFrom(TFFmpegLoader::Instance().Status(index).Handle);
}

// Each test starts with nothing loaded and a fresh "LibAV" folder; afterwards
// the process gets its libraries back the way the test main loaded them, so
// a test never leaves the global table empty.
class LoaderFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& loader = TFFmpegLoader::Instance();
    for (TLibraryIndex i : kMediaLibraries) systemFiles_[i] = SystemFileOf(i);
    folder_ = root_.In("LibAV");
    fs::create_directory(folder_);
    loader.Unload(AllLibraries);
  }

  void TearDown() override {
    auto& loader = TFFmpegLoader::Instance();
    loader.Unload(AllLibraries);
    for (int i = 0; i < liLibraryCount; ++i) loader.SetFileName(TLibraryIndex(i), "");
    loader.SetLibraryPath(TFFmpegLoader::DefaultLibraryPath());
    ASSERT_TRUE(loader.Load(AllLibraries)) << loader.LastErrMsg();
  }

  // Links every media library of the system into the folder, except `skip`.
  void FillFolder(int skip = -1) {
    for (TLibraryIndex i : kMediaLibraries) {
      if (i == skip) continue;
      ASSERT_FALSE(systemFiles_[i].empty());
      fs::create_symlink(systemFiles_[i], folder_ + "/" + TFFmpegLoader::Item(i).FileName);
    }
  }

  TTestFolder root_{"quor-loader"};
  std::string folder_;
  std::string systemFiles_[liLibraryCount];
};

}  // namespace

TEST_F(LoaderFolders, LoadsEveryLibraryFromTheFolderAndHooksTheLog) {
  FillFolder();
  auto& loader = TFFmpegLoader::Instance();
  EXPECT_FALSE(loader.Loaded(ConverterLibraries));
  EXPECT_EQ(FF.avcodec_open2, nullptr) << "unloading must empty the table";

  loader.SetLibraryPath(folder_);
  ASSERT_TRUE(loader.Load(AllLibraries)) << loader.LastErrMsg();
  for (TLibraryIndex i : kMediaLibraries) {
    EXPECT_TRUE(loader.LibraryLoaded(i));
    EXPECT_EQ(LoadedFrom(loader.Status(i).Handle), folder_ + "/" + TFFmpegLoader::Item(i).FileName);
  }
  EXPECT_NE(FF.avcodec_find_encoder_by_name("mpeg4"), nullptr);

  // Loading again changes nothing.
  void* handle = loader.Status(liAVCodec).Handle;
  ASSERT_TRUE(loader.Load(ConverterLibraries));
  EXPECT_EQ(loader.Status(liAVCodec).Handle, handle);

  TLogCapture capture;
  FF.av_log(nullptr, AV_LOG_ERROR, "reloaded-library-logs\n");
  EXPECT_TRUE(capture.Contains("reloaded-library-logs"));
}

TEST_F(LoaderFolders, LibraryNotInTheFolderIsFoundByName) {
  FillFolder(liAVFilter);
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(folder_);
  ASSERT_TRUE(loader.Load(ConverterLibraries)) << loader.LastErrMsg();
  EXPECT_EQ(LoadedFrom(loader.Status(liAVFilter).Handle), systemFiles_[liAVFilter]);
  EXPECT_EQ(LoadedFrom(loader.Status(liAVCodec).Handle),
            folder_ + "/" + TFFmpegLoader::Item(liAVCodec).FileName);
}

TEST_F(LoaderFolders, MissingLibraryLeavesTheWholeSetUnloaded) {
  FillFolder();
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(folder_);
  const std::string missing = folder_ + "/libavfilter-gone.so.8";
  loader.SetFileName(liAVFilter, missing);

  EXPECT_FALSE(loader.Load(ConverterLibraries));
  const std::string msg = loader.LastErrMsg();
  const std::string head = "Load library " + missing + " error: ";
  ASSERT_EQ(msg.compare(0, head.size(), head), 0) << msg;
  EXPECT_GT(msg.size(), head.size()) << "the system's reason is missing";
  for (int i = 0; i < liLibraryCount; ++i) {
    if (!(ConverterLibraries & LibBit(TLibraryIndex(i)))) continue;
    EXPECT_FALSE(loader.LibraryLoaded(TLibraryIndex(i)))
        << TFFmpegLoader::Item(TLibraryIndex(i)).Name;
    EXPECT_EQ(loader.Status(TLibraryIndex(i)).Handle, nullptr);
  }
  EXPECT_EQ(FF.av_malloc, nullptr);
  EXPECT_EQ(FF.avcodec_open2, nullptr);
}

TEST_F(LoaderFolders, MissingFunctionFailsTheLibrary) {
  auto& loader = TFFmpegLoader::Instance();
  loader.SetFileName(liSWScale, QUOR_LOADER_STUB);
  EXPECT_FALSE(loader.Load(LibBit(liAVUtil) | LibBit(liSWScale)));
  const std::string msg = loader.LastErrMsg();
  const std::string head =
      std::string("Load function sws_getCachedContext@") + QUOR_LOADER_STUB + " error: ";
  ASSERT_EQ(msg.compare(0, head.size(), head), 0) << msg;
  EXPECT_GT(msg.size(), head.size());
  EXPECT_EQ(loader.Status(liSWScale).Handle, nullptr) << "the module must be freed";
  EXPECT_FALSE(loader.LibraryLoaded(liAVUtil));
  EXPECT_EQ(FF.sws_getContext, nullptr) << "a half-resolved table must be emptied";
}
