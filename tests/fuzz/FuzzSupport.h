// What the fuzz targets share: the media libraries loaded once and quiet, a
// scratch folder that is also the current folder (so relative names the
// options produce land there), the tiny clips the conversion targets read,
// and the guards that keep a hostile input from touching the machine
// (devices, files outside the scratch folder).
//
// Each target is one process that runs inputs one after another on one
// thread; nothing here is meant for concurrent use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// Loads every media library once and silences the log (unless
// QUOR_FUZZ_VERBOSE=1); aborts when the libraries cannot be loaded.
void LoadMediaLibraries();

// An empty folder made once per process, with a trailing "/".
// EmptyScratchFolder removes what the last input wrote.
const std::string& ScratchFolder();
void EmptyScratchFolder();

// Makes the scratch folder the current one while it lives, so that relative
// names an input produces land there; the fuzzer's own relative names
// (corpus, findings) need the previous one back afterwards.
class TInScratchFolder {
 public:
  TInScratchFolder();
  ~TInScratchFolder();
  TInScratchFolder(const TInScratchFolder&) = delete;
  TInScratchFolder& operator=(const TInScratchFolder&) = delete;

 private:
  int previous_;
};

// The input's lines ('\n' separated; a trailing '\r' dropped), at most
// `maxLines` of at most `maxLength` bytes each (longer lines are cut).
std::vector<std::string> Lines(const std::uint8_t* data, std::size_t size, std::size_t maxLines,
                               std::size_t maxLength);

// A name for a file of the scratch folder made from any text: its last path
// part, with characters other than letters, digits, '.', '_' and '-' dropped
// and its length bounded; `fallback` when nothing is left.
std::string ScratchName(const std::string& text, const std::string& fallback);

// True when `name` is a capture or playback device rather than a file
// format (sound cards, frame buffers, windows, cameras).
bool IsDeviceFormat(const std::string& name);

// Short clips in the test media cache: 0 picture and sound (MP4), 1 sound
// only (WAV), 2 picture only (Matroska), 3 MP3.
std::string Clip(int which);
constexpr int kClipCount = 4;

// What a conversion target needs before its first input: the media
// libraries, the scratch folder and every clip made.
void PrepareConversionTarget();

// "-make_corpus=DIR" among the arguments: calls `write(DIR)` and ends the
// process; used to give a target the starting inputs it cannot carry as text.
void HandleMakeCorpus(int argc, char** argv, void (*write)(const std::string& folder));

}  // namespace fuzz
