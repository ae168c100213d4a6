#include "app/SourceList.h"

#include "app/BatchView.h"
#include "app/GlobalUnit.h"
#include "app/OptionBuilder.h"
#include "engine/component/FFmpegVCL.h"
#include "engine/libav/MediaUtils.h"
#include "platform/Folders.h"
#include "profiles/FormatProfile.h"

TSourceList::TSourceList(std::string settingsFile, std::string profileFile)
    : settingsFile_(std::move(settingsFile)), profileFile_(std::move(profileFile)) {}

TAddResult TSourceList::Add(TCustomFFmpegVCL& vcl, const std::vector<std::string>& files,
                            IUserInteraction* ui) {
  TAddResult result;
  vcl.ClearTasks();
  const int code = TAppSettings(settingsFile_).FormatCode();
  const std::string zoom = TFormatSettings(settingsFile_, code).ParaZoom(kListZoomDefault);

  for (const std::string& file : files) {
    if (platform::DirectoryExists(file)) {
      result.Skipped.push_back({file, "is a folder"});
      continue;
    }
    if (HasCaption(file)) {
      result.Duplicates.push_back(file);
      continue;
    }
    const std::string displayName = OutputFileNameFor(settingsFile_, profileFile_, file, ui);
    // The task only serves to open and probe the file.
    TInputOptions input;
    input.FileName = file;
    const int task = vcl.AddTask(file, &input);
    if (task < 0) {
      result.Skipped.push_back({file, vcl.LastErrMsg()});
      continue;
    }
    if (view_) view_->EnableButtons(IBatchListView::btStart);

    TFileStreamInfo info;
    if (TAVProbe* probe = vcl.InputProbe(task, 0)) probe->FileStreamInfo(info);
    // An unknown duration (-1) shows as 0.
    const std::string seconds = std::to_string(info.Duration / 1000000);
    TSourceRow row;
    row.Caption = file;
    row.Length = seconds;
    row.DurationUs = info.Duration;
    row.TrimmedLength = seconds;
    row.DestinationFile = ExtractFileName(displayName);
    row.Record = std::make_unique<TlvFilesRecord>(file, zoom);
    rows_.push_back(std::move(row));
    ++result.Added;

    if (view_) view_->EnableButtons(IBatchListView::btClear | IBatchListView::btRemove);
    vcl.RemoveTask(task);
    vcl.ClearTasks();
    selected_ = 0;
    Changed();
  }
  return result;
}

void TSourceList::Remove() {
  if (selected_ < 0 || selected_ >= Count()) return;
  const int k = selected_;
  rows_.erase(rows_.begin() + k);
  const int n = Count();
  if (n == 0) {
    selected_ = -1;
  } else if (k + 1 < n) {
    selected_ = k;
  } else {
    selected_ = n - 1;
  }
  if (n == 0 && view_) view_->StopPreview();
  Changed();
}

void TSourceList::Clear(TCustomFFmpegVCL& vcl) {
  if (rows_.empty()) return;
  vcl.ClearTasks();
  rows_.clear();
  selected_ = -1;
  if (view_) view_->StopPreview();
  Changed();
}

void TSourceList::RefreshDestinations(IUserInteraction* ui) {
  for (auto& row : rows_)
    row.DestinationFile =
        ExtractFileName(OutputFileNameFor(settingsFile_, profileFile_, row.Caption, ui));
  Changed();
}

void TSourceList::Select(int index) { selected_ = index >= 0 && index < Count() ? index : -1; }

int TSourceList::CheckedCount() const {
  int count = 0;
  for (const auto& row : rows_) count += row.Checked ? 1 : 0;
  return count;
}

void TSourceList::SetProgress(int index, const std::string& text, const std::string& tip) {
  Row(index).Progress = text;
  Row(index).ProgressTip = tip;
  if (view_) view_->RowChanged(index);
}

void TSourceList::SetTrimmedLength(int index, const std::string& text) {
  Row(index).TrimmedLength = text;
  if (view_) view_->RowChanged(index);
}

bool TSourceList::HasCaption(const std::string& caption) const {
  for (const auto& row : rows_)
    if (row.Caption == caption) return true;
  return false;
}

void TSourceList::Changed() {
  if (view_) view_->ListChanged(!rows_.empty());
}
