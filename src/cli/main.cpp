// quor-convert: converts media files from the command line with the
// program's own engine. Each way of describing the conversion lives in a
// mode of its own; this file only picks one.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CatalogueMode.h"
#include "cli/ConsoleRun.h"
#include "cli/RawMode.h"

namespace {

void PrintUsage(std::FILE* to) {
  std::fputs(
      "Usage: quor-convert [input options] -i INPUT [output options] OUTPUT [-i INPUT2 ... "
      "OUTPUT2]...\n"
      "\n"
      "Converts each INPUT into the OUTPUT that follows it, one file after another.\n"
      "Options are written -name value in the engine's option vocabulary, for example:\n"
      "  -f FORMAT        container format (else taken from the file name)\n"
      "  -ss TIME         start position;  -t TIME  length to convert\n"
      "  -vcodec NAME     video encoder (copy: keep the stream);  -vn  no video\n"
      "  -vb RATE         video bit rate (300k, 1.5M);  -s WxH  frame size;  -r FPS  frame rate\n"
      "  -vf FILTERS      video filter chain\n"
      "  -acodec NAME     audio encoder (copy: keep the stream);  -an  no audio\n"
      "  -ab RATE         audio bit rate;  -ar HZ  sample rate;  -ac N  channels\n"
      "Options before -i apply to that input, options after it to its output.\n"
      "\n"
      "  -y               replace output files that exist\n"
      "  --               the names after it are files (an output named -x.avi)\n"
      "  --quiet          no progress line\n"
      "  --help           this text\n"
      "\n"
      "Ctrl+C (or SIGTERM) stops the conversion and finishes the output file so that it\n"
      "plays up to the point reached; a second one quits at once.\n"
      "Exit status: 0 converted, 1 a file failed, 2 bad command line, 130 stopped by\n"
      "Ctrl+C, 143 stopped by SIGTERM.\n",
      to);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintUsage(stderr);
    return ExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintUsage(stdout);
    std::fputs("\n", stdout);
    PrintCatalogueUsage(stdout);
    return ExitOk;
  }
  if (IsCatalogueCommandLine(args)) return RunCatalogueMode(args);
  return RunRawMode(args);
}
