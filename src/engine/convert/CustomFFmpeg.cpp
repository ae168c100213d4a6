// The engine's life cycle: construction, control state, logging, the
// conversion body, reset and clean-up. Opening files lives in
// ConvertSetup.cpp, the run in ConvertPrepare/ConvertLoop/…Output.cpp.
#include "engine/convert/CustomFFmpeg.h"

#include <unistd.h>
#include <cstdarg>
#include <cstdio>

#include "engine/common/FFmpegException.h"
#include "engine/convert/ConvertStreams.h"
#include "engine/convert/FrameHookModules.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/FrameConverter.h"
#include "engine/libav/MediaUtils.h"
#include "engine/libav/UnicodeProtocol.h"

// ---- records ----

void TCodecContextFree::operator()(AVCodecContext* ctx) const {
  if (ctx) FF.av_freep(&ctx->stats_in);  // ours: the library leaves it to the caller
  std::lock_guard lock(CodecLock());
  FF.avcodec_free_context(&ctx);
}

TFramePtr NewFrame() {
  TFramePtr f(FF.av_frame_alloc());
  if (!f) throw FFmpegException("av_frame_alloc fail");
  return f;
}

TPacketPtr NewPacket() {
  TPacketPtr p(FF.av_packet_alloc());
  if (!p) throw FFmpegException("av_packet_alloc fail");
  return p;
}

std::string Fmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char buf[2048];
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

TInputFile::~TInputFile() {
  if (Ctx) CloseInputWithName(&Ctx);
}

TOutputStream::~TOutputStream() { FF.av_channel_layout_uninit(&SwrInLayout); }

TOutputFile::~TOutputFile() {
  if (!Ctx) return;
  // What was not kept goes, and only what this task made.
  bool ownsFile = Ctx->oformat && !(Ctx->oformat->flags & AVFMT_NOFILE);
  Target.Discard(ownsFile ? &Ctx->pb : nullptr);
  Streams.clear();
  FF.avformat_free_context(Ctx);
  Ctx = nullptr;
}

bool TOutputFile::StillInPlace() const {
  if (!Identified) return true;
  platform::TFileIdentity now;
  return platform::IdentifyFile(Target.WrittenName(), now) && now == Identity;
}

bool TOutputFile::GotPackets() const {
  for (const auto& ost : Streams)
    if (ost->WroteSomething) return true;
  return false;
}

// ---- engine ----

TCustomFFmpeg::TCustomFFmpeg()
    : hookConverter_(std::make_unique<TFrameConverter>()),
      previewConverter_(std::make_unique<TFrameConverter>()) {
  if (LibrariesLoaded()) options_.ResetOptions();
}

TCustomFFmpeg::~TCustomFFmpeg() {
  RequestStop();
  if (LibrariesLoaded()) CloseAll();
}

bool TCustomFFmpeg::LibrariesLoaded() const {
  return TFFmpegLoader::Instance().Loaded(ConverterLibraries);
}

void TCustomFFmpeg::ParseOption(const std::string& name, const std::string& value) {
  TOptionParser parser(options_, this);
  parser.ParseOption(name, value);
}

int TCustomFFmpeg::InputFileCount() const { return int(inputFiles_.size()); }
int TCustomFFmpeg::OutputFileCount() const { return int(outputEntries_.size()); }

AVFormatContext* TCustomFFmpeg::InputFile(int index) const {
  if (index < 0 || index >= InputFileCount()) return nullptr;
  return inputFiles_[size_t(index)]->Ctx;
}

AVFormatContext* TCustomFFmpeg::OutputFile(int index) const {
  if (index < 0 || index >= OutputFileCount()) return nullptr;
  return outputFiles_[size_t(outputEntries_[size_t(index)])]->Ctx;
}

std::vector<AVFormatContext*> TCustomFFmpeg::OpenedInputFiles() const {
  std::vector<AVFormatContext*> files;
  for (auto& f : inputFiles_) files.push_back(f->Ctx);
  return files;
}

std::string TCustomFFmpeg::LastError() const {
  std::lock_guard lock(controlMutex_);
  return lastError_;
}

void TCustomFFmpeg::SetLastError(const std::string& text) {
  std::lock_guard lock(controlMutex_);
  lastError_ = text;
}

std::string TCustomFFmpeg::ErrorMessage() const {
  std::lock_guard lock(controlMutex_);
  return errorMessage_;
}

void TCustomFFmpeg::AddFrameHook(const std::string& text) {
  if (!frameHooks_) frameHooks_ = std::make_unique<TFrameHookModules>();
  frameHooks_->Add(text);
}

// ---- control ----

void TCustomFFmpeg::RequestStop() {
  stopRequested_ = true;
  Resume();  // a paused worker must reach the loop top to see the request
}

void TCustomFFmpeg::Pause() {
  std::lock_guard lock(controlMutex_);
  paused_ = true;
}

void TCustomFFmpeg::Resume() {
  {
    std::lock_guard lock(controlMutex_);
    paused_ = false;
  }
  pauseGate_.notify_all();
}

void TCustomFFmpeg::WaitWhilePaused() {
  std::unique_lock lock(controlMutex_);
  pauseGate_.wait(lock, [this] { return !paused_.load() || stopRequested_.load(); });
}

void TCustomFFmpeg::ClearControlState() {
  stopRequested_ = false;
  completed_ = false;
  failed_ = false;
  std::lock_guard lock(controlMutex_);
  paused_ = false;
  errorMessage_.clear();
}

std::mutex& TCustomFFmpeg::PreviewLock() {
  static std::mutex lock;
  return lock;
}

void TCustomFFmpeg::SetPreviewFlags(int bits) {
  std::lock_guard lock(PreviewLock());
  previewFlags_ = bits;
}

int TCustomFFmpeg::PreviewFlags() const { return previewFlags_.load(); }

// ---- logging ----

void TCustomFFmpeg::Log(int level, const std::string& text) const {
  FFLogger().Log(this, TLogLevel(level), text);
}

void TCustomFFmpeg::LogF(int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  FFLogger().LogFormatV(this, TLogLevel(level), format, args);
  va_end(args);
}

// ---- the conversion body ----

void TCustomFFmpeg::RunConversion() {
  completed_ = false;
  auto guarded = [this](const std::function<void()>& step) {
    try {
      step();
    } catch (const std::exception& e) {
      Log(llQuiet, e.what());
      failed_ = true;
      std::lock_guard lock(controlMutex_);
      errorMessage_ = e.what();
    }
  };
  guarded([this] { Transcode(); });
  guarded([this] { CloseCodecs(); });
  if (!failed_) guarded([this] { KeepOutputs(); });
  guarded([this] { CloseAll(); });
  FFLogger().ForgetThreadLine();
}

void TCustomFFmpeg::CloseCodecs() {
  for (auto& file : outputFiles_)
    for (auto& ost : file->Streams) {
      if (ost->EncoderOpen) {
        ost->Enc.reset();
        ost->EncoderOpen = false;
      }
    }
  for (auto& ist : inputStreams_) ist->Dec.reset();
}

void TCustomFFmpeg::KeepOutputs() {
  for (auto& file : outputFiles_) {
    AVFormatContext* ctx = file->Ctx;
    if (!ctx || !ctx->pb || (ctx->oformat->flags & AVFMT_NOFILE)) continue;
    // A stop before the first packet leaves the old file as it was.
    if (stopRequested_ && !file->GotPackets()) continue;
    const int err = file->Target.Keep(&ctx->pb);
    if (err < 0)
      throw FFmpegException(WriteErrorText(ErrorText("Cannot finish the output " + file->Name, err),
                                           file->Name, err));
  }
}

void TCustomFFmpeg::CloseAll() {
  if (!LibrariesLoaded()) return;
  options_.Generic.Free();
  outputStreams_.clear();
  inputStreams_.clear();
  outputFiles_.clear();  // closes the files, removes what was not kept
  outputEntries_.clear();
  inputFiles_.clear();
  joinMode_ = false;
  if (vstatsFile_) {
    FF.fclose(vstatsFile_);
    vstatsFile_ = nullptr;
  }
  frameHooks_.reset();
  hookConverter_->Reset();
  previewConverter_->Reset();
}

void TCustomFFmpeg::ResetTask() {
  if (!LibrariesLoaded()) return;
  CloseAll();
  options_.ResetOptions();
  ClearControlState();
  hookEnabled_ = false;
  totalDuration_ = -1;
  videoBytes_ = audioBytes_ = globalHeaderBytes_ = 0;
  dupFrames_ = dropFrames_ = 0;
  syncEventPending_ = false;
  decodedVideoFrames_ = 0;
  qpHistogram_.assign(52, 0);
  SetLastError("");
}
