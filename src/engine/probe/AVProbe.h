// Folder engine/probe: what a media file holds, learnt without converting it:
// the probe (this header), the check a finished output gets before it counts as
// done, and the extensions of the containers the libraries read. Built on libav
// and common. The user-interface thread probes the files it adds; the converter
// component keeps a probe on each task input; a check runs on whichever thread
// the batch gives it.
//
// The media probe: opens a media file (or looks at one another component has
// opened) and reports its container, size, duration, bit rate and metadata,
// and per stream the codec, timing and audio or video properties.
//
// Owns the format context it opened itself (Open); an attached context
// (Attach) stays its owner's, who must not close it while the probe shows it.
// Threads: a probe belongs to the thread of its owner and has no lock of its
// own; it holds the codec lock (CodecLock()) around stream-information
// look-ups. Messages go to the log collector and LastErrMsg.
#pragma once

#include <cstdint>
#include <string>

#include "engine/libav/ReadInterrupt.h"

extern "C" {
struct AVFormatContext;
struct AVDictionary;
struct AVStream;
}

// File-level facts. Reset value: every number -1, every text empty.
struct TFileStreamInfo {
  std::int64_t StartTime = -1;  // microseconds; -1 when unknown
  std::int64_t Duration = -1;   // microseconds; -1 when unknown
  std::int32_t BitRate = -1;    // bit/s
  std::int64_t TimeStamp =
      -1;                   // seconds since 1970-01-01 ("creation_time"); 0 when the file has none
  std::int32_t Year = -1;   // 0 when the file has none
  std::int32_t Track = -1;  // 0 when the file has none
  std::string Title;
  std::string Author;  // "author", else "artist"
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

// Reset value of both stream records: integers -1, DisplayAspect -1.0, texts
// empty; a failed query leaves them so.
struct TAudioStreamInfo {
  std::string Language;
  std::string CodecName;           // "decoder(long name)"
  std::int64_t StartTimeRaw = -1;  // stream ticks
  std::int64_t StartTime = -1;     // microseconds; -1 when unset
  std::int64_t DurationRaw = -1;   // stream ticks
  std::int64_t Duration = -1;      // microseconds; -1 when unset
  std::int32_t BitRate = -1;
  std::int32_t Channels = -1;
  std::int32_t SampleRate = -1;
  std::int32_t SampleFormat = -1;  // AVSampleFormat
};

struct TVideoStreamInfo {
  std::string Language;
  std::string CodecName;
  std::int64_t StartTimeRaw = -1;
  std::int64_t StartTime = -1;
  std::int64_t DurationRaw = -1;
  std::int64_t Duration = -1;
  std::int32_t BitRate = -1;
  std::int32_t Height = -1;
  std::int32_t Width = -1;
  float DisplayAspect = -1.0f;     // sample aspect x width / height
  std::int32_t PixelFormat = -1;   // AVPixelFormat
  std::int32_t FrameRateNum = -1;  // the stream's real base frame rate
  std::int32_t FrameRateDen = -1;
};

class TCustomAVProbe {
 public:
  TCustomAVProbe() = default;
  virtual ~TCustomAVProbe();
  TCustomAVProbe(const TCustomAVProbe&) = delete;
  TCustomAVProbe& operator=(const TCustomAVProbe&) = delete;

  // Opens a file for probing (UTF-8 name; forceFormat: a demuxer name or "").
  // Throws FFmpegException "LibAV... not loaded." when a library is missing;
  // otherwise false with LastErrMsg on failure.
  bool Open(const std::string& fileName, const std::string& forceFormat = "");
  // Shows an opened context without owning it (nullptr: just closes).
  void Attach(AVFormatContext* context);
  void Close();

  // Fill the record (reset first); false with LastErrMsg when nothing could
  // be filled. index < 0: the first stream of the kind.
  bool FileStreamInfo(TFileStreamInfo& info);
  bool AudioStreamInfo(int index, TAudioStreamInfo& info);
  bool VideoStreamInfo(int index, TVideoStreamInfo& info);

  // Multi-line description, lines joined with CR LF; "" when nothing is loaded.
  std::string FileInfoText();
  std::string FileName() const;
  std::string FormatName() const;
  bool IsAudioStream(int index) const;
  bool IsVideoStream(int index) const;

  bool Loaded() const { return context_ != nullptr; }
  AVFormatContext* FormatContext() const { return context_; }
  const std::string& LastErrMsg() const { return lastErrMsg_; }
  const std::string& ForceFormat() const { return forceFormat_; }

  // All -1 while nothing is loaded.
  std::int64_t FileSize() const { return fileSize_; }
  int StreamCount() const { return streamCount_; }
  int ProgramCount() const { return programCount_; }
  int AudioStreamCount() const { return audioStreamCount_; }
  int VideoStreamCount() const { return videoStreamCount_; }
  int SubtitleStreamCount() const { return subtitleStreamCount_; }
  int AudioStreamIndex() const { return audioStreamIndex_; }
  int VideoStreamIndex() const { return videoStreamIndex_; }
  int SubtitleStreamIndex() const { return subtitleStreamIndex_; }

 protected:
  // Recomputes the counters from the loaded context; derived probes extend it.
  virtual void Recount();

 private:
  void CheckLibraries() const;
  void Report(int level, const std::string& text);
  // The stream of a query, or nullptr after reporting why there is none.
  AVStream* QueryStream(int index, int kind);
  std::string StreamLine(int index);
  std::string MetadataBlock(const AVDictionary* metadata, const std::string& prefix);

  AVFormatContext* context_ = nullptr;
  bool ownsContext_ = false;
  TReadInterrupt interrupt_;  // the time limit of Open
  std::string fileName_;
  std::string lastErrMsg_;
  std::string forceFormat_;
  std::int64_t fileSize_ = -1;
  int streamCount_ = -1;
  int programCount_ = -1;
  int audioStreamCount_ = -1;
  int videoStreamCount_ = -1;
  int subtitleStreamCount_ = -1;
  int audioStreamIndex_ = -1;
  int videoStreamIndex_ = -1;
  int subtitleStreamIndex_ = -1;
};

// The probe the components create: adds the main stream.
class TAVProbe : public TCustomAVProbe {
 public:
  ~TAVProbe() override;
  // The first video stream, else the first audio stream, else -1.
  int MainStreamIndex() const { return mainStreamIndex_; }
  // The main stream's start time in its own time base, else the file's start
  // time (microseconds); 0 when unknown.
  std::int64_t MainStreamStart() const { return mainStreamStart_; }

 protected:
  void Recount() override;

 private:
  int mainStreamIndex_ = -1;
  std::int64_t mainStreamStart_ = 0;
};
