// Fuzz target: converting a damaged media file. The input's first byte picks
// the output format, the rest is the source file. "-make_corpus=DIR" writes
// the tiny clips of the test media, once per output format, as its corpus.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzSupport.h"
#include "engine/common/FFmpegException.h"
#include "engine/component/FFmpegVCL.h"

namespace {

// Output names (their extension chooses the container and its default
// codecs) with extra options, covering the encoders the program's formats use.
struct TTarget {
  const char* Name;
  const char* Options;
};
const TTarget kTargets[] = {
    {"out.mp4", ""},          {"out.mp3", ""},           {"out.avi", ""}, {"out.wav", ""},
    {"out.ogg", ""},          {"out.mkv", "acodec=ac3"}, {"out.mpg", ""}, {"out.flv", ""},
    {"out.3gp", "s=176x144"}, {"out.wma", ""},
};
constexpr std::size_t kTargetCount = std::size(kTargets);
constexpr const char* kOutputSizeCap = "fs=4000000";

void WriteCorpus(const std::string& folder) {
  for (int clip = 0; clip < fuzz::kClipCount; ++clip) {
    std::ifstream in(fuzz::Clip(clip), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t t = 0; t < kTargetCount; ++t) {
      std::ofstream out(folder + "/clip-" + std::to_string(clip) + "-" + std::to_string(t),
                        std::ios::binary);
      out.put(char(t));
      out << bytes;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::LoadMediaLibraries();
  fuzz::ScratchFolder();
  fuzz::HandleMakeCorpus(*argc, *argv, WriteCorpus);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::TInScratchFolder inScratch;
  if (size < 2) return 0;
  const TTarget& target = kTargets[data[0] % kTargetCount];
  const std::string source = fuzz::ScratchFolder() + "source";
  {
    std::ofstream out(source, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));
  }
  TFFmpegVCL vcl;
  vcl.SetTriggerEventInMainThread(false);
  TOutputOptions output;
  output.ExtraOptions = std::string(target.Options) + "\n" + kOutputSizeCap;
  try {
    const int task = vcl.AddTask(source);
    if (task >= 0 && vcl.SetOutputFile(task, fuzz::ScratchFolder() + target.Name, &output))
      vcl.StartTask(0);
  } catch (const FFmpegException&) {
  }
  vcl.ClearTasks();
  fuzz::EmptyScratchFolder();
  return 0;
}
