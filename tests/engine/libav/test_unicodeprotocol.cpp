#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/MediaUtils.h"
#include "engine/libav/UnicodeProtocol.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 8000;
constexpr int kPackets = 8;
constexpr int kSamplesPerPacket = 1000;

class UnicodeFiles : public ::testing::Test {
 protected:
  // Writes one second of 16-bit mono PCM as WAV through OpenOutputIO. The
  // muxer seeks back at the end to fill in the sizes.
  void WriteWav(const std::string& name) {
    AVFormatContext* oc = nullptr;
    ASSERT_GE(FF.avformat_alloc_output_context2(&oc, nullptr, "wav", nullptr), 0);
    AVStream* st = FF.avformat_new_stream(oc, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    st->codecpar->sample_rate = kRate;
    st->codecpar->ch_layout = AVChannelLayout AV_CHANNEL_LAYOUT_MONO;
    st->codecpar->format = AV_SAMPLE_FMT_S16;
    st->codecpar->bits_per_coded_sample = 16;
    st->codecpar->block_align = 2;
    st->time_base = AVRational{1, kRate};
    ASSERT_EQ(OpenOutputIO(&oc->pb, name, AVIO_FLAG_WRITE), 0);
    ASSERT_GE(FF.avformat_write_header(oc, nullptr), 0);
    AVPacket* pkt = FF.av_packet_alloc();
    for (int i = 0; i < kPackets; ++i) {
      ASSERT_EQ(FF.av_new_packet(pkt, kSamplesPerPacket * 2), 0);
      for (int k = 0; k < pkt->size; ++k) pkt->data[k] = uint8_t(i * 31 + k);
      pkt->pts = pkt->dts = int64_t(i) * kSamplesPerPacket;
      pkt->duration = kSamplesPerPacket;
      ASSERT_GE(FF.av_interleaved_write_frame(oc, pkt), 0);
    }
    FF.av_packet_free(&pkt);
    ASSERT_GE(FF.av_write_trailer(oc), 0);
    EXPECT_EQ(CloseOutputIO(&oc->pb), 0);
    EXPECT_EQ(oc->pb, nullptr);
    FF.avformat_free_context(oc);
  }

  // Opens through OpenInputWithName and checks what the demuxer sees.
  void ExpectReadable(const std::string& name, bool throughOwnIO) {
    AVFormatContext* ic = nullptr;
    ASSERT_EQ(OpenInputWithName(&ic, name, nullptr, nullptr), 0) << name;
    EXPECT_EQ(IsUnicodeIO(ic->pb), throughOwnIO);
    ASSERT_GE(FF.avformat_find_stream_info(ic, nullptr), 0);
    ASSERT_EQ(ic->nb_streams, 1u);
    EXPECT_EQ(ic->streams[0]->codecpar->codec_id, AV_CODEC_ID_PCM_S16LE);
    EXPECT_EQ(ic->streams[0]->codecpar->sample_rate, kRate);
    EXPECT_EQ(FF.avio_size(ic->pb), FileSize(DisplayName(NameForLibrary(name))));
    AVPacket* pkt = FF.av_packet_alloc();
    int64_t bytes = 0;
    while (FF.av_read_frame(ic, pkt) >= 0) {
      bytes += pkt->size;
      FF.av_packet_unref(pkt);
    }
    FF.av_packet_free(&pkt);
    EXPECT_EQ(bytes, int64_t(kPackets) * kSamplesPerPacket * 2);
    CloseInputWithName(&ic);
    EXPECT_EQ(ic, nullptr);
  }

  TTestFolder folder_{"quor-uni"};
  const std::string dir_ = folder_.Path();
};

}  // namespace

TEST(UnicodeNames, WhichNamesNeedTheProtocol) {
  EXPECT_FALSE(NameNeedsProtocol("/home/u/clip.mp4"));
  EXPECT_FALSE(NameNeedsProtocol("/home/u/Grüße 日本 🎬.mp4"));
  EXPECT_EQ(NameForLibrary("/home/u/Grüße.mp4"), "/home/u/Grüße.mp4");

  const std::string latin1 =
      "/home/u/Gr\xfc\xdf"
      "e.mp4";  // not UTF-8
  EXPECT_TRUE(NameNeedsProtocol(latin1));
  EXPECT_EQ(NameForLibrary(latin1), "unicode:utf8:" + latin1);
  EXPECT_EQ(DisplayName(NameForLibrary(latin1)), latin1);
  EXPECT_TRUE(NameNeedsProtocol("/x/\xc0\xaf"));      // overlong "/"
  EXPECT_TRUE(NameNeedsProtocol("/x/\xed\xa0\x80"));  // lone surrogate
  EXPECT_TRUE(NameNeedsProtocol("/x/\xe6\x97"));      // cut short

  // Names that look like a protocol address are files all the same: the
  // library would read standard input for "pipe:0", the network for
  // "http:". Only our own prefix stays as it is.
  for (const char* name : {"take:1.mp4", "pipe:0", "file:/no/such/clip.mp4", "http://host/\xff",
                           "udp://239.0.0.1:1234"}) {
    EXPECT_TRUE(NameNeedsProtocol(name)) << name;
    EXPECT_EQ(NameForLibrary(name), std::string("unicode:utf8:") + name);
  }
  EXPECT_FALSE(NameNeedsProtocol("unicode:utf8:/x/\xff"));
  EXPECT_FALSE(NameNeedsProtocol("/home/u/take:1.mp4"));  // a path: opened as a file anyway
  EXPECT_FALSE(NameNeedsProtocol("dir/take:1.mp4"));
  EXPECT_TRUE(NameNeedsProtocol("code:\xff"));
  EXPECT_TRUE(NameNeedsProtocol(":\xff"));

  EXPECT_FALSE(IsProtocolName("unicode:utf8:"));
  EXPECT_TRUE(IsProtocolName("unicode:utf8:a"));
  EXPECT_FALSE(IsProtocolName("Unicode:utf8:ab"));
  EXPECT_EQ(DisplayName("/plain/name"), "/plain/name");
}

TEST_F(UnicodeFiles, NonAsciiNameWrittenAndReadThroughOwnIO) {
  const std::string path = dir_ + "Grüße 日本.wav";
  WriteWav(std::string(UnicodeProtocolPrefix) + path);
  ASSERT_TRUE(FileExists(path));
  // The RIFF size was patched by seeking back over our I/O.
  std::ifstream f(path, std::ios::binary);
  char head[8];
  f.read(head, 8);
  uint32_t riff = uint8_t(head[4]) | uint8_t(head[5]) << 8 | uint8_t(head[6]) << 16 |
                  uint32_t(uint8_t(head[7])) << 24;
  EXPECT_EQ(int64_t(riff), FileSize(path) - 8);

  ExpectReadable(std::string(UnicodeProtocolPrefix) + path, true);
  ExpectReadable(path, false);  // valid UTF-8 goes straight to the library
}

TEST_F(UnicodeFiles, NameThatIsNotUtf8OpensThroughOwnIO) {
  const std::string raw = dir_ + "clip\xff\xfe.wav";
  WriteWav(raw);
  ASSERT_TRUE(FileExists(raw));
  ExpectReadable(raw, true);
}

TEST_F(UnicodeFiles, MissingFileFailsCleanly) {
  AVFormatContext* ic = nullptr;
  int ret = OpenInputWithName(&ic, std::string(UnicodeProtocolPrefix) + dir_ + "missing.wav",
                              nullptr, nullptr);
  EXPECT_EQ(ret, AVERROR(ENOENT));
  EXPECT_EQ(ErrorMessage(ret), "No such file or directory");
  EXPECT_EQ(ic, nullptr);

  // A pre-allocated context is freed on failure, as the library does.
  ic = FF.avformat_alloc_context();
  EXPECT_LT(OpenInputWithName(&ic, dir_ + "missing\xff.wav", nullptr, nullptr), 0);
  EXPECT_EQ(ic, nullptr);

  // Existing file the demuxer cannot read: the context and our I/O are freed.
  const std::string junk = dir_ + "junk\xff.bin";
  std::ofstream(junk) << "no media here";
  ic = nullptr;
  EXPECT_LT(OpenInputWithName(&ic, junk, nullptr, nullptr), 0);
  EXPECT_EQ(ic, nullptr);

  AVIOContext* pb = nullptr;
  EXPECT_LT(OpenOutputIO(&pb, std::string(UnicodeProtocolPrefix) + dir_ + "no/such/dir.wav",
                         AVIO_FLAG_WRITE),
            0);
  EXPECT_EQ(pb, nullptr);
  EXPECT_EQ(CloseOutputIO(&pb), 0);
}
