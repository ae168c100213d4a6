// Fuzz target: a command line of the converter's raw mode, one argument per
// line, parsed and converted as quor-convert would (option records, the
// component, the engine), on tiny clips. The guard keeps the conversion in
// the scratch folder: inputs are replaced by the clips, outputs and every
// other name go into the scratch folder, and a few options that only print,
// slow the run down for nothing, load code or reach devices are left out.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "cli/RawMode.h"
#include "engine/common/FFmpegException.h"
#include "engine/component/FFmpegVCL.h"

namespace {

constexpr std::size_t kMaxArguments = 48;
constexpr std::size_t kMaxArgumentLength = 200;
constexpr std::size_t kMaxTasks = 2;
// Bounds the output of inputs such as a huge frame rate.
constexpr const char* kOutputSizeCap = "4000000";

bool Dropped(const std::string& name) {
  static const char* const names[] = {"vhook", "loglevel", "v",          "dump",
                                      "hex",   "re",       "loop_input", "benchmark"};
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return name == n; });
}

// False when the options ask for something the fuzzer must not do on this
// machine; file names are moved into the scratch folder.
bool Guard(std::vector<TOptionLine>& lines) {
  std::vector<TOptionLine> kept;
  for (TOptionLine line : lines) {
    if (Dropped(line.Name)) continue;
    // Any value may name a file (private options, filter arguments): a path
    // could reach outside the scratch folder.
    if (line.Value.find('/') != std::string::npos || line.Name.find('/') != std::string::npos)
      return false;
    if (line.Name == "f" && fuzz::IsDeviceFormat(line.Value)) return false;
    kept.push_back(std::move(line));
  }
  lines = std::move(kept);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::PrepareConversionTarget();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::TInScratchFolder inScratch;
  TRawCommandLine cl;
  try {
    cl = ParseRawCommandLine(fuzz::Lines(data, size, kMaxArguments, kMaxArgumentLength));
  } catch (const TUsageError&) {
    return 0;
  }
  if (cl.Tasks.size() > kMaxTasks) cl.Tasks.resize(kMaxTasks);
  for (auto& t : cl.Tasks)
    if (!Guard(t.InputOptions) || !Guard(t.OutputOptions)) return 0;

  TFFmpegVCL vcl;
  vcl.SetTriggerEventInMainThread(false);
  int index = 0;
  for (const auto& t : cl.Tasks) {
    TInputOptions in;
    in.ExtraOptions = OptionText(t.InputOptions);
    const std::string clip = fuzz::Clip(int(t.Input.size() % fuzz::kClipCount));
    int task = -1;
    try {
      task = vcl.AddTask(clip, &in);
    } catch (const FFmpegException&) {
    }
    if (task < 0) continue;
    TOutputOptions out;
    std::vector<TOptionLine> options = t.OutputOptions;
    options.push_back({"fs", kOutputSizeCap});
    out.ExtraOptions = OptionText(options);
    const std::string name =
        "o" + std::to_string(index++) + "_" + fuzz::ScratchName(t.Output, "out.avi");
    try {
      if (!vcl.SetOutputFile(task, fuzz::ScratchFolder() + name, &out)) vcl.RemoveTask(task);
    } catch (const FFmpegException&) {
      vcl.RemoveTask(task);
    }
  }
  if (vcl.TaskCount() > 0) vcl.StartTask(0);
  vcl.ClearTasks();
  fuzz::EmptyScratchFolder();
  return 0;
}
