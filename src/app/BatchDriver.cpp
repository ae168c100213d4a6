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
  taskRows_.clear();
  outputFiles_.clear();
  expectedDurations_.clear();
  expectVideo_.clear();
  threadsWell_.clear();
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

  for (int row = 0; row < list_.Count(); ++row)
    if (list_.Row(row).Checked) PrepareRow(row);

  if (taskRows_.empty()) {
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

  // A file that cannot be read any more fails alone; the others convert.
  const int task = vcl_.AddTask(input.FileName, &input);
  if (task < 0) {
    SkipRow(row, vcl_.LastErrMsg());
    return false;
  }
  output.CustomHook = record.HasEffects();
  // A task without its output would only fail later with a message that
  // hides the reason; the reason is given now instead.
  if (!vcl_.SetOutputFile(task, outputName, &output)) {
    const std::string message = vcl_.LastErrMsg();
    vcl_.RemoveTask(task);
    SkipRow(row, message);
    return false;
  }
  taskRows_.push_back(row);
  outputFiles_.push_back(outputName);
  // What the output should last: the length asked for, else the rest of the
  // source after the trim start.
  std::int64_t expected = -1;
  if (output.Duration != OptionNoTime && output.Duration > 0)
    expected = output.Duration;
  else if (info.Duration > 0)
    expected = info.Duration - std::max<std::int64_t>(record.TrimStart, 0);
  expectedDurations_.push_back(expected);
  expectVideo_.push_back(sourceHasVideo &&
                         FormatOffersVideo(TFormatProfile(context_.ProfileFile, code)));
  threadsWell_.push_back(EncoderThreadsWell(output.VideoCodec, OutputHeight(output, probe)));
  return true;
}

void TBatchDriver::ChooseFilesAtOnce() {
  const int setting = filesAtOnceSetting_ >= 0 ? filesAtOnceSetting_
                                               : TAppSettings(context_.SettingsFile).FilesAtOnce();
  const auto well = std::count(threadsWell_.begin(), threadsWell_.end(), true);
  const bool mostThreadWell = well * 2 > std::int64_t(threadsWell_.size());
  filesAtOnce_ = ::FilesAtOnce(setting, ProcessorCount(), mostThreadWell, int(taskRows_.size()));
}

TOutputCheck TBatchDriver::CheckTaskOutput(const TTerminateInfo& info) const {
  TOutputCheck check;
  check.Passed = true;
  if (!outputChecker_ || !info.Completed || info.TaskIndex < 0 ||
      size_t(info.TaskIndex) >= outputFiles_.size())
    return check;
  TOutputExpectation expected;
  expected.DurationUs = expectedDurations_[size_t(info.TaskIndex)];
  // A conversion that lost the picture the format and the source both have
  // is no success, whatever the engine says.
  expected.VideoRequired = expectVideo_[size_t(info.TaskIndex)];
  return outputChecker_(outputFiles_[size_t(info.TaskIndex)], expected);
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
  const std::int64_t now = NowMs();
  const int count = int(taskRows_.size());
  batch_.Reset(expectedDurations_);
  batchClock_ = TFileClock();
  batchClock_.Start(now);
  fileClocks_.assign(size_t(count), TFileClock());
  nextToStart_ = std::min(filesAtOnce_, count);
  for (int i = 0; i < nextToStart_; ++i) {
    fileClocks_[size_t(i)].Start(now);
    batch_.Started(i);
  }
  cancelled_ = false;
  lastFileGood_ = false;
  endActionsRun_ = false;
  vcl_.StartTask(filesAtOnce_);
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
}

void TBatchDriver::DetachHandlers() {
  vcl_.SetOnCustomHook(nullptr);
  vcl_.SetOnProgress(nullptr);
  vcl_.SetOnTerminate(nullptr);
  vcl_.StopConvert(true);
  taskRows_.clear();
}

int TBatchDriver::RowOfTask(int taskIndex) const {
  if (taskIndex < 0 || size_t(taskIndex) >= taskRows_.size()) return -1;
  const int row = taskRows_[size_t(taskIndex)];
  return row >= 0 && row < list_.Count() ? row : -1;
}

void TBatchDriver::HandleProgress(const TProgressInfo& info) {
  const int row = RowOfTask(info.TaskIndex);
  if (row < 0) return;
  batch_.Report(info.TaskIndex, info.CurrentDuration, info.TotalDuration);
  TProgressTexts texts = MakeProgressTexts(info, vcl_.TaskCount(), list_.Row(row).Caption);
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
  // The converter starts the next file in list order as this one ends.
  if (!cancelled_ && nextToStart_ < int(fileClocks_.size())) {
    fileClocks_[size_t(nextToStart_)].Start(NowMs());
    batch_.Started(nextToStart_++);
  }
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
    // Only a good last file counts: an output that failed its check is no
    // finished conversion to show or to shut down after.
    if (info.TaskIndex + 1 == int(taskRows_.size()) && check.Passed) lastFileGood_ = true;
  }
  if (progressView_) progressView_->TaskEnded(info);
  RunEndActions();
}

void TBatchDriver::RunEndActions() {
  // Files end in any order when several run at once: the actions wait for
  // the last of them, and a batch the user stopped has no end to act on.
  if (endActionsRun_ || !progressView_ || batch_.Done() < batch_.Count()) return;
  endActionsRun_ = true;
  if (!lastFileGood_ || cancelled_) return;
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
