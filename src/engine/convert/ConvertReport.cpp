// Progress reports, final statistics and the video statistics file.
#include <cmath>

#include "engine/common/FFmpegException.h"
#include "engine/convert/ConvertStreams.h"
#include "engine/convert/CustomFFmpeg.h"
#include "engine/libav/FFmpegLogger.h"

std::int64_t TCustomFFmpeg::OutputSize() const {
  if (outputFiles_.empty()) return 0;
  AVIOContext* pb = outputFiles_[0]->Ctx->pb;
  if (!pb) return 0;
  std::int64_t size = FF.avio_size(pb);
  if (size < 0) size = FF.avio_seek(pb, 0, SEEK_CUR);
  return size < 0 ? 0 : size;
}

void TCustomFFmpeg::Report(bool isLast, int fileIndex) {
  const std::int64_t totalSize = OutputSize();
  int frameNumber = -1, fps = -1;
  float q = -1.0f;
  std::string line;
  double minTime = 1e10;
  bool firstVideoSeen = false;
  for (const TOutputStream* ost : outputStreams_) {
    const AVCodecContext* enc = ost->Enc.get();
    if (ost->Type == AVMEDIA_TYPE_VIDEO) {
      float streamQ =
          ost->Copy || ost->LastQuality < 0 ? -1.0f : float(ost->LastQuality) / FF_QP2LAMBDA;
      if (firstVideoSeen) {
        line += Fmt("q=%2.1f ", streamQ);
      } else if (ost->Active) {
        firstVideoSeen = true;
        double elapsed = double(FF.av_gettime() - timerStart_) / 1000000.0;
        frameNumber = int(ost->FrameNumber);
        if (frameNumber < 1) return;
        fps = elapsed > 1 ? int(std::trunc(frameNumber / elapsed + 0.5)) : 0;
        q = streamQ;
        line += Fmt("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, q);
        if (isLast) line += "L";
        if (options_.QpHistogram) {
          int j = int(std::lrint(q));
          if (j >= 0 && j < 52) qpHistogram_[size_t(j)]++;
          for (int k = 0; k < 32; ++k)
            line += Fmt("%X", int(std::lrint(std::log2(qpHistogram_[size_t(k)] + 1))));
        }
        if (enc && (enc->flags & AV_CODEC_FLAG_PSNR)) {
          line += "PSNR=";
          double errorSum = 0, scaleSum = 0;
          const char planes[3] = {'Y', 'U', 'V'};
          for (int p = 0; p < 3; ++p) {
            double error =
                isLast ? double(ost->TotalErrors[size_t(p)]) : double(ost->LastErrors[size_t(p)]);
            double scale = double(enc->width) * enc->height * 255.0 * 255.0;
            if (isLast) scale *= frameNumber;
            if (p) scale /= 4;
            errorSum += error;
            scaleSum += scale;
            line += Fmt("%c:%2.2f ", planes[p], -10.0 * std::log10(error / scale));
          }
          line += Fmt("*:%2.2f ", -10.0 * std::log10(errorSum / scaleSum));
        }
      }
    }
    if (ost->CurrentTime > 0 && ost->CurrentTime < minTime) minTime = ost->CurrentTime;
  }
  if (minTime < 0.01) minTime = 0.01;

  if (OnProgress || Verbose() > 0 || isLast) {
    double bitrate = double(totalSize) * 8 / minTime / 1000;
    line += Fmt("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", double(totalSize) / 1024, minTime,
                bitrate);
    if (dupFrames_ || dropFrames_) {
      line += Fmt(" dup=%d drop=%d", dupFrames_, dropFrames_);
      if (syncEventPending_ && Verbose() >= 0 && OnProgress) {
        syncEventPending_ = false;
        Log(llVerbose, line);
      }
    }
    if (OnProgress) {
      TProgressInfo info;
      info.FileIndex = fileIndex;
      info.TotalDuration = totalDuration_;
      info.CurrentDuration = std::int64_t(std::trunc(minTime * 1000000));
      info.CurrentSize = totalSize;
      info.BitRate = float(bitrate);
      info.Quality = q;
      info.FPS = fps;
      info.FrameNumber = frameNumber;
      OnProgress(*this, info);
    } else if (Verbose() >= 0) {
      Log(llVerbose, line);
    }
  }
  if (isLast && Verbose() >= 0) {
    double raw = double(videoBytes_ + audioBytes_ + globalHeaderBytes_);
    double overhead = raw > 0 ? (double(totalSize) - raw) * 100 / raw : 0;
    Log(llVerbose,
        Fmt("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %.2f%%\r\n",
            double(videoBytes_) / 1024, double(audioBytes_) / 1024,
            double(globalHeaderBytes_) / 1024, overhead));
  }
}

void TCustomFFmpeg::WriteVideoStats(TOutputStream& ost, int frameSize) {
  if (!vstatsFile_) {
    vstatsFile_ = FF.fopen(options_.VStatsFileName.c_str(), "w");
    if (!vstatsFile_) throw FFmpegException("fopen fail: " + options_.VStatsFileName);
  }
  const AVCodecContext* enc = ost.Enc.get();
  if (ost.Type != AVMEDIA_TYPE_VIDEO) return;
  std::string line =
      Fmt("frame= %5d q= %2.1f ", int(ost.PacketsOut), float(ost.LastQuality) / FF_QP2LAMBDA);
  if (enc->flags & AV_CODEC_FLAG_PSNR)
    line +=
        Fmt("PSNR= %6.2f ", -10.0 * std::log10(double(ost.LastErrors[0]) /
                                               (double(enc->width) * enc->height * 255.0 * 255.0)));
  line += Fmt("f_size= %6d ", frameSize);
  double time = std::max(0.01, double(ost.PacketsOut) * av_q2d(enc->time_base));
  double rate = frameSize * 8 / av_q2d(enc->time_base) / 1000;
  double avgRate = double(videoBytes_) * 8 / time / 1000;
  line += Fmt("s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
              double(videoBytes_) / 1024, time, rate, avgRate);
  line += Fmt("type= %c\n", FF.av_get_picture_type_char(AVPictureType(ost.LastPictType)));
  FF.fwrite(line.data(), 1, line.size(), vstatsFile_);
}
