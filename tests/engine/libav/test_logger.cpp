#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/common/FFmpegException.h"
#include "engine/common/MainThread.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"

namespace {

// A logging context as the library sees one: a struct that starts with its class.
struct TFakeContext {
  const AVClass* cls;
};

const AVClass* FakeClass() {
  static AVClass cls = [] {
    AVClass c{};
    c.class_name = "probe";
    c.item_name = FF.av_default_item_name;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
  }();
  return &cls;
}

std::vector<TLogInfo> InfosContaining(const TLogCapture& capture, const std::string& part) {
  std::vector<TLogInfo> found;
  for (const TLogInfo& i : capture.Infos())
    if (i.LogMsg.find(part) != std::string::npos) found.push_back(i);
  return found;
}

// Restores the logger's settings a test changed.
class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    level_ = FFLogger().LogLevel();
    trigger_ = FFLogger().TriggerEventInMainThread();
  }
  void TearDown() override {
    FFLogger().SetOnLog(nullptr);
    FFLogger().SetLogLevel(level_);
    FFLogger().SetTriggerEventInMainThread(trigger_);
  }
  TLogLevel level_ = llInfo;
  bool trigger_ = true;
};

}  // namespace

TEST(LogLevels, MappingBothWaysAtTheEdges) {
  EXPECT_EQ(LogLevelToLibrary(llQuiet), -8);
  EXPECT_EQ(LogLevelToLibrary(llPanic), 0);
  EXPECT_EQ(LogLevelToLibrary(llInfo), 32);
  EXPECT_EQ(LogLevelToLibrary(llDebug), 48);
  EXPECT_EQ(LogLevelFromLibrary(-100), llQuiet);
  EXPECT_EQ(LogLevelFromLibrary(-8), llQuiet);
  EXPECT_EQ(LogLevelFromLibrary(-1), llQuiet);
  EXPECT_EQ(LogLevelFromLibrary(0), llPanic);
  EXPECT_EQ(LogLevelFromLibrary(7), llPanic);
  EXPECT_EQ(LogLevelFromLibrary(8), llFatal);
  EXPECT_EQ(LogLevelFromLibrary(44), llVerbose);
  EXPECT_EQ(LogLevelFromLibrary(47), llVerbose);
  EXPECT_EQ(LogLevelFromLibrary(48), llDebug);
  EXPECT_EQ(LogLevelFromLibrary(100), llDebug);
  for (int v = llQuiet; v <= llDebug; ++v)
    EXPECT_EQ(LogLevelFromLibrary(LogLevelToLibrary(TLogLevel(v))), v);
}

TEST_F(LoggerTest, SingleInstanceAndGlobalAccessor) {
  TFFLogger& logger = FFLogger();
  EXPECT_EQ(&logger, &FFLogger());
  EXPECT_EQ(TFFLogger::Current(), &logger);
  try {
    TFFLogger second;
    FAIL() << "a second logger was created";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
  }
  // The refused instance must not have unregistered the real one.
  EXPECT_EQ(TFFLogger::Current(), &logger);
}

TEST_F(LoggerTest, LevelByNameOrNumberAlsoSetsTheLibrary) {
  FFLogger().SetLogLevelByName("WARNING");
  EXPECT_EQ(FFLogger().LogLevel(), llWarning);
  EXPECT_EQ(FF.av_log_get_level(), 24);
  FFLogger().SetLogLevelByName("44");
  EXPECT_EQ(FFLogger().LogLevel(), llVerbose);
  EXPECT_EQ(FF.av_log_get_level(), 40);
  FFLogger().SetLogLevelByName("-1");
  EXPECT_EQ(FFLogger().LogLevel(), llQuiet);
  try {
    FFLogger().SetLogLevelByName("loud");
    FAIL() << "an invalid level was accepted";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "'loud' is not a valid integer value");
  }
  EXPECT_EQ(FFLogger().LogLevel(), llQuiet);
}

TEST_F(LoggerTest, LibraryPiecesJoinIntoOneLineWithOnePrefix) {
  TLogCapture capture;
  TFakeContext ctx{FakeClass()};
  FF.av_log(&ctx, AV_LOG_ERROR, "first part, ");
  EXPECT_TRUE(InfosContaining(capture, "first part").empty()) << "an unfinished line was delivered";
  FF.av_log(&ctx, AV_LOG_ERROR, "second part %d\n", 2);

  auto lines = InfosContaining(capture, "first part");
  ASSERT_EQ(lines.size(), 1u);
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "[probe @ %p]", static_cast<void*>(&ctx));
  EXPECT_EQ(lines[0].LogMsg, std::string(prefix) + "first part, second part 2");
  EXPECT_EQ(lines[0].Sender, &FFLogger());
  EXPECT_EQ(lines[0].LogLevel, llError);
  EXPECT_EQ(lines[0].ThreadID, TFFLogger::CurrentThreadID());
}

TEST_F(LoggerTest, LibraryMessageWithTwoLinesGivesTwoEvents) {
  TLogCapture capture;
  FF.av_log(nullptr, AV_LOG_WARNING, "line-one\nline-two\n");
  auto infos = capture.Infos();
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(infos[0].LogMsg, "line-one");
  EXPECT_EQ(infos[1].LogMsg, "line-two");
  EXPECT_EQ(infos[1].LogLevel, llWarning);
}

TEST_F(LoggerTest, LibraryMessagesAboveTheLevelAreDropped) {
  FFLogger().SetLogLevel(llWarning);
  TLogCapture capture;
  FF.av_log(nullptr, AV_LOG_INFO, "too-chatty\n");
  FF.av_log(nullptr, AV_LOG_ERROR, "kept\n");
  EXPECT_FALSE(capture.Contains("too-chatty"));
  EXPECT_TRUE(capture.Contains("kept"));
}

TEST_F(LoggerTest, PartialLinesOfConcurrentThreadsStaySeparate) {
  TLogCapture capture;
  auto writer = [](const char* tag) {
    for (int i = 0; i < 200; ++i) {
      FF.av_log(nullptr, AV_LOG_ERROR, "%s-a", tag);
      FF.av_log(nullptr, AV_LOG_ERROR, "-%s-b\n", tag);
    }
  };
  std::thread t1(writer, "x"), t2(writer, "y");
  t1.join();
  t2.join();
  int x = 0, y = 0;
  for (const std::string& line : capture.Lines()) {
    if (line == "x-a-x-b")
      ++x;
    else if (line == "y-a-y-b")
      ++y;
    else
      ADD_FAILURE() << "mixed line: " << line;
  }
  EXPECT_EQ(x, 200);
  EXPECT_EQ(y, 200);
}

TEST_F(LoggerTest, ComponentMessagesFollowTheDeliveryRule) {
  std::vector<TLogInfo> got;
  FFLogger().SetTriggerEventInMainThread(false);
  FFLogger().SetOnLog(
      [&](const void* sender, std::uint32_t tid, TLogLevel level, const std::string& msg) {
        got.push_back({sender, tid, level, msg});
      });
  int me = 0;
  FFLogger().SetLogLevel(llError);
  FFLogger().Log(&me, llWarning, "warning hidden");
  FFLogger().Log(&me, llError, "error shown");
  FFLogger().Log(&me, llQuiet, "engine error shown");
  FFLogger().Log(&me, llVerbose, "verbose shown");
  FFLogger().SetLogLevel(llQuiet);
  FFLogger().Log(&me, llVerbose, "verbose hidden");
  FFLogger().LogFormat(&me, llQuiet, "%s %d", "formatted", 7);

  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].LogMsg, "error shown");
  EXPECT_EQ(got[1].LogMsg, "engine error shown");
  EXPECT_EQ(got[2].LogMsg, "verbose shown");
  EXPECT_EQ(got[3].LogMsg, "formatted 7");
  EXPECT_EQ(got[3].Sender, &me);
  EXPECT_EQ(got[3].LogLevel, llQuiet);
  EXPECT_EQ(got[3].ThreadID, TFFLogger::CurrentThreadID());
}

TEST_F(LoggerTest, EventsFromWorkersRunOnTheMainThread) {
  TQueuedHandOver handOver;
  SetMainThreadHandOver(&handOver);
  FFLogger().SetTriggerEventInMainThread(true);
  const auto mainId = std::this_thread::get_id();
  std::vector<std::string> onMain, elsewhere;
  FFLogger().SetOnLog([&](const void*, std::uint32_t, TLogLevel, const std::string& msg) {
    (std::this_thread::get_id() == mainId ? onMain : elsewhere).push_back(msg);
  });

  std::atomic<bool> done{false};
  std::uint32_t workerTid = 0;
  std::thread worker([&] {
    workerTid = TFFLogger::CurrentThreadID();
    FFLogger().Log(nullptr, llError, "component");
    FF.av_log(nullptr, AV_LOG_ERROR, "library\n");
    done = true;
  });
  for (int i = 0; i < 500 && !done; ++i) handOver.WaitAndPump(10);
  worker.join();
  SetMainThreadHandOver(nullptr);

  EXPECT_TRUE(elsewhere.empty());
  ASSERT_EQ(onMain.size(), 2u);
  EXPECT_EQ(onMain[0], "component");
  EXPECT_EQ(onMain[1], "library");
  EXPECT_NE(workerTid, TFFLogger::CurrentThreadID());
}
