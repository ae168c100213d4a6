// Options whose name or form changed in the media libraries: old names and
// flag constants (in presets written for older libraries) are rewritten to
// the current private options of the encoders or muxers that took them over.
//
// Pure functions over constant tables; any thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct TMovedTranslation {
  // False: the option is not affected; set it as given.
  bool Translated = false;
  // What to set instead, in order (may be empty when everything moved away).
  std::vector<std::pair<std::string, std::string>> Options;
};

// "directpred" -> "direct-pred", "cqp" -> "qp"; the "flags2" constants wpred,
// dct8x8, mixed_refs, fastpskip, bpyramid, mbtree (and the "flags" constant
// scan_offset) -> the boolean or enumerated private options that replaced
// them; "partitions" in the +partX/-partX form -> the current comma list.
// Constants that did not move stay in the flags value.
TMovedTranslation TranslateMovedOption(const std::string& name, const std::string& value);
