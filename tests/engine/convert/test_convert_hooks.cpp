// Conversions with call-outs and side files: the custom hook, previews,
// frame hook modules, reports, subtitles, two-pass logs, statistics and
// metadata.
#include <cstring>
#include <fstream>
#include <map>

#include "engine/common/FFmpegException.h"
#include "engine/convert/ConvertTestUtil.h"
#include "engine/convert/FrameHookModules.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"

using namespace convtest;

namespace {

bool IsBlue(const TBitmap& bmp) {
  return TestMedia::ColourNear(TestMedia::PixelAt(bmp, bmp.Width() / 2, bmp.Height() - 4, 2),
                               {0, 0, 255});
}

}  // namespace

TEST(ConvertHook, HandlerDrawsIntoTheEncodedPicture) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120));
  std::string out = OutPath("hooked.mp4");
  TCustomFFmpeg task;
  ASSERT_TRUE(OpenTask(task, in, {}, out, {{"an", "1"}}));
  task.SetHookEnabled(true);
  std::vector<int> numbers;
  std::vector<std::int64_t> times;
  task.OnCustomHook = [&](TCustomFFmpeg&, THookInfo& info) {
    numbers.push_back(info.FrameNumber);
    times.push_back(info.PTS);
    EXPECT_TRUE(info.Update);
    EXPECT_FALSE(info.StopHook);
    ASSERT_NE(info.Bitmap, nullptr);
    EXPECT_EQ(info.Bitmap->Width(), 160);
    if (info.FrameNumber == 3) throw std::runtime_error("boom");  // this frame stays as decoded
    if (info.FrameNumber == 4) {
      info.Update = false;  // said unchanged: what was drawn is ignored
    }
    info.Bitmap->Fill(255, 0, 0);
    if (info.FrameNumber == 10) info.StopHook = true;  // this frame still counts
  };
  TLogCapture log;
  RunOk(task);
  EXPECT_TRUE(log.Contains("Error occurs OnCustomHook: boom"));
  ASSERT_EQ(numbers.size(), 10u);
  EXPECT_EQ(numbers.front(), 1);
  EXPECT_EQ(times[1] - times[0], 40000);
  EXPECT_FALSE(task.HookEnabled());
  TBitmap frame;
  for (int i : {0, 1, 4, 9}) {
    ASSERT_TRUE(TestMedia::DecodeFrame(out, i, frame));
    EXPECT_TRUE(IsBlue(frame)) << "frame " << i;
  }
  for (int i : {2, 3, 10, 20}) {
    ASSERT_TRUE(TestMedia::DecodeFrame(out, i, frame));
    EXPECT_FALSE(IsBlue(frame)) << "frame " << i;
  }
}

// The handler's time is the picture's time from the source's start (as a
// player shows it), whatever moved the time stamps on the way: a start
// position on the input (a trim) or on the output, "itsoffset", a container
// whose time line starts late, a video stream that starts after the sound,
// B-frames (in AVI, which keeps no presentation times, the first picture
// comes a frame late). Every picture carries its frame number, so each time
// is checked against the time the source gives that very picture.
TEST(ConvertHook, HandlerTimesAreOnTheSourcesTimeLine) {
  struct TCase {
    const char* Name;
    MediaSpec Spec;
    Options In, Out;
  };
  const MediaSpec plain = MediaSpec::Mp4().Size(160, 120).Seconds(2).NoAudio();
  MediaSpec bframes = plain;
  bframes.BFrames = 2;
  MediaSpec avi = MediaSpec::Avi().Size(160, 120).Seconds(2).NoAudio();
  avi.BFrames = 2;
  MediaSpec ts = MediaSpec::Ts().Size(160, 120).Seconds(2).NoAudio();
  ts.BFrames = 2;
  const MediaSpec late = MediaSpec::Mp4().Size(160, 120).Seconds(2).VideoLate(10);
  const std::vector<TCase> cases = {
      {"plain", plain, {}, {}},
      {"input start", plain, {{"ss", "0.5"}}, {}},
      {"output start", plain, {}, {{"ss", "0.5"}}},
      {"itsoffset", plain, {{"itsoffset", "2"}}, {}},
      {"B-frames", bframes, {{"ss", "0.3"}}, {}},
      {"AVI B-frames", avi, {{"ss", "0.3"}}, {}},
      {"MPEG-TS", ts, {}, {}},
      {"MPEG-TS start", ts, {{"ss", "0.6"}}, {}},
      {"late video", late, {}, {}},
      {"late video start", late, {{"ss", "1"}}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string in = TestMedia::Get(c.Spec);
    std::map<int, double> sourceTimes;  // frame number -> seconds
    ASSERT_TRUE(TestMedia::ForEachFrame(in, [&](const TBitmap& picture, double seconds) {
      sourceTimes[TestMedia::ReadFrameNumber(picture)] = seconds;
      return true;
    }));
    TCustomFFmpeg task;
    Options out = c.Out;
    out.push_back({"an", "1"});
    ASSERT_TRUE(OpenTask(task, in, c.In, OutPath("source_times.avi"), out));
    task.SetHookEnabled(true);
    int pictures = 0;
    task.OnCustomHook = [&](TCustomFFmpeg&, THookInfo& info) {
      info.Update = false;
      const int n = TestMedia::ReadFrameNumber(*info.Bitmap);
      ASSERT_EQ(sourceTimes.count(n), 1u) << n;
      EXPECT_NEAR(double(info.PTS), sourceTimes[n] * 1e6, 1000.0) << "frame " << n;
      ++pictures;
    };
    RunOk(task);
    EXPECT_GE(pictures, 20);
  }
}

// A handler that only looks at some pictures (or none) must not change what
// is encoded: no round trip through the bitmap for pictures it left alone.
TEST(ConvertHook, PicturesTheHandlerLeavesAloneAreEncodedAsDecoded) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120));
  auto convert = [&](const std::string& name, bool hook) {
    std::string out = OutPath(name);
    TCustomFFmpeg task;
    EXPECT_TRUE(OpenTask(task, in, {}, out, {{"an", "1"}, {"vcodec", "mpeg4"}}));
    task.SetHookEnabled(hook);
    task.OnCustomHook = [](TCustomFFmpeg&, THookInfo& info) {
      const TBitmap& seen = *info.Bitmap;  // reading is not drawing
      if (info.FrameNumber % 2) EXPECT_EQ(seen.Width(), 160);
      if (info.FrameNumber % 3 == 0) (void)seen.ScanLine(0)[0];
    };
    RunOk(task);
    return out;
  };
  const std::string plain = convert("untouched_plain.mp4", false);
  const std::string hooked = convert("untouched_hooked.mp4", true);
  TBitmap a, b;
  for (int i : {0, 2, 3, 7, 12}) {
    ASSERT_TRUE(TestMedia::DecodeFrame(plain, i, a));
    ASSERT_TRUE(TestMedia::DecodeFrame(hooked, i, b));
    ASSERT_EQ(a.ByteSize(), b.ByteSize());
    EXPECT_EQ(std::memcmp(a.Bits(), b.Bits(), a.ByteSize()), 0) << "frame " << i;
  }
}

// How much neighbouring rows differ in the lower half, where the square
// moves: large for a picture woven from two moments, small once deinterlaced.
double Combing(const TBitmap& bmp) {
  double sum = 0;
  int count = 0;
  for (int y = bmp.Height() / 2; y + 1 < bmp.Height(); y += 2) {
    const std::uint8_t* a = bmp.ScanLine(y);
    const std::uint8_t* b = bmp.ScanLine(y + 1);
    for (int x = 0; x < bmp.Width() * 3; ++x, ++count) sum += std::abs(int(a[x]) - int(b[x]));
  }
  return count ? sum / count : 0;
}

TEST(ConvertHook, DeinterlacingComesBeforeTheHandler) {
  MediaSpec spec = MediaSpec::Mkv().NoAudio().Size(160, 120).Seconds(1).Interlace();
  spec.VideoCodec = "ffv1";  // lossless: the combs arrive as drawn
  const std::string in = TestMedia::Get(spec);
  struct TSeen {
    std::vector<double> Combs;
    std::vector<std::int64_t> Times;
  };
  auto convert = [&](bool deinterlace, TSeen& seen) {
    std::string out = OutPath(deinterlace ? "deinterlaced.avi" : "woven.avi");
    TCustomFFmpeg task;
    Options options{{"vcodec", "mpeg4"}, {"qscale", "2"}};
    if (deinterlace) options.push_back({"deinterlace", "1"});
    EXPECT_TRUE(OpenTask(task, in, {}, out, options));
    task.SetHookEnabled(true);
    task.OnCustomHook = [&](TCustomFFmpeg&, THookInfo& info) {
      seen.Combs.push_back(Combing(*info.Bitmap));
      seen.Times.push_back(info.PTS);
      info.Update = false;
    };
    RunOk(task);
    return out;
  };
  TSeen woven, deinterlaced;
  convert(false, woven);
  const std::string out = convert(true, deinterlaced);

  // Every picture reaches the handler, the one held back for the last weave too,
  // with the time of the picture it came from.
  ASSERT_EQ(woven.Combs.size(), 25u);
  ASSERT_EQ(deinterlaced.Combs.size(), 25u);
  EXPECT_EQ(deinterlaced.Times, woven.Times);
  for (size_t i = 0; i < 25; ++i) {
    EXPECT_GT(woven.Combs[i], 2.0) << "frame " << i;
    EXPECT_LT(deinterlaced.Combs[i], woven.Combs[i] / 2) << "frame " << i;
  }
  TestMedia::VideoStats stats = TestMedia::ScanVideo(out);
  EXPECT_EQ(stats.Frames, 25);
}

TEST(ConvertHook, PreviewsComeAtMostEveryTenthOfASecond) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(3));
  {
    TCustomFFmpeg task;
    ASSERT_TRUE(
        OpenTask(task, in, {}, OutPath("preview.mp4"), {{"s", "96x72"}, {"an", "1"}, {"re", "1"}}));
    task.SetPreviewFlags(PreviewBitmapFlag);
    std::vector<std::int64_t> times;
    task.OnPreviewBitmap = [&](TCustomFFmpeg&, const TPreviewInfo& info) {
      ASSERT_NE(info.Bitmap, nullptr);
      EXPECT_EQ(info.Bitmap->Width(), 96);
      EXPECT_EQ(info.Bitmap->Height(), 72);
      times.push_back(info.PTS);
    };
    RunOk(task);
    // Real-time reading over 3 s: about one offer every 0.1 s.
    EXPECT_GE(times.size(), 15u);
    EXPECT_LE(times.size(), 31u);
  }
  {
    // The window was closed at the second offer: no more offers.
    TCustomFFmpeg task;
    ASSERT_TRUE(
        OpenTask(task, in, {}, OutPath("preview2.mp4"), {{"an", "1"}, {"re", "1"}, {"t", "1"}}));
    task.SetPreviewFlags(PreviewWindowFlag);
    int offers = 0;
    task.OnPreviewOffer = [&](TCustomFFmpeg&, const TPreviewInfo&) { return ++offers < 2; };
    RunOk(task);
    EXPECT_EQ(offers, 2);
    EXPECT_EQ(task.PreviewFlags(), 0);
  }
}

TEST(ConvertHook, FrameHookTextsSplitAndMissingModulesFail) {
  using V = std::vector<std::string>;
  EXPECT_EQ(TFrameHookModules::Split("/opt/my hooks/fx.so|arg one|  |x"),
            (V{"/opt/my hooks/fx.so", "arg one", "  ", "x"}));
  EXPECT_EQ(TFrameHookModules::Split("fx.so  a   b"), (V{"fx.so", "a", "b"}));
  std::string many = "m.so";
  for (int i = 0; i < 80; ++i) many += " a";
  EXPECT_EQ(TFrameHookModules::Split(many).size(), 63u);

  TCustomFFmpeg task;
  task.ResetTask();
  std::string missing = TestMedia::MissingFile() + ".so";
  try {
    task.ParseOption("vhook", missing + " x");
    FAIL() << "a missing module was accepted";
  } catch (const FFmpegException& e) {
    EXPECT_EQ(std::string(e.what()), "Failed to add video hook function: " + missing + " x");
  }
}

TEST(ConvertHook, FrameHookModulePaintsEveryPicture) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120));
  std::string out = OutPath("vhooked.mp4");
  TCustomFFmpeg task;
  ASSERT_TRUE(
      OpenTask(task, in, {}, out, {{"an", "1"}, {"vhook", std::string(QUOR_TEST_VHOOK) + " 255"}}));
  RunOk(task);
  TBitmap frame;
  ASSERT_TRUE(TestMedia::DecodeFrame(out, 20, frame));
  EXPECT_TRUE(TestMedia::ColourNear(TestMedia::PixelAt(frame, 4, 116, 2), {255, 255, 255}));
  EXPECT_TRUE(TestMedia::ColourNear(TestMedia::BandSample(frame, 0), TestMedia::BandColour(0)));

  TCustomFFmpeg copying;
  ASSERT_TRUE(OpenTask(copying, in, {}, OutPath("vhook_copy.mkv"),
                       {{"vhook", QUOR_TEST_VHOOK}, {"vcodec", "copy"}}));
  copying.RunConversion();
  EXPECT_EQ(copying.ErrorMessage(),
            "-vcodec copy and -vhook are incompatible (frames are not decoded)");
}

TEST(ConvertReport, ReportsWithoutVideoAndFinalStatistics) {
  std::string in = TestMedia::Get(MediaSpec::Mp4());
  std::string out = OutPath("sound.mp3");
  TCustomFFmpeg task;
  std::vector<TProgressInfo> reports;
  task.OnProgress = [&](TCustomFFmpeg&, const TProgressInfo& p) { reports.push_back(p); };
  ASSERT_TRUE(OpenTask(task, in, {}, out, {{"vn", "1"}}));
  TLogCapture log;
  RunOk(task);
  ASSERT_FALSE(reports.empty());
  const TProgressInfo& last = reports.back();
  EXPECT_EQ(last.FileIndex, -1);
  EXPECT_EQ(last.FrameNumber, -1);
  EXPECT_EQ(last.FPS, -1);
  EXPECT_EQ(last.Quality, -1.0f);
  EXPECT_EQ(last.CurrentSize, FileSize(out));
  EXPECT_NEAR(double(last.CurrentDuration) / 1e6, 2.0, 0.1);
  EXPECT_TRUE(log.Contains("video:0kB audio:"));
  EXPECT_GT(task.AudioBytes(), 0);
  EXPECT_EQ(task.VideoBytes(), 0);
}

TEST(ConvertSubtitles, TextCuesAreReencodedAndCopied) {
  std::string in = TestMedia::Get(MediaSpec::Mkv().Size(160, 120).Subtitles("subrip"));
  for (const char* codec : {"ass", "copy"}) {
    SCOPED_TRACE(codec);
    std::string out = OutPath(std::string("subs_") + codec + ".mkv");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out, {{"scodec", codec}}));
    RunOk(task);
    std::vector<TestMedia::SubtitleCue> cues = TestMedia::ScanSubtitles(out);
    ASSERT_GE(cues.size(), 2u);
    EXPECT_EQ(cues[1].Text, "Cue 1");
    EXPECT_NEAR(cues[1].Start, 1.0, 0.05);  // the whole file may move to start at 0
  }
}

TEST(ConvertFiles, TwoPassStatisticsAndMetadata) {
  std::string in = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Tag("artist", "Someone"));
  std::string prefix = ScratchDir() + "passlog";
  for (int pass = 1; pass <= 2; ++pass) {
    std::string out = OutPath("pass" + std::to_string(pass) + ".avi");
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, out,
                         {{"an", "1"},
                          {"vcodec", "mpeg4"},
                          {"b", "200k"},
                          {"pass", std::to_string(pass)},
                          {"passlogfile", prefix}}));
    RunOk(task);
    EXPECT_GT(FileSize(prefix + "-0.log"), 0);
    EXPECT_TRUE(TestMedia::ScanVideo(out).Ok);
  }
  {
    TCustomFFmpeg task;
    ASSERT_TRUE(OpenTask(task, in, {}, OutPath("pass_missing.avi"),
                         {{"an", "1"}, {"pass", "2"}, {"passlogfile", prefix + "-none"}}));
    task.RunConversion();
    EXPECT_EQ(task.ErrorMessage(), "Cannot read file: Error reading log file \"" + prefix +
                                       "-none-0.log\" for pass-2 encoding");
  }

  std::string stats = ScratchDir() + "vstats.txt";
  std::string out = OutPath("tagged.mkv");
  TCustomFFmpeg task;
  ASSERT_TRUE(
      OpenTask(task, in, {}, out,
               {{"metadata", "title=Hello"}, {"map_meta_data", "0:0"}, {"vstats_file", stats}}));
  RunOk(task);
  std::ifstream lines(stats);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    if (count++ == 0) {
      EXPECT_EQ(line.rfind("frame=     1 q=", 0), 0u) << line;
    }
  }
  EXPECT_NEAR(count, 50, 2);

  AVFormatContext* ctx = nullptr;
  ASSERT_GE(OpenInputWithName(&ctx, out, nullptr, nullptr), 0);
  EXPECT_EQ(MetadataValue(ctx->metadata, "title", ""), "Hello");
  EXPECT_EQ(MetadataValue(ctx->metadata, "artist", ""), "Someone");
  CloseInputWithName(&ctx);
}

namespace {

// The video of `in` remuxed into Matroska with two chapters, 0-1 s and 1-2 s.
std::string WithChapters(const std::string& in) {
  std::string out = OutPath("chapters_in.mkv");
  AVFormatContext* is = nullptr;
  if (OpenInputWithName(&is, in, nullptr, nullptr) < 0) return {};
  FF.avformat_find_stream_info(is, nullptr);
  AVFormatContext* os = nullptr;
  FF.avformat_alloc_output_context2(&os, nullptr, "matroska", out.c_str());
  int video = -1;
  for (unsigned i = 0; i < is->nb_streams && video < 0; ++i)
    if (is->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) video = int(i);
  AVStream* st = FF.avformat_new_stream(os, nullptr);
  FF.avcodec_parameters_copy(st->codecpar, is->streams[video]->codecpar);
  st->codecpar->codec_tag = 0;
  const char* titles[2] = {"One", "Two"};
  os->chapters = static_cast<AVChapter**>(FF.av_mallocz(2 * sizeof(AVChapter*)));
  for (int c = 0; c < 2; ++c) {
    auto* ch = static_cast<AVChapter*>(FF.av_mallocz(sizeof(AVChapter)));
    ch->id = c + 1;
    ch->time_base = AVRational{1, 1000};
    ch->start = 1000 * c;
    ch->end = 1000 * (c + 1);
    FF.av_dict_set(&ch->metadata, "title", titles[c], 0);
    os->chapters[os->nb_chapters++] = ch;
  }
  bool ok = FF.avio_open(&os->pb, out.c_str(), AVIO_FLAG_WRITE) >= 0 &&
            FF.avformat_write_header(os, nullptr) >= 0;
  AVPacket* pkt = FF.av_packet_alloc();
  while (ok && FF.av_read_frame(is, pkt) >= 0) {
    if (pkt->stream_index == video) {
      FF.av_packet_rescale_ts(pkt, is->streams[video]->time_base, st->time_base);
      pkt->stream_index = 0;
      FF.av_interleaved_write_frame(os, pkt);
    }
    FF.av_packet_unref(pkt);
  }
  if (ok) FF.av_write_trailer(os);
  FF.av_packet_free(&pkt);
  FF.avio_closep(&os->pb);
  FF.avformat_free_context(os);
  CloseInputWithName(&is);
  return ok ? out : std::string();
}

}  // namespace

// Chapters move with the start time and are cut at the recording time.
TEST(ConvertFiles, ChaptersFollowStartAndLength) {
  std::string in = WithChapters(TestMedia::Get(MediaSpec::VideoOnly().Size(160, 120)));
  ASSERT_FALSE(in.empty());
  std::string out = OutPath("chapters_out.mkv");
  TCustomFFmpeg task;
  ASSERT_TRUE(OpenTask(task, in, {}, out, {{"ss", "0.5"}, {"t", "0.8"}}));
  RunOk(task);
  AVFormatContext* ctx = nullptr;
  ASSERT_GE(OpenInputWithName(&ctx, out, nullptr, nullptr), 0);
  ASSERT_EQ(ctx->nb_chapters, 2u);
  auto ms = [](const AVChapter* c, std::int64_t t) {
    return FF.av_rescale_q(t, c->time_base, AVRational{1, 1000});
  };
  EXPECT_EQ(ms(ctx->chapters[0], ctx->chapters[0]->start), 0);
  EXPECT_EQ(ms(ctx->chapters[0], ctx->chapters[0]->end), 500);
  EXPECT_EQ(ms(ctx->chapters[1], ctx->chapters[1]->start), 500);
  EXPECT_EQ(ms(ctx->chapters[1], ctx->chapters[1]->end), 800);
  EXPECT_EQ(MetadataValue(ctx->chapters[1]->metadata, "title", ""), "Two");
  CloseInputWithName(&ctx);
}
