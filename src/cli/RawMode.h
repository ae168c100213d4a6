// Raw mode of the command-line converter: the engine's own option vocabulary.
//
//   quor-convert [-name value]... -i IN [-name value]... OUT  [-i IN2 ... OUT2]...
//
// Options before -i apply to that input, options between -i and the output
// name to that output; every input/output pair becomes one task. Plain data
// and functions; main thread only.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/options/OptionRecords.h"

// A command line that cannot be understood; the text says why.
class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TRawTask {
  std::string Input;
  std::vector<TOptionLine> InputOptions;
  std::string Output;
  std::vector<TOptionLine> OutputOptions;
};

struct TRawCommandLine {
  std::vector<TRawTask> Tasks;
  bool Overwrite = false;  // -y: replace existing output files
  bool Quiet = false;      // --quiet: no progress line
};

// Throws TUsageError.
TRawCommandLine ParseRawCommandLine(const std::vector<std::string>& args);

// The option lines as one option text for the records' ExtraOptions.
std::string OptionText(const std::vector<TOptionLine>& lines);

// Parses, loads the libraries, sets up the tasks and converts; an exit code.
int RunRawMode(const std::vector<std::string>& args);
