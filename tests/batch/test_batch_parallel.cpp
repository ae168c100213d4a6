// Several files of a batch converted side by side: how many run at once,
// the batch as a whole, names that never collide whatever order the files
// finish in, a bad file that fails alone, Cancel and Pause acting on every
// running file, the end actions once, and outputs identical to a batch run
// one file after another.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/BatchJobs.h"
#include "platform/Environment.h"
#include "platform/IniFile.h"
#include "support/BatchTestSupport.h"
#include "support/MediaFactory.h"

namespace {

std::string Clip(double seconds) {
  return TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(seconds));
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Long enough for a file beside it to start and end meanwhile.
std::string LongClip() { return TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(12)); }

bool IsPercent(const std::string& cell) { return !cell.empty() && cell.back() == '%'; }

class BatchParallel : public BatchRunTest {
 protected:
  std::vector<int> TaskOrder() const {
    std::vector<int> order;
    for (const auto& n : driver_->Notices()) order.push_back(n.TaskIndex);
    return order;
  }
  // Both of the first two rows report a share of their own.
  bool TwoRunning() const {
    return IsPercent(list_->Row(0).Progress) && IsPercent(list_->Row(1).Progress);
  }
};

}  // namespace

TEST(FilesAtOnceRule, AutoFollowsTheCoresAndHalvesForEncodersThatThreadWell) {
  EXPECT_EQ(AutoFilesAtOnce(1, false), 1);
  EXPECT_EQ(AutoFilesAtOnce(2, false), 2);
  EXPECT_EQ(AutoFilesAtOnce(3, false), 3);
  EXPECT_EQ(AutoFilesAtOnce(64, false), 4);
  EXPECT_EQ(AutoFilesAtOnce(64, true), 2);
  EXPECT_EQ(AutoFilesAtOnce(4, true), 2);
  EXPECT_EQ(AutoFilesAtOnce(3, true), 2);
  EXPECT_EQ(AutoFilesAtOnce(2, true), 2);  // two cores: two files still pay
  EXPECT_EQ(AutoFilesAtOnce(1, true), 1);
  EXPECT_EQ(AutoFilesAtOnce(0, false), 1);  // an unknown count is one core

  EXPECT_TRUE(EncoderThreadsWell("libx264", 720));
  EXPECT_TRUE(EncoderThreadsWell("libx264", 1080));
  EXPECT_FALSE(EncoderThreadsWell("libx264", 480));
  EXPECT_FALSE(EncoderThreadsWell("libx264", 0));
  EXPECT_FALSE(EncoderThreadsWell("mpeg4", 1080));
  EXPECT_FALSE(EncoderThreadsWell("", 1080));  // sound only

  // A setting of 1..16 is taken as it is, anything else is Auto; never more
  // files than the batch has, never none.
  EXPECT_EQ(FilesAtOnce(kFilesAtOnceAuto, 8, false, 10), 4);
  EXPECT_EQ(FilesAtOnce(1, 8, false, 10), 1);
  EXPECT_EQ(FilesAtOnce(16, 2, true, 20), 16);
  EXPECT_EQ(FilesAtOnce(kFilesAtOnceAuto, 8, true, 10), 2);
  EXPECT_EQ(FilesAtOnce(17, 8, false, 10), 4);
  EXPECT_EQ(FilesAtOnce(-3, 2, false, 10), 2);
  EXPECT_EQ(FilesAtOnce(6, 8, false, 3), 3);
  EXPECT_EQ(FilesAtOnce(6, 8, false, 0), 1);
  EXPECT_GE(ProcessorCount(), 1);
  EXPECT_EQ(FilesAtOnceText(0), "Auto");
  EXPECT_EQ(FilesAtOnceText(12), "12");
}

TEST(BatchProgressTest, TheBatchWeighsItsFilesAndFollowsTheFirstRunning) {
  TBatchProgress batch;
  batch.Reset({1000000, 3000000, 4000000});
  EXPECT_EQ(batch.Percent(), 0);
  EXPECT_EQ(batch.Shown(), -1);
  // Files 2 and 3 run; the window follows the first of them, also before
  // it has said anything.
  batch.Started(1);
  batch.Report(2, 2000000, 4000000);
  EXPECT_EQ(batch.Shown(), 1);
  batch.Report(1, 1500000, 3000000);
  EXPECT_EQ(batch.Shown(), 1);
  EXPECT_EQ(batch.Running(), 2);
  EXPECT_EQ(batch.Percent(), (1500000 + 2000000) * 100 / 8000000);
  // File 2 ends first, even twice: it counts once, whole; file 3 is shown.
  batch.Ended(1);
  batch.Ended(1);
  EXPECT_EQ(batch.Done(), 1);
  EXPECT_EQ(batch.Shown(), 2);
  EXPECT_EQ(batch.Percent(), (3000000 + 2000000) * 100 / 8000000);
  EXPECT_EQ(batch.FilesText(), "1 of 3 done");
  // A report after the end changes nothing; a stopped file counts as ended.
  batch.Report(1, 0, 3000000);
  batch.Ended(2);
  batch.Ended(0);
  EXPECT_EQ(batch.Percent(), 100);
  EXPECT_EQ(batch.Running(), 0);
  EXPECT_EQ(batch.Shown(), -1);

  // One unknown length: every file weighs the same.
  batch.Reset({1000000, -1});
  batch.Report(0, 500000, 1000000);
  EXPECT_EQ(batch.Percent(), 25);
  batch.Reset({});
  EXPECT_EQ(batch.Percent(), -1);

  EXPECT_EQ(BatchLeftMs(10000, 0.01), -1);  // too early to tell
  EXPECT_EQ(BatchLeftMs(10000, 0.25), 30000);
  EXPECT_EQ(BatchLeftMs(10000, 1.0), 0);
  TProgressTexts texts;
  texts.Files = "1 of 3 done";
  texts.Running = 1;
  EXPECT_EQ(BatchLineText(texts), "1 of 3 done");
  texts.Running = 2;
  texts.BatchTimeLeft = "0:30 left";
  EXPECT_EQ(BatchLineText(texts), "1 of 3 done, 2 running, 0:30 left");
}

// Two sources of one name: the first in the list gets _(new), the second
// _(new_1), although the second, much shorter, finishes first.
TEST_F(BatchParallel, NamesFollowTheListWhateverOrderTheFilesFinishIn) {
  const std::string a = scratch_.Sub("a") + "same.mp4";
  const std::string b = scratch_.Sub("b") + "same.mp4";
  std::filesystem::copy_file(LongClip(), a);
  std::filesystem::copy_file(Clip(0.6), b);
  list_->Add(vcl_, {a, b}, &ui_);
  driver_->SetFilesAtOnce(2);
  ASSERT_TRUE(driver_->Start());

  EXPECT_EQ(driver_->FilesAtOnce(), 2);
  EXPECT_EQ(TaskOrder(), (std::vector<int>{1, 0, -1}));
  ASSERT_EQ(driver_->OutputFiles(),
            (std::vector<std::string>{out_ + "same_(new).mp4", out_ + "same_(new_1).mp4"}));
  EXPECT_NEAR(TestMedia::ScanVideo(driver_->OutputFiles()[0]).Duration, 12.0, 0.15);
  EXPECT_NEAR(TestMedia::ScanVideo(driver_->OutputFiles()[1]).Duration, 0.6, 0.15);
  EXPECT_EQ(driver_->Summary().Converted, 2);
}

// The setting of the settings file: a cut file between two good ones fails
// its own row only, and the end actions run once, after the last file has
// ended, although the last in the list ends before the first.
TEST_F(BatchParallel, ABadFileFailsOnlyItsRowAndTheEndActionsRunOnce) {
  ASSERT_TRUE(TAppSettings(Settings()).SetFilesAtOnce(2));
  const std::string cut = TestMedia::Truncated(MediaSpec::Mkv().Size(176, 144).Seconds(3), 0.4);
  list_->Add(vcl_, {LongClip(), cut, Clip(0.6)}, &ui_);
  ASSERT_EQ(list_->Count(), 3);
  ASSERT_TRUE(driver_->Start());
  EXPECT_TRUE(driver_->SkippedRows().empty());  // the cut file ran
  EXPECT_EQ(TaskOrder(), (std::vector<int>{1, 2, 0, -1}));
  EXPECT_EQ(progress_->EndedWhenAsked, 3);
  // The batch row counts each file as it ends, and is whole, with nothing
  // left, while the end actions run.
  std::vector<std::string> counts;
  for (const TProgressTexts& b : progress_->Batches) counts.push_back(b.Files);
  EXPECT_EQ(counts, (std::vector<std::string>{"1 of 3 done", "2 of 3 done", "3 of 3 done"}));
  ASSERT_FALSE(progress_->Batches.empty());
  EXPECT_EQ(progress_->Batches.back().BatchPercent, 100);
  EXPECT_EQ(progress_->Batches.back().BatchTimeLeft, "");

  EXPECT_EQ(driver_->FilesAtOnce(), 2);
  ASSERT_EQ(driver_->Notices().size(), 4u);
  EXPECT_EQ(driver_->Notices().back().TaskIndex, -1);
  EXPECT_EQ(list_->Row(0).Progress, "100%");
  EXPECT_EQ(list_->Row(2).Progress, "100%");
  EXPECT_NE(list_->Row(1).Progress, "100%");
  EXPECT_FALSE(list_->Row(1).ProgressTip.empty()) << list_->Row(1).Progress;
  EXPECT_EQ(driver_->Summary().Converted, 2);
  EXPECT_EQ(driver_->Summary().Failed, 1);
  EXPECT_TRUE(progress_->Closed);
  const std::string actions = EndActions();
  EXPECT_EQ(actions.size(), std::string("open\nshutdown\n").size()) << actions;
  EXPECT_NE(actions.find("open\n"), std::string::npos);
  EXPECT_NE(actions.find("shutdown\n"), std::string::npos);
}

// Cancel with two files running stops both; each keeps a playable part, the
// third never starts, and no end action runs.
TEST_F(BatchParallel, CancelStopsEveryRunningFileAndKeepsTheirParts) {
  list_->Add(vcl_, {LongClip(), Clip(12), Clip(1)}, &ui_);
  driver_->SetFilesAtOnce(2);
  progress_->CancelWhen = [this](const TRecordingProgressView&) { return TwoRunning(); };
  ASSERT_TRUE(driver_->Start());

  ASSERT_TRUE(progress_->Cancelled);
  ASSERT_EQ(driver_->Notices().size(), 4u);
  for (const auto& n : driver_->Notices()) {
    if (n.TaskIndex < 0) continue;
    EXPECT_FALSE(n.Completed) << n.TaskIndex;
    EXPECT_FALSE(n.Failed) << n.TaskIndex << ": " << n.ErrorMessage;
  }
  for (int task : {0, 1}) {
    const TestMedia::VideoStats part = TestMedia::ScanVideo(driver_->OutputFiles()[size_t(task)]);
    EXPECT_GT(part.Frames, 0) << task;
    EXPECT_LT(part.Duration, 11.5) << task;
  }
  EXPECT_EQ(list_->Row(2).Progress, "");
  EXPECT_EQ(driver_->Summary().Stopped, 3);
  EXPECT_EQ(EndActions(), "");
}

// Pause holds both running files: neither output grows until Resume, and
// then every file converts to its end.
TEST_F(BatchParallel, PauseHoldsEveryRunningFileUntilResume) {
  list_->Add(vcl_, {Clip(6), Clip(6.5), Clip(0.8)}, &ui_);
  driver_->SetFilesAtOnce(2);
  enum { kRunning, kPaused, kResumed } state = kRunning;
  Clock::time_point pausedAt;
  std::vector<std::string> cells;
  bool held = true;
  progress_->CancelWhen = [&](const TRecordingProgressView&) {
    if (state == kRunning && TwoRunning()) {
      driver_->Pause();
      pausedAt = Clock::now();
      state = kPaused;
    } else if (state == kPaused) {
      const auto paused = Clock::now() - pausedAt;
      // Reports already on their way when Pause came are let through.
      if (paused > std::chrono::milliseconds(300) && cells.empty())
        cells = {list_->Row(0).Progress, list_->Row(1).Progress};
      if (paused > std::chrono::milliseconds(900)) {
        held = cells == std::vector<std::string>{list_->Row(0).Progress, list_->Row(1).Progress};
        driver_->Resume();
        state = kResumed;
      }
    }
    return false;
  };
  ASSERT_TRUE(driver_->Start());

  EXPECT_EQ(state, kResumed);
  EXPECT_TRUE(held) << cells[0] << " " << cells[1];
  for (const auto& n : driver_->Notices()) EXPECT_TRUE(n.Completed) << n.TaskIndex;
  EXPECT_EQ(driver_->Summary().Converted, 3);
}

// One file at a time and side by side write the same bytes.
TEST_F(BatchParallel, SideBySideOutputsAreIdenticalToOneAtATime) {
  ASSERT_TRUE(platform::WriteIniString(Settings(), "settings", "FormatCode", "104"));
  list_->Add(vcl_, {Clip(1.1), Clip(0.9), Clip(1.3)}, &ui_);
  std::vector<std::string> first;
  for (int files : {1, 3}) {
    const std::string folder = scratch_.Sub("out" + std::to_string(files));
    ASSERT_TRUE(TAppSettings(Settings()).SetOutPutDir(folder));
    driver_->SetFilesAtOnce(files);
    ASSERT_TRUE(driver_->Start());
    EXPECT_EQ(driver_->FilesAtOnce(), files);
    EXPECT_EQ(driver_->Summary().Converted, 3);
    std::vector<std::string> bytes;
    for (const auto& f : driver_->OutputFiles()) bytes.push_back(ReadAll(f));
    if (first.empty()) {
      first = bytes;
      continue;
    }
    ASSERT_EQ(bytes.size(), first.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
      EXPECT_FALSE(bytes[i].empty()) << i;
      EXPECT_TRUE(bytes[i] == first[i]) << "output " << i << " differs";
    }
  }
}

// Auto as a batch meets it on an eight-core machine: four files at once,
// two for H.264 at 720 lines. The choice is made before the files start, so
// each batch is cancelled on its first report.
TEST_F(BatchParallel, AutoTakesTwoForHighDefinitionH264AndFourOtherwise) {
  ASSERT_TRUE(TAppSettings(Settings()).SetFilesAtOnce(kFilesAtOnceAuto));
  ASSERT_TRUE(platform::WriteIniString(Settings(), "formatInfo103", "paraVideoSize", "1280x720"));
  list_->Add(vcl_, {LongClip(), Clip(1), Clip(1.1), Clip(1.2), Clip(1.3)}, &ui_);
  progress_->CancelWhen = [](const TRecordingProgressView&) { return true; };
  driver_->SetProcessorCount(8);
  for (const auto& [code, files] : {std::pair{103, 2}, std::pair{104, 4}}) {
    ASSERT_TRUE(TAppSettings(Settings()).SetFormatCode(code));
    progress_->Cancelled = false;
    ASSERT_TRUE(driver_->Start());
    EXPECT_EQ(driver_->FilesAtOnce(), files) << code;
    // A one-second clip may end before the cancel is seen on a slow
    // machine; none fails, and the long one is always stopped.
    const TBatchSummary summary = driver_->Summary();
    EXPECT_EQ(summary.Failed, 0) << code;
    EXPECT_GE(summary.Stopped, 1) << code;
    EXPECT_EQ(summary.Stopped + summary.Converted, 5) << code;
  }
}

// Side by side, the files after the first are prepared while those convert:
// a file removed after Start, before its turn, fails its own row with the
// reason, and the batch counts one file less. A trim past a file's end
// still stops the whole batch before anything converts, wherever the file
// is in the list.
TEST_F(BatchParallel, FilesPreparedWhileOthersConvertFailAlone) {
  const std::string late = scratch_.Path() + "late.mp4";
  std::filesystem::copy_file(Clip(0.8), late);
  const std::string longer = TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(4));
  list_->Add(vcl_, {longer, LongClip(), Clip(0.6), Clip(0.7), late}, &ui_);
  ASSERT_EQ(list_->Count(), 5);
  driver_->SetFilesAtOnce(2);
  list_->Record(4).TrimStart = 5000000;
  try {
    driver_->Start();
    ADD_FAILURE() << "a trim past the end of the fifth file was accepted";
  } catch (const EConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("at or after its end"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(driver_->Notices().empty());
  EXPECT_TRUE(std::filesystem::is_empty(out_));
  vcl_.ClearTasks();

  list_->Record(4).TrimStart = 0;
  bool removed = false;
  progress_->CancelWhen = [&](const TRecordingProgressView&) {
    // Two files run and two wait ready: the fifth is prepared only once
    // one of the first has ended.
    if (!removed) removed = std::filesystem::remove(late);
    return false;
  };
  ASSERT_TRUE(driver_->Start());
  ASSERT_TRUE(removed);
  ASSERT_EQ(driver_->SkippedRows().size(), 1u);
  EXPECT_EQ(driver_->SkippedRows()[0].Row, 4);
  EXPECT_NE(list_->Row(4).Progress.find("late.mp4"), std::string::npos) << list_->Row(4).Progress;
  EXPECT_EQ(driver_->TaskRows(), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(driver_->Summary().Converted, 4);
  EXPECT_EQ(driver_->Summary().Failed, 1);
  for (int row = 0; row < 4; ++row) EXPECT_EQ(list_->Row(row).Progress, "100%") << row;
  ASSERT_FALSE(progress_->Texts.empty());
  EXPECT_NE(progress_->Texts.back().Files.find(" of 4 done"), std::string::npos)
      << progress_->Texts.back().Files;
  EXPECT_EQ(progress_->Texts.back().Counter.substr(2), "/4]");
  // The last file converted is good, so the end actions ran, once.
  const std::string actions = EndActions();
  EXPECT_EQ(actions.size(), std::string("open\nshutdown\n").size()) << actions;
  EXPECT_NE(actions.find("open\n"), std::string::npos) << actions;
}
