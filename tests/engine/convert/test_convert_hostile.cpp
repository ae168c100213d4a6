// Options and sound that used to bring the process down or fail for a
// reason the user could not see: more channels than a frame has data
// pointers, float samples far outside -1..1, a container whose default codec
// has no encoder here, and where the statistics file goes.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>

#include "engine/common/FFmpegException.h"
#include "engine/convert/AudioOutput.h"
#include "engine/convert/ConvertTestUtil.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/probe/AVProbe.h"

using namespace convtest;

namespace {

std::string ShortClip() { return TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(1)); }

// Converts `in` to `out` with `options`; the task's error message, "" when
// it completed.
std::string Convert(const std::string& in, const std::string& out, const Options& options) {
  TCustomFFmpeg task;
  std::string why;
  try {
    if (!OpenTask(task, in, {}, out, options, &why)) return why;
  } catch (const FFmpegException& e) {
    return e.what();
  }
  task.RunConversion();
  if (task.Failed()) return task.ErrorMessage();
  return task.Completed() ? "" : "not completed";
}

}  // namespace

// Planar encoders with more channels than AV_NUM_DATA_POINTERS (8): the
// sample queue used to read past the frame's pointer array.
TEST(ConvertHostile, ManyChannelsReachPlanarEncoders) {
  const std::string in = ShortClip();
  for (const char* name : {"many.ogg", "many.mkv"}) {
    SCOPED_TRACE(name);
    const std::string out = OutPath(name);
    Options options = {{"ac", "16"}};
    if (std::string(name) == "many.mkv") options.push_back({"acodec", "aac"});
    ASSERT_EQ(Convert(in, out, options), "");
    const TestMedia::AudioStats audio = TestMedia::ScanAudio(out);
    ASSERT_TRUE(audio.Ok);
    EXPECT_EQ(audio.Channels, 16);
    EXPECT_NEAR(audio.Duration, 1.0, 0.1);
  }
  // Every bit of the layout mask set: a count no layout names.
  EXPECT_EQ(Convert(in, OutPath("mask.ogg"), {{"channel_layout", "4294967295"}}), "");
}

// The library refuses such a count without saying why; the engine names the
// encoder and what it takes.
TEST(ConvertHostile, ChannelCountTheEncoderCannotTakeIsRefused) {
  EXPECT_EQ(Convert(ShortClip(), OutPath("sixteen.mp3"), {{"ac", "16"}}),
            "The audio encoder 'libmp3lame' cannot take 16 channels; it takes 1 or 2");
}

// A 5.1 source into an encoder of at most two channels is mixed down when
// nobody asked for six; asked for, six are refused as above.
TEST(ConvertHostile, SurroundIntoAStereoEncoderIsMixedDownUnlessAsked) {
  MediaSpec spec = MediaSpec::Mp4().Size(160, 120).Seconds(1);
  spec.Channels = 6;
  const std::string surround = TestMedia::Get(spec);
  const std::string out = OutPath("downmix.mp3");
  ASSERT_EQ(Convert(surround, out, {{"acodec", "libmp3lame"}}), "");
  const TestMedia::AudioStats audio = TestMedia::ScanAudio(out);
  ASSERT_TRUE(audio.Ok);
  EXPECT_EQ(audio.Channels, 2);
  EXPECT_NEAR(audio.Duration, 1.0, 0.1);
  EXPECT_GT(audio.Rms, 0.1);  // the tone of every channel comes through
  EXPECT_NEAR(audio.PitchHz, 440, 20);
  EXPECT_EQ(Convert(surround, OutPath("six.mp3"), {{"acodec", "libmp3lame"}, {"ac", "6"}}),
            "The audio encoder 'libmp3lame' cannot take 6 channels; it takes 1 or 2");
}

// DV frames carry their sound beside a picture; the library refused a sound-only
// file blaming "incorrect codec parameters".
TEST(ConvertHostile, SoundAloneIntoDvIsRefusedForWhatItIs) {
  const std::string sound = TestMedia::Get(MediaSpec::Wav().Seconds(1));
  EXPECT_NE(Convert(sound, OutPath("sound.dv"), {}).find("this format needs a video stream"),
            std::string::npos);
}

// A huge gain made float samples that abort the MP3 encoder; what reaches an
// encoder is finite and within full scale.
TEST(ConvertHostile, HugeVolumeStaysWithinFullScale) {
  const std::string out = OutPath("loud.mp3");
  ASSERT_EQ(Convert(ShortClip(), out, {{"vol", "2147483647"}}), "");
  const TestMedia::AudioStats audio = TestMedia::ScanAudio(out);
  ASSERT_TRUE(audio.Ok);
  // A full-scale square wave, give or take what the lossy coding rounds off.
  EXPECT_GT(audio.Rms, 0.7);
  EXPECT_LT(audio.Rms, 1.3);
}

TEST(ConvertHostile, ClampFloatSamplesMakesEverySampleFiniteAndInRange) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float given[] = {nan, inf, -inf, 3.0f, -2.0f, 0.5f, -1.0f};
  const float wanted[] = {0.0f, 1.0f, -1.0f, 1.0f, -1.0f, 0.5f, -1.0f};
  const int n = int(std::size(given));
  for (AVSampleFormat fmt :
       {AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_DBLP, AV_SAMPLE_FMT_S16}) {
    SCOPED_TRACE(FF.av_get_sample_fmt_name(fmt));
    AVFrame* frame = FF.av_frame_alloc();
    frame->format = fmt;
    frame->nb_samples = n;
    FF.av_channel_layout_default(&frame->ch_layout, 10);  // more planes than data pointers
    ASSERT_GE(FF.av_frame_get_buffer(frame, 0), 0);
    const bool planar = FF.av_sample_fmt_is_planar(fmt);
    const bool isDouble = FF.av_get_packed_sample_fmt(fmt) == AV_SAMPLE_FMT_DBL;
    const int planes = planar ? 10 : 1;
    const int perPlane = planar ? n : n * 10;
    auto at = [&](int p, int i) -> double {
      return isDouble ? reinterpret_cast<double*>(frame->extended_data[p])[i]
                      : reinterpret_cast<float*>(frame->extended_data[p])[i];
    };
    auto set = [&](int p, int i, double v) {
      if (isDouble)
        reinterpret_cast<double*>(frame->extended_data[p])[i] = v;
      else
        reinterpret_cast<float*>(frame->extended_data[p])[i] = float(v);
    };
    if (fmt == AV_SAMPLE_FMT_S16) {
      auto* s = reinterpret_cast<std::int16_t*>(frame->extended_data[0]);
      for (int i = 0; i < perPlane; ++i) s[i] = std::int16_t(i * 1000 - 32000);
      ClampFloatSamples(frame);
      for (int i = 0; i < perPlane; ++i) EXPECT_EQ(s[i], std::int16_t(i * 1000 - 32000));
    } else {
      for (int p = 0; p < planes; ++p)
        for (int i = 0; i < perPlane; ++i) set(p, i, given[i % n]);
      ClampFloatSamples(frame);
      for (int p = 0; p < planes; ++p)
        for (int i = 0; i < perPlane; ++i)
          ASSERT_EQ(at(p, i), wanted[i % n]) << "plane " << p << " sample " << i;
    }
    FF.av_frame_free(&frame);
  }
}

// "-bufsize 1e9" fits the option but its three quarters overflowed an int.
TEST(ConvertHostile, LargeBufferSizeConverts) {
  EXPECT_EQ(Convert(ShortClip(), OutPath("bufsize.mpg"),
                    {{"an", ""},
                     {"vcodec", "mpeg2video"},
                     {"bufsize", "1e9"},
                     {"maxrate", "2000000"},
                     {"b", "1000000"}}),
            "");
}

// A start before the beginning used to write seconds of a repeated picture.
TEST(ConvertHostile, NegativeOutputStartIsRefused) {
  EXPECT_EQ(Convert(ShortClip(), OutPath("early.avi"), {{"ss", "-100"}}),
            "ss must not be negative");
}

// 3GP's default audio codec (AMR-NB) has no encoder in this build: AAC
// stands in, and the log says so.
TEST(ConvertHostile, ContainerDefaultWithoutEncoderFallsBackToAac) {
  const std::string in = TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(1));
  const std::string out = OutPath("phone.3gp");
  TLogCapture log;
  ASSERT_EQ(Convert(in, out, {}), "");
  EXPECT_TRUE(log.Contains(
      "The 3gp format's default audio codec amr_nb has no encoder here; using aac instead"));
  const StreamInfo info = Probe(out);
  EXPECT_EQ(info.Audio, AV_CODEC_ID_AAC);
  EXPECT_EQ(info.Video, AV_CODEC_ID_H263);
}

// "-vstats" writes where the user runs the program, as any relative name.
TEST(ConvertHostile, VideoStatisticsGoToTheCurrentFolder) {
  const std::string folder = ScratchDir() + "vstats-here";
  ASSERT_EQ(::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str()), 0);
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(folder.c_str()), 0);
  const std::string result = Convert(ShortClip(), OutPath("stats.avi"), {{"vstats", ""}});
  const int listed = ::system(("ls '" + folder + "' | grep -q '^vstats_[0-9]*\\.log$'").c_str());
  ASSERT_EQ(::chdir(previous), 0);
  EXPECT_EQ(result, "");
  EXPECT_EQ(listed, 0);
}

// A write that fails for want of space says so; the library's own text
// names neither the disk nor the file.
TEST(ConvertHostile, FullDiskIsSaidInSoManyWords) {
  // A device that answers every write with "no space left" (as /dev/full).
  const std::string full = ScratchDir() + "full-device";
  ::unlink(full.c_str());
  if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
    GTEST_SKIP() << "cannot make a device node here";
  const std::string result = Convert(ShortClip(), full, {{"f", "avi"}});
  ::unlink(full.c_str());
  EXPECT_EQ(result, "The disk is full: cannot write " + full);
}

// A damaged MP3 decodes to samples far outside full scale (or NaN), which
// made the MP3 encoder abort the process: each conversion now ends on its own.
TEST(ConvertHostile, DamagedMp3IntoMp3EndsWithoutTakingTheProcessDown) {
  for (unsigned variant = 1; variant <= 6; ++variant) {
    SCOPED_TRACE(variant);
    const std::string damaged = TestMedia::Corrupted(MediaSpec::Mp3().Seconds(2), variant);
    const std::string result = Convert(damaged, OutPath("damaged.mp3"), {});
    if (!result.empty()) {
      EXPECT_EQ(result.find("Nothing was converted"), std::string::npos) << result;
    }
  }
}

// Whatever front end names the output: one that leads to the input through a
// link would have the input overwritten (or replaced) by its own conversion.
TEST(ConvertHostile, AnOutputThatIsTheInputThroughALinkIsRefused) {
  const std::string input = ScratchDir() + "source.mp4";
  std::filesystem::copy_file(ShortClip(), input, std::filesystem::copy_options::overwrite_existing);
  const std::string link = OutPath("source-link.mp4");
  ASSERT_EQ(::symlink(input.c_str(), link.c_str()), 0);
  EXPECT_NE(Convert(input, link, {}).find("is the input file"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  TestMedia::VideoStats v = TestMedia::ScanVideo(input);
  EXPECT_TRUE(v.Ok);
  EXPECT_EQ(v.Frames, 25);
}

// A named pipe nobody writes to kept every opener waiting for ever; a device
// never ends. Only files are opened, by the converter and the probe alike.
TEST(ConvertHostile, WhatIsNotAFileIsRefusedAtOnce) {
  const std::string fifo = OutPath("no-writer.mp4");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  for (const auto& [name, reason] :
       {std::pair<std::string, std::string>{fifo, "named pipe"}, {"/dev/zero", "device"}}) {
    TCustomFFmpeg task;
    task.ResetTask();
    EXPECT_FALSE(task.OpenInputFile(name));
    EXPECT_NE(task.LastError().find(reason), std::string::npos) << task.LastError();
    TAVProbe probe;
    EXPECT_FALSE(probe.Open(name));
    EXPECT_NE(probe.LastErrMsg().find(reason), std::string::npos) << probe.LastErrMsg();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ::unlink(fifo.c_str());
}

// Opening ends at the time limit (a file on a share that stopped answering)
// and at a stop request, each said as such.
TEST(ConvertHostile, OpeningEndsAtItsTimeLimitAndAtAStop) {
  TCustomFFmpeg task;
  task.ResetTask();
  task.SetOpenTimeLimit(1);
  EXPECT_FALSE(task.OpenInputFile(ShortClip()));
  EXPECT_NE(task.LastError().find("did not open within 1 seconds"), std::string::npos)
      << task.LastError();

  task.ResetTask();
  task.SetOpenTimeLimit(TReadInterrupt::DefaultOpenLimitUs);
  task.RequestStop();
  EXPECT_FALSE(task.OpenInputFile(ShortClip()));
  EXPECT_NE(task.LastError().find("reading was stopped"), std::string::npos) << task.LastError();

  task.ResetTask();
  EXPECT_TRUE(task.OpenInputFile(ShortClip())) << task.LastError();
}
