// Writing a file whole or not at all: the bytes go to a hidden temporary
// file in the target's folder, which is flushed to the disk and then renamed
// over the target, so a crash or a full disk leaves either the old file or
// the complete new one, never a torn one.
// Stateless; any thread may call it (two writers of one file: the last
// rename wins, each file whole).
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Writes to the open descriptor of the temporary file; false (with errno
// set) when it could not write everything.
using TFileFiller = std::function<bool(int fd)>;

// Creates ".NAME.XXXXXX" beside `path`, lets `fill` write it, gives it
// `mode` (when none: the mode of the file it replaces, else 0644), flushes
// it and renames it over `path`. On failure the temporary file is removed,
// `path` is as it was, and errno tells why.
bool WriteFileAtomically(const std::string& path, const TFileFiller& fill,
                         std::optional<mode_t> mode = std::nullopt);
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::optional<mode_t> mode = std::nullopt);
// Writes all of `data` to `fd`, going on after interrupted writes.
bool WriteAll(int fd, std::string_view data);

}  // namespace platform
