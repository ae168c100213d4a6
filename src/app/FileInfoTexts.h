// What the file information window shows for a source, without the window:
// the shortened name, the duration text, the container, and the first video
// and audio streams' properties, read through the window's own converter.
//
// Plain functions. ReadFileInfo runs on the user-interface thread (it opens
// the file through the converter, which belongs to that thread); the text
// rules are pure and may run anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TFFmpegVCL;

// Paths up to this many characters are shown whole.
constexpr std::size_t kInfoNameWhole = 45;
constexpr std::size_t kInfoNameHead = 40;

struct TFileInfoTexts {
  std::string Name;            // lblSourceName
  bool NameShortened = false;  // the label then shows the whole path on hover
  std::string Duration;        // lblFileLength
  std::string Format;          // edtFormat: the container's short name
  // Video: empty for a source without video.
  std::string Resolution, FrameRate, TotalFrames, VideoBitRate;
  // Audio: empty for a source without sound.
  std::string AudioFormat, SampleRate, Channels, AudioBitRate;
};

// The path whole when it has at most 45 characters; otherwise its first 40
// characters, "..", its extension and two blanks.
std::string FileInfoName(const std::string& path);
// "83.005 Second" for 83 005 000 us; "" for an unknown duration (below 0).
std::string FileInfoDuration(std::int64_t durationUs);
// The rate num/den with at most three decimals, trailing zeros dropped
// ("25", "29.97", "23.976"); "" when either part is not above 0.
std::string FrameRateText(int num, int den);
// round(duration x num / den) frames; "" when the duration or the rate is
// unknown.
std::string TotalFramesText(std::int64_t durationUs, int num, int den);
// The first audio stream's codec as the probe's description names it: what
// follows "Audio: " up to the next comma (or the line's end); "" when the
// description has no audio stream.
std::string AudioFormatFromDescription(const std::string& description);

// Probes `source` as the window does: the converter's tasks are cleared, one
// task is added for the file (input options holding only its name) and the
// converter's probe is opened on it. False with `error` (the converter's or
// the probe's message) when the file cannot be opened; the name is filled
// even then. The converter keeps the task and the open probe until
// CloseFileInfo.
bool ReadFileInfo(TFFmpegVCL& vcl, const std::string& source, TFileInfoTexts& texts,
                  std::string& error);
// Lets go of the file: the converter's tasks and its probe.
void CloseFileInfo(TFFmpegVCL& vcl);
