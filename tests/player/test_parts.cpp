// The player's building blocks on their own: packet queue, event queue,
// display rectangle, subtitle blending and the display widget.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QImage>

#include <atomic>
#include <thread>

#include "engine/libav/FFmpegApi.h"
#include "player/FFPlay.h"
#include "player/PacketQueue.h"
#include "player/PlayerEvents.h"
#include "player/SubtitleDecoder.h"
#include "player/qt/PlayerWidget.h"

namespace {

AVPacket* MakePacket(int size) {
  AVPacket* p = FF.av_packet_alloc();
  FF.av_new_packet(p, size);
  return p;
}

}  // namespace

TEST(PacketQueue, KeepsOrderMarkersAndSize) {
  TPacketQueue q;
  q.Start();
  AVPacket* p = MakePacket(100);
  q.Put(p);
  q.PutEmpty();
  EXPECT_EQ(q.Count(), 3);
  EXPECT_EQ(q.Size(), 100 + 3 * 72);
  AVPacket* out = FF.av_packet_alloc();
  EXPECT_EQ(q.Get(out, false), pkFlush);
  EXPECT_EQ(q.Get(out, false), pkData);
  EXPECT_EQ(out->size, 100);
  FF.av_packet_unref(out);
  EXPECT_EQ(q.Get(out, false), pkEmpty);
  EXPECT_EQ(q.Get(out, false), pkNone);
  EXPECT_EQ(q.Size(), 0);

  // A seek replaces whatever waits by one flush marker.
  q.Put(p);
  q.FlushAndMark();
  EXPECT_EQ(q.Count(), 1);
  EXPECT_EQ(q.Get(out, false), pkFlush);
  FF.av_packet_free(&out);
  FF.av_packet_free(&p);
}

TEST(PacketQueue, AbortWakesAWaitingReader) {
  TPacketQueue q;
  std::atomic<int> result{-1};
  std::thread reader([&] {
    AVPacket* out = FF.av_packet_alloc();
    result = q.Get(out, true);
    FF.av_packet_free(&out);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  q.Abort();
  reader.join();
  EXPECT_EQ(result, pkNone);
  AVPacket* p = MakePacket(10);
  q.Put(p);
  AVPacket* out = FF.av_packet_alloc();
  EXPECT_EQ(q.Get(out, false), pkNone) << "an aborted queue gives nothing";
  q.Start();
  EXPECT_EQ(q.Get(out, false), pkData);
  FF.av_packet_free(&out);
  FF.av_packet_free(&p);
}

TEST(PlayerEventQueue, SameKindReplacesTheNewestAndFullRingDropsTheOldest) {
  TPlayerEventQueue q;
  q.Post({peState, psPause, 0});
  q.Post({peState, psResume, 0});
  TPlayerEvent ev;
  ASSERT_TRUE(q.Take(ev));
  EXPECT_EQ(ev.State, psResume);
  EXPECT_FALSE(q.Take(ev));

  // Alternating kinds never coalesce; the ring keeps the newest nine.
  for (int i = 0; i < 12; ++i) q.Post({i % 2 ? peState : pePosition, psPlay, i});
  int taken = 0;
  std::int64_t first = -1;
  while (q.Take(ev)) {
    if (taken++ == 0) first = ev.Pts;
  }
  EXPECT_EQ(taken, 9);
  EXPECT_EQ(first, 3);
}

TEST(DisplayRect, FollowsTheAspectSetting) {
  // Own aspect of a 320x240 picture in a 640x240 area: pillar-boxed.
  TDisplayRect r = ComputeDisplayRect(0, true, 320, 240, 1.0, 640, 240);
  EXPECT_EQ(r.Width, 320);
  EXPECT_EQ(r.Height, 240);
  EXPECT_EQ(r.Left, 160);
  EXPECT_EQ(r.Top, 0);
  // A wide setting in a 4:3 area: letter-boxed, even sides.
  r = ComputeDisplayRect(16.0f / 9, true, 320, 240, 1.0, 400, 300);
  EXPECT_EQ(r.Width, 400);
  EXPECT_EQ(r.Height, 224);
  EXPECT_EQ(r.Top, 38);
  // -1 fills the whole area.
  r = ComputeDisplayRect(-1, true, 320, 240, 1.0, 500, 200);
  EXPECT_EQ(r.Left, 0);
  EXPECT_EQ(r.Width, 500);
  EXPECT_EQ(r.Height, 200);
  // Anamorphic pictures use their sample aspect.
  r = ComputeDisplayRect(0, true, 720, 576, 64.0 / 45, 1024, 576);
  EXPECT_EQ(r.Width, 1024);
}

TEST(SubtitleBlend, OpaqueAndHalfTransparentColours) {
  AVFrame* pic = FF.av_frame_alloc();
  pic->width = 8;
  pic->height = 8;
  pic->format = AV_PIX_FMT_YUV420P;
  ASSERT_GE(FF.av_frame_get_buffer(pic, 0), 0);
  for (int p = 0; p < 3; ++p)
    for (int y = 0; y < (p ? 4 : 8); ++y)
      std::memset(pic->data[p] + y * pic->linesize[p], p ? 128 : 16, p ? 4 : 8);

  uint8_t index[16] = {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2};
  uint32_t palette[4] = {0, 0xFFFFFFFF, 0x80FF0000, 0};  // clear, opaque white, half red
  AVSubtitleRect rect{};
  rect.type = SUBTITLE_BITMAP;
  rect.x = 2;
  rect.y = 2;
  rect.w = 4;
  rect.h = 4;
  rect.nb_colors = 4;
  rect.data[0] = index;
  rect.linesize[0] = 4;
  rect.data[1] = reinterpret_cast<uint8_t*>(palette);
  BlendSubtitleRect(pic, rect);

  EXPECT_EQ(pic->data[0][2 * pic->linesize[0] + 2], 235) << "white is studio-range peak luma";
  EXPECT_EQ(pic->data[0][2 * pic->linesize[0] + 1], 16) << "outside the rectangle untouched";
  int y, u, v;
  RgbToYuv601(255, 0, 0, y, u, v);
  EXPECT_EQ(pic->data[0][2 * pic->linesize[0] + 4], (127 * 16 + 128 * y) / 255);
  EXPECT_EQ(pic->data[1][1 * pic->linesize[1] + 1], 128) << "white keeps neutral chroma";
  EXPECT_EQ(pic->data[2][1 * pic->linesize[2] + 2], (127 * 128 + 128 * v) / 255);
  FF.av_frame_free(&pic);
}

TEST(PlayerWidget, KeepsTheLastPictureAndIgnoresClose) {
  TPlayerWidget w;
  w.resize(200, 100);
  w.show();
  int cw = 0, ch = 0;
  w.ClientSize(cw, ch);
  EXPECT_EQ(cw, 200);
  EXPECT_EQ(ch, 100);
  EXPECT_TRUE(w.LastPicture().isNull());

  TBitmap bmp(20, 10);
  bmp.Fill(0, 255, 0);
  std::thread([&] { w.Show(bmp, TDisplayRect{50, 0, 100, 100}, 200, 100); }).join();
  QCoreApplication::processEvents();
  QImage last = w.LastPicture();
  ASSERT_EQ(last.width(), 20);
  EXPECT_EQ(QColor(last.pixel(3, 3)), QColor(0, 255, 0));
  QImage drawn = w.grab().toImage();
  EXPECT_EQ(QColor(drawn.pixel(100, 50)), QColor(0, 255, 0));
  EXPECT_EQ(QColor(drawn.pixel(10, 50)), QColor(0, 0, 0)) << "outside the rectangle is black";

  QCloseEvent close;
  QCoreApplication::sendEvent(&w, &close);
  EXPECT_FALSE(close.isAccepted());
}
