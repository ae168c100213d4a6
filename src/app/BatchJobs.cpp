#include "app/BatchJobs.h"

#include <algorithm>

bool EncoderThreadsWell(const std::string& videoCodec, int outputHeight) {
  const bool h264 = videoCodec == "libx264" || videoCodec == "h264";
  return h264 && outputHeight >= kThreadedEncoderLines;
}

int AutoFilesAtOnce(int cores, bool threadsWell) {
  const int n = std::clamp(cores, 1, kAutoFilesAtOnceLimit);
  return threadsWell ? std::min(n, kAutoThreadedFilesLimit) : n;
}

int FilesAtOnce(int setting, int cores, bool threadsWell, int taskCount) {
  const int n =
      setting >= 1 && setting <= kMaxFilesAtOnce ? setting : AutoFilesAtOnce(cores, threadsWell);
  return std::max(1, std::min(n, taskCount));
}

std::string FilesAtOnceText(int setting) {
  if (setting >= 1 && setting <= kMaxFilesAtOnce) return std::to_string(setting);
  return "Auto";
}

// ---- TBatchProgress ---------------------------------------------------------

void TBatchProgress::Reset(std::vector<std::int64_t> lengthsUs) {
  lengths_ = std::move(lengthsUs);
  tasks_.assign(lengths_.size(), TTask{});
  done_ = 0;
}

void TBatchProgress::Started(int task) {
  if (Valid(task)) tasks_[size_t(task)].Started = true;
}

void TBatchProgress::Report(int task, std::int64_t doneUs, std::int64_t totalUs) {
  if (!Valid(task) || tasks_[size_t(task)].Ended) return;
  TTask& t = tasks_[size_t(task)];
  t.Started = true;
  // Nothing is known of a file whose length is not.
  if (totalUs > 0) t.Share = std::clamp(double(doneUs) / double(totalUs), 0.0, 1.0);
}

void TBatchProgress::Ended(int task) {
  if (!Valid(task) || tasks_[size_t(task)].Ended) return;
  TTask& t = tasks_[size_t(task)];
  t.Ended = true;
  t.Share = 1;
  ++done_;
}

void TBatchProgress::Drop(int task) {
  if (!Valid(task) || tasks_[size_t(task)].Started) return;
  lengths_.erase(lengths_.begin() + task);
  tasks_.erase(tasks_.begin() + task);
}

int TBatchProgress::Running() const {
  return int(std::count_if(tasks_.begin(), tasks_.end(),
                           [](const TTask& t) { return t.Started && !t.Ended; }));
}

int TBatchProgress::Shown() const {
  for (size_t i = 0; i < tasks_.size(); ++i)
    if (tasks_[i].Started && !tasks_[i].Ended) return int(i);
  return -1;
}

int TBatchProgress::Percent() const {
  if (lengths_.empty()) return -1;
  return int(std::clamp(Share() * 100.0, 0.0, 100.0));
}

double TBatchProgress::Share() const {
  if (lengths_.empty()) return 0;
  const bool weighed =
      std::all_of(lengths_.begin(), lengths_.end(), [](std::int64_t l) { return l > 0; });
  double done = 0, all = 0;
  for (size_t k = 0; k < lengths_.size(); ++k) {
    const double weight = weighed ? double(lengths_[k]) : 1.0;
    all += weight;
    done += weight * tasks_[k].Share;
  }
  return std::clamp(done / all, 0.0, 1.0);
}

std::string TBatchProgress::FilesText() const {
  return std::to_string(done_) + " of " + std::to_string(Count()) + " done";
}

std::int64_t BatchLeftMs(std::int64_t spentMs, double share) {
  // The share as a length of a million "microseconds": the file estimate's rule.
  constexpr std::int64_t kWhole = 1000000;
  return EstimateLeftMs(spentMs, std::int64_t(share * double(kWhole)), kWhole);
}

std::string BatchLineText(const TProgressTexts& texts) {
  std::string text = texts.Files;
  if (texts.Running > 1) text += ", " + std::to_string(texts.Running) + " running";
  if (!texts.BatchTimeLeft.empty()) text += ", " + texts.BatchTimeLeft;
  return text;
}
