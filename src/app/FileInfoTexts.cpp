#include "app/FileInfoTexts.h"

#include "app/ShortNames.h"
#include "engine/common/TextFormat.h"
#include "engine/component/FFmpegVCL.h"

namespace {

// A count or rate as the fields show it: decimal, or nothing when unknown.
std::string CountText(std::int64_t value) {
  return value > 0 ? std::to_string(value) : std::string();
}

void FillVideo(TAVProbe& probe, int index, std::int64_t fileDuration, TFileInfoTexts& texts) {
  TVideoStreamInfo video;
  if (!probe.VideoStreamInfo(index, video)) return;
  if (video.Width > 0 && video.Height > 0)
    texts.Resolution = std::to_string(video.Width) + "x" + std::to_string(video.Height);
  texts.FrameRate = FrameRateText(video.FrameRateNum, video.FrameRateDen);
  // Containers that keep no per-stream length leave the file's.
  const std::int64_t duration = video.Duration > 0 ? video.Duration : fileDuration;
  texts.TotalFrames = TotalFramesText(duration, video.FrameRateNum, video.FrameRateDen);
  texts.VideoBitRate = CountText(video.BitRate);
}

void FillAudio(TAVProbe& probe, int index, const std::string& description, TFileInfoTexts& texts) {
  TAudioStreamInfo audio;
  if (!probe.AudioStreamInfo(index, audio)) return;
  texts.AudioBitRate = CountText(audio.BitRate);
  texts.SampleRate = CountText(audio.SampleRate);
  texts.Channels = CountText(audio.Channels);
  texts.AudioFormat = AudioFormatFromDescription(description);
}

}  // namespace

std::string FileInfoName(const std::string& path) {
  const std::string shortened = ShortenedPath(path, kInfoNameWhole, kInfoNameHead);
  return shortened == path ? path : shortened + "  ";
}

std::string FileInfoDuration(std::int64_t durationUs) {
  if (durationUs < 0) return {};
  return FormatText("%lld.%.3lld Second", static_cast<long long>(durationUs / 1000000),
                    static_cast<long long>(durationUs / 1000 % 1000));
}

std::string FrameRateText(int num, int den) {
  if (num <= 0 || den <= 0) return {};
  std::string text = FormatText("%.3f", static_cast<double>(num) / den);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

std::string TotalFramesText(std::int64_t durationUs, int num, int den) {
  if (durationUs <= 0 || num <= 0 || den <= 0) return {};
  const __int128 scaled = static_cast<__int128>(durationUs) * num;
  const __int128 unit = static_cast<__int128>(den) * 1000000;
  return std::to_string(static_cast<std::int64_t>((scaled + unit / 2) / unit));
}

std::string AudioFormatFromDescription(const std::string& description) {
  // Only stream lines count: a tag such as a title may hold the same word.
  static const std::string kMark = "Audio: ";
  for (std::size_t line = 0; line < description.size();) {
    std::size_t end = description.find_first_of("\r\n", line);
    if (end == std::string::npos) end = description.size();
    const std::string text = description.substr(line, end - line);
    const std::size_t at = text.find(kMark);
    if (text.rfind("Stream #", 0) == 0 && at != std::string::npos) {
      const std::size_t start = at + kMark.size();
      return text.substr(start, text.find(',', start) - start);
    }
    line = end + 1;
  }
  return {};
}

bool ReadFileInfo(TFFmpegVCL& vcl, const std::string& source, TFileInfoTexts& texts,
                  std::string& error) {
  texts = TFileInfoTexts{};
  texts.Name = FileInfoName(source);
  texts.NameShortened = texts.Name != source;
  vcl.ClearTasks();
  TInputOptions input;
  TFFmpegVCL::InitInputOptions(input);
  input.FileName = source;
  const int task = vcl.AddTask(source, &input);
  TAVProbe& probe = vcl.AVProbe();
  if (task < 0) {
    error = vcl.LastErrMsg();
    return false;
  }
  if (!probe.Open(source)) {
    error = probe.LastErrMsg();
    return false;
  }
  TFileStreamInfo file;
  probe.FileStreamInfo(file);
  texts.Duration = FileInfoDuration(file.Duration);
  texts.Format = probe.FormatName();
  // The streams as the task's input sees them (the same file).
  TAVProbe* input0 = vcl.InputProbe(task, 0);
  TAVProbe& streams = input0 ? *input0 : probe;
  if (probe.IsVideoStream(probe.VideoStreamIndex()))
    FillVideo(streams, probe.VideoStreamIndex(), file.Duration, texts);
  if (probe.IsAudioStream(probe.AudioStreamIndex()))
    FillAudio(streams, probe.AudioStreamIndex(), probe.FileInfoText(), texts);
  return true;
}

void CloseFileInfo(TFFmpegVCL& vcl) {
  vcl.ClearTasks();
  vcl.AVProbe().Close();
}
