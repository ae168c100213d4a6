// An installed program finds its data under its prefix, and its desktop
// entry is valid.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/BatchTestSupport.h"
#include "support/ChildProcess.h"
#include "support/MediaFactory.h"

namespace fs = std::filesystem;

namespace {

bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null").c_str()) == 0;
}

}  // namespace

TEST(Install, TheInstalledConverterFindsItsDataAndTheDesktopEntryIsValid) {
  TTestFolder scratch;
  const std::string prefix = scratch.Path() + "prefix";
  const std::string install = std::string(QUOR_CMAKE) + " --install " + QUOR_BUILD_DIR +
                              " --prefix " + prefix + " > " + scratch.Path() + "install.log 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << install;
  for (const char* file :
       {"bin/quor", "bin/quor-convert", "bin/quor-play", "share/quor/quormp4aviformat.ini",
        "share/quor/theme.qss", "share/quor/skin/quor.svg", "share/applications/quor.desktop",
        "share/icons/hicolor/scalable/apps/quor.svg", "share/doc/quor/copyright",
        "share/man/man1/quor.1.gz"})
    EXPECT_TRUE(fs::exists(prefix + "/" + file)) << file;

  // A first start of the installed converter installs the profile from
  // P/share/quor and converts with it.
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(1));
  const std::string appData = scratch.Sub("appdata");
  const std::string out = scratch.Sub("out");
  const TChildResult run = TChildProcess::Run(
      prefix + "/bin/quor-convert", {"--format", "104", "--output-dir", out, clip},
      {{"QUOR_APPDATA", appData}, {"HOME", scratch.Path()}});
  EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
  EXPECT_TRUE(fs::exists(appData + "quormp4aviformat.ini"));
  bool converted = false;
  for (const auto& entry : fs::directory_iterator(out))
    converted |= entry.path().extension() == ".avi";
  EXPECT_TRUE(converted);

  if (!HaveProgram("desktop-file-validate"))
    GTEST_SKIP() << "desktop-file-validate is not installed";
  EXPECT_EQ(
      std::system(("desktop-file-validate " + prefix + "/share/applications/quor.desktop").c_str()),
      0);
}
