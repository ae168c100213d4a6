// Runs a fuzz target where libFuzzer is not available (a GCC build): the
// inputs named on the command line (files, or folders of files) are run
// first, then, for -runs=N or -max_total_time=S, mutations of them drawn from
// a random generator that starts from the same state every time, so a run
// repeats exactly.
// Understands the libFuzzer flags the project's scripts pass: -runs,
// -max_total_time, -max_len, -timeout, -dict, -artifact_prefix;
// others are ignored. Prints "Done N runs in S second(s)" as libFuzzer does.
//
// A crash (a sanitizer report, a signal, an exception that escapes the
// target) or an input that runs longer than -timeout writes the input to
// <artifact_prefix>crash-<hash> before the process ends, so it can be replayed
// and kept as a regression input. Single-threaded.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

using TBytes = std::vector<std::uint8_t>;

struct TSettings {
  long Runs = -1;  // -1: none beyond the given inputs unless a time is given
  double MaxTotalTime = 0;
  std::size_t MaxLen = 4096;
  unsigned Timeout = 60;
  std::string ArtifactPrefix = "./";
  std::vector<std::string> Dictionaries;
  std::vector<std::string> Paths;
};

// The input being run, kept where the crash handlers can reach it.
TBytes gCurrent;
char gArtifactPath[4096];

void WriteCurrentInput() {
  // Only calls that are safe inside a signal handler.
  int fd = ::open(gArtifactPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  std::size_t done = 0;
  while (done < gCurrent.size()) {
    ssize_t n = ::write(fd, gCurrent.data() + done, gCurrent.size() - done);
    if (n <= 0) break;
    done += std::size_t(n);
  }
  ::close(fd);
  const char note[] = "\n==fuzz driver== the failing input is in ";
  (void)!::write(2, note, sizeof note - 1);
  (void)!::write(2, gArtifactPath, std::strlen(gArtifactPath));
  (void)!::write(2, "\n", 1);
}

void OnFatalSignal(int sig) {
  WriteCurrentInput();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void OnTimeout(int) {
  const char note[] = "\n==fuzz driver== timeout: one input ran longer than -timeout\n";
  (void)!::write(2, note, sizeof note - 1);
  WriteCurrentInput();
  ::_exit(70);
}

void OnTerminate() {
  WriteCurrentInput();
  std::abort();
}

std::uint64_t Hash(const TBytes& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

bool ReadFile(const std::string& path, TBytes& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

void CollectInputs(const std::string& path, std::vector<TBytes>& inputs) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    TBytes bytes;
    if (ReadFile(path, bytes)) inputs.push_back(std::move(bytes));
    return;
  }
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  ::closedir(dir);
  std::sort(names.begin(), names.end());  // the same order on every machine
  for (const auto& n : names) CollectInputs(path + "/" + n, inputs);
}

// libFuzzer's dictionary format: one "token" per line, \\, \" and \xNN escapes.
void ReadDictionary(const std::string& path, std::vector<TBytes>& tokens) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t open = line.find('"');
    const size_t close = line.rfind('"');
    if (line.empty() || line[0] == '#' || open == std::string::npos || close <= open) continue;
    TBytes token;
    for (size_t i = open + 1; i < close; ++i) {
      if (line[i] == '\\' && i + 1 < close) {
        if (line[i + 1] == 'x' && i + 3 < close) {
          token.push_back(std::uint8_t(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16)));
          i += 3;
        } else {
          token.push_back(std::uint8_t(line[++i]));
        }
      } else {
        token.push_back(std::uint8_t(line[i]));
      }
    }
    if (!token.empty()) tokens.push_back(std::move(token));
  }
}

class TMutator {
 public:
  TMutator(std::size_t maxLen, std::vector<TBytes> tokens)
      : maxLen_(maxLen), tokens_(std::move(tokens)) {}

  TBytes Mutate(const std::vector<TBytes>& corpus) {
    TBytes data = corpus.empty() ? TBytes{} : corpus[Below(corpus.size())];
    const int steps = 1 + int(Below(4));
    for (int i = 0; i < steps; ++i) Step(data, corpus);
    if (data.size() > maxLen_) data.resize(maxLen_);
    return data;
  }

 private:
  std::size_t Below(std::size_t n) { return n ? std::size_t(random_() % n) : 0; }

  void Step(TBytes& d, const std::vector<TBytes>& corpus) {
    static const char* const kNumbers[] = {
        "0",          "-1",    "1",  "2147483647",          "-2147483648",
        "4294967295", "1e9",   "-0", "9223372036854775807", "1e308",
        "0.000001",   "65536", "16"};
    switch (Below(9)) {
      case 0:  // flip a bit
        if (!d.empty()) d[Below(d.size())] ^= std::uint8_t(1u << Below(8));
        break;
      case 1:  // set a byte
        if (!d.empty()) d[Below(d.size())] = std::uint8_t(random_());
        break;
      case 2: {  // insert bytes
        const std::size_t at = Below(d.size() + 1);
        const std::size_t n = 1 + Below(8);
        for (std::size_t i = 0; i < n; ++i) d.insert(d.begin() + long(at), std::uint8_t(random_()));
        break;
      }
      case 3: {  // erase a run
        if (d.empty()) break;
        const std::size_t at = Below(d.size());
        const std::size_t n = 1 + Below(std::min<std::size_t>(d.size() - at, 16));
        d.erase(d.begin() + long(at), d.begin() + long(at + n));
        break;
      }
      case 4: {  // repeat a run
        if (d.empty()) break;
        const std::size_t at = Below(d.size());
        const std::size_t n = 1 + Below(std::min<std::size_t>(d.size() - at, 32));
        TBytes run(d.begin() + long(at), d.begin() + long(at + n));
        d.insert(d.begin() + long(Below(d.size() + 1)), run.begin(), run.end());
        break;
      }
      case 5:
      case 6: {  // a dictionary token or an interesting number
        TBytes token;
        if (!tokens_.empty() && Below(2) == 0) {
          token = tokens_[Below(tokens_.size())];
        } else {
          const char* n = kNumbers[Below(std::size(kNumbers))];
          token.assign(n, n + std::strlen(n));
        }
        d.insert(d.begin() + long(Below(d.size() + 1)), token.begin(), token.end());
        break;
      }
      case 7: {  // splice with another input
        if (corpus.empty()) break;
        const TBytes& other = corpus[Below(corpus.size())];
        if (other.empty()) break;
        const std::size_t from = Below(other.size());
        const std::size_t n = 1 + Below(other.size() - from);
        d.insert(d.begin() + long(Below(d.size() + 1)), other.begin() + long(from),
                 other.begin() + long(from + n));
        break;
      }
      default: {  // overwrite with an interesting byte
        static const std::uint8_t kBytes[] = {0,   0xFF, 0x7F, 0x80, '\n', '=',
                                              '[', ']',  '-',  '@',  ','};
        if (!d.empty()) d[Below(d.size())] = kBytes[Below(std::size(kBytes))];
        break;
      }
    }
  }

  std::mt19937 random_;
  std::size_t maxLen_;
  std::vector<TBytes> tokens_;
};

bool TakeFlag(const std::string& arg, const char* name, std::string& value) {
  const std::string prefix = std::string("-") + name + "=";
  if (arg.rfind(prefix, 0) != 0) return false;
  value = arg.substr(prefix.size());
  return true;
}

TSettings ParseSettings(int argc, char** argv) {
  TSettings s;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string v;
    if (TakeFlag(arg, "runs", v)) {
      s.Runs = std::atol(v.c_str());
    } else if (TakeFlag(arg, "max_total_time", v)) {
      s.MaxTotalTime = std::atof(v.c_str());
    } else if (TakeFlag(arg, "max_len", v)) {
      s.MaxLen = std::size_t(std::atol(v.c_str()));
    } else if (TakeFlag(arg, "timeout", v)) {
      s.Timeout = unsigned(std::atoi(v.c_str()));
    } else if (TakeFlag(arg, "dict", v)) {
      s.Dictionaries.push_back(v);
    } else if (TakeFlag(arg, "artifact_prefix", v)) {
      s.ArtifactPrefix = v;
    } else if (!arg.empty() && arg[0] != '-') {
      s.Paths.push_back(arg);
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  const TSettings settings = ParseSettings(argc, argv);

  std::vector<TBytes> corpus;
  for (const auto& p : settings.Paths) CollectInputs(p, corpus);
  std::vector<TBytes> tokens;
  for (const auto& d : settings.Dictionaries) ReadDictionary(d, tokens);

  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(WriteCurrentInput);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) ::signal(sig, OnFatalSignal);
  ::signal(SIGALRM, OnTimeout);
  std::set_terminate(OnTerminate);

  const auto start = std::chrono::steady_clock::now();
  long runs = 0;
  auto runOne = [&](TBytes input) {
    gCurrent = std::move(input);
    std::snprintf(gArtifactPath, sizeof gArtifactPath, "%scrash-%016llx",
                  settings.ArtifactPrefix.c_str(), static_cast<unsigned long long>(Hash(gCurrent)));
    ::alarm(settings.Timeout);
    LLVMFuzzerTestOneInput(gCurrent.data(), gCurrent.size());
    ::alarm(0);
    ++runs;
  };
  for (const auto& input : corpus) runOne(input);

  TMutator mutator(settings.MaxLen, tokens);
  auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const long mutations = settings.Runs >= 0 ? settings.Runs : (settings.MaxTotalTime > 0 ? -1 : 0);
  for (long m = 0; mutations < 0 || m < mutations; ++m) {
    if (settings.MaxTotalTime > 0 && elapsed() >= settings.MaxTotalTime) break;
    runOne(mutator.Mutate(corpus));
  }
  std::printf("Done %ld runs in %ld second(s)\n", runs, long(elapsed()));
  return 0;
}
