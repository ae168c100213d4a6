#include "player/PictureQueue.h"

#include "engine/libav/FFmpegApi.h"

void TPictureQueue::FreeFrames() {
  for (TPicture& p : Slots)
    if (p.Frame) FF.av_frame_free(&p.Frame);
}

void TSubpictureQueue::DropFirstLocked() {
  FF.avsubtitle_free(&Slots[ReadIndex].Sub);
  AdvanceLocked();
}
