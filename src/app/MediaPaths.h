// What a drop or a command line hands the source list: files are taken as
// they are (Add probes them), folders are walked for media files.
// Stateless; any thread (the file system is the only state).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct TExpandedPaths {
  std::vector<std::string> Files;       // in the order to add them
  std::vector<std::string> Unreadable;  // folders that could not be read
  bool Truncated = false;               // stopped at the limit
};

// Every path that is not a folder, as it is; for a folder, the files inside
// it and its sub-folders (hidden folders left out, links not followed) whose
// extension is one of `extensions` (sorted, lower case), in name order. At
// most `limit` files in all.
TExpandedPaths ExpandMediaPaths(const std::vector<std::string>& paths,
                                const std::vector<std::string>& extensions, size_t limit = 10000);
