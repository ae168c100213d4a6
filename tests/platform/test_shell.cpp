// Opening a folder or address: the caller learns when nothing could open it,
// and never waits for a handler that stays open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Environment.h"
#include "platform/Shell.h"
#include "support/TestFolder.h"

using namespace platform;

namespace {

class OpenWithDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override { old_ = GetEnv("QUOR_OPEN_COMMAND"), oldPath_ = GetEnv("PATH"); }
  void TearDown() override {
    old_ ? SetEnv("QUOR_OPEN_COMMAND", *old_) : UnsetEnv("QUOR_OPEN_COMMAND");
    if (oldPath_) SetEnv("PATH", *oldPath_);
  }
  // Opens and returns how long the call took, in milliseconds.
  static long long TimedOpen(const std::string& target, bool& opened) {
    const auto start = std::chrono::steady_clock::now();
    opened = OpenWithDesktop(target);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  }
  std::optional<std::string> old_, oldPath_;
};

}  // namespace

TEST_F(OpenWithDesktopTest, AHandlerThatFailsOrIsMissingIsAFailure) {
  bool opened = true;
  SetEnv("QUOR_OPEN_COMMAND", "exit 3;");
  TimedOpen("/tmp", opened);
  EXPECT_FALSE(opened);
  SetEnv("QUOR_OPEN_COMMAND", "no-such-opener-anywhere");
  TimedOpen("/tmp", opened);
  EXPECT_FALSE(opened);
  // No opener on the search path at all, as on a desktop without one.
  UnsetEnv("QUOR_OPEN_COMMAND");
  SetEnv("PATH", "/nonexistent");
  TimedOpen("/tmp", opened);
  EXPECT_FALSE(opened);
  EXPECT_FALSE(OpenWithDesktop(""));
}

TEST_F(OpenWithDesktopTest, AHandlerThatSucceedsOrStaysOpenIsASuccess) {
  TTestFolder folder;
  const std::string mark = folder.In("opened");
  bool opened = false;
  SetEnv("QUOR_OPEN_COMMAND", "echo >'" + mark + "'");
  TimedOpen("/tmp", opened);
  EXPECT_TRUE(opened);
  EXPECT_TRUE(std::filesystem::exists(mark));
  // A browser started in the foreground: the caller goes on after the wait.
  SetEnv("QUOR_OPEN_COMMAND", "sleep 5;");
  const long long ms = TimedOpen("/tmp", opened);
  EXPECT_TRUE(opened);
  EXPECT_LT(ms, 4000);
}
