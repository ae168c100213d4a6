// What the trim and crop windows take from a source list row when they open
// and write into it at Ok. Plain functions on the user-interface thread,
// which alone changes the rows.
#pragma once

#include "editing/CropFrame.h"
#include "editing/TrimRange.h"

class TSourceList;
class TlvFilesRecord;

// The trim window's Ok on `row`: the record's trim and, for a part of some
// length, the row's "Trimmed Length" cell. Nothing happens for a row that
// does not exist (any more).
void StoreTrim(TSourceList& list, int row, const TTrimResult& result);

// The crop window's Ok: the margins as the user set them in the view, the
// same margins in source pixels, and the picture effects.
struct TCropResult {
  TCropMargins View;
  TCropMargins Source;
  TPictureEffects Effects;
};
void StoreCrop(TlvFilesRecord& record, const TCropResult& result);
// What the crop window restores when it opens.
TCropMargins ViewMarginsOf(const TlvFilesRecord& record);
TPictureEffects EffectsOf(const TlvFilesRecord& record);
