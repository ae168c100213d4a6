// The file name extensions of the containers the probe can read, for file
// dialogs and for picking media files out of a folder. Needs the media
// libraries loaded (through the loader).
// Stateless; any thread.
#pragma once

#include <string>
#include <vector>

// Lower-case extensions without the dot, sorted, each once: every input
// format's own list plus the common names of formats that are recognised by
// their content only.
std::vector<std::string> ReadableExtensions();
// True when `path`'s extension is one of `extensions` (letter case ignored).
bool HasReadableExtension(const std::string& path, const std::vector<std::string>& extensions);
