// Long file names shortened for labels: characters are counted as the user
// sees them (UTF-8 code points, not bytes) and never cut in two.
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <string>

std::size_t CharacterCount(const std::string& text);
// The first `n` characters (all of them when there are fewer).
std::string FirstCharacters(const std::string& text, std::size_t n);
// `path` whole when it has at most `wholeUpTo` characters; otherwise its
// first `head` characters, ".." and its extension with the dot (so that the
// cut reads "...mp4"), or just ".." when the name has no extension.
std::string ShortenedPath(const std::string& path, std::size_t wholeUpTo, std::size_t head);
