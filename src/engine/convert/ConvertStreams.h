// Records of one conversion task: opened files and the input and output
// stream records of a run, shared by the engine's set-up, loop and output
// code. Plain data with owning handles; the records free what they own.
// Threads: owned by one TCustomFFmpeg and used on its configuring thread or
// its worker, never both at once (no locks); codec contexts are freed under
// the codec lock.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/convert/Deinterlacer.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/OutputTarget.h"
#include "engine/options/OptionState.h"
#include "platform/Folders.h"

struct TCodecContextFree {
  void operator()(AVCodecContext* ctx) const;  // under the codec lock
};
struct TFrameFree {
  void operator()(AVFrame* f) const { FF.av_frame_free(&f); }
};
struct TPacketFree {
  void operator()(AVPacket* p) const { FF.av_packet_free(&p); }
};
struct TSwrFree {
  void operator()(SwrContext* s) const { FF.swr_free(&s); }
};
struct TAudioFifoFree {
  void operator()(AVAudioFifo* f) const { FF.av_audio_fifo_free(f); }
};
struct TBsfFree {
  void operator()(AVBSFContext* b) const { FF.av_bsf_free(&b); }
};
struct TGraphFree {
  void operator()(AVFilterGraph* g) const { FF.avfilter_graph_free(&g); }
};
struct TFileClose {
  void operator()(FILE* f) const { FF.fclose(f); }
};

using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextFree>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFree>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFree>;
using TSwrPtr = std::unique_ptr<SwrContext, TSwrFree>;
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, TAudioFifoFree>;
using TBsfPtr = std::unique_ptr<AVBSFContext, TBsfFree>;
using TGraphPtr = std::unique_ptr<AVFilterGraph, TGraphFree>;
using TFilePtr = std::unique_ptr<FILE, TFileClose>;

TFramePtr NewFrame();
TPacketPtr NewPacket();

// The message of a failed write to the output `name`: a full disk, and a
// file larger than its file system takes (4 GB on the memory sticks' FAT),
// are said in so many words, with the file (the library's text names
// neither); else `text`.
std::string WriteErrorText(const std::string& text, const std::string& name, int err);

// printf-style text (the engine's messages are built with it).
std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One opened input file.
struct TInputFile {
  ~TInputFile();
  std::string Name;
  AVFormatContext* Ctx = nullptr;  // closed by the destructor
  std::int64_t TsOffset = 0;       // µs added to every packet time
  std::array<double, MaxStreams> TsScale{};
  // The source's own time line: a packet time less the offset that the
  // opening (and a join) added, as the stream's time base rounds it, less
  // the container's start, is its time from the source's start. Kept apart
  // from TsOffset, which a time-stamp discontinuity changes, so that this
  // time line stays continuous.
  std::int64_t SourceOffset = 0;         // µs
  std::int64_t SourceStart = 0;          // µs
  std::vector<const AVCodec*> Decoders;  // per stream: forced by name, or null
  // Loop state.
  bool EndReached = false;
  bool NoPacket = false;
  int FirstStream = 0;  // index of its first record in the input table
  int StreamCount = 0;  // streams when the table was built
};

// One input stream of a run.
struct TInputStream {
  int FileIndex = 0;
  int StreamIndex = 0;
  AVStream* St = nullptr;
  const AVCodec* Decoder = nullptr;  // entry; null = registered decoder
  TCodecContextPtr Dec;              // opened decoder
  bool Discard = true;
  bool DecodingNeeded = false;
  std::int64_t RateEmuStart = 0;
  std::int64_t NextPts = INT64_MIN;  // µs
  std::int64_t Pts = 0;              // µs
  bool IsStart = true;
  bool PastRecordingTime = false;
  bool Flushed = false;
  bool MultiFrameWarned = false;
  float Quality = 0;
  TDeinterlacer Deinterlacer;  // "deinterlace": ahead of the hooks
};

// One output stream: created with its output file, completed by the
// preparation of a run.
struct TOutputStream {
  ~TOutputStream();
  int FileIndex = 0;  // index of its output file
  int Index = 0;      // stream index inside the file
  AVStream* St = nullptr;
  AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
  bool Copy = false;                 // stream copy instead of encoding
  const AVCodec* Encoder = nullptr;  // entry; null = registered encoder
  TCodecContextPtr Enc;              // encoder context (settings, then opened)
  bool EncoderOpen = false;
  bool EncoderFlushed = false;
  int Mpeg4Level = 0;            // written into the encoder's headers; 0: left alone
  std::string BitstreamFilters;  // "name[=opts],..." from the pending chain
  TBsfPtr Bsf;
  float Quality = 0;  // "qscale" x 118, or from the packets

  // Run state.
  TInputStream* Source = nullptr;
  TInputStream* SyncSource = nullptr;
  std::vector<TInputStream*> JoinSources;  // join mode: the source per input file
  bool EncodingNeeded = false;
  bool Active = true;
  std::int64_t FrameNumber = 0;
  std::int64_t PacketsOut = 0;  // encoded packets received (video)
  std::int64_t SyncOpts = 0;    // encoder time-base units expected so far
  double CurrentTime = 0;       // seconds of the last written packet end
  std::int64_t LastVideoPts = INT64_MIN;
  TFramePtr LastPicture;  // video: the last picture encoded
  bool WroteSomething = false;

  // Video: crop bands and the filter graph that crops, scales and converts.
  bool CropNeeded = false;
  int TopBand = 0, BottomBand = 0, LeftBand = 0, RightBand = 0;
  int InitTopBand = 0, InitBottomBand = 0, InitLeftBand = 0, InitRightBand = 0;
  int ResampleWidth = 0, ResampleHeight = 0, ResamplePixFmt = -1;
  int SourceWidth = 0, SourceHeight = 0;
  TGraphPtr Graph;
  AVFilterContext* FilterSrc = nullptr;
  AVFilterContext* FilterSink = nullptr;
  std::string VideoFilters;  // the user chain of this stream

  // Audio: conversion to the encoder's format, sample FIFO, encoder clock.
  bool ResampleNeeded = false;
  TSwrPtr Swr;
  int SwrInRate = 0, SwrInFormat = -1;  // what the converter was made for
  AVChannelLayout SwrInLayout{};
  TAudioFifoPtr Fifo;
  // Frame sizes the output takes, cycled (empty: the encoder's own). The DV
  // muxer counts on exactly one picture's sound per packet: it judges whether
  // the next picture has enough by the previous picture's share, and packets
  // of any other size can leave it two samples short, which it does not
  // survive (the process aborts).
  std::vector<int> AudioFrameSizes;
  std::int64_t AudioTimeShift = 0;  // added to packet times (AudioTimeShift())
  std::int64_t AudioNextPts = 0;    // samples handed to the encoder
  std::vector<std::uint8_t> Work;   // subtitle encoding buffer

  // Quality of the last encoded video packet (from its side data).
  int LastQuality = -1;  // lambda units
  int LastPictType = 0;
  std::array<std::uint64_t, 4> LastErrors{};
  std::array<std::uint64_t, 4> TotalErrors{};

  // Two-pass.
  TFilePtr PassLog;
};

// One distinct output file with the streams created for it.
struct TOutputFile {
  ~TOutputFile();
  bool GotPackets() const;  // some stream of it wrote a packet
  std::string Name;
  AVFormatContext* Ctx = nullptr;  // freed by the destructor (file closed)
  TOutputTarget Target;            // where Ctx->pb writes until it is kept
  std::vector<std::unique_ptr<TOutputStream>> Streams;
  std::int64_t Preload = -1;  // µs for the muxer's "preload" option; -1: the muxer has none
  bool HeaderWritten = false;
  bool TrailerWritten = false;
  // The file being written (Target.WrittenName()) when it was opened: while
  // it is written, that name must still lead there.
  bool Identified = false;
  platform::TFileIdentity Identity;
  // True while the written name still leads to the file that was opened
  // (always for outputs the muxer opens itself).
  bool StillInPlace() const;
};
