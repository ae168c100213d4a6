#include "player/SubtitleDecoder.h"

#include <algorithm>

#include "engine/libav/FFmpegApi.h"

TSubtitleDecoder::~TSubtitleDecoder() { Join(); }

void TSubtitleDecoder::Start() {
  thread_ = std::thread([this] { Run(); });
}

void TSubtitleDecoder::Join() {
  if (thread_.joinable()) thread_.join();
}

void TSubtitleDecoder::Run() {
  AVPacket* pkt = FF.av_packet_alloc();
  TSubpictureQueue& q = state_.Subpictures;
  while (!state_.Abort) {
    while (state_.Paused && !state_.Subtitle.Queue.Aborted() && !state_.Abort)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    TPacketKind kind = state_.Subtitle.Queue.Get(pkt, true);
    if (kind == pkNone) break;
    if (kind == pkFlush) {
      FF.avcodec_flush_buffers(state_.Subtitle.Codec);
      continue;
    }
    if (kind != pkData) continue;
    AVSubtitle sub{};
    int got = 0;
    FF.avcodec_decode_subtitle2(state_.Subtitle.Codec, &sub, &got, pkt);
    double pts = pkt->pts != AV_NOPTS_VALUE
                     ? double(pkt->pts) * av_q2d(state_.Subtitle.Stream->time_base)
                     : 0;
    FF.av_packet_unref(pkt);
    if (!got) continue;
    // Text subtitles would need a renderer; only pictures are shown.
    if (sub.format != 0) {
      FF.avsubtitle_free(&sub);
      continue;
    }
    if (sub.pts != AV_NOPTS_VALUE) pts = double(sub.pts) / AV_TIME_BASE;
    std::unique_lock lock(q.Mutex);
    q.Cond.wait(lock, [&] { return q.Count < TSubpictureQueue::kSize || q.Abort; });
    if (q.Abort) {
      FF.avsubtitle_free(&sub);
      break;
    }
    TSubpicture& slot = q.Slots[q.WriteIndex];
    slot.Sub = sub;
    slot.Pts = pts;
    q.WriteIndex = (q.WriteIndex + 1) % TSubpictureQueue::kSize;
    ++q.Count;
  }
  FF.av_packet_free(&pkt);
}

void RgbToYuv601(int r, int g, int b, int& y, int& u, int& v) {
  // Factors scaled by 1024; studio range: Y 16..235, U/V 16..240.
  y = (263 * r + 516 * g + 100 * b + 512) / 1024 + 16;
  u = (-152 * r - 298 * g + 450 * b + 512) / 1024 + 128;
  v = (450 * r - 377 * g - 73 * b + 512) / 1024 + 128;
  y = std::clamp(y, 0, 255);
  u = std::clamp(u, 0, 255);
  v = std::clamp(v, 0, 255);
}

namespace {

struct TYuva {
  int Y, U, V, A;
};

int Mix(int old, int fresh, int a) { return ((255 - a) * old + a * fresh) / 255; }

}  // namespace

void BlendSubtitleRect(AVFrame* picture, const AVSubtitleRect& rect) {
  if (rect.type != SUBTITLE_BITMAP || !rect.data[0] || !rect.data[1]) return;
  TYuva palette[256];
  const auto* rgba = reinterpret_cast<const std::uint32_t*>(rect.data[1]);
  for (int i = 0; i < 256; ++i) {
    std::uint32_t c = i < rect.nb_colors ? rgba[i] : 0;
    int a = int(c >> 24), r = int((c >> 16) & 0xff), g = int((c >> 8) & 0xff), b = int(c & 0xff);
    RgbToYuv601(r, g, b, palette[i].Y, palette[i].U, palette[i].V);
    palette[i].A = a;
  }
  const int x0 = std::max(rect.x, 0), y0 = std::max(rect.y, 0);
  const int x1 = std::min(rect.x + rect.w, picture->width),
            y1 = std::min(rect.y + rect.h, picture->height);
  auto at = [&](int x, int y) -> const TYuva& {
    return palette[rect.data[0]
                            [size_t(y - rect.y) * size_t(rect.linesize[0]) + size_t(x - rect.x)]];
  };
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* luma = picture->data[0] + size_t(y) * size_t(picture->linesize[0]);
    for (int x = x0; x < x1; ++x) luma[x] = std::uint8_t(Mix(luma[x], at(x, y).Y, at(x, y).A));
  }
  for (int cy = y0 / 2; cy * 2 < y1; ++cy) {
    std::uint8_t* cb = picture->data[1] + size_t(cy) * size_t(picture->linesize[1]);
    std::uint8_t* cr = picture->data[2] + size_t(cy) * size_t(picture->linesize[2]);
    for (int cx = x0 / 2; cx * 2 < x1; ++cx) {
      int n = 0, a = 0, u = 0, v = 0;
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          int x = cx * 2 + dx, y = cy * 2 + dy;
          if (x < x0 || x >= x1 || y < y0 || y >= y1) continue;
          const TYuva& p = at(x, y);
          a += p.A;
          u += p.U * p.A;
          v += p.V * p.A;
          ++n;
        }
      if (n == 0 || a == 0) continue;
      // Colour of the block weighted by alpha, blended with the block's mean alpha.
      int meanA = a / 4;
      cb[cx] = std::uint8_t(Mix(cb[cx], u / a, meanA));
      cr[cx] = std::uint8_t(Mix(cr[cx], v / a, meanA));
    }
  }
}
