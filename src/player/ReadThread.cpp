// The engine's read thread: opens the file and its streams, then feeds the
// packet queues, carries out seeks and pause changes of the demultiplexer and
// notices the end of the input.
#include <chrono>
#include <cstdio>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/MediaUtils.h"
#include "engine/libav/UnicodeProtocol.h"
#include "player/PlayerEngine.h"

namespace {

constexpr int kLogError = 3;
constexpr int kLogInfo = 5;
constexpr std::int64_t kMaxQueueBytes = 0xF00000;
constexpr std::int64_t kEnoughAudioBytes = 0x50000;
constexpr int kEnoughPackets = 5;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string Format(const char* fmt, const std::string& a) {
  char buf[2048];
  std::snprintf(buf, sizeof buf, fmt, a.c_str());
  return buf;
}

}  // namespace

void TPlayerEngine::Log(int level, const std::string& text) { host_.LogMessage(level, text); }

void TPlayerEngine::ReadThreadMain() {
  TPlaybackState& s = *state_;
  endLogged_ = false;
  if (OpenInput()) {
    ChooseAndOpenStreams();
    if (!s.Audio.Open() && !s.Video.Open())
      s.OpenError = Format("%s: could not open codecs, no stream to play.", s.FileName);
    else
      s.OpenStatus = 1;
  }
  if (s.OpenStatus == 0) {
    Log(kLogError, s.OpenError);
    s.OpenStatus = -1;
  } else {
    ReadLoop();
    while (!s.Abort) SleepMs(100);
  }
  ReadCleanup();
}

bool TPlayerEngine::OpenInput() {
  TPlaybackState& s = *state_;
  s.Format = FF.avformat_alloc_context();
  if (!s.Format) {
    s.OpenError = "av_mallocz() failed.";
    return false;
  }
  s.Interrupt.Attach(s.Format);
  const TOpenLimit limit(s.Interrupt);
  AVDictionary* opts = nullptr;
  if (options_.FrameWidth > 0 && options_.FrameHeight > 0) {
    char size[64];
    std::snprintf(size, sizeof size, "%dx%d", options_.FrameWidth, options_.FrameHeight);
    FF.av_dict_set(&opts, "video_size", size, 0);
  }
  FF.av_dict_set(&opts, "framerate", "25", 0);
  // Through the engine's name handling, as the converter opens files: names
  // that are no valid UTF-8 or that look like a protocol address play too.
  int ret = OpenInputWithName(&s.Format, s.FileName, nullptr, &opts);
  FF.av_dict_free(&opts);
  if (ret < 0) {
    s.Format = nullptr;  // freed by the failed open
    s.OpenError = ret == AVERROR_EXIT ? s.Interrupt.Reason(s.FileName) : ErrorText(s.FileName, ret);
    return false;
  }
  ret = FindStreamInfo(s.Format);
  if (ret < 0) {
    s.OpenError = ret == AVERROR_EXIT ? s.Interrupt.Reason(s.FileName)
                                      : Format("%s: could not find codec parameters", s.FileName);
    return false;
  }
  if (s.Format->pb) s.Format->pb->eof_reached = 0;
  s.StartTime = s.Format->start_time != AV_NOPTS_VALUE ? s.Format->start_time : 0;
  s.Duration = s.Format->duration != AV_NOPTS_VALUE ? s.Format->duration : -1;
  const char* name = s.Format->iformat ? s.Format->iformat->name : "";
  s.ImageSequence = std::string(name) == "image2";
  s.CaptureDevice = std::string(name) == "vfwcap" || std::string(name) == "vfwcapture";
  return true;
}

void TPlayerEngine::ChooseAndOpenStreams() {
  TPlaybackState& s = *state_;
  for (unsigned i = 0; i < s.Format->nb_streams; ++i) s.Format->streams[i]->discard = AVDISCARD_ALL;
  int audio = -1, video = -1, subtitle = -1;
  if (!options_.DisableAudio)
    audio = FF.av_find_best_stream(s.Format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (!options_.DisableVideo) {
    video = FF.av_find_best_stream(s.Format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    subtitle = FF.av_find_best_stream(s.Format, AVMEDIA_TYPE_SUBTITLE, -1, video, nullptr, 0);
  }
  if (audio >= 0) OpenStream(audio);
  if (video >= 0) OpenStream(video);
  if (subtitle >= 0) OpenStream(subtitle);
}

bool TPlayerEngine::OpenDecoder(TStreamSlot& slot, int index) {
  TPlaybackState& s = *state_;
  AVStream* st = s.Format->streams[index];
  const AVCodec* codec = FF.avcodec_find_decoder(st->codecpar->codec_id);
  AVCodecContext* ctx = codec ? FF.avcodec_alloc_context3(codec) : nullptr;
  if (!ctx || FF.avcodec_parameters_to_context(ctx, st->codecpar) < 0) {
    if (ctx) FF.avcodec_free_context(&ctx);
    Log(kLogError, "avcodec_open() failed.");
    return false;
  }
  ctx->pkt_timebase = st->time_base;
  ctx->workaround_bugs = 1;
  ctx->err_recognition = AV_EF_CAREFUL;
  ctx->error_concealment = 3;
  // One decoding thread: pictures come out as soon as their packet is in,
  // which keeps the first picture and seeks quick.
  ctx->thread_count = 1;
  int ret;
  {
    std::lock_guard lock(CodecLock());
    ret = FF.avcodec_open2(ctx, codec, nullptr);
  }
  if (ret < 0) {
    FF.avcodec_free_context(&ctx);
    Log(kLogError, "avcodec_open() failed.");
    return false;
  }
  st->discard = AVDISCARD_DEFAULT;
  slot.Index = index;
  slot.Stream = st;
  slot.Codec = ctx;
  return true;
}

bool TPlayerEngine::OpenStream(int index) {
  TPlaybackState& s = *state_;
  switch (s.Format->streams[index]->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO: {
      if (!OpenDecoder(s.Audio, index)) return false;
      std::string error;
      if (!audio_->Open(s.Audio.Codec, error)) {
        Log(kLogError, error);
        CloseStream(s.Audio);
        return false;
      }
      // Queue before the device asks for data: the callback starts at once.
      s.Audio.Queue.Start();
      AVStream* st = s.Audio.Stream;
      s.AudioDuration = st->duration != AV_NOPTS_VALUE
                            ? FF.av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q)
                            : -1;
      return true;
    }
    case AVMEDIA_TYPE_VIDEO:
      if (!OpenDecoder(s.Video, index)) return false;
      s.Video.Queue.Start();
      video_ = std::make_unique<TVideoDecoder>(s, host_, [this] { PauseAgain(); });
      video_->Start();
      return true;
    case AVMEDIA_TYPE_SUBTITLE:
      if (!OpenDecoder(s.Subtitle, index)) return false;
      s.Subtitle.Queue.Start();
      subtitles_ = std::make_unique<TSubtitleDecoder>(s);
      subtitles_->Start();
      return true;
    default: return false;
  }
}

void TPlayerEngine::CloseStream(TStreamSlot& slot) {
  TPlaybackState& s = *state_;
  slot.Queue.Abort();
  if (&slot == &s.Audio) {
    audio_->Close();
  } else if (&slot == &s.Video) {
    s.Pictures.SetAbort();
    if (video_) video_->Join();
  } else if (subtitles_) {
    s.Subpictures.SetAbort();
    subtitles_->Join();
  }
  slot.Queue.Clear();
  if (slot.Codec) {
    std::lock_guard lock(CodecLock());
    FF.avcodec_free_context(&slot.Codec);
  }
  if (slot.Stream) slot.Stream->discard = AVDISCARD_ALL;
  slot.Stream = nullptr;
  slot.Index = -1;
}

void TPlayerEngine::ReadCleanup() {
  TPlaybackState& s = *state_;
  bool failed = s.OpenStatus != 1;
  if (failed) s.OpenStatus = -1;
  // Streams keep their index while they close, so clocks read meanwhile still
  // see an audio stream.
  if (s.Subtitle.Open()) CloseStream(s.Subtitle);
  if (s.Video.Open()) CloseStream(s.Video);
  if (s.Audio.Open()) CloseStream(s.Audio);
  if (s.Format) CloseInputWithName(&s.Format);
  if (failed) s.OpenStatus = -2;
}

void TPlayerEngine::ReadLoop() {
  TPlaybackState& s = *state_;
  AVPacket* pkt = FF.av_packet_alloc();
  bool lastPaused = false;
  bool eofCondition = false;
  while (!s.Abort) {
    HandlePauseChange(lastPaused);
    if (s.SeekReq) HandleSeek(eofCondition);
    if (QueuesFull()) {
      SleepMs(10);
      continue;
    }
    if (eofCondition || (s.Format->pb && FF.avio_feof(s.Format->pb))) {
      HandleEndOfInput();
      continue;
    }
    if (!ReadPacket(pkt, eofCondition)) break;
  }
  FF.av_packet_free(&pkt);
}

void TPlayerEngine::HandlePauseChange(bool& lastPaused) {
  TPlaybackState& s = *state_;
  bool paused = s.Paused;
  if (paused == lastPaused) return;
  lastPaused = paused;
  if (paused)
    s.ReadPauseReturn = FF.av_read_pause(s.Format);
  else
    FF.av_read_play(s.Format);
}

void TPlayerEngine::HandleSeek(bool& eofCondition) {
  TPlaybackState& s = *state_;
  std::int64_t target, rel;
  int flags;
  std::uint64_t serial;
  {
    std::lock_guard lock(s.SeekMutex);
    target = s.SeekPos;
    rel = s.SeekRel;
    flags = s.SeekFlags;
    serial = s.SeekSerial;
  }
  std::int64_t min = rel > 0 ? target - rel + 2 : INT64_MIN;
  int ret = FF.avformat_seek_file(s.Format, -1, min, target, INT64_MAX, flags);
  if (ret < 0) ret = FF.av_seek_frame(s.Format, -1, target, flags);
  if (ret < 0) ret = FF.av_seek_frame(s.Format, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
  if (ret < 0) {
    Log(kLogError, Format("%s: error while seeking", s.FileName));
    s.PictureEvent.Set();
  } else {
    for (TStreamSlot* slot : {&s.Audio, &s.Video, &s.Subtitle})
      if (slot->Open()) slot->Queue.FlushAndMark();
    if (s.Video.Open()) s.PictureEvent.Reset();
  }
  eofCondition = false;
  endLogged_ = false;
  s.Eof = false;
  s.EndReported = false;
  s.StalePictures = true;
  std::lock_guard lock(s.SeekMutex);
  // A newer request is carried out on the next turn of the loop.
  if (serial != s.SeekSerial) return;
  s.SeekReq = false;
  s.SeekDone.Set();
}

bool TPlayerEngine::QueuesFull() const {
  const TPlaybackState& s = *state_;
  std::int64_t total = s.Audio.Queue.Size() + s.Video.Queue.Size() + s.Subtitle.Queue.Size();
  if (total > kMaxQueueBytes) return true;
  bool audioEnough = !s.Audio.Open() || s.Audio.Queue.Size() > kEnoughAudioBytes;
  bool videoEnough = !s.Video.Open() || s.Video.Queue.Count() > kEnoughPackets;
  bool subtitleEnough = !s.Subtitle.Open() || s.Subtitle.Queue.Count() > kEnoughPackets;
  return audioEnough && videoEnough && subtitleEnough;
}

void TPlayerEngine::HandleEndOfInput() {
  TPlaybackState& s = *state_;
  if (s.Video.Open()) {
    // One end marker at a time is enough to drain the decoder and run the
    // position check; more would pile up while paused.
    if (s.Video.Queue.Count() == 0) s.Video.Queue.PutEmpty();
    s.PictureEvent.Set();
  }
  SleepMs(10);
  if (s.Audio.Queue.Size() == 0 && s.Video.Queue.Size() == 0 && s.Subtitle.Queue.Size() == 0)
    s.Eof = true;
}

// Reads and queues one packet. False when reading must stop for good.
bool TPlayerEngine::ReadPacket(AVPacket* pkt, bool& eofCondition) {
  TPlaybackState& s = *state_;
  s.Reading = true;
  int ret = FF.av_read_frame(s.Format, pkt);
  s.Reading = false;
  if (s.Abort) {
    FF.av_packet_unref(pkt);
    return false;
  }
  if (ret >= 0) {
    if (pkt->stream_index == s.Audio.Index)
      s.Audio.Queue.Put(pkt);
    else if (pkt->stream_index == s.Video.Index)
      s.Video.Queue.Put(pkt);
    else if (pkt->stream_index == s.Subtitle.Index)
      s.Subtitle.Queue.Put(pkt);
    else
      FF.av_packet_unref(pkt);
    return true;
  }
  if (ret == AVERROR(EAGAIN)) {
    SleepMs(10);
    return true;
  }
  s.PictureEvent.Set();
  if (!endLogged_ && !s.ImageSequence) {
    char buf[2200];
    if (ret == AVERROR_EOF)
      std::snprintf(buf, sizeof buf, "reach end of file: %s", s.FileName.c_str());
    else
      std::snprintf(buf, sizeof buf, "error #%d while reading file: %s", ret, s.FileName.c_str());
    Log(ret == AVERROR_EOF ? kLogInfo : kLogError, buf);
  }
  endLogged_ = true;
  if (ret == AVERROR_EOF) eofCondition = true;
  if (s.Format->pb && s.Format->pb->error) return false;
  SleepMs(100);
  return true;
}
