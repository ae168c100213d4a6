// The source list and the batch driver in the program's own process: rows
// and records from Add, Remove's selection, Start's preparation, the
// progress texts, the order of the end notices, a stop in the middle of a
// batch, the end-of-batch actions, and the first start's settings seeding.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/BatchDriver.h"
#include "app/FirstStart.h"
#include "app/GlobalUnit.h"
#include "app/SourceList.h"
#include "engine/common/MainThread.h"
#include "engine/component/FFmpegVCL.h"
#include "platform/Environment.h"
#include "platform/IniFile.h"
#include "profiles/FormatCatalog.h"
#include "support/BatchTestSupport.h"
#include "support/MediaFactory.h"

namespace {

// Short clips of distinct names (each spec is its own cached file).
std::string Clip(double seconds, int width = 176, int height = 144) {
  return TestMedia::Get(MediaSpec::Mp4().Size(width, height).Seconds(seconds));
}

}  // namespace

TEST(FirstStartTest, SeedsEveryFormatOnceAndKeepsWhatTheUserChose) {
  TTestFolder scratch;
  TGlobalObject global;
  global.SetSettingsFile(scratch.Path() + kSettingsFileName);
  global.SetFormatFile(scratch.Path() + kFormatFileName);

  const TFirstStartResult first = FirstStart(global);
  EXPECT_TRUE(first.ProfileInPlace);
  EXPECT_EQ(first.SeededSections, int(FormatCatalog().size()) + 1);
  // The default format now has encoders to convert with.
  EXPECT_EQ(platform::ReadIniString(global.SettingsFile(), "formatInfo1", "paraVideoEncoder", ""),
            "mpeg4");
  EXPECT_FALSE(platform::ReadIniString(global.SettingsFile(), "formatInfo1", "paraAudioEncoder", "")
                   .empty());

  ASSERT_TRUE(
      platform::WriteIniString(global.SettingsFile(), "formatInfo104", "paraVideoSize", "176x144"));
  const TFirstStartResult again = FirstStart(global);
  EXPECT_EQ(again.SeededSections, 0);
  EXPECT_EQ(platform::ReadIniString(global.SettingsFile(), "formatInfo104", "paraVideoSize", ""),
            "176x144");
}

TEST(FirstStartTest, WithoutAProfileNothingIsSeeded) {
  TTestFolder scratch;
  TGlobalObject global;
  global.SetSettingsFile(scratch.Path() + kSettingsFileName);
  global.SetFormatFile(scratch.Path() + kFormatFileName);
  const TFirstStartResult result = FirstStart(global, scratch.Sub("nodata"));
  EXPECT_FALSE(result.ProfileInPlace);
  EXPECT_EQ(result.SeededSections, 0);
  EXPECT_FALSE(platform::IniSectionExists(global.SettingsFile(), "formatInfo1"));
}

TEST(BatchRules, OutputLengthIsCutAtThirtyMinutes) {
  const std::int64_t min = 60000000;
  EXPECT_EQ(OutputDurationFor(20 * min, 0), OptionNoTime);
  EXPECT_EQ(OutputDurationFor(20 * min, 5 * min), 5 * min);
  EXPECT_EQ(OutputDurationFor(45 * min, 0), kLongestOutputUs);
  EXPECT_EQ(OutputDurationFor(45 * min, 10 * min), 10 * min);
  EXPECT_EQ(OutputDurationFor(45 * min, 35 * min), kLongestOutputUs);
  // A probe that could not tell leaves -1: not longer than the limit.
  EXPECT_EQ(OutputDurationFor(-1, 0), OptionNoTime);
}

TEST(BatchRules, ProgressTextsWithKnownAndUnknownLength) {
  TProgressInfo info;
  info.TaskIndex = 1;
  info.CurrentDuration = 12500000;
  info.TotalDuration = 50000000;
  info.CurrentSize = 2048999;
  TProgressTexts t = MakeProgressTexts(info, 3, "/v/clip.mp4");
  EXPECT_EQ(t.Percent, 25);
  EXPECT_EQ(t.Elapsed, "12 Second");
  EXPECT_EQ(t.Length, "50 Second");
  EXPECT_EQ(t.Size, "2048 kb");
  EXPECT_EQ(t.Counter, "[2/3]");
  EXPECT_EQ(t.File, "/v/clip.mp4");

  for (std::int64_t total : {std::int64_t(-1), std::int64_t(0)}) {
    info.TotalDuration = total;
    t = MakeProgressTexts(info, 3, "/v/clip.mp4");
    EXPECT_EQ(t.Percent, -1);
    EXPECT_EQ(t.Length, "");
    EXPECT_EQ(t.Elapsed, "12 Second");
  }
  // Running past the expected length does not push the bar beyond its end.
  info.TotalDuration = 10000000;
  EXPECT_EQ(MakeProgressTexts(info, 3, "x").Percent, 100);
}

TEST(BatchRules, LongFileLabelsKeepTheirExtension) {
  const std::string fifty(50, 'a');
  EXPECT_EQ(ShortFileLabel(fifty), fifty);
  const std::string longName = "/media/" + std::string(60, 'b') + ".mp4";
  EXPECT_EQ(ShortFileLabel(longName), longName.substr(0, 44) + "...mp4");
  // A dot in a folder name is no extension.
  const std::string noExt = "/media/x.y/" + std::string(60, 'c');
  EXPECT_EQ(ShortFileLabel(noExt), noExt.substr(0, 44) + "..");
  // Characters, not bytes: a multi-byte character is never cut in two.
  std::string wide;
  for (int i = 0; i < 60; ++i) wide += "\xC3\xA9";  // é
  const std::string label = ShortFileLabel(wide + ".avi");
  EXPECT_EQ(label, wide.substr(0, 88) + "...avi");
}

TEST_F(BatchTest, AddProbesFilesAndSkipsDuplicatesFoldersAndUnreadableFiles) {
  const std::string clip = Clip(2);
  const std::string upper = scratch_.Path() + "CLIP.mp4";
  const std::string lower = scratch_.Path() + "clip.mp4";
  std::filesystem::copy_file(clip, upper);
  std::filesystem::copy_file(clip, lower);
  const std::string garbage = TestMedia::Garbage(5000);

  TAddResult r = list_->Add(vcl_, {upper, lower, upper, scratch_.Sub("folder"), garbage}, &ui_);
  EXPECT_EQ(r.Added, 2);
  EXPECT_EQ(r.Duplicates, std::vector<std::string>{upper});
  ASSERT_EQ(r.Skipped.size(), 2u);
  EXPECT_EQ(r.Skipped[1].first, garbage);
  r = list_->Add(vcl_, {lower}, &ui_);
  EXPECT_EQ(r.Added, 0);

  ASSERT_EQ(list_->Count(), 2);
  EXPECT_EQ(vcl_.TaskCount(), 0);
  EXPECT_EQ(list_->Selected(), 0);
  EXPECT_TRUE(listView_.HasRows);
  EXPECT_EQ(listView_.Enabled,
            unsigned(IBatchListView::btStart | IBatchListView::btClear | IBatchListView::btRemove));
  const TSourceRow& row = list_->Row(0);
  EXPECT_EQ(row.Caption, upper);
  EXPECT_EQ(row.Length, "2");
  EXPECT_EQ(row.TrimmedLength, "2");
  EXPECT_EQ(row.DestinationFile, "CLIP_(new).mp4");
  EXPECT_EQ(list_->Row(1).DestinationFile, "clip_(new).mp4");
  EXPECT_TRUE(row.Checked);
  EXPECT_EQ(row.Progress, "");
  const TlvFilesRecord& rec = *row.Record;
  EXPECT_EQ(rec.SourceFile, upper);
  EXPECT_EQ(rec.Zoom, "full");  // the seeded factory choice
  EXPECT_FALSE(rec.HasEffects());
}

TEST_F(BatchTest, RemoveSelectsANeighbourAndClearEmptiesTheList) {
  list_->Add(vcl_, {Clip(1), Clip(1.2), Clip(1.4)}, &ui_);
  ASSERT_EQ(list_->Count(), 3);
  const std::string second = list_->Row(1).Caption;
  list_->Select(2);
  list_->Remove();
  EXPECT_EQ(list_->Selected(), 1);
  list_->Select(0);
  list_->Remove();
  EXPECT_EQ(list_->Selected(), 0);
  EXPECT_EQ(list_->Row(0).Caption, second);
  EXPECT_EQ(listView_.PreviewStops, 0);
  list_->Remove();
  EXPECT_EQ(list_->Count(), 0);
  EXPECT_EQ(list_->Selected(), -1);
  EXPECT_FALSE(listView_.HasRows);
  EXPECT_EQ(listView_.PreviewStops, 1);
  list_->Remove();  // nothing selected: nothing happens
  list_->Clear(vcl_);
  EXPECT_EQ(listView_.PreviewStops, 1);

  list_->Add(vcl_, {Clip(1), Clip(1.2)}, &ui_);
  list_->Clear(vcl_);
  EXPECT_EQ(list_->Count(), 0);
  EXPECT_EQ(listView_.PreviewStops, 2);
}

TEST_F(BatchTest, StartWithoutACheckedRowOnlyWarns) {
  list_->Add(vcl_, {Clip(1)}, &ui_);
  list_->SetChecked(0, false);
  TBatchDriver driver(vcl_, *list_, Context());
  TRecordingProgressView progress(driver, handOver_);
  driver.SetProgressView(&progress);
  EXPECT_FALSE(driver.Start());
  ASSERT_EQ(ui_.Warnings.size(), 1u);
  EXPECT_EQ(ui_.Warnings[0].Caption, "Warning");
  EXPECT_EQ(ui_.Warnings[0].Text, "Please select a file by clicking the check box!");
  EXPECT_TRUE(progress.Texts.empty());
  EXPECT_TRUE(progress.Closed);
}

TEST_F(BatchTest, CheckedRowsConvertInOrderAndTheLastOneTriggersTheEndActions) {
  std::vector<std::string> clips;
  for (int i = 0; i < 5; ++i) clips.push_back(Clip(1 + 0.1 * i));
  list_->Add(vcl_, clips, &ui_);
  ASSERT_EQ(list_->Count(), 5);
  for (int row : {0, 2, 4}) list_->SetChecked(row, false);
  list_->Record(3).Brightness = 300;  // an effect switches the hook on

  const std::string log = scratch_.Path() + "shell.log";
  platform::SetEnv("QUOR_OPEN_COMMAND", "echo open >> '" + log + "'; echo");
  platform::SetEnv("QUOR_SHUTDOWN_COMMAND", "echo shutdown >> '" + log + "'");
  ASSERT_TRUE(platform::WriteIniString(Settings(), "settings", "priority", "2"));

  TBatchDriver driver(vcl_, *list_, Context());
  std::vector<int> hookedTasks;
  driver.SetFrameHook([&](const TlvFilesRecord& r, THookInfo& info) {
    if (hookedTasks.empty()) hookedTasks.push_back(info.TaskIndex);
    EXPECT_EQ(r.Brightness, 300);
  });
  TRecordingProgressView progress(driver, handOver_);
  progress.OpenFolder = progress.ShutDown = true;
  driver.SetProgressView(&progress);
  driver.SetListView(&listView_);
  vcl_.SetProgressInterval(100);
  ASSERT_TRUE(driver.Start());
  platform::UnsetEnv("QUOR_OPEN_COMMAND");
  platform::UnsetEnv("QUOR_SHUTDOWN_COMMAND");

  EXPECT_EQ(vcl_.ThreadPriority(), tpLower);
  EXPECT_EQ(driver.TaskRows(), (std::vector<int>{1, 3}));
  EXPECT_EQ(hookedTasks, std::vector<int>{1});
  ASSERT_EQ(driver.Notices().size(), 3u);
  EXPECT_EQ(driver.Notices()[0].TaskIndex, 0);
  EXPECT_EQ(driver.Notices()[1].TaskIndex, 1);
  EXPECT_EQ(driver.Notices()[2].TaskIndex, -1);
  for (const auto& n : driver.Notices()) EXPECT_TRUE(n.Completed) << n.ErrorMessage;
  EXPECT_EQ(list_->Row(1).Progress, "100%");
  EXPECT_EQ(list_->Row(3).Progress, "100%");
  EXPECT_EQ(list_->Row(0).Progress, "");
  EXPECT_EQ(vcl_.TaskCount(), 0);  // the final notice clears the tasks
  EXPECT_TRUE(progress.Closed);
  EXPECT_EQ(listView_.Enabled & 15u, 15u);
  EXPECT_FALSE(driver.PreviewBitmap().Empty());
  for (const auto& f : driver.OutputFiles()) EXPECT_TRUE(std::filesystem::exists(f)) << f;

  bool sawFirst = false, sawSecond = false;
  int batchPercent = 0;
  for (const auto& t : progress.Texts) {
    sawFirst |= t.Counter == "[1/2]";
    sawSecond |= t.Counter == "[2/2]";
    // The batch's share never goes back; the second file starts at the
    // first one's share of the two lengths (1.1 s of 2.4 s).
    EXPECT_GE(t.BatchPercent, batchPercent) << t.Counter;
    batchPercent = t.BatchPercent;
    if (t.Counter == "[2/2]") {
      EXPECT_GE(t.BatchPercent, 45);
    }
    if (t.Percent < kEstimateFromPercent) {
      EXPECT_EQ(t.TimeLeft, "") << t.Percent;
    }
  }
  EXPECT_TRUE(sawFirst);
  EXPECT_TRUE(sawSecond);
  ASSERT_FALSE(progress.Percents.empty());
  EXPECT_EQ(progress.Percents.back(), 100);

  // Both actions, once, after the last file.
  std::string text;
  for (int i = 0; i < 100; ++i) {
    std::ifstream in(log);
    text.assign(std::istreambuf_iterator<char>(in), {});
    if (text.find("open") != std::string::npos && text.find("shutdown") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Detached processes: either may write first.
  EXPECT_EQ(text.size(), std::string("open\nshutdown\n").size()) << text;
  EXPECT_NE(text.find("open\n"), std::string::npos);
  EXPECT_NE(text.find("shutdown\n"), std::string::npos);
}

TEST_F(BatchTest, StoppingMidBatchKeepsFinishedRowsAndSkipsTheEndActions) {
  const std::string first = Clip(1);
  const std::string longer = TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(12));
  const std::string third = Clip(1.3);
  list_->Add(vcl_, {first, longer, third}, &ui_);
  ASSERT_EQ(list_->Count(), 3);

  const std::string log = scratch_.Path() + "shell.log";
  platform::SetEnv("QUOR_OPEN_COMMAND", "echo open >> '" + log + "'; echo");
  TBatchDriver driver(vcl_, *list_, Context());
  TRecordingProgressView progress(driver, handOver_);
  progress.OpenFolder = true;
  progress.CancelWhen = [](const TRecordingProgressView& v) {
    return !v.Texts.empty() && v.Texts.back().Counter == "[2/3]";
  };
  driver.SetProgressView(&progress);
  vcl_.SetProgressInterval(100);
  ASSERT_TRUE(driver.Start());
  platform::UnsetEnv("QUOR_OPEN_COMMAND");

  ASSERT_TRUE(progress.Cancelled);
  ASSERT_EQ(driver.Notices().size(), 4u);
  EXPECT_TRUE(driver.Notices()[0].Completed);
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(driver.Notices()[size_t(i)].TaskIndex, i);
    EXPECT_FALSE(driver.Notices()[size_t(i)].Completed);
    EXPECT_FALSE(driver.Notices()[size_t(i)].Failed);
  }
  EXPECT_EQ(driver.Notices()[3].TaskIndex, -1);
  EXPECT_EQ(list_->Row(0).Progress, "100%");
  EXPECT_NE(list_->Row(1).Progress, "100%");
  EXPECT_FALSE(list_->Row(1).Progress.empty());
  EXPECT_EQ(list_->Row(2).Progress, "");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(std::filesystem::exists(log));
}

TEST_F(BatchTest, SameBaseNamesGetDistinctOutputs) {
  const std::string clip = Clip(1);
  const std::string a = scratch_.Sub("a") + "same.mp4";
  const std::string b = scratch_.Sub("b") + "same.mp4";
  std::filesystem::copy_file(clip, a);
  std::filesystem::copy_file(clip, b);
  list_->Add(vcl_, {a, b}, &ui_);
  // Nothing exists yet, so both rows announce the same name...
  EXPECT_EQ(list_->Row(0).DestinationFile, list_->Row(1).DestinationFile);
  TBatchDriver driver(vcl_, *list_, Context());
  TRecordingProgressView progress(driver, handOver_);
  driver.SetProgressView(&progress);
  ASSERT_TRUE(driver.Start());
  // ...but the first output exists once its task is set up, so the second
  // file never overwrites it.
  EXPECT_EQ(driver.OutputFiles(),
            (std::vector<std::string>{out_ + "same_(new).mp4", out_ + "same_(new_1).mp4"}));
  for (const auto& f : driver.OutputFiles()) EXPECT_GT(std::filesystem::file_size(f), 1000u) << f;
}
