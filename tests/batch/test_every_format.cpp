// Every output format as players meet it: one clip converted by
// quor-convert's catalogue mode (the path of the window's Start) into each
// format with its factory choices, then opened twice, by the project's probe
// and by mediainfo, a reader that shares no code with the engine. Both must
// agree on container, codecs, the four-character code players look for, the
// index at the front of MP4 files and the duration; every output passes the
// output check and a truncated copy of it fails.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "app/GlobalUnit.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/probe/AVProbe.h"
#include "engine/probe/OutputCheck.h"
#include "platform/IniFile.h"
#include "support/BatchTestSupport.h"
#include "support/ChildProcess.h"
#include "support/MediaFactory.h"

namespace fs = std::filesystem;

namespace {

constexpr double kClipSeconds = 2.0;
constexpr double kDurationTolerance = 0.15;

MediaSpec Clip() { return MediaSpec::Mp4().Size(176, 144).Seconds(kClipSeconds); }

// A program found on the search path; "" when there is none.
std::string OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const fs::path candidate = fs::path(dirs.substr(start, end - start)) / name;
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate.string();
    start = end + 1;
  }
  return {};
}

// ---- the two readers ----

// One kind of stream as a reader sees it.
struct TStreamFacts {
  std::string Format;   // mediainfo's format name, or the engine's codec name
  std::string CodecId;  // four-character code or the container's codec id
  std::string Profile;  // mediainfo only: "Simple@4a", "Baseline@3"
};

struct TReading {
  bool Opened = false;
  std::string Container;
  double Duration = -1;  // seconds
  bool FrontIndex = false;
  std::string Date;  // mediainfo only: the recording or encoding date the header carries
  TStreamFacts Video, Audio;
  int Width = 0, Height = 0;  // the probe's
};

std::string Text(const QJsonObject& track, const char* key) {
  return track.value(key).toString().toStdString();
}

TReading ReadWithMediaInfo(const std::string& file) {
  TReading r;
  static const std::string program = OnPath("mediainfo");
  if (program.empty()) return r;
  // A full parse: the tiny files cost nothing, and an ADTS stream has no
  // duration otherwise.
  const TChildResult run = TChildProcess::Run(program, {"--Output=JSON", "--ParseSpeed=1", file});
  if (run.Status != 0) return r;
  const QJsonObject media = QJsonDocument::fromJson(QByteArray::fromStdString(run.Out))
                                .object()
                                .value("media")
                                .toObject();
  for (const QJsonValue& value : media.value("track").toArray()) {
    const QJsonObject track = value.toObject();
    const std::string type = Text(track, "@type");
    if (type == "General") {
      r.Opened = true;
      r.Container = Text(track, "Format");
      r.Duration = track.value("Duration").toString().toDouble();
      r.FrontIndex = Text(track, "IsStreamable") == "Yes";
      r.Date = Text(track, "Recorded_Date") + Text(track, "Encoded_Date");
      continue;
    }
    TStreamFacts* facts = type == "Video" ? &r.Video : type == "Audio" ? &r.Audio : nullptr;
    if (!facts || !facts->Format.empty()) continue;
    facts->Format = Text(track, "Format");
    facts->CodecId = Text(track, "CodecID");
    facts->Profile = Text(track, "Format_Profile");
    if (!Text(track, "Format_Level").empty()) facts->Profile += "@" + Text(track, "Format_Level");
  }
  return r;
}

std::string FourCC(std::uint32_t tag) {
  std::string text;
  for (int i = 0; i < 4 && tag; ++i, tag >>= 8) text += char(tag & 0xff);
  return text;
}

// True when the file's top-level boxes hold the index ("moov") before the
// media data ("mdat"), read from the bytes themselves.
bool IndexBeforeData(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::uint64_t at = 0;
  for (int box = 0; box < 64 && in; ++box) {
    unsigned char head[16];
    if (!in.read(reinterpret_cast<char*>(head), 8)) return false;
    std::uint64_t size =
        (std::uint64_t(head[0]) << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
    const std::string type(reinterpret_cast<char*>(head + 4), 4);
    if (type == "moov") return true;
    if (type == "mdat") return false;
    if (size == 1) {
      if (!in.read(reinterpret_cast<char*>(head + 8), 8)) return false;
      size = 0;
      for (int i = 8; i < 16; ++i) size = (size << 8) | head[i];
    }
    if (size < 8) return false;
    at += size;
    in.seekg(std::streamoff(at));
  }
  return false;
}

TReading ReadWithProbe(const std::string& file) {
  TReading r;
  TAVProbe probe;
  if (!probe.Open(file)) return r;
  r.Opened = true;
  const AVFormatContext* ctx = probe.FormatContext();
  r.Container = ctx->iformat->name;
  TFileStreamInfo info;
  if (probe.FileStreamInfo(info) && info.Duration > 0) r.Duration = double(info.Duration) / 1e6;
  r.FrontIndex = IndexBeforeData(file);
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    const AVCodecParameters* par = ctx->streams[i]->codecpar;
    TStreamFacts* facts = par->codec_type == AVMEDIA_TYPE_VIDEO   ? &r.Video
                          : par->codec_type == AVMEDIA_TYPE_AUDIO ? &r.Audio
                                                                  : nullptr;
    if (!facts || !facts->Format.empty()) continue;
    facts->Format = FF.avcodec_get_name(par->codec_id);
    facts->CodecId = FourCC(par->codec_tag);
    if (facts == &r.Video) {
      r.Width = par->width;
      r.Height = par->height;
    }
  }
  return r;
}

// ---- the formats ----

// What the two readers must report for one format's factory output.
struct TFormatCase {
  int Code;
  const char* Ext;
  bool MovFamily;  // MP4/M4A: the index must come first
  // mediainfo's names
  const char* Container;
  const char* Video;  // nullptr: audio only
  const char* VideoId;
  const char* VideoProfile;
  const char* Audio;
  // the engine's names
  const char* Demuxer;
  const char* VideoCodec;
  const char* FourCC;  // the video tag the container stores ("" for none)
  int Width, Height;
  const char* AudioCodec;
};

void PrintTo(const TFormatCase& c, std::ostream* os) { *os << "format " << c.Code; }

class EveryFormat : public ::testing::TestWithParam<TFormatCase> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.Path().empty());
    appData_ = scratch_.Sub("appdata");
    out_ = scratch_.Sub("out");
  }

  // The factory output of the case's format; "" when the conversion failed.
  std::string Convert() {
    const TFormatCase& c = GetParam();
    const std::string clip = TestMedia::Get(Clip());
    const TChildResult run = TChildProcess::Run(
        QUOR_CONVERT, {"--quiet", "--format", std::to_string(c.Code), "--output-dir", out_, clip},
        {{"QUOR_APPDATA", appData_}});
    const std::string output = out_ + fs::path(clip).stem().string() + "_(new)." + c.Ext;
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("done: " + output), std::string::npos) << run.Out;
    return run.Status == 0 ? output : std::string();
  }

  TOutputExpectation Expectation() const {
    TOutputExpectation expected;
    expected.DurationUs = std::int64_t(kClipSeconds * 1e6);
    expected.VideoRequired = GetParam().Video != nullptr;
    return expected;
  }

  // A copy of the output cut after `keep` of its bytes.
  std::string TruncatedCopy(const std::string& output, double keep) const {
    const std::string copy = scratch_.Path() + "cut_" + fs::path(output).filename().string();
    fs::copy_file(output, copy, fs::copy_options::overwrite_existing);
    fs::resize_file(copy, std::uintmax_t(double(fs::file_size(copy)) * keep));
    return copy;
  }

  TTestFolder scratch_;
  std::string appData_, out_;
};

TEST_P(EveryFormat, PlayersReadWhatTheFormatPromises) {
  const TFormatCase& c = GetParam();
  const std::string output = Convert();
  ASSERT_FALSE(output.empty());

  const TReading mi = ReadWithMediaInfo(output);
  ASSERT_TRUE(mi.Opened) << "mediainfo cannot read " << output;
  EXPECT_EQ(mi.Container, c.Container);
  EXPECT_NEAR(mi.Duration, kClipSeconds, kDurationTolerance);
  EXPECT_EQ(mi.FrontIndex, c.MovFamily);
  // A header that carries a date carries the conversion's, not the epoch.
  EXPECT_EQ(mi.Date.find("1970-01-01"), std::string::npos) << mi.Date;
  EXPECT_EQ(mi.Audio.Format, c.Audio);
  EXPECT_EQ(mi.Video.Format, c.Video ? c.Video : "");
  if (c.Video) {
    EXPECT_EQ(mi.Video.CodecId, c.VideoId);
    EXPECT_EQ(mi.Video.Profile, c.VideoProfile);
  }

  const TReading probe = ReadWithProbe(output);
  ASSERT_TRUE(probe.Opened) << output;
  EXPECT_NE(probe.Container.find(c.Demuxer), std::string::npos) << probe.Container;
  EXPECT_NEAR(probe.Duration, kClipSeconds, kDurationTolerance);
  EXPECT_EQ(probe.FrontIndex, c.MovFamily);
  EXPECT_EQ(probe.Audio.Format, c.AudioCodec);
  EXPECT_EQ(probe.Video.Format, c.VideoCodec ? c.VideoCodec : "");
  if (c.Video) {
    EXPECT_EQ(probe.Video.CodecId, c.FourCC);
    EXPECT_EQ(probe.Width, c.Width);
    EXPECT_EQ(probe.Height, c.Height);
    const TestMedia::VideoStats v = TestMedia::ScanVideo(output);
    ASSERT_TRUE(v.Ok);
    // Counted in frames: some muxers leave the last picture without a time stamp.
    ASSERT_GT(v.FrameRate, 0);
    EXPECT_NEAR(v.Frames / v.FrameRate, kClipSeconds, kDurationTolerance)
        << v.Frames << " frames at " << v.FrameRate;
  }
  const TestMedia::AudioStats a = TestMedia::ScanAudio(output);
  ASSERT_TRUE(a.Ok);
  EXPECT_NEAR(a.Duration, kClipSeconds, kDurationTolerance);
  EXPECT_GT(a.Peak, 0.1);
}

TEST_P(EveryFormat, TheOutputCheckPassesItAndFailsItsTruncatedCopy) {
  const std::string output = Convert();
  ASSERT_FALSE(output.empty());
  const TOutputCheck good = CheckOutput(output, Expectation());
  EXPECT_TRUE(good.Passed) << good.Reason;
  // Half the file: a loss well beyond the check's tolerance, whether the
  // container's header or index still promises the whole length or not.
  const TOutputCheck cut = CheckOutput(TruncatedCopy(output, 0.5), Expectation());
  EXPECT_FALSE(cut.Passed) << "the first half lasts " << cut.DurationSeconds << " s";
}

// The iPod format's H.264 choice: the Baseline profile the device plays, at
// level 3 (up to 640x480), with the index at the front.
TEST(IpodFormat, H264IsConstrainedBaselineAtLevel3) {
  TTestFolder scratch;
  const std::string appData = scratch.Sub("appdata"), out = scratch.Sub("out");
  const TChildProcess::TEnv env = {{"QUOR_APPDATA", appData}};
  ASSERT_EQ(TChildProcess::Run(QUOR_CONVERT, {"--list-formats"}, env).Status, 0);
  ASSERT_TRUE(platform::WriteIniStrings(appData + kSettingsFileName, "formatInfo1",
                                        {{"paraVideoEncoder", "libx264"}}));
  const std::string clip = TestMedia::Get(Clip());
  const TChildResult run = TChildProcess::Run(
      QUOR_CONVERT, {"--quiet", "--format", "1", "--output-dir", out, clip}, env);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string output = out + fs::path(clip).stem().string() + "_(new).mp4";
  const TReading mi = ReadWithMediaInfo(output);
  EXPECT_EQ(mi.Video.Format, "AVC");
  EXPECT_EQ(mi.Video.Profile, "Constrained Baseline@3");
  EXPECT_TRUE(mi.FrontIndex);
  EXPECT_NEAR(mi.Duration, kClipSeconds, kDurationTolerance);
  TOutputExpectation expected;
  expected.DurationUs = std::int64_t(kClipSeconds * 1e6);
  const TOutputCheck check = CheckOutput(output, expected);
  EXPECT_TRUE(check.Passed) << check.Reason;
}

// The MPEG-4 level is the lowest of the Simple profile whose limits hold the
// frame size, the rate of macroblocks and the bit rate: the factory choices
// (320x240 at 768 kbit/s, 640x480 at 1000 or 1200 kbit/s, 25 frames per
// second) all need level 4a, the first above 384 kbit/s.
INSTANTIATE_TEST_SUITE_P(
    Catalogue, EveryFormat,
    ::testing::Values(TFormatCase{1, "mp4", true, "MPEG-4", "MPEG-4 Visual", "mp4v-20", "Simple@4a",
                                  "AAC", "mp4", "mpeg4", "mp4v", 320, 240, "aac"},
                      TFormatCase{0, "avi", false, "AVI", "MPEG-4 Visual", "XVID", "Simple@4a",
                                  "MPEG Audio", "avi", "mpeg4", "XVID", 640, 480, "mp3"},
                      TFormatCase{100, "mpg", false, "MPEG-PS", "MPEG Video", "", "", "MPEG Audio",
                                  "mpeg", "mpeg1video", "", 352, 288, "mp2"},
                      TFormatCase{101, "mpg", false, "MPEG-PS", "MPEG Video", "", "Main@Main",
                                  "AC-3", "mpeg", "mpeg2video", "", 720, 576, "ac3"},
                      TFormatCase{102, "mp4", true, "MPEG-4", "MPEG-4 Visual", "mp4v-20",
                                  "Simple@4a", "AAC", "mp4", "mpeg4", "mp4v", 640, 480, "aac"},
                      TFormatCase{103, "mp4", true, "MPEG-4", "AVC", "avc1", "High@3", "AAC", "mp4",
                                  "h264", "avc1", 640, 480, "aac"},
                      TFormatCase{104, "avi", false, "AVI", "MPEG-4 Visual", "XVID", "Simple@4a",
                                  "MPEG Audio", "avi", "mpeg4", "XVID", 320, 240, "mp3"},
                      TFormatCase{105, "wmv", false, "Windows Media", "WMV2", "WMV2", "", "WMA",
                                  "asf", "wmv2", "WMV2", 320, 240, "wmav2"},
                      TFormatCase{106, "avi", false, "AVI", "MPEG-4 Visual", "DX50", "Simple@4a",
                                  "MPEG Audio", "avi", "mpeg4", "DX50", 640, 480, "mp3"},
                      TFormatCase{107, "avi", false, "AVI", "MPEG-4 Visual", "XVID", "Simple@4a",
                                  "MPEG Audio", "avi", "mpeg4", "XVID", 640, 480, "mp3"},
                      TFormatCase{108, "dv", false, "DV", "DV", "", "", "PCM", "dv", "dvvideo", "",
                                  720, 480, "pcm_s16le"},
                      TFormatCase{109, "dv", false, "DV", "DV", "", "", "PCM", "dv", "dvvideo", "",
                                  720, 576, "pcm_s16le"},
                      TFormatCase{200, "mp3", false, "MPEG Audio", nullptr, "", "", "MPEG Audio",
                                  "mp3", nullptr, "", 0, 0, "mp3"},
                      TFormatCase{201, "aac", false, "ADTS", nullptr, "", "", "AAC", "aac", nullptr,
                                  "", 0, 0, "aac"},
                      TFormatCase{202, "m4a", true, "MPEG-4", nullptr, "", "", "AAC", "mp4",
                                  nullptr, "", 0, 0, "aac"},
                      TFormatCase{203, "wma", false, "Windows Media", nullptr, "", "", "WMA", "asf",
                                  nullptr, "", 0, 0, "wmav2"},
                      TFormatCase{204, "wav", false, "Wave", nullptr, "", "", "PCM", "wav", nullptr,
                                  "", 0, 0, "pcm_s16le"},
                      TFormatCase{205, "ogg", false, "Ogg", nullptr, "", "", "Vorbis", "ogg",
                                  nullptr, "", 0, 0, "vorbis"},
                      TFormatCase{206, "ac3", false, "AC-3", nullptr, "", "", "AC-3", "ac3",
                                  nullptr, "", 0, 0, "ac3"}));

}  // namespace
