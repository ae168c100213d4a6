// TPlaybackState: everything the engine's threads share about one open file.
//
// Owned by TPlayerEngine, created when a file opens and freed when it
// closes. Locks:
//   ClockMutex guards the clock fields (audio clock and video timing);
//   each packet queue, the picture queue and the subtitle queue lock
//   themselves; flags that several threads read are atomics. Fields without
//   a note are written once while the read thread opens the file (before
//   OpenStatus becomes 1) and only read afterwards.
// Lock order: picture-queue lock, then ClockMutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/libav/ReadInterrupt.h"
#include "player/PacketQueue.h"
#include "player/PictureQueue.h"
#include "player/PlayerSync.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVStream;

struct TStreamSlot {
  int Index = -1;
  AVStream* Stream = nullptr;
  AVCodecContext* Codec = nullptr;
  TPacketQueue Queue;
  bool Open() const { return Index >= 0; }
};

struct TPlaybackState {
  TPlaybackState(TManualEvent& seekDone, TManualEvent& pictureEvent)
      : SeekDone(seekDone), PictureEvent(pictureEvent) {}

  std::string FileName;
  AVFormatContext* Format = nullptr;

  std::atomic<bool> Abort{false};
  // Ends the read thread's waits on the file at Abort, and its opening once
  // that takes too long.
  TReadInterrupt Interrupt{&Abort};
  std::atomic<bool> Paused{false};
  std::atomic<int> ReadPauseReturn{0};  // result of the last pause/resume of reading

  // Seek request: the requester fills the fields and raises SeekReq under
  // SeekMutex; the read thread takes the fields under it and clears SeekReq
  // when done. A request made while another is pending replaces it (a drag
  // along the seek bar ends where the thumb stops), so the read thread only
  // clears SeekReq when no newer request came in meanwhile (SeekSerial).
  std::mutex SeekMutex;
  std::uint64_t SeekSerial = 0;  // guarded by SeekMutex
  std::atomic<bool> SeekReq{false};
  std::atomic<std::int64_t> SeekPos{0};
  std::atomic<std::int64_t> SeekRel{0};
  std::atomic<int> SeekFlags{0};
  std::atomic<bool> SeekWhilePaused{false};

  std::atomic<bool> Eof{false};            // end of input reached and every queue drained
  std::atomic<bool> EndReported{false};    // psEnd was reported for this end
  std::atomic<bool> Reading{false};        // the read thread is inside a blocking read
  std::atomic<bool> StalePictures{false};  // a seek happened: drop pictures decoded before it
  std::atomic<bool> RefreshPending{false};
  bool ImageSequence = false;
  bool CaptureDevice = false;

  std::int64_t StartTime = 0;       // microseconds; 0 when unknown
  std::int64_t Duration = -1;       // microseconds; -1 when unknown
  std::int64_t AudioDuration = -1;  // microseconds; -1 when unknown

  TStreamSlot Audio, Video, Subtitle;
  TPictureQueue Pictures;
  TSubpictureQueue Subpictures;

  // Owned by the component, which waits on them without holding any engine
  // lock (they outlive the state).
  TManualEvent& SeekDone;
  TManualEvent& PictureEvent;
  std::atomic<int> OpenStatus{0};  // 0 pending, 1 opened, -1 failed (cleaning up), -2 failed
  std::string OpenError;           // written by the read thread before OpenStatus leaves 0

  // ---- clocks, under ClockMutex (seconds) ----
  mutable std::mutex ClockMutex;
  double AudioClock = 0;         // time at the end of the decoded audio
  int AudioBufferRemaining = 0;  // decoded bytes not yet handed to the device
  int AudioBytesPerSecond = 0;
  double AudioCallbackTime = 0;  // when the device last asked for data
  double FrameTimer = 0;         // target time of the last queued picture
  double FrameLastPts = 0;
  bool HasFrameLastPts = false;
  double FrameLastDelay = 0.04;
  double DecodeClock = 0;        // pts of the next decoded picture (estimated)
  double CurrentPts = 0;         // picture on show
  double CurrentPtsDrift = 0;    // its pts minus the time it was shown
  std::int64_t CurrentPos = -1;  // byte position of the picture on show
  bool PictureShown = false;     // a picture has been shown since opening
  std::atomic<double> SkipFactor{1.0};

  double StartSeconds() const { return double(StartTime) / 1e6; }

  // Clock readers; take ClockMutex.
  double ReadAudioClock() const;
  double ReadVideoClock() const;
  double MasterClock() const;
  // Unlocked forms for callers that hold ClockMutex.
  double AudioClockLocked() const;
  double VideoClockLocked() const;
  double MasterClockLocked() const;
};
