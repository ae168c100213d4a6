// The converter component: task list rules, runs in order on workers and on
// the calling thread, stop and pause, events and their threads, option
// records reaching the engine, previews and worker priorities.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/common/FFmpegException.h"
#include "engine/common/MainThread.h"
#include "engine/common/ThreadPriority.h"
#include "engine/component/FFmpegVCL.h"
#include "engine/libav/FFmpegLoader.h"
#include "support/MediaFactory.h"
#include "support/TestFolder.h"

namespace {

using namespace std::chrono_literals;

// Small and short, so that a run of three tasks takes well under a second.
MediaSpec SmallClip() { return MediaSpec::Mp4().Size(160, 120).Seconds(1); }

// Outputs go to one folder of the test program's, removed at its exit.
std::string OutputPath(const std::string& name) {
  static const TTestFolder folder("quor-vcl");
  return folder.In(name);
}

struct TNotice {
  TTerminateInfo Info;
  std::thread::id Thread;
};

class VCL : public ::testing::Test {
 protected:
  void SetUp() override { SetMainThreadHandOver(&handOver_); }
  void TearDown() override {
    vcl_.reset();
    SetMainThreadHandOver(nullptr);
    for (auto& f : outputs_) std::remove(f.c_str());
  }

  TFFmpegVCL& Vcl() {
    if (!vcl_) {
      vcl_ = std::make_unique<TFFmpegVCL>();
      vcl_->SetOnTerminate([this](TCustomFFmpegVCL*, const TTerminateInfo& info) {
        std::lock_guard lock(mutex_);
        notices_.push_back({info, std::this_thread::get_id()});
      });
    }
    return *vcl_;
  }

  // A task converting `clip` to a new file named `name`; returns its index.
  int AddConversion(const std::string& clip, const std::string& name,
                    TOutputOptions* options = nullptr) {
    int index = Vcl().AddTask(clip);
    EXPECT_GE(index, 0) << Vcl().LastErrMsg();
    std::string out = OutputPath(name);
    outputs_.push_back(out);
    EXPECT_TRUE(Vcl().SetOutputFile(index, out, options)) << Vcl().LastErrMsg();
    return index;
  }

  std::vector<TNotice> Notices() {
    std::lock_guard lock(mutex_);
    return notices_;
  }

  // Pumps the hand-over queue until `done` holds or ~20 s passed.
  bool PumpUntil(const std::function<bool()>& done) {
    for (auto end = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < end;) {
      if (done()) return true;
      handOver_.WaitAndPump(5);
    }
    return done();
  }
  bool WaitForFinal() {
    return PumpUntil([this] {
      auto n = Notices();
      return !n.empty() && n.back().Info.TaskIndex == -1;
    });
  }

  TQueuedHandOver handOver_;
  std::unique_ptr<TFFmpegVCL> vcl_;
  std::mutex mutex_;
  std::vector<TNotice> notices_;
  std::vector<std::string> outputs_;
};

std::vector<int> Indices(const std::vector<TNotice>& notices) {
  std::vector<int> v;
  for (auto& n : notices) v.push_back(n.Info.TaskIndex);
  return v;
}

}  // namespace

TEST_F(VCL, ProgressIntervalHasAFloorOf100) {
  EXPECT_EQ(Vcl().ProgressInterval(), 500);
  for (int v : {0, 50, 100}) {
    Vcl().SetProgressInterval(v);
    EXPECT_EQ(Vcl().ProgressInterval(), 100) << v;
  }
  Vcl().SetProgressInterval(101);
  EXPECT_EQ(Vcl().ProgressInterval(), 101);
}

TEST_F(VCL, AddTaskOpensTheInputAndAttachesItsProbe) {
  std::string clip = TestMedia::Get(SmallClip());
  EXPECT_EQ(Vcl().AddTask(clip), 0);
  TInputOptions in;
  EXPECT_EQ(Vcl().AddTask(clip, &in), 1);
  EXPECT_EQ(in.FileName, clip);
  ASSERT_EQ(Vcl().TaskCount(), 2);
  TAVProbe* probe = Vcl().InputProbe(1, 0);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->VideoStreamCount(), 1);
  EXPECT_EQ(probe->AudioStreamCount(), 1);
  EXPECT_EQ(Vcl().InputProbe(1, 1), nullptr);
  EXPECT_EQ(Vcl().InputProbe(2, 0), nullptr);

  Vcl().RemoveTask(0);
  EXPECT_EQ(Vcl().TaskCount(), 1);
  EXPECT_NE(Vcl().InputProbe(0, 0), nullptr);
}

TEST_F(VCL, AddTaskOnAMissingFileFailsWithTheOpenersMessage) {
  std::string clip = TestMedia::Get(SmallClip());
  ASSERT_EQ(Vcl().AddTask(clip), 0);
  std::string missing = TestMedia::MissingFile();
  EXPECT_EQ(Vcl().AddTask(missing), -1);
  EXPECT_EQ(Vcl().TaskCount(), 1);
  EXPECT_NE(Vcl().LastErrMsg().find(missing), std::string::npos) << Vcl().LastErrMsg();
  // An input option that the dispatcher rejects is caught the same way.
  TInputOptions in;
  in.ExtraOptions = "ss=not-a-time";
  EXPECT_EQ(Vcl().AddTask(clip, &in), -1);
  EXPECT_FALSE(Vcl().LastErrMsg().empty());
  EXPECT_EQ(Vcl().TaskCount(), 1);
}

TEST_F(VCL, TheTwentyFirstOutputIsRefused) {
  int task = Vcl().AddTask(TestMedia::Get(SmallClip()));
  ASSERT_EQ(task, 0);
  for (int i = 0; i < 20; ++i) {
    std::string out = OutputPath("many" + std::to_string(i) + ".avi");
    outputs_.push_back(out);
    ASSERT_TRUE(Vcl().SetOutputFile(task, out)) << i << ": " << Vcl().LastErrMsg();
  }
  EXPECT_FALSE(Vcl().SetOutputFile(task, OutputPath("many20.avi")));
  EXPECT_EQ(Vcl().LastErrMsg(), "max output files 20 reached");
}

TEST_F(VCL, ThreadedRunRaisesNoticesInOrderThenTheFinalOne) {
  std::string clip = TestMedia::Get(SmallClip());
  for (int i = 0; i < 3; ++i) AddConversion(clip, "seq" + std::to_string(i) + ".avi");
  Vcl().StartTask(1);
  EXPECT_THROW(Vcl().StartTask(1), FFmpegException);
  ASSERT_TRUE(WaitForFinal());
  auto notices = Notices();
  EXPECT_EQ(Indices(notices), (std::vector<int>{0, 1, 2, -1}));
  for (auto& n : notices) {
    EXPECT_TRUE(n.Info.Completed) << n.Info.TaskIndex << " " << n.Info.ErrorMessage;
    EXPECT_FALSE(n.Info.Failed);
    EXPECT_NE(n.Thread, std::this_thread::get_id());
  }
  EXPECT_TRUE(Vcl().AllEnded());
  for (auto& out : outputs_) {
    TestMedia::VideoStats v = TestMedia::ScanVideo(out);
    EXPECT_TRUE(v.Ok) << out;
    EXPECT_NEAR(v.Frames, 25, 3) << out;
  }
  // Still working until the list is cleared.
  try {
    Vcl().AddTask(clip);
    ADD_FAILURE() << "AddTask accepted after the final notice";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Cannot AddTask while working.");
  }
  Vcl().ClearTasks();
  EXPECT_FALSE(Vcl().Working());
  EXPECT_EQ(Vcl().TaskCount(), 0);
  EXPECT_EQ(Vcl().AddTask(clip), 0);
}

// An open run takes tasks while it works: one appended while a thread is
// free starts at once, one appended while both run waits for a free thread,
// and the final notice waits for CloseRun. Nothing else may change the list.
TEST_F(VCL, AnOpenRunTakesTasksUntilItIsClosed) {
  const std::string longer = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  const std::string clip = TestMedia::Get(SmallClip());
  AddConversion(longer, "open0.avi");
  Vcl().StartOpenRun(2);
  EXPECT_TRUE(Vcl().Working());
  EXPECT_THROW(Vcl().AddTask(clip), FFmpegException);
  EXPECT_THROW(Vcl().SetOutputFile(0, OutputPath("late.avi")), FFmpegException);
  auto append = [&](const std::string& source, const std::string& name) {
    outputs_.push_back(OutputPath(name));
    return Vcl().AppendTask(source, nullptr, outputs_.back(), nullptr);
  };
  ASSERT_EQ(append(longer, "open1.avi"), 1) << Vcl().LastErrMsg();
  EXPECT_EQ(Vcl().PendingCount(), 0);  // a thread was free
  ASSERT_EQ(append(clip, "open2.avi"), 2) << Vcl().LastErrMsg();
  EXPECT_EQ(Vcl().PendingCount(), 1);  // both threads are busy with 3 s each
  // A file that cannot be opened adds nothing.
  const std::string missing = TestMedia::MissingFile();
  EXPECT_EQ(Vcl().AppendTask(missing, nullptr, OutputPath("never.avi"), nullptr), -1);
  EXPECT_NE(Vcl().LastErrMsg().find(missing), std::string::npos) << Vcl().LastErrMsg();
  EXPECT_EQ(Vcl().TaskCount(), 3);

  ASSERT_TRUE(PumpUntil([this] { return Notices().size() == 3; }));
  handOver_.WaitAndPump(100);
  EXPECT_EQ(Notices().size(), 3u);  // no final notice while the run is open
  EXPECT_FALSE(Vcl().AllEnded());
  Vcl().CloseRun();
  ASSERT_TRUE(WaitForFinal());
  auto notices = Notices();
  ASSERT_EQ(notices.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(notices[size_t(i)].Info.Completed) << notices[size_t(i)].Info.ErrorMessage;
    EXPECT_TRUE(TestMedia::ScanVideo(outputs_[size_t(i)]).Ok) << outputs_[size_t(i)];
  }
  EXPECT_EQ(notices.back().Info.TaskIndex, -1);
  // The short third file started only when a longer one had ended.
  EXPECT_NE(notices[0].Info.TaskIndex, 2);
  EXPECT_THROW(Vcl().AppendTask(clip, nullptr, OutputPath("after.avi"), nullptr), FFmpegException);
  Vcl().ClearTasks();
  EXPECT_FALSE(Vcl().Working());
}

// Outside a run AppendTask is AddTask and SetOutputFile in one; a run that
// is not open, or was stopped, refuses it.
TEST_F(VCL, AppendTaskIsRefusedByAClosedOrStoppedRun) {
  const std::string clip = TestMedia::Get(SmallClip());
  outputs_.push_back(OutputPath("idle.avi"));
  ASSERT_EQ(Vcl().AppendTask(clip, nullptr, outputs_.back(), nullptr), 0);
  EXPECT_EQ(Vcl().PendingCount(), 0);
  Vcl().StartTask(1);
  try {
    Vcl().AppendTask(clip, nullptr, OutputPath("refused.avi"), nullptr);
    ADD_FAILURE() << "AppendTask accepted by a run that is not open";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Cannot AppendTask while working.");
  }
  ASSERT_TRUE(WaitForFinal());
  EXPECT_TRUE(Notices()[0].Info.Completed);
  Vcl().ClearTasks();

  const std::string longer = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  AddConversion(longer, "stopped.avi");
  Vcl().StartOpenRun(1);
  Vcl().StopConvert(true);
  EXPECT_THROW(Vcl().AppendTask(clip, nullptr, OutputPath("refused.avi"), nullptr),
               FFmpegException);
  // A stopped open run still ends once it is closed.
  Vcl().CloseRun();
  ASSERT_TRUE(PumpUntil([this] { return Notices().size() == 4; }));
  EXPECT_EQ(Indices(Notices()), (std::vector<int>{0, -1, 0, -1}));
  EXPECT_FALSE(Notices()[2].Info.Completed);
}

TEST_F(VCL, UnthreadedRunConvertsEverythingOnTheCallingThread) {
  std::string clip = TestMedia::Get(SmallClip());
  AddConversion(clip, "same0.avi");
  AddConversion(clip, "same1.avi");
  Vcl().StartTask(0);
  auto notices = Notices();
  ASSERT_EQ(Indices(notices), (std::vector<int>{0, 1, -1}));
  for (auto& n : notices) {
    EXPECT_EQ(n.Thread, std::this_thread::get_id());
    EXPECT_TRUE(n.Info.Completed);
  }
  EXPECT_TRUE(TestMedia::ScanVideo(outputs_[1]).Ok);
}

TEST_F(VCL, StartingAnEmptyListStartsNothingAndCanBeCleared) {
  Vcl().StartTask(1);
  EXPECT_TRUE(Vcl().Working());
  handOver_.WaitAndPump(50);
  EXPECT_TRUE(Notices().empty());
  EXPECT_FALSE(Vcl().AllEnded());
  // Nothing is left to end, so the list can be cleared.
  Vcl().ClearTasks();
  EXPECT_FALSE(Vcl().Working());
}

TEST_F(VCL, ClearTasksIsRefusedWhileTasksRun) {
  std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  AddConversion(clip, "busy.avi");
  Vcl().PauseConvert();  // nothing runs yet: no effect
  Vcl().StartTask(1);
  Vcl().PauseConvert();
  try {
    Vcl().ClearTasks();
    ADD_FAILURE() << "ClearTasks accepted while working";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Cannot ClearTasks while working.");
  }
  EXPECT_THROW(Vcl().RemoveTask(0), FFmpegException);
  EXPECT_THROW(Vcl().SetOutputFile(0, OutputPath("late.avi")), FFmpegException);
  Vcl().ResumeConvert();
  ASSERT_TRUE(WaitForFinal());
  EXPECT_TRUE(Notices()[0].Info.Completed);
}

TEST_F(VCL, ATaskWithoutOutputFailsAndTheRunGoesOn) {
  std::string clip = TestMedia::Get(SmallClip());
  ASSERT_EQ(Vcl().AddTask(clip), 0);
  AddConversion(clip, "after.avi");
  Vcl().StartTask(1);
  ASSERT_TRUE(WaitForFinal());
  auto notices = Notices();
  ASSERT_EQ(Indices(notices), (std::vector<int>{0, 1, -1}));
  EXPECT_TRUE(notices[0].Info.Failed);
  EXPECT_FALSE(notices[0].Info.Completed);
  EXPECT_EQ(notices[0].Info.ErrorMessage, "At least one output file must be specified");
  EXPECT_TRUE(notices[1].Info.Completed);
}

// The second of three tasks is held in its first hook call until the test
// has paused the run; then the test stops everything.
TEST_F(VCL, StopDuringTheSecondTaskEndsItCleanlyAndSkipsTheThird) {
  std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  AddConversion(clip, "stop0.avi");
  TOutputOptions hooked;
  hooked.CustomHook = true;
  AddConversion(clip, "stop1.avi", &hooked);
  AddConversion(clip, "stop2.avi");

  std::mutex m;
  std::condition_variable cv;
  bool inHook = false, paused = false;
  Vcl().SetOnCustomHook([&](TCustomFFmpegVCL*, PHookInfo info) {
    EXPECT_EQ(info->TaskIndex, 1);
    std::unique_lock lock(m);
    if (inHook) return;
    inHook = true;
    cv.notify_all();
    cv.wait_for(lock, 10s, [&] { return paused; });
  });
  Vcl().StartTask(1);
  ASSERT_TRUE(PumpUntil([&] {
    std::lock_guard lock(m);
    return inHook;
  }));
  Vcl().PauseConvert();
  {
    std::lock_guard lock(m);
    paused = true;
    cv.notify_all();
  }
  std::this_thread::sleep_for(50ms);  // lets the worker reach the pause gate
  Vcl().StopConvert(true);
  ASSERT_TRUE(WaitForFinal());
  auto notices = Notices();
  ASSERT_EQ(Indices(notices), (std::vector<int>{0, 1, 2, -1}));
  EXPECT_TRUE(notices[0].Info.Completed);
  for (int i : {1, 2}) {
    EXPECT_FALSE(notices[size_t(i)].Info.Completed) << i;
    EXPECT_FALSE(notices[size_t(i)].Info.Failed) << i;
  }
  EXPECT_TRUE(notices[3].Info.Completed);
  // The stopped file is finished and plays up to the point reached.
  TestMedia::VideoStats v = TestMedia::ScanVideo(outputs_[1]);
  EXPECT_TRUE(v.Ok);
  EXPECT_GT(v.Frames, 0);
  EXPECT_LT(v.Frames, 70);
  EXPECT_FALSE(TestMedia::ScanVideo(outputs_[2]).Ok);
}

TEST_F(VCL, StopBeforeStartRaisesEveryNoticeOnce) {
  std::string clip = TestMedia::Get(SmallClip());
  AddConversion(clip, "never0.avi");
  AddConversion(clip, "never1.avi");
  Vcl().StopConvert(true);
  ASSERT_EQ(Indices(Notices()), (std::vector<int>{0, 1}));
  // A later start has nothing left to convert but still ends the run.
  Vcl().StartTask(1);
  ASSERT_TRUE(WaitForFinal());
  EXPECT_EQ(Indices(Notices()), (std::vector<int>{0, 1, -1}));
}

TEST_F(VCL, ProgressRunsOnTheMainThreadWithTheTaskIndex) {
  std::string clip = TestMedia::Get(SmallClip());
  AddConversion(clip, "p0.avi");
  AddConversion(clip, "p1.avi");
  std::vector<TProgressInfo> reports;
  std::vector<std::thread::id> threads;
  Vcl().SetOnProgress([&](TCustomFFmpegVCL* sender, PProgressInfo info) {
    EXPECT_EQ(sender, vcl_.get());
    reports.push_back(*info);
    threads.push_back(std::this_thread::get_id());
  });
  Vcl().StartTask(1);
  ASSERT_TRUE(WaitForFinal());
  ASSERT_FALSE(reports.empty());
  for (auto& t : threads) EXPECT_EQ(t, std::this_thread::get_id());
  EXPECT_EQ(reports.back().TaskIndex, 1);
  EXPECT_EQ(reports.back().FileIndex, -1);  // the final report
  EXPECT_EQ(reports.back().FrameNumber, 25);
  EXPECT_GT(reports.back().CurrentSize, 0);
  bool sawFirst = false;
  for (auto& r : reports) sawFirst |= r.TaskIndex == 0;
  EXPECT_TRUE(sawFirst);
}

TEST_F(VCL, HookHandlerDrawsOnTheEncodedPictureWithTheCanvasLocked) {
  std::string clip = TestMedia::Get(SmallClip());
  TOutputOptions hooked;
  hooked.CustomHook = true;
  hooked.VideoCodec = "mpeg4";
  hooked.VideoBitRate = 800000;
  AddConversion(clip, "hook.avi", &hooked);
  AddConversion(clip, "nohook.avi");
  std::atomic<int> calls{0}, lastTask{-1};
  std::atomic<bool> canvasLocked{true};
  Vcl().SetOnCustomHook([&](TCustomFFmpegVCL*, PHookInfo info) {
    ++calls;
    lastTask = info->TaskIndex;
    if (info->Bitmap->Canvas().try_lock()) {
      canvasLocked = false;
      info->Bitmap->Canvas().unlock();
    }
    info->Bitmap->Fill(0, 0, 255);  // red
    if (info->FrameNumber == 10) info->StopHook = true;
  });
  Vcl().SetTriggerEventInMainThread(false);
  Vcl().StartTask(1);
  ASSERT_TRUE(WaitForFinal());
  EXPECT_EQ(calls.load(), 10);  // switched off by StopHook; the second task has no hook
  EXPECT_EQ(lastTask.load(), 0);
  EXPECT_TRUE(canvasLocked.load());
  TBitmap early, late;
  ASSERT_TRUE(TestMedia::DecodeFrame(outputs_[0], 3, early));
  ASSERT_TRUE(TestMedia::DecodeFrame(outputs_[0], 20, late));
  EXPECT_TRUE(TestMedia::ColourNear(TestMedia::PixelAt(early, 80, 90, 3), {255, 0, 0}));
  EXPECT_EQ(TestMedia::ReadFrameNumber(late), 20);
}

TEST_F(VCL, OptionTextLinesAndStreamDefaultsReachTheOutput) {
  std::string clip = TestMedia::Get(SmallClip());
  // Two lines joined by the literal marker; the codec line becomes the
  // video default, the bit rate goes to the dispatcher.
  TOutputOptions o;
  o.ExtraOptions = "vcodec=mpeg4<CRLF>vb=300000";
  o.Metadata.Title = "Sea";
  AddConversion(clip, "crlf.mkv", &o);
  EXPECT_EQ(o.FileName, outputs_.back());
  // A default codec from the field for the first audio stream, the option
  // line's codec for the stream that "newaudio" adds.
  TOutputOptions a;
  a.VideoCodec = "mpeg4";
  a.AudioCodec = "libfaac";
  a.ExtraOptions = "acodec=mp2\nNEWAUDIO";
  AddConversion(clip, "twoaudio.mkv", &a);
  TOutputOptions b = a;
  b.AudioCodec.clear();
  AddConversion(clip, "twomp2.mkv", &b);
  Vcl().StartTask(1);
  ASSERT_TRUE(WaitForFinal());
  for (auto& n : Notices())
    EXPECT_TRUE(n.Info.Completed) << n.Info.TaskIndex << " " << n.Info.ErrorMessage;

  auto codecs = [](const std::string& file) {
    TAVProbe probe;
    EXPECT_TRUE(probe.Open(file)) << probe.LastErrMsg();
    std::vector<std::string> names;
    for (int i = 0; i < probe.StreamCount(); ++i) {
      if (probe.IsVideoStream(i)) {
        TVideoStreamInfo v;
        probe.VideoStreamInfo(i, v);
        names.push_back(v.CodecName.substr(0, v.CodecName.find('(')));
      } else if (probe.IsAudioStream(i)) {
        TAudioStreamInfo au;
        probe.AudioStreamInfo(i, au);
        names.push_back(au.CodecName.substr(0, au.CodecName.find('(')));
      }
    }
    return names;
  };
  EXPECT_EQ(codecs(outputs_[0]), (std::vector<std::string>{"mpeg4", "vorbis"}));
  EXPECT_EQ(codecs(outputs_[1]), (std::vector<std::string>{"mpeg4", "aac", "mp2"}));
  EXPECT_EQ(codecs(outputs_[2]), (std::vector<std::string>{"mpeg4", "mp2", "mp2"}));
  TAVProbe probe;
  ASSERT_TRUE(probe.Open(outputs_[0]));
  TFileStreamInfo info;
  probe.FileStreamInfo(info);
  EXPECT_EQ(info.Title, "Sea");
}

namespace {

// Records what it is shown; the user "closes" it after two frames.
class TFakePreviewWindow : public IPreviewWindow {
 public:
  TFakePreviewWindow(TPreviewer& owner, std::vector<std::string>& captions)
      : owner_(owner), captions_(captions) {}
  void ShowFrame(const TBitmap& frame, const std::string& caption) override {
    EXPECT_EQ(frame.Width(), 160);
    captions_.push_back(caption);
    if (++shown_ == 2) owner_.MarkClosed();
  }

 private:
  TPreviewer& owner_;
  std::vector<std::string>& captions_;
  int shown_ = 0;
};

}  // namespace

TEST_F(VCL, PreviewWindowShowsFramesUntilTheUserClosesIt) {
  std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  TOutputOptions slow;
  slow.CustomHook = true;
  AddConversion(clip, "preview0.avi", &slow);
  AddConversion(clip, "preview1.avi", &slow);
  // Offers come at most every 0.1 s of wall time: slow the run down so that
  // each task has several to make.
  Vcl().SetOnCustomHook([](TCustomFFmpegVCL*, PHookInfo info) {
    info->Update = false;
    std::this_thread::sleep_for(4ms);
  });
  std::vector<std::string> captions;
  int windows = 0;
  Vcl().SetPreviewWindowFactory(
      [&](TPreviewer& owner, int w, int h) -> std::unique_ptr<IPreviewWindow> {
        ++windows;
        EXPECT_EQ(w, 160);
        EXPECT_EQ(h, 120);
        return std::make_unique<TFakePreviewWindow>(owner, captions);
      });
  Vcl().SetPreview(true);
  Vcl().StartTask(1);
  ASSERT_TRUE(WaitForFinal());
  // Closing stops the previews of that task only: the second gets its own.
  EXPECT_EQ(windows, 2);
  ASSERT_EQ(captions.size(), 4u);
  EXPECT_EQ(captions[0].size(), std::string("00:00:00.000").size()) << captions[0];
  EXPECT_LT(captions[0], captions[1]);
}

TEST_F(VCL, PreviewSwitchedOnDuringARunShowsFromThenOn) {
  std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  TOutputOptions slow;
  slow.CustomHook = true;
  AddConversion(clip, "late_preview.avi", &slow);
  std::atomic<int> hookCalls{0};
  Vcl().SetOnCustomHook([&](TCustomFFmpegVCL*, PHookInfo info) {
    ++hookCalls;
    info->Update = false;
    std::this_thread::sleep_for(4ms);
  });
  std::vector<std::string> captions;
  Vcl().SetPreviewWindowFactory(
      [&](TPreviewer& owner, int, int) -> std::unique_ptr<IPreviewWindow> {
        return std::make_unique<TFakePreviewWindow>(owner, captions);
      });
  Vcl().StartTask(1);
  ASSERT_TRUE(PumpUntil([&] { return hookCalls > 10; }));
  EXPECT_TRUE(captions.empty());
  Vcl().SetPreview(true);  // while the worker converts
  ASSERT_TRUE(WaitForFinal());
  ASSERT_FALSE(captions.empty());
  EXPECT_GE(captions[0], "00:00:00.400") << "shown before it was switched on";
}

// A worker that shows a frame holds the engine's preview lock while it waits
// for the main thread; switching the previews then must not wait for that
// lock without pumping.
TEST_F(VCL, SwitchingPreviewsWhileAWorkerWaitsForTheMainThread) {
  std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  TOutputOptions slow;
  slow.CustomHook = true;
  AddConversion(clip, "switch_preview.avi", &slow);
  std::atomic<int> hookCalls{0}, bitmaps{0};
  Vcl().SetOnCustomHook([&](TCustomFFmpegVCL*, PHookInfo info) {
    ++hookCalls;
    info->Update = false;
    std::this_thread::sleep_for(4ms);
  });
  Vcl().SetOnPreviewBitmap([&](TCustomFFmpegVCL*, const TPreviewInfo&) { ++bitmaps; });
  Vcl().SetPreviewBitmap(true);
  Vcl().StartTask(1);
  ASSERT_TRUE(PumpUntil([&] { return hookCalls > 5; }));
  std::this_thread::sleep_for(300ms);  // not pumping: the next offer waits for us
  Vcl().SetPreviewBitmap(false);
  int shown = bitmaps;
  ASSERT_TRUE(WaitForFinal());
  EXPECT_GE(shown, 1);
  EXPECT_LE(bitmaps - shown, 1);  // at most the one that was waiting
}

TEST_F(VCL, PreviewBitmapEventGetsEncodedFramesAtTheOutputSize) {
  std::string clip = TestMedia::Get(SmallClip());
  TOutputOptions o;
  o.FrameSize = "80x60";
  AddConversion(clip, "pbmp.avi", &o);
  Vcl().SetPreviewBitmap(true);
  int calls = 0;
  Vcl().SetOnPreviewBitmap([&](TCustomFFmpegVCL*, const TPreviewInfo& info) {
    ++calls;
    EXPECT_EQ(info.TaskIndex, 0);
    EXPECT_EQ(info.Bitmap->Width(), 80);
    EXPECT_EQ(info.Bitmap->Height(), 60);
  });
  Vcl().StartTask(1);
  ASSERT_TRUE(WaitForFinal());
  EXPECT_GE(calls, 1);
}

TEST_F(VCL, WorkersRunAtTheChosenPriority) {
  std::string clip = TestMedia::Get(SmallClip());
  TOutputOptions hooked;
  hooked.CustomHook = true;
  AddConversion(clip, "prio0.avi", &hooked);
  AddConversion(clip, "prio1.avi", &hooked);
  int base = CurrentThreadNice();
  std::mutex m;
  std::vector<int> nices;
  Vcl().SetOnCustomHook([&](TCustomFFmpegVCL*, PHookInfo info) {
    std::lock_guard lock(m);
    nices.push_back(CurrentThreadNice());
    info->StopHook = true;
    info->Update = false;
  });
  Vcl().SetThreadPriority(tpLowest);
  Vcl().StartTask(1);
  ASSERT_TRUE(WaitForFinal());
  // The second worker is started after the first ended; it must not inherit
  // the first one's lowered priority on top of its own. The system caps the
  // nice value at 19, so a run that is itself niced sees the cap.
  int lowered = std::min(base + NiceIncrement(tpLowest), 19);
  EXPECT_EQ(nices, (std::vector<int>{lowered, lowered}));
  EXPECT_EQ(CurrentThreadNice(), base);
}

TEST_F(VCL, WithoutTheLibrariesNoTaskIsMade) {
  std::string clip = TestMedia::Get(SmallClip());
  auto& loader = TFFmpegLoader::Instance();
  loader.Unload(LibBit(liSWResample));
  int index = Vcl().AddTask(clip);
  std::string message = Vcl().LastErrMsg();
  bool reloaded = loader.Load(AllLibraries);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(message, "The media libraries are not loaded.");
  EXPECT_EQ(Vcl().TaskCount(), 0);
  ASSERT_TRUE(reloaded) << loader.LastErrMsg();
  EXPECT_TRUE(Vcl().LoadAVLib(TFFmpegLoader::DefaultLibraryPath()));
  EXPECT_EQ(Vcl().AddTask(clip), 0);
}
