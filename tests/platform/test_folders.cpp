#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/Environment.h"
#include "platform/Folders.h"
#include "support/TestFolder.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one scope and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::optional<std::string>& value)
      : name_(name), old_(GetEnv(name)) {
    value ? SetEnv(name, *value) : UnsetEnv(name);
  }
  ~ScopedEnv() { old_ ? SetEnv(name_, *old_) : UnsetEnv(name_); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST(Folders, AppDataFolderComesFromTheEnvironmentAndIsCreated) {
  TTestFolder folder;
  const fs::path root = folder.In("appdata");
  {
    ScopedEnv a("QUOR_APPDATA", (root / "own").string());
    EXPECT_EQ(CommonAppDataFolder(), (root / "own").string() + "/");
    EXPECT_TRUE(fs::is_directory(root / "own"));
  }
  {
    ScopedEnv a("QUOR_APPDATA", std::nullopt);
    ScopedEnv x("XDG_CONFIG_HOME", (root / "xdg/").string());
    EXPECT_EQ(CommonAppDataFolder(), (root / "xdg" / "quor").string() + "/");
    EXPECT_TRUE(fs::is_directory(root / "xdg" / "quor"));
  }
  {
    ScopedEnv a("QUOR_APPDATA", "");
    ScopedEnv x("XDG_CONFIG_HOME", "relative/path");
    ScopedEnv h("HOME", (root / "home").string());
    EXPECT_EQ(CommonAppDataFolder(), (root / "home" / ".config" / "quor").string() + "/");
    EXPECT_EQ(DefaultVideoFolder(), (root / "home" / "videoconverter").string());
  }
}

TEST(Folders, WriteTestNeedsAnExistingWritableFolderAndLeavesNothing) {
  TTestFolder folder;
  const fs::path d = folder.In("write");
  EXPECT_FALSE(CanCreateFileIn(d.string()));
  EXPECT_FALSE(CanCreateFileIn(""));
  fs::create_directories(d);
  EXPECT_TRUE(CanCreateFileIn(d.string()));
  EXPECT_TRUE(CanCreateFileIn(d.string() + "/"));
  EXPECT_TRUE(fs::is_empty(d));
  std::ofstream(d / "plain.txt") << "x";
  EXPECT_FALSE(CanCreateFileIn((d / "plain.txt").string()));
  if (::geteuid() != 0) {
    fs::permissions(d, fs::perms(0500));
    EXPECT_FALSE(CanCreateFileIn(d.string()));
    fs::permissions(d, fs::perms(0700));
  }
}

TEST(Folders, ForceDirectoriesAndCopyFile) {
  TTestFolder folder;
  const fs::path d = folder.In("force");
  EXPECT_TRUE(ForceDirectories((d / "a" / "b" / "c").string() + "/"));
  EXPECT_TRUE(DirectoryExists((d / "a" / "b" / "c").string()));
  EXPECT_FALSE(FileExists((d / "a").string()));
  std::ofstream(d / "src.ini") << "[s]\nk=v\n";
  EXPECT_TRUE(CopyFile((d / "src.ini").string(), (d / "a" / "dst.ini").string()));
  EXPECT_TRUE(FileExists((d / "a" / "dst.ini").string()));
  EXPECT_EQ(fs::file_size(d / "a" / "dst.ini"), 8u);
  EXPECT_FALSE(CopyFile((d / "missing").string(), (d / "a" / "x").string()));
  EXPECT_FALSE(fs::exists(d / "a" / "x"));
}

TEST(Folders, IdentityVersionAndDiscTest) {
  EXPECT_FALSE(LoginName().empty());
  FileVersion v = ProgramVersion();
  EXPECT_GE(v.Major, 0);
  EXPECT_EQ(v.Build, 0);
  EXPECT_FALSE(ExecutableFolder().empty());
  EXPECT_EQ(ExecutableFolder().back(), '/');
  EXPECT_FALSE(IsOpticalDiscFolder(fs::temp_directory_path().string()));
  EXPECT_FALSE(IsOpticalDiscFolder("/no/such/folder"));
  EXPECT_EQ(WithTrailingSlash("/a"), "/a/");
  EXPECT_EQ(WithTrailingSlash("/a/"), "/a/");
  EXPECT_EQ(WithTrailingSlash(""), "");
}

TEST(Folders, DeclaredDiscFoldersCountWithEverythingBelowThem) {
  ScopedEnv discs("QUOR_OPTICAL_DISC_FOLDERS", "/media/disc1:/mnt/cd/");
  EXPECT_TRUE(IsOpticalDiscFolder("/media/disc1"));
  EXPECT_TRUE(IsOpticalDiscFolder("/media/disc1/video/ts"));
  EXPECT_TRUE(IsOpticalDiscFolder("/mnt/cd"));
  // A name that only begins like a disc folder is another folder.
  EXPECT_FALSE(IsOpticalDiscFolder("/media/disc10"));
  EXPECT_FALSE(IsOpticalDiscFolder("/media"));
  EXPECT_FALSE(IsOpticalDiscFolder(fs::temp_directory_path().string()));
}
