#include "app/BatchDriver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/GlobalUnit.h"
#include "app/ShortNames.h"
#include "app/SourceList.h"
#include "editing/FrameHook.h"
#include "engine/common/FFmpegException.h"
#include "engine/common/MainThread.h"
#include "engine/component/FFmpegVCL.h"
#include "engine/libav/MediaUtils.h"
#include "platform/Shell.h"
#include "profiles/FormatProfile.h"

namespace {

constexpr const char* kNoCheckedRowText = "Please select a file by clicking the check box!";
constexpr size_t kFullLabelLimit = 51;  // characters
constexpr size_t kLabelHead = 44;

// Closes the converter's probe when a file's preparation ends, however it ends.
class TProbeCloser {
 public:
  explicit TProbeCloser(TAVProbe& probe) : probe_(probe) {}
  ~TProbeCloser() { probe_.Close(); }

 private:
  TAVProbe& probe_;
};

// The height of a file's pictures after conversion: the frame size asked
// for, else the source's; 0 when neither is known.
int OutputHeight(const TOutputOptions& output, TAVProbe& probe) {
  int width = 0, height = 0;
  if (std::sscanf(output.FrameSize.c_str(), "%dx%d", &width, &height) == 2 && height > 0)
    return height;
  TVideoStreamInfo video;
  if (probe.Loaded() && probe.VideoStreamCount() > 0 && probe.VideoStreamInfo(0, video))
    return std::max(0, int(video.Height));
  return 0;
}

}  // namespace

bool PriorityFromSetting(int setting, TThreadPriority& priority) {
  switch (setting) {
    case 0: priority = tpIdle; return true;
    case 1: priority = tpNormal; return true;
    case 2: priority = tpLower; return true;
    case 3: priority = tpLowest; return true;
    default: return false;
  }
}

std::int64_t OutputDurationFor(std::int64_t sourceDuration, std::int64_t trimLength) {
  if (sourceDuration <= kLongestOutputUs) return trimLength > 0 ? trimLength : OptionNoTime;
  if (trimLength > 0 && trimLength <= kLongestOutputUs) return trimLength;
  return kLongestOutputUs;
}

std::int64_t ExpectedOutputUs(std::int64_t sourceDuration, const TlvFilesRecord& record) {
  const std::int64_t asked = OutputDurationFor(sourceDuration, record.TrimLength);
  if (asked != OptionNoTime && asked > 0) return asked;
  if (sourceDuration > 0) return sourceDuration - std::max<std::int64_t>(record.TrimStart, 0);
  return -1;
}

std::string ShortFileLabel(const std::string& caption) {
  return ShortenedPath(caption, kFullLabelLimit - 1, kLabelHead);
}

TProgressTexts MakeProgressTexts(const TProgressInfo& info, int taskCount,
                                 const std::string& caption) {
  TProgressTexts texts;
  // An unknown or zero expected length gives no percentage at all rather
  // than a division by zero.
  if (info.TotalDuration > 0) {
    const std::int64_t percent = info.CurrentDuration * 100 / info.TotalDuration;
    texts.Percent = int(std::clamp<std::int64_t>(percent, 0, 100));
    texts.Length = std::to_string(info.TotalDuration / 1000000) + " Second";
  }
  texts.Elapsed = std::to_string(info.CurrentDuration / 1000000) + " Second";
  texts.Size = std::to_string(info.CurrentSize / 1000) + " kb";
  texts.Counter = "[" + std::to_string(info.TaskIndex + 1) + "/" + std::to_string(taskCount) + "]";
  texts.File = ShortFileLabel(caption);
  return texts;
}

bool OpenOutputFolder(const std::string& settingsFile) {
  const std::string folder = TAppSettings(settingsFile).OutPutDir();
  if (folder.size() <= 2) return false;
  return platform::OpenWithDesktop(folder);
}

std::string NotOpenedText(const std::string& folderOrAddress) {
  return "Nothing on this desktop could open " + folderOrAddress +
         ". Install a file manager or a web browser, or open it yourself.";
}

// ---- TBatchDriver ----------------------------------------------------------

TBatchDriver::TBatchDriver(TFFmpegVCL& vcl, TSourceList& list, TBuildContext context)
    : vcl_(vcl),
      list_(list),
      context_(std::move(context)),
      renderer_(std::make_shared<TFrameHook>()),
      link_(std::make_shared<TLink>()) {
  link_->Driver = this;
  frameHook_ = [renderer = renderer_](const TlvFilesRecord& r, THookInfo& info) {
    renderer->Handle(
        info, TFrameEdits::Of(r.Brightness, r.Contrast, r.Saturation, r.Exposure, r.Watermarks));
  };
  vcl_.SetPreviewBitmap(true);
  vcl_.SetPreview(false);
  vcl_.SetOnProgress([this](TCustomFFmpegVCL*, PProgressInfo info) { HandleProgress(*info); });
  vcl_.SetOnPreviewBitmap(
      [this](TCustomFFmpegVCL*, const TPreviewInfo& info) { HandlePreview(info); });
  vcl_.SetOnCustomHook([this](TCustomFFmpegVCL*, PHookInfo info) { HandleHook(*info); });
  // The notice comes on the converter's notice thread; everything it
  // changes belongs to the user-interface thread.
  // The output check reads the finished file here, before the hand-over,
  // so the windows stay responsive while it decodes.
  // The converter keeps a copy of the handler for every notice on its way,
  // so a notice may arrive after this driver is gone: it goes through the
  // link, which the destructor cuts.
  vcl_.SetOnTerminate([link = link_](TCustomFFmpegVCL*, const TTerminateInfo& info) {
    TOutputCheck check;
    {
      std::lock_guard lock(link->Mutex);
      if (!link->Driver) return;
      check = link->Driver->CheckTaskOutput(info);
    }
    RunOnMainThread([link, info, check] {
      if (link->Driver) link->Driver->HandleTerminate(info, check);
    });
  });
}

TBatchDriver::~TBatchDriver() {
  // A run still open would never end, and its list could never be cleared.
  CloseOpenRun();
  vcl_.SetOnProgress(nullptr);
  vcl_.SetOnPreviewBitmap(nullptr);
  vcl_.SetOnCustomHook(nullptr);
  vcl_.SetOnTerminate(nullptr);
  std::lock_guard lock(link_->Mutex);
  link_->Driver = nullptr;
}

bool TBatchDriver::Start() {
  TThreadPriority priority = vcl_.ThreadPriority();
  if (PriorityFromSetting(TAppSettings(context_.SettingsFile).Priority(), priority))
    vcl_.SetThreadPriority(priority);
  filesAtOnce_ = 1;

  const int checked = list_.CheckedCount();
  if (checked == 0) {
    TDefaultUserInteraction fallback;
    (context_.Ui ? context_.Ui : &fallback)->ShowWarning("Warning", kNoCheckedRowText);
    return false;
  }
  {
    std::lock_guard lock(tasksMutex_);
    tasks_.clear();
  }
  threadsWell_.clear();
  taskGood_.clear();
  skipped_.clear();
  formatCode_ = ChosenFormatCode(context_.SettingsFile, context_.Ui);
  notices_.clear();
  summary_ = TBatchSummary{};
  summary_.Folder = TAppSettings(context_.SettingsFile).OutPutDir();
  // The progress window must not show the last batch's picture.
  previewBitmap_ = TBitmap();
  previewCount_ = 0;
  if (listView_) listView_->StopPreview();
  vcl_.ClearTasks();

  batchRows_.clear();
  nextRow_ = 0;
  for (int row = 0; row < list_.Count(); ++row)
    if (list_.Row(row).Checked) batchRows_.push_back(row);
  // A trim past a file's end stops the batch before anything is prepared,
  // also when that file would only be prepared while others convert (its
  // length as the list read it; the preparation checks again).
  for (const int row : batchRows_) CheckTrim(list_.Record(row), list_.Row(row).DurationUs);
  // The first files decide how many run at once: as many as could.
  PrepareRows(::FilesAtOnce(FilesAtOnceSetting(), Processors(), false, int(batchRows_.size())));
  ChooseFilesAtOnce();
  if (filesAtOnce_ == 1) PrepareRows(int(batchRows_.size()));

  if (tasks_.empty()) {
    // Every file was left out: a run without tasks would never end.
    FinishBatch();
    return true;
  }
  ChooseFilesAtOnce();
  running_ = true;
  if (progressView_) {
    progressView_->RunModal();
  } else {
    StartTasks();
  }
  return true;
}

void TBatchDriver::SkipRow(int row, const std::string& message) {
  const std::string text = message.empty() ? "Cannot open the file" : message;
  skipped_.push_back({row, text});
  ++summary_.Failed;
  list_.SetProgress(row, text, text);
  if (progressView_) progressView_->FileLeftOut(list_.Row(row).Caption, text);
}

bool TBatchDriver::PrepareRow(int row) {
  const std::string caption = list_.Row(row).Caption;
  TlvFilesRecord& record = list_.Record(row);

  TInputOptions input;
  TFFmpegVCL::InitInputOptions(input);
  input.FileName = caption;
  TAVProbe& probe = vcl_.AVProbe();
  TProbeCloser closer(probe);
  if (probe.Open(caption)) SetAVProbe(&probe);
  input.FileFormat = probe.ForceFormat();
  if (record.TrimStart >= 0) input.StartTime = record.TrimStart;

  const int code = formatCode_;
  const std::string source = probe.FileName().empty() ? caption : probe.FileName();
  const std::string outputName =
      OutputFileNameFor(context_.SettingsFile, context_.ProfileFile, source, context_.Ui);
  record.Zoom = TFormatSettings(context_.SettingsFile, code).ParaZoom(kListZoomDefault);

  // A probe that could not open the file leaves the duration at -1, which
  // counts as not longer than the limit.
  TFileStreamInfo info;
  if (probe.Loaded()) probe.FileStreamInfo(info);
  CheckTrim(record, info.Duration);
  const bool sourceHasVideo = probe.Loaded() && probe.VideoStreamCount() > 0;

  TOutputOptions output;
  TFFmpegVCL::InitOutputOptions(output);
  output.FileName = outputName;
  // Crop margins cut pictures; a source without any has nothing to cut.
  if (sourceHasVideo && (record.CropTop > 0 || record.CropBottom > 0 || record.CropLeft > 0 ||
                         record.CropRight > 0)) {
    output.CropTop = record.CropTop;
    output.CropBottom = record.CropBottom;
    output.CropLeft = record.CropLeft;
    output.CropRight = record.CropRight;
  }
  output.Duration = OutputDurationFor(info.Duration, record.TrimLength);

  BuildConversionOptions(context_, record, code, output, probe, input);
  output.CustomHook = record.HasEffects();
  const bool video =
      sourceHasVideo && FormatOffersVideo(TFormatProfile(context_.ProfileFile, code));
  const bool threadsWell = EncoderThreadsWell(output.VideoCodec, OutputHeight(output, probe));
  return AppendRowTask(row, input, outputName, output, ExpectedOutputUs(info.Duration, record),
                       video, threadsWell);
}

bool TBatchDriver::AppendRowTask(int row, TInputOptions& input, const std::string& outputName,
                                 TOutputOptions& output, std::int64_t expected, bool video,
                                 bool threadsWell) {
  // Recorded before the task exists: in a running batch it may start, and
  // its hook and output check look them up, as soon as it is added.
  auto record = [&](bool add) {
    std::lock_guard lock(tasksMutex_);
    if (add)
      tasks_.push_back({row, outputName, expected, video});
    else
      tasks_.pop_back();
  };
  record(true);
  int task = -1;
  try {
    // A file that cannot be read any more, or whose output cannot be
    // created, fails alone with the converter's reason; the others convert.
    task = vcl_.AppendTask(input.FileName, &input, outputName, &output);
  } catch (...) {
    record(false);
    throw;
  }
  if (task < 0) {
    record(false);
    // Left out because the user stopped the batch meanwhile: no failure.
    if (!cancelled_) SkipRow(row, vcl_.LastErrMsg());
    return false;
  }
  threadsWell_.push_back(threadsWell);
  taskGood_.push_back(false);
  return true;
}

void TBatchDriver::PrepareRows(int tasks) {
  while (RowsLeft() && int(tasks_.size()) < tasks) PrepareRow(batchRows_[nextRow_++]);
}

void TBatchDriver::PrepareAhead() {
  // As many wait ready as run, so that a file that ends is followed at
  // once, however long the next one takes to prepare.
  // The opens pump the hand-over, whose end notices come back here: the
  // rows are prepared one after another, never one inside another, so that
  // the converter numbers the tasks as they were recorded.
  if (preparing_) return;
  preparing_ = true;
  struct TDone {
    bool& Flag;
    ~TDone() { Flag = false; }
  } done{preparing_};
  while (openRun_ && !cancelled_ && RowsLeft() && vcl_.PendingCount() < filesAtOnce_) {
    const int row = batchRows_[nextRow_++];
    const int task = int(tasks_.size());
    bool added = false;
    try {
      added = PrepareRow(row);
    } catch (const std::exception& e) {
      // Files before it convert already: the file fails alone.
      SkipRow(row, e.what());
    }
    if (!added) {
      batch_.Drop(task);
      fileClocks_.erase(fileClocks_.begin() + task);
    }
    MarkStarted();
  }
  if (!RowsLeft() || cancelled_) CloseOpenRun();
}

void TBatchDriver::CloseOpenRun() {
  if (!openRun_) return;
  openRun_ = false;
  vcl_.CloseRun();
}

int TBatchDriver::FilesAtOnceSetting() const {
  return filesAtOnceSetting_ >= 0 ? filesAtOnceSetting_
                                  : TAppSettings(context_.SettingsFile).FilesAtOnce();
}

std::vector<std::int64_t> TBatchDriver::BatchLengths() const {
  std::vector<std::int64_t> lengths;
  for (const TTaskPlan& task : tasks_) lengths.push_back(task.ExpectedUs);
  for (size_t k = nextRow_; k < batchRows_.size(); ++k) {
    const TSourceRow& row = list_.Row(batchRows_[k]);
    lengths.push_back(ExpectedOutputUs(row.DurationUs, *row.Record));
  }
  return lengths;
}

void TBatchDriver::ChooseFilesAtOnce() {
  const auto well = std::count(threadsWell_.begin(), threadsWell_.end(), true);
  const bool mostThreadWell = well * 2 > std::int64_t(threadsWell_.size());
  const int files = int(tasks_.size() + (batchRows_.size() - nextRow_));
  filesAtOnce_ = ::FilesAtOnce(FilesAtOnceSetting(), Processors(), mostThreadWell, files);
}

TOutputCheck TBatchDriver::CheckTaskOutput(const TTerminateInfo& info) const {
  TOutputCheck check;
  check.Passed = true;
  if (!outputChecker_ || !info.Completed || info.TaskIndex < 0) return check;
  TOutputExpectation expected;
  std::string file;
  {
    std::lock_guard lock(tasksMutex_);
    if (size_t(info.TaskIndex) >= tasks_.size()) return check;
    const TTaskPlan& task = tasks_[size_t(info.TaskIndex)];
    file = task.Output;
    expected.DurationUs = task.ExpectedUs;
    // A conversion that lost the picture the format and the source both
    // have is no success, whatever the engine says.
    expected.VideoRequired = task.Video;
  }
  return outputChecker_(file, expected);
}

void TBatchDriver::CheckTrim(const TlvFilesRecord& record, std::int64_t duration) const {
  if (duration <= 0 || record.TrimStart < duration) return;
  throw EConvertError("The trim of " + ExtractFileName(record.SourceFile) + " starts at " +
                      TimeToText(record.TrimStart) + ", at or after its end (" +
                      TimeToText(duration) + "): nothing is left to convert.");
}

std::int64_t TBatchDriver::NowMs() const {
  if (nowMs_) return nowMs_();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TBatchDriver::StartTasks() {
  batch_.Reset(BatchLengths());
  batchClock_ = TFileClock();
  batchClock_.Start(NowMs());
  fileClocks_.assign(size_t(batch_.Count()), TFileClock());
  nextToStart_ = 0;
  endedCount_ = 0;
  cancelled_ = false;
  endActionsRun_ = false;
  MarkStarted();
  if (!RowsLeft()) {
    vcl_.StartTask(filesAtOnce_);
    return;
  }
  openRun_ = true;
  vcl_.StartOpenRun(filesAtOnce_);
  PrepareAhead();
  // Should every file have ended while the last ones were prepared (and
  // those were left out), nothing else would see the batch through.
  RunEndActions();
}

void TBatchDriver::MarkStarted() {
  // Added tasks only: a task being added is recorded a moment before.
  const int limit = std::min(int(taskGood_.size()), endedCount_ + filesAtOnce_);
  const std::int64_t now = NowMs();
  while (!cancelled_ && nextToStart_ < limit) {
    fileClocks_[size_t(nextToStart_)].Start(now);
    batch_.Started(nextToStart_++);
  }
}

void TBatchDriver::Pause() {
  const std::int64_t now = NowMs();
  batchClock_.Pause(now);
  for (auto& clock : fileClocks_) clock.Pause(now);
  vcl_.PauseConvert();
}

void TBatchDriver::Resume() {
  const std::int64_t now = NowMs();
  batchClock_.Resume(now);
  for (auto& clock : fileClocks_) clock.Resume(now);
  vcl_.ResumeConvert();
}

void TBatchDriver::Cancel() {
  if (running_) cancelled_ = true;
  vcl_.StopConvert(true);
  CloseOpenRun();
}

void TBatchDriver::DetachHandlers() {
  vcl_.SetOnCustomHook(nullptr);
  vcl_.SetOnProgress(nullptr);
  vcl_.SetOnTerminate(nullptr);
  vcl_.StopConvert(true);
  CloseOpenRun();
  std::lock_guard lock(tasksMutex_);
  tasks_.clear();
}

std::vector<int> TBatchDriver::TaskRows() const {
  std::lock_guard lock(tasksMutex_);
  std::vector<int> rows;
  for (const TTaskPlan& task : tasks_) rows.push_back(task.Row);
  return rows;
}

std::vector<std::string> TBatchDriver::OutputFiles() const {
  std::lock_guard lock(tasksMutex_);
  std::vector<std::string> files;
  for (const TTaskPlan& task : tasks_) files.push_back(task.Output);
  return files;
}

int TBatchDriver::RowOfTask(int taskIndex) const {
  int row;
  {
    std::lock_guard lock(tasksMutex_);
    if (taskIndex < 0 || size_t(taskIndex) >= tasks_.size()) return -1;
    row = tasks_[size_t(taskIndex)].Row;
  }
  return row >= 0 && row < list_.Count() ? row : -1;
}

void TBatchDriver::HandleProgress(const TProgressInfo& info) {
  const int row = RowOfTask(info.TaskIndex);
  if (row < 0) return;
  batch_.Report(info.TaskIndex, info.CurrentDuration, info.TotalDuration);
  TProgressTexts texts = MakeProgressTexts(info, batch_.Count(), list_.Row(row).Caption);
  // Every running file's row shows its own share; the window follows one.
  if (texts.Percent >= 0) list_.SetProgress(row, std::to_string(texts.Percent) + "%");
  if (!progressView_ || info.TaskIndex != batch_.Shown() ||
      size_t(info.TaskIndex) >= fileClocks_.size())
    return;
  const TFileClock& clock = fileClocks_[size_t(info.TaskIndex)];
  texts.TimeLeft = TimeLeftText(
      EstimateLeftMs(clock.SpentMs(NowMs()), info.CurrentDuration, info.TotalDuration));
  FillBatchTexts(texts);
  if (texts.Percent >= 0) progressView_->SetFilePercent(texts.Percent);
  progressView_->ShowProgress(texts);
}

void TBatchDriver::FillBatchTexts(TProgressTexts& texts) {
  texts.BatchPercent = batch_.Percent();
  texts.Files = batch_.FilesText();
  texts.Running = batch_.Running();
  // Nothing is left once every file has ended.
  if (batch_.Done() < batch_.Count())
    texts.BatchTimeLeft = TimeLeftText(BatchLeftMs(batchClock_.SpentMs(NowMs()), batch_.Share()));
}

void TBatchDriver::HandlePreview(const TPreviewInfo& info) {
  if (!info.Bitmap || info.Bitmap->Width() <= 0 || info.Bitmap->Height() <= 0) return;
  // The window shows the pictures of the file it follows.
  batch_.Report(info.TaskIndex, 0, -1);
  if (info.TaskIndex != batch_.Shown()) return;
  previewBitmap_ = *info.Bitmap;
  ++previewCount_;
}

void TBatchDriver::HandleHook(THookInfo& info) {
  const int row = RowOfTask(info.TaskIndex);
  if (row < 0 || !frameHook_) return;
  frameHook_(*list_.Row(row).Record, info);
}

void TBatchDriver::HandleTerminate(const TTerminateInfo& info, const TOutputCheck& check) {
  notices_.push_back(info);
  if (info.TaskIndex < 0) {
    // Files a stopped batch never came to count as stopped too.
    summary_.Stopped += int(batchRows_.size() - nextRow_);
    nextRow_ = batchRows_.size();
    FinishBatch();
    return;
  }
  const int row = RowOfTask(info.TaskIndex);
  if (info.Completed && check.Passed)
    ++summary_.Converted;
  else if (info.Failed || info.Completed)
    ++summary_.Failed;
  else
    ++summary_.Stopped;
  // A file too short to report anything still fills the bar as it ends.
  const bool shown = batch_.Shown() < 0 || info.TaskIndex == batch_.Shown();
  batch_.Ended(info.TaskIndex);
  ++endedCount_;
  MarkStarted();
  // A failed file says why in its own cell, not only in the cell's tip:
  // its last percentage would read as a file that is still on its way.
  if (info.Failed && row >= 0 && !info.ErrorMessage.empty())
    list_.SetProgress(row, info.ErrorMessage, info.ErrorMessage);
  // Pictures the hook had to skip: the file converted without them.
  const std::vector<std::string> warnings = renderer_->TakeWarnings(info.TaskIndex);
  if (progressView_)
    for (const auto& text : warnings) progressView_->FileWarning(info.TaskIndex, text);
  if (info.Completed) {
    if (row >= 0) {
      if (!check.Passed)
        list_.SetProgress(row, "Check failed", check.Reason);
      else if (!warnings.empty())
        list_.SetProgress(row, "100% (" + warnings.front() + ")", warnings.front());
      else
        list_.SetProgress(row, "100%");
    }
    if (progressView_ && shown) progressView_->SetFilePercent(100);
    if (check.Passed && size_t(info.TaskIndex) < taskGood_.size())
      taskGood_[size_t(info.TaskIndex)] = true;
  }
  if (progressView_) {
    TProgressTexts batch;
    FillBatchTexts(batch);
    progressView_->ShowBatch(batch);
    progressView_->TaskEnded(info);
  }
  PrepareAhead();
  RunEndActions();
}

void TBatchDriver::RunEndActions() {
  // Files end in any order when several run at once: the actions wait for
  // the last of them, and a batch the user stopped has no end to act on.
  if (endActionsRun_ || !progressView_ || RowsLeft() || batch_.Done() < batch_.Count()) return;
  endActionsRun_ = true;
  // Only a good last file counts: an output that failed its check is no
  // finished conversion to show or to shut down after.
  const bool lastFileGood = !taskGood_.empty() && taskGood_.back();
  if (!lastFileGood || cancelled_) return;
  if (progressView_->OpenFolderChecked() && !OpenOutputFolder(context_.SettingsFile))
    progressView_->ShowNotice(NotOpenedText(TAppSettings(context_.SettingsFile).OutPutDir()));
  if (progressView_->ShutDownChecked()) platform::ShutDownComputer();
}

void TBatchDriver::FinishBatch() {
  if (listView_)
    listView_->EnableButtons(IBatchListView::btAdd | IBatchListView::btRemove |
                             IBatchListView::btClear | IBatchListView::btStart);
  vcl_.ClearTasks();
  const bool wasRunning = running_;
  running_ = false;
  // Told while the progress window still shows, so that the windows can
  // still tell whether the user is looking at them.
  if (OnBatchFinished) OnBatchFinished(summary_);
  if (progressView_ && wasRunning) progressView_->Close();
}

std::string BatchSummaryText(const TBatchSummary& summary) {
  auto files = [](int n) { return std::to_string(n) + (n == 1 ? " file" : " files"); };
  std::string text = files(summary.Converted) + " converted";
  if (summary.Failed > 0) text += ", " + std::to_string(summary.Failed) + " failed";
  if (summary.Stopped > 0) text += ", " + std::to_string(summary.Stopped) + " stopped";
  text += ".";
  if (summary.Converted + summary.Failed > 0 && !summary.Folder.empty())
    text += " They are in " + summary.Folder + ".";
  return text;
}
