#include "engine/probe/ReadableExtensions.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "engine/libav/FFmpegApi.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

// Containers found by their content whose demuxers name no extension, and
// names users give files of formats that are listed under another one.
const char* const kContentRecognised[] = {"mp4", "m4v",  "m4a", "mov",  "3gp", "3g2", "mkv",
                                          "mka", "webm", "ts",  "m2ts", "mts", "mpg", "mpeg",
                                          "vob", "ogv",  "oga", "opus", "wmv", "wma", "asf",
                                          "flv", "avi",  "wav", "mp3",  "aac", "ac3", "dv"};

// Input formats that read pictures, text or subtitles rather than video or
// sound files: a folder of photos or notes is not a list of media to convert.
bool NotMediaFormat(const AVInputFormat* format) {
  const std::string name = format->name ? format->name : "";
  const std::string longName = format->long_name ? Lower(format->long_name) : "";
  return name == "image2" || name == "tty" ||
         (name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0) ||
         longName.find("subtitle") != std::string::npos ||
         longName.find("image") != std::string::npos;
}

const char* const kNeverMedia[] = {"txt", "nfo", "xml", "json", "srt", "ass", "ssa",
                                   "vtt", "sub", "idx", "sup",  "lrc", "smi", "sami",
                                   "jss", "rt",  "pjs", "stl",  "scc", "html"};

}  // namespace

std::vector<std::string> ReadableExtensions() {
  std::vector<std::string> result(std::begin(kContentRecognised), std::end(kContentRecognised));
  void* opaque = nullptr;
  while (const AVInputFormat* format = FF.av_demuxer_iterate(&opaque)) {
    if (!format->extensions || NotMediaFormat(format)) continue;
    std::stringstream list(format->extensions);
    for (std::string ext; std::getline(list, ext, ',');)
      if (!ext.empty()) result.push_back(Lower(ext));
  }
  result.erase(std::remove_if(result.begin(), result.end(),
                              [](const std::string& e) {
                                return std::find(std::begin(kNeverMedia), std::end(kNeverMedia),
                                                 e) != std::end(kNeverMedia);
                              }),
               result.end());
  std::sort(result.begin(), result.end());
  result.erase(std::unique(result.begin(), result.end()), result.end());
  return result;
}

bool HasReadableExtension(const std::string& path, const std::vector<std::string>& extensions) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot + 1 == path.size())
    return false;
  return std::binary_search(extensions.begin(), extensions.end(), Lower(path.substr(dot + 1)));
}
