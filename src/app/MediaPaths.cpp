#include "app/MediaPaths.h"

#include <algorithm>
#include <filesystem>

#include "engine/probe/ReadableExtensions.h"

namespace fs = std::filesystem;

namespace {

bool Hidden(const fs::path& path) {
  const std::string name = path.filename().string();
  return !name.empty() && name[0] == '.';
}

void WalkFolder(const fs::path& folder, const std::vector<std::string>& extensions, size_t limit,
                TExpandedPaths& out) {
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  if (ec) {
    out.Unreadable.push_back(folder.string());
    return;
  }
  std::vector<std::string> found;
  for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) {
      out.Unreadable.push_back(folder.string());
      break;
    }
    const fs::directory_entry& entry = *it;
    if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
      if (Hidden(entry.path())) it.disable_recursion_pending();
      continue;
    }
    if (!entry.is_regular_file(ec) || !HasReadableExtension(entry.path().string(), extensions))
      continue;
    found.push_back(entry.path().string());
    if (out.Files.size() + found.size() >= limit) {
      out.Truncated = true;
      break;
    }
  }
  std::sort(found.begin(), found.end());
  out.Files.insert(out.Files.end(), found.begin(), found.end());
}

}  // namespace

TExpandedPaths ExpandMediaPaths(const std::vector<std::string>& paths,
                                const std::vector<std::string>& extensions, size_t limit) {
  TExpandedPaths out;
  for (const std::string& path : paths) {
    if (out.Files.size() >= limit) {
      out.Truncated = true;
      break;
    }
    std::error_code ec;
    if (fs::is_directory(path, ec))
      WalkFolder(path, extensions, limit, out);
    else
      out.Files.push_back(path);
  }
  return out;
}
