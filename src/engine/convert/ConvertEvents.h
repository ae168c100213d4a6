// What a conversion task tells its owner: progress, the frame offered to the
// hook, the frame offered as a preview, and how the task ended. Front ends
// (the batch driver, the frame hook, the command-line converter) include this
// header instead of the task or the converter component.
//
// Plain records; no ownership beyond their strings (the bitmaps belong to the
// task and are valid during the call only). The engine fills them on the
// task's worker; TaskIndex is left -1 there and filled by the component.
#pragma once

#include <cstdint>
#include <string>

#include "engine/libav/FrameBitmap.h"

// Progress of a running task.
struct TProgressInfo {
  int TaskIndex = -1;
  int FileIndex = 0;                 // input file of the last packet; -1 in the final report
  int FrameNumber = -1;              // frames of the first video output; -1 without video
  int FPS = -1;                      // -1 without video
  float Quality = -1.0f;             // -1 when video is copied or absent
  float BitRate = 0;                 // kbit/s
  std::int64_t CurrentSize = 0;      // bytes written so far
  std::int64_t CurrentDuration = 0;  // µs of output reached
  std::int64_t TotalDuration = -1;   // µs expected; -1 unknown
};

// One decoded video frame offered to the custom hook; the handler may draw
// on the bitmap.
struct THookInfo {
  int TaskIndex = -1;
  TBitmap* Bitmap = nullptr;
  int FrameNumber = 0;    // frames decoded by the task, this one included
  std::int64_t PTS = 0;   // µs on the input's time line
  bool Update = true;     // in: true; set false when the picture was not changed
  bool StopHook = false;  // in: false; set true to switch the hook off
};

// A frame just encoded, offered as a picture.
struct TPreviewInfo {
  int TaskIndex = -1;
  const TBitmap* Bitmap = nullptr;
  int FrameNumber = 0;   // frames decoded so far
  std::int64_t PTS = 0;  // µs on the output time line
};

// What a task's end looks like to the front end. TaskIndex -1: every task of
// the run has ended (Completed true, Failed false).
struct TTerminateInfo {
  int TaskIndex = -1;
  bool Completed = false;  // converted to its end: not stopped, no error
  bool Failed = false;     // ended because of an error
  std::string ErrorMessage;
};
