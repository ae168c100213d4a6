// Picking media files out of dropped folders.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/MediaPaths.h"
#include "engine/probe/ReadableExtensions.h"
#include "support/BatchTestSupport.h"

namespace fs = std::filesystem;

namespace {
void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "x";
}
}  // namespace

TEST(MediaPaths, TheProbeReadsTheUsualExtensionsWhateverTheirCase) {
  const std::vector<std::string> ext = ReadableExtensions();
  for (const char* e :
       {"mp4", "m4v", "m4a", "mkv", "avi", "mov", "webm", "wav", "mp3", "ogg", "flac", "ts", "mpg"})
    EXPECT_TRUE(std::binary_search(ext.begin(), ext.end(), e)) << e;
  EXPECT_FALSE(std::binary_search(ext.begin(), ext.end(), "txt"));
  EXPECT_TRUE(std::is_sorted(ext.begin(), ext.end()));
  EXPECT_TRUE(HasReadableExtension("/a/B.MKV", ext));
  EXPECT_FALSE(HasReadableExtension("/a.mkv/readme", ext));
  EXPECT_FALSE(HasReadableExtension("/a/file.", ext));
  EXPECT_FALSE(HasReadableExtension("/a/mp4", ext));
}

TEST(MediaPaths, FoldersGiveTheirMediaFilesInNameOrderWithoutHiddenFolders) {
  TTestFolder scratch;
  const std::string root = scratch.Path() + "drop";
  for (const char* f : {"b.mp4", "a.MKV", "notes.txt", "sub/c.avi", "sub/deeper/d.wav",
                        ".hidden/x.mp4", "sub/.cache/y.mp4", ".visible-file.mp4"})
    Touch(root + "/" + f);
  fs::create_directory_symlink(root, root + "/sub/loop");  // never followed
  const std::string single = scratch.Path() + "single.bin";
  Touch(single);

  const TExpandedPaths out =
      ExpandMediaPaths({single, root, scratch.Path() + "missing.mp4"}, ReadableExtensions());
  const std::vector<std::string> expected = {single,
                                             root + "/.visible-file.mp4",
                                             root + "/a.MKV",
                                             root + "/b.mp4",
                                             root + "/sub/c.avi",
                                             root + "/sub/deeper/d.wav",
                                             scratch.Path() + "missing.mp4"};
  EXPECT_EQ(out.Files, expected);
  EXPECT_TRUE(out.Unreadable.empty());
  EXPECT_FALSE(out.Truncated);
}

TEST(MediaPaths, AHugeFolderStopsAtTheLimitAndAnUnreadableOneIsNamed) {
  TTestFolder scratch;
  const std::string root = scratch.Path() + "many";
  fs::create_directories(root);
  for (int i = 0; i < 3000; ++i) std::ofstream(root + "/note" + std::to_string(i) + ".txt") << "x";
  for (int i = 0; i < 30; ++i) std::ofstream(root + "/clip" + std::to_string(i) + ".mp4") << "x";
  TExpandedPaths out = ExpandMediaPaths({root}, ReadableExtensions(), 20);
  EXPECT_EQ(out.Files.size(), 20u);
  EXPECT_TRUE(out.Truncated);

  const std::string locked = scratch.Path() + "locked";
  fs::create_directories(locked);
  fs::permissions(locked, fs::perms::none);
  out = ExpandMediaPaths({locked}, ReadableExtensions());
  fs::permissions(locked, fs::perms::owner_all);
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser reads every folder";
  EXPECT_TRUE(out.Files.empty());
  EXPECT_EQ(out.Unreadable, std::vector<std::string>{locked});
}
