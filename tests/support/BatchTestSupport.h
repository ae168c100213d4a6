// Shared by the batch, end-to-end and window tests: recorders of the two
// batch views, and a fixture with a first-started settings folder, a source
// list and the main-thread hand-over.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/BatchDriver.h"
#include "app/FirstStart.h"
#include "app/GlobalUnit.h"
#include "app/SourceList.h"
#include "engine/common/MainThread.h"
#include "engine/component/FFmpegVCL.h"
#include "platform/Environment.h"
#include "support/TestFolder.h"

using Clock = std::chrono::steady_clock;

class TRecordingListView : public IBatchListView {
 public:
  void EnableButtons(unsigned buttons) override { Enabled |= buttons; }
  void ListChanged(bool hasRows) override {
    HasRows = hasRows;
    ++Changes;
  }
  void RowChanged(int row) override { ChangedRows.push_back(row); }
  void StopPreview() override { ++PreviewStops; }

  unsigned Enabled = 0;
  bool HasRows = false;
  int Changes = 0;
  int PreviewStops = 0;
  std::vector<int> ChangedRows;
};

// The progress window: runs the batch while pumping the hand-over queue as
// the window's event loop would, and cancels from that loop (as a click on
// Cancel would) once `CancelWhen` says so.
class TRecordingProgressView : public IProgressView {
 public:
  TRecordingProgressView(TBatchDriver& driver, TQueuedHandOver& handOver)
      : driver_(driver), handOver_(handOver) {}

  void RunModal() override {
    Closed = false;
    driver_.StartTasks();
    const auto deadline = Clock::now() + std::chrono::seconds(50);
    while (!Closed && Clock::now() < deadline) {
      handOver_.WaitAndPump(20);
      if (!Cancelled && CancelWhen && CancelWhen(*this)) {
        Cancelled = true;
        driver_.Cancel();
      }
    }
  }
  void Close() override {
    driver_.Cancel();
    Closed = true;
  }
  void ShowProgress(const TProgressTexts& texts) override { Texts.push_back(texts); }
  void SetFilePercent(int percent) override { Percents.push_back(percent); }
  void ShowBatch(const TProgressTexts& batch) override { Batches.push_back(batch); }
  void TaskEnded(const TTerminateInfo& info) override { Ended.push_back(info); }
  void FileWarning(int, const std::string& text) override { Warnings.push_back(text); }
  bool OpenFolderChecked() const override {
    EndedWhenAsked = int(Ended.size());
    return OpenFolder;
  }
  bool ShutDownChecked() const override { return ShutDown; }

  bool OpenFolder = false;
  bool ShutDown = false;
  bool Closed = true;
  bool Cancelled = false;
  // How many task notices the view had seen when the end actions asked for
  // the folder choice; -1 when they never asked.
  mutable int EndedWhenAsked = -1;
  std::function<bool(const TRecordingProgressView&)> CancelWhen;
  std::vector<TProgressTexts> Texts;
  std::vector<TProgressTexts> Batches;  // as each file ended
  std::vector<int> Percents;
  std::vector<TTerminateInfo> Ended;
  std::vector<std::string> Warnings;

 private:
  TBatchDriver& driver_;
  TQueuedHandOver& handOver_;
};

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.Path().empty());
    global_.SetSettingsFile(scratch_.Path() + kSettingsFileName);
    global_.SetFormatFile(scratch_.Path() + kFormatFileName);
    ASSERT_TRUE(FirstStart(global_).ProfileInPlace);
    out_ = scratch_.Sub("out");
    ASSERT_TRUE(TAppSettings(Settings()).SetOutPutDir(out_));
    // One file after another unless a test asks for more: the order of the
    // notices and the counter texts below depend on it.
    ASSERT_TRUE(TAppSettings(Settings()).SetFilesAtOnce(1));
    SetMainThreadHandOver(&handOver_);
    list_ = std::make_unique<TSourceList>(global_.SettingsFile(), global_.FormatFile());
    list_->SetView(&listView_);
  }
  void TearDown() override { SetMainThreadHandOver(nullptr); }

  const std::string& Settings() const { return global_.SettingsFile(); }
  TBuildContext Context() { return {global_.SettingsFile(), global_.FormatFile(), &ui_}; }

  TTestFolder scratch_;
  TGlobalObject global_;
  std::string out_;
  TQueuedHandOver handOver_;
  TDefaultUserInteraction ui_;
  TFFmpegVCL vcl_;
  std::unique_ptr<TSourceList> list_;
  TRecordingListView listView_;
};

// A batch fixture with a driver, its recording progress window (both end
// actions ticked) and end actions that write what they did to a log.
class BatchRunTest : public BatchTest {
 protected:
  void SetUp() override {
    BatchTest::SetUp();
    driver_ = std::make_unique<TBatchDriver>(vcl_, *list_, Context());
    progress_ = std::make_unique<TRecordingProgressView>(*driver_, handOver_);
    driver_->SetProgressView(progress_.get());
    driver_->SetListView(&listView_);
    vcl_.SetProgressInterval(100);
    actionLog_ = scratch_.Path() + "actions.log";
    platform::SetEnv("QUOR_OPEN_COMMAND", "echo open >> '" + actionLog_ + "'; echo");
    platform::SetEnv("QUOR_SHUTDOWN_COMMAND", "echo shutdown >> '" + actionLog_ + "'");
    progress_->OpenFolder = progress_->ShutDown = true;
  }
  void TearDown() override {
    platform::UnsetEnv("QUOR_OPEN_COMMAND");
    platform::UnsetEnv("QUOR_SHUTDOWN_COMMAND");
    BatchTest::TearDown();
  }
  // What the end actions did (they run detached; give them time).
  std::string EndActions() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::ifstream in(actionLog_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::unique_ptr<TBatchDriver> driver_;
  std::unique_ptr<TRecordingProgressView> progress_;
  std::string actionLog_;
};
