// The probe on generated media and on hand-made format contexts, whose
// fields can be set to the awkward values real files rarely carry.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <ctime>
#include <filesystem>
#include <vector>

#include "engine/common/FFmpegException.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/UnicodeProtocol.h"
#include "engine/probe/AVProbe.h"
#include "support/MediaFactory.h"
#include "support/TestFolder.h"

namespace {

#define EXPECT_STARTS(text, head) \
  EXPECT_EQ(std::string(text).substr(0, std::string(head).size()), head) << (text)
#define EXPECT_HAS(text, part) EXPECT_NE(std::string(text).find(part), std::string::npos) << (text)

// True when `line` is head + digits [+ "." + `decimals` digits] + tail.
bool NumberLine(const std::string& line, const std::string& head, const std::string& tail,
                int decimals) {
  if (line.size() < head.size() + tail.size() || line.compare(0, head.size(), head) != 0 ||
      line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string number = line.substr(head.size(), line.size() - head.size() - tail.size());
  const size_t dot = number.find('.');
  const size_t wholeDigits = dot == std::string::npos ? number.size() : dot;
  const bool decimalsOk =
      decimals == 0 ? dot == std::string::npos
                    : dot != std::string::npos && number.size() - dot - 1 == size_t(decimals);
  int digits = 0;
  for (char c : number) digits += std::isdigit(static_cast<unsigned char>(c)) ? 1 : 0;
  return wholeDigits > 0 && decimalsOk && digits == int(number.size()) - (decimals ? 1 : 0);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// The first line starting with `head`, or "".
std::string LineStarting(const std::string& text, const std::string& head) {
  for (const std::string& l : Lines(text))
    if (l.rfind(head, 0) == 0) return l;
  return "";
}

void ExpectNotLoaded(const TCustomAVProbe& p) {
  EXPECT_FALSE(p.Loaded());
  for (std::int64_t n :
       {p.FileSize(), std::int64_t(p.StreamCount()), std::int64_t(p.ProgramCount()),
        std::int64_t(p.AudioStreamCount()), std::int64_t(p.VideoStreamCount()),
        std::int64_t(p.SubtitleStreamCount()), std::int64_t(p.AudioStreamIndex()),
        std::int64_t(p.VideoStreamIndex()), std::int64_t(p.SubtitleStreamIndex())})
    EXPECT_EQ(n, -1);
}

// A format context built by hand and shown through Attach.
class THandMade {
 public:
  explicit THandMade(const std::string& url = "") {
    ic_ = FF.avformat_alloc_context();
    ic_->url = FF.av_strdup(url.c_str());
    ic_->duration = AV_NOPTS_VALUE;
    ic_->start_time = AV_NOPTS_VALUE;
    ic_->bit_rate = 0;
  }
  ~THandMade() { FF.avformat_free_context(ic_); }
  AVFormatContext* operator->() { return ic_; }
  AVFormatContext* Get() { return ic_; }

  AVStream* Add(AVMediaType type, AVCodecID codec, AVRational timeBase) {
    AVStream* st = FF.avformat_new_stream(ic_, nullptr);
    st->codecpar->codec_type = type;
    st->codecpar->codec_id = codec;
    st->time_base = timeBase;
    return st;
  }

 private:
  AVFormatContext* ic_;
};

}  // namespace

TEST(Probe, OpensAClipAndCountsItsStreams) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4());
  TAVProbe p;
  ExpectNotLoaded(p);
  EXPECT_EQ(p.MainStreamIndex(), -1);
  ASSERT_TRUE(p.Open(clip)) << p.LastErrMsg();
  EXPECT_EQ(p.FileName(), clip);
  EXPECT_EQ(p.FormatName(), "mov,mp4,m4a,3gp,3g2,mj2");
  EXPECT_EQ(p.FileSize(), std::int64_t(std::filesystem::file_size(clip)));
  EXPECT_EQ(p.StreamCount(), 2);
  EXPECT_EQ(p.ProgramCount(), 0);
  EXPECT_EQ(p.VideoStreamCount(), 1);
  EXPECT_EQ(p.AudioStreamCount(), 1);
  EXPECT_EQ(p.SubtitleStreamCount(), 0);
  EXPECT_EQ(p.VideoStreamIndex(), 0);
  EXPECT_EQ(p.AudioStreamIndex(), 1);
  EXPECT_EQ(p.SubtitleStreamIndex(), -1);
  EXPECT_TRUE(p.IsVideoStream(0));
  EXPECT_TRUE(p.IsAudioStream(1));
  EXPECT_FALSE(p.IsAudioStream(2));
  EXPECT_EQ(p.MainStreamIndex(), 0);
  EXPECT_EQ(p.MainStreamStart(), 0);

  p.Close();
  ExpectNotLoaded(p);
  EXPECT_EQ(p.MainStreamIndex(), -1);
  EXPECT_EQ(p.FileInfoText(), "");
  EXPECT_EQ(p.LastErrMsg(), "file not loaded.");
}

TEST(Probe, CountsSubtitleStreams) {
  TAVProbe p;
  ASSERT_TRUE(p.Open(TestMedia::Get(MediaSpec::Mkv().Subtitles("subrip"))));
  EXPECT_EQ(p.StreamCount(), 3);
  EXPECT_EQ(p.SubtitleStreamCount(), 1);
  EXPECT_EQ(p.SubtitleStreamIndex(), 2);
  EXPECT_FALSE(p.IsVideoStream(2));
  EXPECT_FALSE(p.IsAudioStream(2));
  TVideoStreamInfo v;
  EXPECT_FALSE(p.VideoStreamInfo(2, v));
  EXPECT_EQ(p.LastErrMsg(), "stream #2 is not video stream.");
}

TEST(Probe, MainStreamIsTheAudioOfAnAudioFile) {
  TAVProbe p;
  ASSERT_TRUE(p.Open(TestMedia::Get(MediaSpec::Mp3())));
  EXPECT_EQ(p.MainStreamIndex(), 0);
  // The MP3 stream starts after the encoder delay, counted in its own ticks.
  const AVStream* st = p.FormatContext()->streams[0];
  EXPECT_EQ(p.MainStreamStart(), st->start_time);
  EXPECT_GT(p.MainStreamStart(), 0);
}

TEST(Probe, StreamRecordsOfAClip) {
  TAVProbe p;
  ASSERT_TRUE(p.Open(TestMedia::Get(MediaSpec::Mkv().Seconds(1).Audio(48000, 6))));
  TVideoStreamInfo v;
  ASSERT_TRUE(p.VideoStreamInfo(-1, v)) << p.LastErrMsg();
  EXPECT_EQ(v.Width, 320);
  EXPECT_EQ(v.Height, 240);
  EXPECT_FLOAT_EQ(v.DisplayAspect, 4.0f / 3.0f);
  EXPECT_EQ(v.PixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(v.FrameRateNum, 25);
  EXPECT_EQ(v.FrameRateDen, 1);
  EXPECT_STARTS(v.CodecName, ("h264("));
  EXPECT_EQ(v.StartTime, v.StartTimeRaw * 1000);  // Matroska counts milliseconds
  EXPECT_EQ(v.Duration, -1);                      // and leaves stream durations unset

  TAudioStreamInfo a;
  ASSERT_TRUE(p.AudioStreamInfo(-1, a));
  EXPECT_EQ(a.Channels, 6);
  EXPECT_EQ(a.SampleRate, 48000);
  EXPECT_EQ(a.SampleFormat, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(a.CodecName, "aac(AAC (Advanced Audio Coding))");

  TAVProbe ts;
  ASSERT_TRUE(ts.Open(TestMedia::Get(MediaSpec::Ts())));
  ASSERT_TRUE(ts.AudioStreamInfo(1, a));
  EXPECT_EQ(a.StartTime, FF.av_rescale(a.StartTimeRaw, 1000000, 90000));
  EXPECT_NEAR(a.Duration / 1e6, 2.0, 0.05);
  EXPECT_EQ(a.BitRate, 128000);
}

TEST(Probe, FailedQueriesLeaveResetValuesAndSayWhy) {
  TLogCapture log;
  TAVProbe p;
  TVideoStreamInfo v;
  TAudioStreamInfo a;
  TFileStreamInfo f;
  EXPECT_FALSE(p.VideoStreamInfo(-1, v));
  EXPECT_EQ(p.LastErrMsg(), "file not loaded.");
  EXPECT_FALSE(p.FileStreamInfo(f));
  EXPECT_EQ(f.Duration, -1);
  EXPECT_EQ(f.Year, -1);
  EXPECT_EQ(f.BitRate, -1);

  ASSERT_TRUE(p.Open(TestMedia::Get(MediaSpec::Wav())));
  v.Width = v.Height = 99;
  v.CodecName = "stale";
  EXPECT_FALSE(p.VideoStreamInfo(-1, v));
  EXPECT_EQ(p.LastErrMsg(), "no video stream.");
  EXPECT_EQ(v.Width, -1);
  EXPECT_EQ(v.Height, -1);
  EXPECT_EQ(v.DisplayAspect, -1.0f);
  EXPECT_EQ(v.CodecName, "");
  EXPECT_FALSE(p.VideoStreamInfo(0, v));
  EXPECT_EQ(p.LastErrMsg(), "stream #0 is not video stream.");
  EXPECT_FALSE(p.AudioStreamInfo(3, a));
  EXPECT_EQ(p.LastErrMsg(), "stream index #3 is invalid.");
  EXPECT_EQ(a.SampleRate, -1);

  ASSERT_TRUE(p.Open(TestMedia::Get(MediaSpec::VideoOnly())));
  a.Channels = 2;
  EXPECT_FALSE(p.AudioStreamInfo(0, a));
  EXPECT_EQ(p.LastErrMsg(), "stream #0 is not audio stream.");
  EXPECT_EQ(a.Channels, -1);
  EXPECT_FALSE(p.AudioStreamInfo(-1, a));
  EXPECT_EQ(p.LastErrMsg(), "no audio stream.");

  for (const char* text : {"file not loaded.", "no video stream.", "stream #0 is not video stream.",
                           "stream index #3 is invalid.", "stream #0 is not audio stream."})
    EXPECT_TRUE(log.Contains(text)) << text;
}

TEST(Probe, FileRecordAndTagsOfAClip) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp3()
                                              .Seconds(0.5)
                                              .Tag("title", "Synthetic")
                                              .Tag("artist", "Nobody")
                                              .Tag("date", "2009-05-01")
                                              .Tag("track", "3/12")
                                              .Tag("genre", "Noise"));
  TAVProbe p;
  ASSERT_TRUE(p.Open(clip));
  TFileStreamInfo f;
  ASSERT_TRUE(p.FileStreamInfo(f));
  EXPECT_EQ(f.Title, "Synthetic");
  EXPECT_EQ(f.Author, "Nobody");
  EXPECT_EQ(f.Genre, "Noise");
  EXPECT_EQ(f.Album, "");
  EXPECT_EQ(f.Year, 2009);
  EXPECT_EQ(f.Track, 3);
  EXPECT_EQ(f.TimeStamp, 0);
  EXPECT_GT(f.BitRate, 100000);
  EXPECT_NEAR(f.Duration / 1e6, 0.55, 0.06);
  EXPECT_GT(f.StartTime, 0);

  const std::string text = p.FileInfoText();
  EXPECT_EQ(LineStarting(text, "Metadata:"), "Metadata:");
  EXPECT_EQ(LineStarting(text, "  title"), "  title           : Synthetic");
  EXPECT_EQ(LineStarting(text, "  artist"), "  artist          : Nobody");
  EXPECT_EQ(LineStarting(text, "Time Stamp"), "");
}

TEST(Probe, InfoTextOfAClip) {
  const std::string clip =
      TestMedia::Get(MediaSpec::Mp4().Tag("creation_time", "2020-01-02T03:04:05.000000Z"));
  TAVProbe p;
  ASSERT_TRUE(p.Open(clip));
  const std::string text = p.FileInfoText();
  const std::vector<std::string> lines = Lines(text);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "File Name: " + clip);
  EXPECT_EQ(lines[1], "Format Name: mov,mp4,m4a,3gp,3g2,mj2");
  EXPECT_EQ(lines[2], "Format Long Name: QuickTime / MOV");
  EXPECT_TRUE(NumberLine(lines[3], "File Size: ", " KB", 2)) << lines[3];
  EXPECT_EQ(lines[4], "Duration: 00:00:02.000");
  EXPECT_EQ(lines[5], "StartTime: 0.000000");
  EXPECT_TRUE(NumberLine(lines[6], "Bit Rate: ", " kb/s", 0)) << lines[6];

  std::time_t stamp = 1577934245;  // 2020-01-02 03:04:05 UTC, shown in local time
  std::tm tm{};
  localtime_r(&stamp, &tm);
  char local[32];
  std::strftime(local, sizeof local, "%Y-%m-%d %H:%M:%S", &tm);
  EXPECT_EQ(lines[7], std::string("Time Stamp: ") + local);
  TFileStreamInfo f;
  ASSERT_TRUE(p.FileStreamInfo(f));
  EXPECT_EQ(f.TimeStamp, 1577934245);

  const std::string video = LineStarting(text, "Stream #0");
  EXPECT_STARTS(video, ("Stream #0[0x1](und), 1/12800: Video: h264"));
  EXPECT_HAS(video, (", 25 fps, 25 tbr, 12800 tbn, StartTime: 0.000000, Duration: 00:00:02.000"));
  // Front ends cut the audio format out of the text after "Audio: ".
  const std::string audio = LineStarting(text, "Stream #1");
  EXPECT_HAS(audio, (": Audio: aac (LC)"));
  EXPECT_STARTS(LineStarting(text, "    handler_name"), ("    handler_name    : "));
}

TEST(Probe, InfoTextListsProgramsWithTheirStreams) {
  TAVProbe p;
  ASSERT_TRUE(p.Open(TestMedia::Get(MediaSpec::Ts())));
  EXPECT_EQ(p.ProgramCount(), 1);
  const std::vector<std::string> lines = Lines(p.FileInfoText());
  size_t at = 0;
  while (at < lines.size() && lines[at].rfind("Program", 0) != 0) ++at;
  ASSERT_LT(at + 5, lines.size());
  EXPECT_EQ(lines[at], "Program 1 FFmpeg@Service01");
  EXPECT_EQ(lines[at + 1], "  Metadata:");
  EXPECT_EQ(lines[at + 2], "    service_name    : Service01");
  EXPECT_EQ(lines[at + 3], "    service_provider: FFmpeg");
  EXPECT_STARTS(lines[at + 4], ("Stream #0[0x100], 1/90000: Video: mpeg2video"));
  EXPECT_HAS(lines[at + 4], (", 25 fps, 25 tbr, 90k tbn, StartTime: "));
  EXPECT_STARTS(lines[at + 5], ("Stream #1[0x101], 1/90000: Audio: mp2"));
  EXPECT_EQ(at + 6, lines.size());  // no stream listed twice
}

TEST(Probe, NtscRateShowsTwoDecimals) {
  TAVProbe p;
  ASSERT_TRUE(p.Open(TestMedia::Get(MediaSpec::Mp4().Fps(30000, 1001).Seconds(1))));
  EXPECT_HAS(LineStarting(p.FileInfoText(), "Stream #0"), (", 29.97 fps, 29.97 tbr"));
}

TEST(Probe, SizeLineAtTheKilobyteBoundary) {
  TAVProbe p;
  ASSERT_TRUE(p.Open(TestMedia::WavOfSize(1024))) << p.LastErrMsg();
  EXPECT_EQ(LineStarting(p.FileInfoText(), "File Size"), "File Size: 1024 Byte");
  ASSERT_TRUE(p.Open(TestMedia::WavOfSize(1025)));
  EXPECT_EQ(LineStarting(p.FileInfoText(), "File Size"), "File Size: 1.00 KB");
}

TEST(Probe, HandMadeContextShowsEveryLineForm) {
  const std::string file = TestMedia::WavOfSize(2048);
  THandMade ic(file);
  FF.av_dict_set(&ic->metadata, "TPE1", "Someone", 0);
  FF.av_dict_set(&ic->metadata, "XYZ", "kept", 0);

  AVStream* v = ic.Add(AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4, {1, 90000});
  v->codecpar->width = 640;
  v->codecpar->height = 480;
  v->sample_aspect_ratio = {16, 11};
  v->avg_frame_rate = {30000, 1001};
  v->r_frame_rate = {30000, 1001};
  v->start_time = -3600;
  v->duration = 180000;
  FF.av_dict_set(&v->metadata, "language", "eng", 0);

  AVStream* a = ic.Add(AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_MP2, {2, 50});
  a->codecpar->sample_rate = 44100;
  FF.av_dict_set(&a->metadata, "TIT2", "Song", 0);

  AVStream* s = ic.Add(AVMEDIA_TYPE_SUBTITLE, AV_CODEC_ID_SUBRIP, {1, 0});
  s->start_time = 5;
  FF.av_dict_set(&s->metadata, "language", "fre", 0);

  AVProgram* program = FF.av_new_program(ic.Get(), 7);
  FF.av_program_add_stream_index(ic.Get(), 7, 1);
  FF.av_dict_set(&program->metadata, "service_provider", "Prov", 0);

  TAVProbe p;
  p.Attach(ic.Get());
  // No I/O context reports a size: the file on disk does.
  EXPECT_EQ(p.FileSize(), 2048);
  EXPECT_EQ(p.FileName(), file);
  EXPECT_EQ(p.SubtitleStreamIndex(), 2);

  const std::vector<std::string> lines = Lines(p.FileInfoText());
  ASSERT_EQ(lines.size(), 17u) << p.FileInfoText();
  EXPECT_EQ(lines[1], "Format Name: ");
  EXPECT_EQ(lines[3], "File Size: 2.00 KB");
  EXPECT_EQ(lines[4], "Duration: N/A");
  EXPECT_EQ(lines[5], "Bit Rate: N/A");
  EXPECT_EQ(lines[6], "Metadata:");
  EXPECT_EQ(lines[7], "  artist          : Someone");
  EXPECT_EQ(lines[8], "  XYZ             : kept");
  EXPECT_EQ(lines[9], "Program 7 Prov@N/A");
  EXPECT_EQ(lines[10], "  Metadata:");
  EXPECT_EQ(lines[11], "    service_provider: Prov");
  EXPECT_STARTS(lines[12], "Stream #1, 1/25: Audio: mp2");
  EXPECT_HAS(lines[12], ", Duration: N/A");
  EXPECT_EQ(lines[13], "  Metadata:");
  EXPECT_EQ(lines[14], "    title           : Song");
  EXPECT_STARTS(lines[15], "Stream #0(eng), 1/90000: Video: mpeg4");
  EXPECT_HAS(lines[15],
             ", PAR 16:11 DAR 64:33, 29.97 fps, 29.97 tbr, 90k tbn, "
             "StartTime: -0.040000, Duration: 00:00:02.000");
  // A time base without denominator counts whole seconds.
  EXPECT_STARTS(lines[16],
                "Stream #2(fre), 1/0: Subtitle: subrip, StartTime: 5.000000, Duration: N/A");

  TVideoStreamInfo vi;
  ASSERT_TRUE(p.VideoStreamInfo(0, vi));
  EXPECT_NEAR(vi.DisplayAspect, 640.0 * 16 / (480.0 * 11), 1e-5);
  EXPECT_EQ(vi.StartTime, -40000);
  EXPECT_EQ(vi.Language, "eng");
  p.Close();
  // Closing an attached context leaves it to its owner.
  EXPECT_EQ(ic->nb_streams, 3u);
}

TEST(Probe, LanguageAloneMakesNoMetadataBlock) {
  THandMade ic;
  AVStream* s = ic.Add(AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_MP2, {1, 90000});
  FF.av_dict_set(&s->metadata, "language", "fre", 0);
  FF.av_dict_set(&ic->metadata, "language", "fre", 0);
  TAVProbe p;
  p.Attach(ic.Get());
  // Neither an I/O context nor a file on disk knows a size.
  EXPECT_EQ(p.FileSize(), 0);
  const std::vector<std::string> lines = Lines(p.FileInfoText());
  ASSERT_EQ(lines.size(), 7u) << p.FileInfoText();
  EXPECT_STARTS(lines[6], "Stream #0(fre), 1/90000: Audio: mp2");
}

TEST(Probe, OpenFailuresAreCleanAndExplained) {
  TLogCapture log;
  TAVProbe p;
  const std::string missing = TestMedia::MissingFile();
  EXPECT_FALSE(p.Open(missing));
  EXPECT_EQ(p.LastErrMsg(), missing + ": No such file or directory");
  EXPECT_TRUE(log.Contains(p.LastErrMsg()));
  ExpectNotLoaded(p);

  const std::string garbage = TestMedia::Garbage(4096);
  EXPECT_FALSE(p.Open(garbage));
  EXPECT_STARTS(p.LastErrMsg(), (garbage + ": "));
  ExpectNotLoaded(p);

  // MP4 keeps its index at the end: half a file has none.
  EXPECT_FALSE(p.Open(TestMedia::Truncated(MediaSpec::Mp4(), 0.5)));
  ExpectNotLoaded(p);

  const std::string wav = TestMedia::Get(MediaSpec::Wav());
  EXPECT_FALSE(p.Open(wav, "nosuchformat"));
  EXPECT_EQ(p.LastErrMsg(), "Unknown input format: nosuchformat");
  EXPECT_FALSE(log.Contains("Unknown input format"));
  ASSERT_TRUE(p.Open(wav, "wav"));
  EXPECT_EQ(p.ForceFormat(), "wav");
  p.Close();
  EXPECT_EQ(p.ForceFormat(), "");
}

TEST(Probe, DamagedButOpenableFilesStillDescribe) {
  TAVProbe p;
  for (const std::string& file :
       {TestMedia::Corrupted(MediaSpec::Mp4()), TestMedia::Truncated(MediaSpec::Ts(), 0.4),
        TestMedia::Truncated(MediaSpec::Avi(), 0.7)}) {
    if (!p.Open(file)) {
      EXPECT_FALSE(p.LastErrMsg().empty());
      continue;
    }
    EXPECT_HAS(p.FileInfoText(), ("Stream #0"));
    TVideoStreamInfo v;
    EXPECT_TRUE(p.VideoStreamInfo(-1, v));
  }
}

TEST(Probe, OpensNamesThatAreNotUtf8) {
  const std::string clip = TestMedia::Get(MediaSpec::Wav());
  TTestFolder folder;
  const std::string odd = folder.In("probe_\xff\xfe.wav");
  std::filesystem::copy_file(clip, odd, std::filesystem::copy_options::overwrite_existing);
  TAVProbe p;
  ASSERT_TRUE(p.Open(odd)) << p.LastErrMsg();
  EXPECT_EQ(p.FileName(), odd);
  EXPECT_EQ(p.FileSize(), std::int64_t(std::filesystem::file_size(clip)));
  EXPECT_EQ(Lines(p.FileInfoText())[0], "File Name: " + odd);
  p.Close();
}

TEST(Probe, AttachedContextStaysWithItsOwner) {
  const std::string clip = TestMedia::Get(MediaSpec::Avi());
  AVFormatContext* ic = nullptr;
  ASSERT_GE(OpenInputWithName(&ic, clip, nullptr, nullptr), 0);
  ASSERT_GE(FF.avformat_find_stream_info(ic, nullptr), 0);
  {
    TAVProbe p;
    p.Attach(ic);
    EXPECT_EQ(p.FileName(), clip);
    EXPECT_EQ(p.FormatName(), "avi");
    EXPECT_EQ(p.StreamCount(), 2);
    EXPECT_EQ(p.ForceFormat(), "");
    p.Attach(nullptr);
    ExpectNotLoaded(p);
    p.Attach(ic);
  }  // destroying the probe must not close the context either
  AVPacket* pkt = FF.av_packet_alloc();
  EXPECT_GE(FF.av_read_frame(ic, pkt), 0);
  FF.av_packet_free(&pkt);
  CloseInputWithName(&ic);
}

TEST(Probe, MissingLibraryIsAnError) {
  const std::string wav = TestMedia::Get(MediaSpec::Wav());
  auto& loader = TFFmpegLoader::Instance();
  loader.Unload(LibBit(liSWScale));
  struct TReload {
    ~TReload() { TFFmpegLoader::Instance().Load(LibBit(liSWScale)); }
  } reload;
  TAVProbe p;
  try {
    p.Open(wav);
    ADD_FAILURE() << "no error raised";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "LibSwScale not loaded.");
  }
  EXPECT_THROW(p.Attach(nullptr), FFmpegException);
}
