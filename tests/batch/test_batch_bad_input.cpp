// Files and folders that change under a batch: sources removed or spoilt
// between Add and Start, an output folder that goes away while a file is
// written, and a disk that fills up. A failed file says why in its row,
// never counts as done, and what was finished before it stays.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/Environment.h"
#include "support/BatchTestSupport.h"
#include "support/ChildProcess.h"
#include "support/MediaFactory.h"

namespace {

std::string Clip(double seconds) {
  return TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(seconds));
}
// Busy long enough for something to happen to its output while it converts.
std::string LongClip() {
  return TestMedia::Get(MediaSpec::Mp4().Size(640, 360).Seconds(12).Grainy());
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class BatchBadInput : public BatchRunTest {
 protected:
  // A copy of `clip` of our own, to remove or spoil.
  std::string Copy(const std::string& clip, const std::string& name) {
    const std::string path = scratch_.Sub("sources") + name;
    std::filesystem::copy_file(clip, path);
    return path;
  }
  std::vector<TTerminateInfo> TaskNotices() const {
    std::vector<TTerminateInfo> tasks;
    for (const auto& n : driver_->Notices())
      if (n.TaskIndex >= 0) tasks.push_back(n);
    return tasks;
  }
  // The row failed with `why` in its Progress cell and its tip.
  void ExpectFailedRow(int row, const std::string& why) {
    const TSourceRow& r = list_->Row(row);
    EXPECT_TRUE(Contains(r.Progress, why)) << row << ": " << r.Progress;
    EXPECT_EQ(r.ProgressTip, r.Progress) << row;
  }
};

}  // namespace

TEST_F(BatchBadInput, ASourceGoneOrSpoiltSinceAddFailsItsRowAndTheOthersConvert) {
  const std::string removed = Copy(Clip(1.2), "removed.mp4");
  const std::string spoilt = Copy(Clip(1.4), "spoilt.mp4");
  const std::string locked = Copy(Clip(1.6), "locked.mp4");
  const std::string good = Copy(Clip(1.0), "good.mp4");
  // Permissions do not stop the superuser, so the locked file only counts
  // for others.
  const bool canLock = ::geteuid() != 0;
  std::vector<std::string> files = {removed, spoilt, good};
  if (canLock) files.push_back(locked);
  list_->Add(vcl_, files, &ui_);
  ASSERT_EQ(list_->Count(), int(files.size()));

  std::filesystem::remove(removed);
  std::ofstream(spoilt, std::ios::trunc) << std::string(4096, 'x');
  if (canLock) std::filesystem::permissions(locked, std::filesystem::perms::none);
  ASSERT_TRUE(driver_->Start());

  // The good file converts; the others fail in their rows with the
  // converter's reason.
  ASSERT_EQ(TaskNotices().size(), 1u);
  EXPECT_TRUE(TaskNotices()[0].Completed) << TaskNotices()[0].ErrorMessage;
  EXPECT_EQ(driver_->TaskRows(), std::vector<int>{2});
  EXPECT_EQ(list_->Row(2).Progress, "100%");
  EXPECT_TRUE(std::filesystem::exists(driver_->OutputFiles().at(0)));
  ExpectFailedRow(0, "No such file or directory");
  ExpectFailedRow(1, "Invalid data");
  if (canLock) ExpectFailedRow(3, "Permission denied");
  ASSERT_EQ(driver_->SkippedRows().size(), files.size() - 1);
  EXPECT_EQ(driver_->SkippedRows()[0].Row, 0);
  EXPECT_EQ(driver_->Summary().Converted, 1);
  EXPECT_EQ(driver_->Summary().Failed, int(files.size()) - 1);
  // Nothing was written for the files that failed.
  for (const auto& entry : std::filesystem::directory_iterator(out_))
    EXPECT_TRUE(Contains(entry.path().filename().string(), "good")) << entry.path();
  EXPECT_TRUE(progress_->Closed);
}

TEST_F(BatchBadInput, WhenEveryFileFailsNoWindowRunsAndTheBatchEnds) {
  const std::string removed = Copy(Clip(1.2), "removed.mp4");
  list_->Add(vcl_, {removed}, &ui_);
  std::filesystem::remove(removed);
  bool finished = false;
  driver_->OnBatchFinished = [&](const TBatchSummary& s) {
    finished = true;
    EXPECT_EQ(s.Failed, 1);
  };
  ASSERT_TRUE(driver_->Start());
  EXPECT_TRUE(finished);
  EXPECT_TRUE(progress_->Texts.empty());  // the window never ran
  EXPECT_EQ(vcl_.TaskCount(), 0);
  EXPECT_EQ(listView_.Enabled & 15u, 15u);
  ExpectFailedRow(0, "No such file or directory");
  EXPECT_EQ(EndActions(), "");
}

TEST_F(BatchBadInput, AnOutputFolderThatGoesAwayStopsTheFileAndKeepsTheEarlierOutputs) {
  list_->Add(vcl_, {Clip(1.0), LongClip(), Clip(1.4)}, &ui_);
  const std::string moved = scratch_.Path() + "moved";
  bool gone = false;
  progress_->CancelWhen = [&](const TRecordingProgressView& v) {
    if (!gone && !v.Texts.empty() && v.Texts.back().Counter == "[2/3]") {
      std::filesystem::rename(out_.substr(0, out_.size() - 1), moved);
      gone = true;
    }
    return false;
  };
  ASSERT_TRUE(driver_->Start());
  ASSERT_TRUE(gone);

  const auto tasks = TaskNotices();
  ASSERT_EQ(tasks.size(), 3u);
  EXPECT_TRUE(tasks[0].Completed);
  // The file being written when its folder went, and the one after it,
  // whose output had been made there too.
  for (int i : {1, 2}) {
    EXPECT_TRUE(tasks[size_t(i)].Failed) << i;
    EXPECT_FALSE(tasks[size_t(i)].Completed) << i;
    EXPECT_TRUE(Contains(tasks[size_t(i)].ErrorMessage, "is gone"))
        << tasks[size_t(i)].ErrorMessage;
    ExpectFailedRow(i, "is gone");
  }
  EXPECT_EQ(list_->Row(0).Progress, "100%");
  EXPECT_EQ(driver_->Summary().Converted, 1);
  EXPECT_EQ(driver_->Summary().Failed, 2);
  // The first output went with the folder, whole.
  const std::string first =
      moved + "/" + std::filesystem::path(driver_->OutputFiles()[0]).filename().string();
  EXPECT_NEAR(TestMedia::ScanVideo(first).Duration, 1.0, 0.1) << first;
  EXPECT_EQ(EndActions(), "");
}

// A real full disk: a small memory file system, where the system lets us
// make one.
TEST_F(BatchBadInput, AFullDiskStopsTheFileWithAMessageAndKeepsTheEarlierOutputs) {
  const std::string small = scratch_.Sub("small");
  if (::mount("tmpfs", small.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=512k") != 0)
    GTEST_SKIP() << "cannot make a small file system here";
  struct TUnmount {
    std::string Path;
    ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{small};
  ASSERT_TRUE(TAppSettings(Settings()).SetOutPutDir(small));
  list_->Add(vcl_, {Clip(1.0), LongClip()}, &ui_);
  ASSERT_TRUE(driver_->Start());

  const auto tasks = TaskNotices();
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_TRUE(tasks[0].Completed) << tasks[0].ErrorMessage;
  EXPECT_TRUE(tasks[1].Failed);
  EXPECT_FALSE(tasks[1].Completed);
  EXPECT_TRUE(Contains(tasks[1].ErrorMessage, "The disk is full")) << tasks[1].ErrorMessage;
  ExpectFailedRow(1, "The disk is full");
  EXPECT_EQ(list_->Row(0).Progress, "100%");
  EXPECT_NEAR(TestMedia::ScanVideo(driver_->OutputFiles()[0]).Duration, 1.0, 0.1);
  EXPECT_EQ(EndActions(), "");
}

// The same through the command-line converter with a file size limit, which
// needs no privileges: a write past it fails as on a full disk.
TEST(BatchBadInputCli, AFileSizeLimitStopsTheFileThatReachesItAndKeepsTheOthers) {
  TTestFolder scratch;
  const std::string out = scratch.Sub("out"), appData = scratch.Sub("appdata");
  const std::string first = Clip(1.0), second = LongClip();
  TChildProcess child;
  child.SetFileSizeLimit(400 * 1024);
  ASSERT_TRUE(
      child.Start(QUOR_CONVERT, {"--output-dir", out, first, second}, {{"QUOR_APPDATA", appData}}));
  EXPECT_EQ(child.Wait(), 1) << child.Out() << child.Err();
  const std::string firstOutput = out + std::filesystem::path(first).stem().string() + "_(new).mp4";
  const std::string secondOutput =
      out + std::filesystem::path(second).stem().string() + "_(new).mp4";
  EXPECT_TRUE(Contains(child.Out(), "done: " + firstOutput)) << child.Out();
  EXPECT_FALSE(Contains(child.Out(), "done: " + secondOutput)) << child.Out();
  EXPECT_TRUE(Contains(child.Err(), "failed: " + secondOutput + ": The file is too large"))
      << child.Err();
  EXPECT_NEAR(TestMedia::ScanVideo(firstOutput).Duration, 1.0, 0.1);
}
