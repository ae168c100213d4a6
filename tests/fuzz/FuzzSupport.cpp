#include "FuzzSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "support/MediaFactory.h"
#include "support/TestFolder.h"

namespace fuzz {

namespace fs = std::filesystem;

void LoadMediaLibraries() {
  static bool loaded = [] {
    auto& loader = TFFmpegLoader::Instance();
    loader.SetLibraryPath(TFFmpegLoader::DefaultLibraryPath());
    if (!loader.Load(AllLibraries)) {
      std::fprintf(stderr, "cannot load the media libraries: %s\n", loader.LastErrMsg().c_str());
      std::abort();
    }
    // QUOR_FUZZ_VERBOSE=1 shows what the engine says about an input.
    const char* verbose = std::getenv("QUOR_FUZZ_VERBOSE");
    const bool show = verbose && *verbose == '1';
    FFLogger().SetLogLevel(show ? llInfo : llQuiet);
    if (show)
      FFLogger().AddSink(
          [](const TLogInfo& info) { std::fprintf(stderr, "%s\n", info.LogMsg.c_str()); });
    return true;
  }();
  (void)loaded;
}

// Removed when the fuzzer exits.
const std::string& ScratchFolder() {
  static const TTestFolder folder("quor-fuzz");
  if (folder.Path().empty()) std::abort();
  return folder.Path();
}

TInScratchFolder::TInScratchFolder() : previous_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (::chdir(ScratchFolder().c_str()) != 0) std::abort();
}

TInScratchFolder::~TInScratchFolder() {
  if (previous_ < 0) return;
  if (::fchdir(previous_) != 0) std::abort();
  ::close(previous_);
}

void EmptyScratchFolder() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(ScratchFolder(), ec))
    fs::remove_all(entry.path(), ec);
}

std::vector<std::string> Lines(const std::uint8_t* data, std::size_t size, std::size_t maxLines,
                               std::size_t maxLength) {
  std::vector<std::string> lines;
  std::string line;
  auto finish = [&] {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > maxLength) line.resize(maxLength);
    lines.push_back(std::move(line));
    line.clear();
  };
  for (std::size_t i = 0; i < size && lines.size() < maxLines; ++i) {
    if (data[i] == '\n')
      finish();
    else
      line.push_back(char(data[i]));
  }
  if (!line.empty() && lines.size() < maxLines) finish();
  return lines;
}

std::string ScratchName(const std::string& text, const std::string& fallback) {
  const size_t slash = text.rfind('/');
  std::string name;
  for (char c : text.substr(slash == std::string::npos ? 0 : slash + 1)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    if (plain && name.size() < 48) name.push_back(c);
  }
  if (name.empty() || name == "." || name == ".." || name[0] == '-') return fallback;
  return name;
}

bool IsDeviceFormat(const std::string& name) {
  auto isDevice = [](const AVClass* c) {
    if (!c) return false;
    const AVClassCategory k = c->category;
    return k == AV_CLASS_CATEGORY_DEVICE_VIDEO_OUTPUT ||
           k == AV_CLASS_CATEGORY_DEVICE_VIDEO_INPUT ||
           k == AV_CLASS_CATEGORY_DEVICE_AUDIO_OUTPUT ||
           k == AV_CLASS_CATEGORY_DEVICE_AUDIO_INPUT || k == AV_CLASS_CATEGORY_DEVICE_OUTPUT ||
           k == AV_CLASS_CATEGORY_DEVICE_INPUT;
  };
  // Several names may be given at once ("alsa,oss"); any device among them counts.
  std::string part;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != ',') {
      part.push_back(name[i]);
      continue;
    }
    if (!part.empty()) {
      const AVInputFormat* in = FF.av_find_input_format(part.c_str());
      const AVOutputFormat* out = FF.av_guess_format(part.c_str(), nullptr, nullptr);
      if ((in && isDevice(in->priv_class)) || (out && isDevice(out->priv_class))) return true;
    }
    part.clear();
  }
  return false;
}

std::string Clip(int which) {
  switch (which) {
    case 1: return TestMedia::Get(MediaSpec::Wav().Seconds(0.5).Audio(8000, 1));
    case 2: return TestMedia::Get(MediaSpec::Mkv().NoAudio().Size(48, 32).Fps(10).Seconds(0.5));
    case 3: return TestMedia::Get(MediaSpec::Mp3().Seconds(0.5).Audio(22050, 1));
    default:
      return TestMedia::Get(MediaSpec::Mp4().Size(64, 48).Fps(10).Seconds(0.5).Audio(22050, 2));
  }
}

void HandleMakeCorpus(int argc, char** argv, void (*write)(const std::string& folder)) {
  const std::string flag = "-make_corpus=";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind(flag, 0) != 0) continue;
    const std::string folder = arg.substr(flag.size());
    fs::create_directories(folder);
    write(folder);
    std::exit(0);
  }
}

void PrepareConversionTarget() {
  LoadMediaLibraries();
  ScratchFolder();
  for (int i = 0; i < kClipCount; ++i) Clip(i);
}

}  // namespace fuzz
