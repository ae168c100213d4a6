// Fuzz target: the option builder on any settings file and format code, then
// the conversion it describes. The input's first line is the format code
// (empty: the one the settings file chose), its
// second picks the source's facts, the rest is the settings file; the format
// profile is the installed one. A format that offers video must never come
// out without it for a source that has video: that aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "app/OptionBuilder.h"
#include "engine/common/FFmpegException.h"
#include "engine/component/FFmpegVCL.h"
#include "platform/IniFile.h"
#include "profiles/FormatProfile.h"

namespace {

constexpr const char* kOutputSizeCap = "fs=4000000";

struct TSource {
  TSourceStreams Streams;
  int Clip = 0;
};

TSource SourceOf(const std::string& line) {
  TSource s;
  switch (line.empty() ? 0 : static_cast<unsigned char>(line[0]) % 3) {
    case 1:  // sound only
      s.Streams.VideoStreamCount = 0;
      s.Streams.AudioBitRate = 128000;
      s.Streams.AudioSampleRate = 8000;
      s.Clip = 1;
      break;
    case 2:  // a file the probe could not open
      s.Clip = 0;
      break;
    default:
      s.Streams = {1, 300000, 64, 48, 128000, 22050};
      s.Clip = 0;
      break;
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::PrepareConversionTarget();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::TInScratchFolder inScratch;
  const auto lines = fuzz::Lines(data, size, 2, 64);
  if (lines.empty()) return 0;
  const TSource source = SourceOf(lines.size() > 1 ? lines[1] : "");
  std::size_t skip = 0;
  for (int n = 0; skip < size && n < 2; ++skip)
    if (data[skip] == '\n') ++n;

  const std::string settings = fuzz::ScratchFolder() + "settings.ini";
  {
    std::ofstream out(settings, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + skip), std::streamsize(size - skip));
  }
  TDefaultUserInteraction ui;
  const TBuildContext context{settings, QUOR_FUZZ_PROFILE, &ui};
  // An empty first line: the format the settings file chose, as Start takes it.
  int code = 0;
  if (lines[0].empty())
    code = ChosenFormatCode(settings, &ui);
  else if (!platform::ParseIniInt(lines[0], code))
    return 0;
  TlvFilesRecord record;
  record.Zoom = TFormatSettings(settings, code).ParaZoom(kListZoomDefault);
  TInputOptions input;
  TOutputOptions output;
  const std::string clip = fuzz::Clip(source.Clip);
  input.FileName = clip;
  try {
    BuildConversionOptions(context, record, code, output, source.Streams, input);
  } catch (const EConvertError&) {
    return 0;
  }
  if (source.Streams.VideoStreamCount > 0 &&
      FormatOffersVideo(TFormatProfile(QUOR_FUZZ_PROFILE, code)) && output.DisableVideo) {
    std::fprintf(stderr, "format %d offers video but the options leave it out\n", code);
    std::abort();
  }

  TFFmpegVCL vcl;
  vcl.SetTriggerEventInMainThread(false);
  output.ExtraOptions += std::string(output.ExtraOptions.empty() ? "" : "\n") + kOutputSizeCap;
  const std::string ext =
      fuzz::ScratchName(TFormatProfile(QUOR_FUZZ_PROFILE, code).FileExt(), "avi");
  try {
    const int task = vcl.AddTask(clip, &input);
    if (task >= 0 && vcl.SetOutputFile(task, fuzz::ScratchFolder() + "out." + ext, &output))
      vcl.StartTask(0);
  } catch (const FFmpegException&) {
  }
  vcl.ClearTasks();
  fuzz::EmptyScratchFolder();
  return 0;
}
