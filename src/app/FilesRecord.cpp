#include "app/FilesRecord.h"

bool TlvFilesRecord::HasEffects() const {
  if (HasColorEffects() || Exposure != 0) return true;
  return !Watermarks.empty() && Watermarks.front() && Watermarks.front()->HasContent();
}

void TlvFilesRecord::ResizeWatermarks(size_t count) {
  Watermarks.resize(count);
  for (auto& item : Watermarks)
    if (!item) item = std::make_unique<TWmRec>();
}
