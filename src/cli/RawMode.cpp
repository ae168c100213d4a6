#include "cli/RawMode.h"

#include <cstdio>
#include <set>

#include "cli/ConsoleRun.h"
#include "engine/component/FFmpegVCL.h"
#include "engine/libav/MediaUtils.h"

namespace {

// Options of the vocabulary that take no value.
const std::set<std::string>& Switches() {
  static const std::set<std::string> names = {
      "an",        "vn",          "sn",          "y",          "shortest", "copyts",
      "xerror",    "intra",       "psnr",        "vstats",     "qphist",   "sameq",
      "force_fps", "isync",       "dump",        "hex",        "re",       "newvideo",
      "newaudio",  "newsubtitle", "deinterlace", "loop_input", "benchmark"};
  return names;
}

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace

TRawCommandLine ParseRawCommandLine(const std::vector<std::string>& args) {
  TRawCommandLine cl;
  TRawTask task;
  bool haveInput = false, optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;  // what follows are names, even those that start with "-"
      continue;
    }
    if (!optionsEnded && arg == "--quiet") {
      cl.Quiet = true;
      continue;
    }
    if (optionsEnded || !IsOption(arg)) {
      if (!haveInput)
        throw TUsageError("the output file '" + arg + "' has no input (-i) before it");
      task.Output = arg;
      cl.Tasks.push_back(std::move(task));
      task = TRawTask{};
      haveInput = false;
      continue;
    }
    const std::string name = arg.substr(1);
    if (name == "y") {
      cl.Overwrite = true;
      continue;
    }
    std::string value;
    if (!Switches().count(name)) {
      if (i + 1 >= args.size()) throw TUsageError("the option " + arg + " needs a value");
      value = args[++i];
      if (value.find_first_of("\r\n") != std::string::npos)
        throw TUsageError("the value of " + arg + " spans several lines");
    }
    if (name == "i") {
      if (haveInput) throw TUsageError("the input '" + task.Input + "' has no output file");
      task.Input = value;
      haveInput = true;
      continue;
    }
    (haveInput ? task.OutputOptions : task.InputOptions).push_back({name, value});
  }
  if (haveInput) throw TUsageError("the input '" + task.Input + "' has no output file");
  if (!task.InputOptions.empty())
    throw TUsageError("options after the last output file apply to nothing");
  if (cl.Tasks.empty()) throw TUsageError("no input file given (-i)");
  return cl;
}

std::string OptionText(const std::vector<TOptionLine>& lines) {
  std::string text;
  for (const auto& l : lines) text += l.Name + "=" + l.Value + "\n";
  return text;
}

namespace {

// True when two names of the command line mean one file: by name, or as the
// same file through a link.
bool SameFileOrName(const std::string& a, const std::string& b) {
  return ExpandFullPath(a) == ExpandFullPath(b) || SameFile(a, b);
}

// Refuses what would destroy a file the user did not ask to replace: an
// output that is an input of the run (its own, or a later task's, which the
// earlier task would overwrite before it is read), an output named twice,
// and an existing output without -y.
void CheckOutputs(const TRawCommandLine& cl) {
  for (size_t i = 0; i < cl.Tasks.size(); ++i) {
    const TRawTask& task = cl.Tasks[i];
    if (SameFileOrName(task.Output, task.Input))
      throw TUsageError("the output file '" + task.Output + "' is also the input");
    for (const auto& other : cl.Tasks)
      if (SameFileOrName(task.Output, other.Input))
        throw TUsageError("the input '" + other.Input + "' is also an output of this run ('" +
                          task.Output + "')");
    for (size_t j = 0; j < i; ++j)
      if (SameFileOrName(task.Output, cl.Tasks[j].Output))
        throw TUsageError("the output file '" + task.Output + "' is named twice");
    if (!cl.Overwrite && FileExists(task.Output))
      throw TUsageError("the output file '" + task.Output + "' exists (add -y to replace it)");
  }
}

bool SetUpTasks(TFFmpegVCL& vcl, const TRawCommandLine& cl) {
  for (const auto& t : cl.Tasks) {
    TInputOptions in;
    in.ExtraOptions = OptionText(t.InputOptions);
    int index = vcl.AddTask(t.Input, &in);
    if (index < 0) {
      std::fprintf(stderr, "quor-convert: cannot open the input '%s': %s\n", t.Input.c_str(),
                   vcl.LastErrMsg().c_str());
      return false;
    }
    TOutputOptions out;
    out.ExtraOptions = OptionText(t.OutputOptions);
    if (!vcl.SetOutputFile(index, t.Output, &out)) {
      std::fprintf(stderr, "quor-convert: cannot set up the output '%s': %s\n", t.Output.c_str(),
                   vcl.LastErrMsg().c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int RunRawMode(const std::vector<std::string>& args) {
  TRawCommandLine cl;
  try {
    cl = ParseRawCommandLine(args);
    CheckOutputs(cl);
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "quor-convert: %s\nTry 'quor-convert --help'.\n", e.what());
    return ExitUsage;
  }
  TFFmpegVCL vcl;
  if (!LoadMediaLibraries(vcl)) return ExitFailed;
  if (!SetUpTasks(vcl, cl)) return ExitFailed;
  TConsoleRunSettings settings;
  settings.Quiet = cl.Quiet;
  for (const auto& t : cl.Tasks) settings.TaskNames.push_back(ExtractFileName(t.Output));
  return RunConversions(vcl, settings);
}
