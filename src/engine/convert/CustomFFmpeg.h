// Folder engine/convert: one conversion from opened files to written output:
// the task (this header), the set-up of its output streams (ConvertSetup.cpp),
// the preparation (ConvertPrepare.cpp), the packet loop (ConvertLoop.cpp), the
// filter graphs, audio and video output, the deinterlacer, the report, the frame
// hook modules, and the events a task raises (ConvertEvents.h). Built on
// options, libav and common. A task is configured on one thread and runs on its
// worker; its control members are safe from any thread.
//
// TCustomFFmpeg: one conversion task's engine - pending options, opened
// input and output files, the transcoding run and its control state.
//
// Owns its option state (TOptionState), its input and output format
// contexts, the stream records of a run (decoders, encoders, filter graphs,
// resamplers, bitstream filters) and the frame hook modules it loaded.
//
// Threads:
//   - configuration (ParseOption, OpenInputFile, OpenOutputFile, NewStream,
//     AddFrameHook, ResetTask, setting the call-outs) happens on one thread
//     while the task is not running;
//   - Transcode / RunConversion / CloseAll run on the task's worker;
//   - the control members (RequestStop, Pause, Resume, the state queries,
//     SetPreviewFlags, SetProgressInterval, SetDecoderThreads) are safe
//     from any thread:
//     atomics, plus `controlMutex_` for the error text and the pause gate.
//   - the call-outs run on the worker thread; the owner decides whether to
//     hand them over to the user-interface thread;
//   - the owner destroys a task only after its worker has returned from
//     RunConversion (RequestStop, then join).
// The codec lock of the loader is taken around every codec open and close
// and around stream-information look-ups.
//
// Typical use by the converter component:
//   task.ResetTask();                       // defaults, flags cleared
//   task.ParseOption("v", "1");             // input options ...
//   task.OpenInputFile(name);               // false: task.LastError()
//   task.Parser().SetVideoCodec("mpeg4");   // output options ...
//   task.OpenOutputFile(out, join);         // -1: task.LastError()
//   task.OnProgress = ...; task.SetHookEnabled(true); task.SetPreviewFlags(..);
//   worker: task.ClearControlState(); task.RunConversion();
//           then Completed() / Failed() / ErrorMessage()
//   any thread: task.RequestStop(); task.Pause(); task.Resume();
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/convert/ConvertEvents.h"
#include "engine/libav/FrameBitmap.h"
#include "engine/libav/ReadInterrupt.h"
#include "engine/options/OptionParser.h"
#include "engine/options/OptionState.h"

extern "C" {
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVCodec;
struct AVCodecContext;
struct AVStream;
struct AVSubtitle;
}

class TCustomFFmpeg;
struct TInputFile;
struct TInputStream;
struct TOutputFile;
struct TOutputStream;
class TFrameHookModules;
class TFrameConverter;

// Call-outs, run on the worker thread with the task as sender.
using TProgressCallOut = std::function<void(TCustomFFmpeg& sender, const TProgressInfo& info)>;
// May throw: the error is logged and the frame is encoded unchanged.
using TCustomHookCallOut = std::function<void(TCustomFFmpeg& sender, THookInfo& info)>;
using TPreviewBitmapCallOut = std::function<void(TCustomFFmpeg& sender, const TPreviewInfo& info)>;
// The built-in preview window: returns false once the window was closed,
// which switches that preview kind off for the task.
using TPreviewOfferCallOut = std::function<bool(TCustomFFmpeg& sender, const TPreviewInfo& info)>;

// Preview flag bits.
constexpr int PreviewWindowFlag = 1;  // offer frames to the preview window
constexpr int PreviewBitmapFlag = 2;  // raise the preview bitmap call-out

class TCustomFFmpeg : public IOptionHost {
 public:
  TCustomFFmpeg();
  ~TCustomFFmpeg() override;
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

  // ---- configuration (one thread, task not running) ----

  // The pending option state read by the openers below.
  TOptionState& Options() { return options_; }
  const TOptionState& Options() const { return options_; }
  // Applies one option through the option dispatcher; throws FFmpegException
  // with the user-facing message when it is rejected.
  void ParseOption(const std::string& name, const std::string& value);
  // The dispatcher's individual setters (codecs, presets, target, frame
  // size, filters, metadata, times) bound to this task.
  TOptionParser Parser() { return TOptionParser(options_, this); }

  // False with LastError() set when the file cannot be opened.
  bool OpenInputFile(const std::string& fileName);
  // The new number of output files, or -1 with LastError() set. With `join`
  // and more than one input, the inputs are converted one after another
  // into this one file.
  int OpenOutputFile(const std::string& fileName, bool join);

  int InputFileCount() const;
  int OutputFileCount() const;  // join mode counts the shared file once per input
  AVFormatContext* InputFile(int index) const;
  AVFormatContext* OutputFile(int index) const;
  bool JoinMode() const { return joinMode_; }

  std::string LastError() const;
  void SetLastError(const std::string& text);
  // How long opening an input and reading its stream information may take
  // (µs; <= 0: no limit). TReadInterrupt::DefaultOpenLimitUs unless set.
  void SetOpenTimeLimit(std::int64_t us) { interrupt_.SetOpenLimit(us); }

  // µs; -1 unknown. Raised by each opened input, replaced by "t".
  std::int64_t TotalDuration() const { return totalDuration_.load(); }

  // IOptionHost
  void NewStream(AVMediaType type) override;
  std::vector<AVFormatContext*> OpenedInputFiles() const override;
  void SetTotalDuration(std::int64_t us) override { totalDuration_ = us; }
  void AddFrameHook(const std::string& text) override;

  // ---- running (the task's worker) ----

  // Prepares the streams and runs the packet loop to the end of the inputs,
  // a limit or a stop request; drains, writes the trailers and the final
  // report. Throws FFmpegException; sets Completed := !StopRequested() at a
  // normal end.
  void Transcode();
  // The whole conversion body: Transcode, closing the codecs left open and
  // CloseAll, each guarded on its own so that clean-up always runs. Errors
  // are logged and end in Failed() with ErrorMessage(). Never throws.
  void RunConversion();
  // Closes the codecs a failed Transcode left open.
  void CloseCodecs();
  // Puts each written output file in place of its target (after a Transcode
  // that did not fail). Throws FFmpegException when one cannot be finished.
  void KeepOutputs();
  // Frees files, streams and buffers of the task; an output that was not
  // kept is removed, the file it would have replaced stays as it was.
  // Nothing while the libraries are not loaded.
  void CloseAll();
  // CloseAll, option defaults, control flags cleared, total duration -1.
  void ResetTask();

  // ---- control (any thread) ----

  void RequestStop();
  bool StopRequested() const { return stopRequested_.load(); }
  // Holds the worker at the next safe point (between packets).
  void Pause();
  void Resume();
  bool Paused() const { return paused_.load(); }
  bool Completed() const { return completed_.load(); }
  bool Failed() const { return failed_.load(); }
  std::string ErrorMessage() const;
  // Clears stop, pause, Completed, Failed and the error message (before a start).
  void ClearControlState();

  void SetProgressInterval(std::int64_t us) { progressInterval_ = us; }
  std::int64_t ProgressInterval() const { return progressInterval_.load(); }
  // The threads of each decoder the conversion opens: 0 (the default) is
  // the library's automatic count, one per core. Several conversions side
  // by side share the cores instead. Decoded pictures and sound are the same
  // whatever the count; encoders keep the automatic count, since theirs
  // shapes the bytes they write.
  void SetDecoderThreads(int threads) { decoderThreads_ = std::max(threads, 0); }
  // Under the engine-wide preview lock.
  void SetPreviewFlags(int bits);
  int PreviewFlags() const;
  static std::mutex& PreviewLock();

  // Switches the custom hook on or off (wired when the task's option says so).
  void SetHookEnabled(bool on) { hookEnabled_ = on; }
  bool HookEnabled() const { return hookEnabled_.load(); }

  // ---- call-outs (set while configuring) ----
  TProgressCallOut OnProgress;
  TCustomHookCallOut OnCustomHook;
  TPreviewBitmapCallOut OnPreviewBitmap;
  TPreviewOfferCallOut OnPreviewOffer;

  // ---- statistics of the last run (valid after Transcode) ----
  std::int64_t VideoBytes() const { return videoBytes_; }
  std::int64_t AudioBytes() const { return audioBytes_; }
  int DuplicatedFrames() const { return dupFrames_; }
  int DroppedFrames() const { return dropFrames_; }
  int DecodedVideoFrames() const { return decodedVideoFrames_; }

 private:
  // Set-up (ConvertSetup.cpp)
  bool LookupCodec(const std::string& name, AVMediaType type, bool encoder, int strictness,
                   const AVCodec** codec);
  TOutputStream& CreateOutputStream(TOutputFile& file, AVMediaType type);
  void NewVideoStream(TOutputFile& file);
  void NewAudioStream(TOutputFile& file);
  void NewSubtitleStream(TOutputFile& file);
  void RemoveLastOutputFile();

  // Preparation (ConvertPrepare.cpp)
  void Prepare();
  void BuildInputStreams();
  void AssignSources();
  void AssignJoinSources(TOutputStream& ost);
  void SetUpCopy(TOutputStream& ost);
  void SetUpEncode(TOutputStream& ost);
  void OpenTwoPassLog(TOutputStream& ost, int tableIndex);
  void OpenEncoders();
  void OpenDecoders();
  void CopyMetadataMaps();
  void CopyChapters();
  void WriteHeaders();
  void PrintStreamMapping() const;
  [[noreturn]] void FailWithMapping(const std::string& message, bool logIt) const;

  // Packet loop (ConvertLoop.cpp)
  void PacketLoop();
  int ChooseInputFile() const;
  bool HandlePacket(int fileIndex, AVPacket* pkt);  // false after a decoding error
  int ProcessInputPacket(TInputStream& ist, const AVPacket* pkt, bool drainEncoders);
  int DecodeFrames(TInputStream& ist, const AVPacket* pkt);
  int DecodeSubtitle(TInputStream& ist, const AVPacket* pkt);
  void PassOnVideo(TInputStream& ist, AVFrame* frame);
  void PassOnAudio(TInputStream& ist, AVFrame* frame);
  void CopyPacket(TOutputStream& ost, TInputStream& ist, const AVPacket* pkt);
  void WritePacket(TOutputStream& ost, AVPacket* pkt);
  void DrainEncoders(TInputStream& ist);
  // What is left in the stream's filter graph, FIFO and encoder, written out.
  void FinishOutputStream(TOutputStream& ost, TInputStream& ist);
  void FlushEncoder(TOutputStream& ost);
  bool EndJoinSegment(int fileIndex);  // false when it was the last input
  void EndOfConversion();
  bool WroteAnything() const;  // a packet reached some output file
  void WaitWhilePaused();

  // Video (VideoOutput.cpp)
  void DeinterlaceAndDeliver(TInputStream& ist, AVFrame* frame);
  void DeliverDecoded(TInputStream& ist, AVFrame* frame);
  void PreProcessVideoFrame(TInputStream& ist, AVFrame* frame);
  void RunCustomHook(AVFrame* frame, std::int64_t sourceTime);
  // The stream's current time (its pts) on the source's own time line: from
  // the source's start, before the start position, "itsoffset", the
  // container's start time and "itsscale" moved it.
  std::int64_t SourceTime(const TInputStream& ist) const;
  void FilterAndOutputVideo(TOutputStream& ost, TInputStream& ist, AVFrame* frame);
  void FlushVideoGraph(TOutputStream& ost, TInputStream& ist);
  void PullFilteredVideo(TOutputStream& ost, TInputStream& ist);
  bool VariableFrameRate(const TOutputStream& ost) const;
  int VideoFrameCount(TOutputStream& ost, double syncInput);
  void RepeatLastPicture(TOutputStream& ost, const TInputStream& ist);
  int VideoOutput(TOutputStream& ost, TInputStream& ist, AVFrame* frame);
  int EncodeFrame(TOutputStream& ost, const AVFrame* frame);  // nullptr drains
  void OfferPreview(const AVFrame* frame, const AVCodecContext* enc);

  // Audio and subtitles (AudioOutput.cpp, ConvertLoop.cpp)
  void AudioOutput(TOutputStream& ost, TInputStream& ist, const AVFrame* frame);
  void WriteSilence(TOutputStream& ost, int samples);
  void EncodeAudioFifo(TOutputStream& ost, bool last);
  void FlushAudioFifo(TOutputStream& ost);
  void SubtitleOutput(TOutputStream& ost, TInputStream& ist, const AVSubtitle& sub,
                      std::int64_t pts);
  double SyncInputTime(const TOutputStream& ost) const;

  // Report (ConvertReport.cpp)
  void Report(bool isLast, int fileIndex);
  // Throws when an output's name no longer leads to the file being written.
  void CheckOutputsInPlace() const;
  void WriteVideoStats(TOutputStream& ost, int frameSize);
  std::int64_t OutputSize() const;

  void Log(int level, const std::string& text) const;
  void LogF(int level, const char* format, ...) const __attribute__((format(printf, 3, 4)));
  int Verbose() const { return options_.Verbose; }
  bool LibrariesLoaded() const;

  TOptionState options_;

  // Files of the task. outputFiles_ holds each distinct output once;
  // outputEntries_ maps output entry i (join mode repeats the shared file)
  // to an index of outputFiles_.
  std::vector<std::unique_ptr<TInputFile>> inputFiles_;
  std::vector<std::unique_ptr<TOutputFile>> outputFiles_;
  std::vector<int> outputEntries_;
  bool joinMode_ = false;

  // Tables of a run.
  std::vector<std::unique_ptr<TInputStream>> inputStreams_;
  std::vector<TOutputStream*> outputStreams_;  // owned by their output files
  int currentSegment_ = 0;

  // Loop state and statistics (zeroed by ResetTask).
  std::int64_t videoBytes_ = 0, audioBytes_ = 0, globalHeaderBytes_ = 0;
  int dupFrames_ = 0, dropFrames_ = 0;
  bool syncEventPending_ = false;
  std::int64_t timerStart_ = 0, lastReportTime_ = 0;
  std::vector<int> qpHistogram_ = std::vector<int>(52, 0);
  FILE* vstatsFile_ = nullptr;
  int decodedVideoFrames_ = 0;
  std::int64_t lastPreviewTime_ = 0;
  std::int64_t previewInterval_ = 100000;

  std::unique_ptr<TFrameHookModules> frameHooks_;
  std::unique_ptr<TFrameConverter> hookConverter_;
  std::unique_ptr<TFrameConverter> previewConverter_;

  // Control state.
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> completed_{false};
  std::atomic<bool> failed_{false};
  std::atomic<bool> hookEnabled_{false};
  std::atomic<int> previewFlags_{0};
  std::atomic<std::int64_t> progressInterval_{500000};
  std::atomic<int> decoderThreads_{0};
  std::atomic<std::int64_t> totalDuration_{-1};
  // Ends the libraries' waits on the input files at a stop request, and
  // their opening once it takes too long.
  TReadInterrupt interrupt_{&stopRequested_};
  mutable std::mutex controlMutex_;  // lastError_, errorMessage_, the pause gate
  std::condition_variable pauseGate_;
  std::string lastError_;
  std::string errorMessage_;
};
