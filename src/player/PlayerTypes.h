// Types shared by the player engine, the component and the display.
#pragma once

#include <cstdint>
#include <string>

class TBitmap;
class TManualEvent;
struct AVFrame;

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };

// Where a picture goes inside the display area (pixels of that area).
struct TDisplayRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

// Where the player draws. The engine calls Show on its play thread for every
// picture it displays (and for each wave-display image of a file without
// video); the target copies what it keeps, since `picture` is only valid
// during the call. Implementations must be safe to call from that thread.
class IDisplayTarget {
 public:
  virtual ~IDisplayTarget() = default;
  // `picture` at its own size, to be scaled into `rect` of a display area of
  // displayWidth x displayHeight.
  virtual void Show(const TBitmap& picture, const TDisplayRect& rect, int displayWidth,
                    int displayHeight) = 0;
  // The size of the area the target shows, used when the component's screen
  // size is 0. Any thread.
  virtual void ClientSize(int& width, int& height) const = 0;
};

// Settings the component hands to the engine when it opens a file.
struct TEngineOptions {
  bool DisableAudio = false;
  bool DisableVideo = false;
  bool DisableDisplay = false;
  int FrameWidth = 0;  // raw inputs only; 0 = from the file
  int FrameHeight = 0;
};

// What the engine asks of the component that owns it. Called from the
// engine's threads (named per member); implementations synchronise.
class IPlayerHost {
 public:
  virtual ~IPlayerHost() = default;
  // Audio thread, every callback, without locking.
  virtual int AudioVolume() const = 0;
  virtual bool Mute() const = 0;
  // Video thread, for each picture before it is queued (planar YUV 4:2:0,
  // possibly shared with the decoder). `pts` in seconds.
  virtual void HookPicture(AVFrame* picture, double pts) = 0;
  // Play thread after refreshes, video thread for end-of-stream packets.
  virtual void CheckPosition() = 0;
  // Video thread: true while single stepping (pause again after a picture).
  virtual bool SingleStep() const = 0;
  // The display rectangle for a picture (any engine thread).
  virtual TDisplayRect DisplayRect(int pictureWidth, int pictureHeight, double sampleAspect,
                                   int displayWidth, int displayHeight) const = 0;
  // The component's seek-done and picture-arrived events (set when created).
  virtual TManualEvent& SeekDoneEvent() = 0;
  virtual TManualEvent& PictureEvent() = 0;
  // The display area's size: the screen size, else the target's client size.
  virtual void DisplaySize(int& width, int& height) const = 0;
  virtual IDisplayTarget* Display() const = 0;
  // Errors and notes of the engine; any thread.
  virtual void LogMessage(int level, const std::string& text) = 0;
};
