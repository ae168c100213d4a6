// Synthetic test media: writes short clips with the media libraries (through
// `FF`, so the media libraries must be loaded: use the `engine` or `qt_engine`
// test main) and reads them back for checks.
//
// Every clip is cached in the folder QUOR_TEST_MEDIA_DIR (environment first,
// else the compile definition) under a name derived from its MediaSpec, so a
// clip is made once per build folder. Two processes asking for the same clip
// at once are safe: each writes a unique temporary file and renames it into
// place (the rename is atomic; both write identical content).
//
// The picture of frame n (layout in fractions of the frame, so it survives
// scaling as long as the aspect is kept; see PatternLayout below):
//   top quarter     frame-number code: 16 equal cells across the width; cell i
//                   (left to right) is white when bit 15-i of n is set, else
//                   black. Needs a width of about 128 pixels to survive lossy
//                   coding (cells of 8 pixels and more).
//   second quarter  four equal colour bars: red, green, blue, white.
//   bottom half     mid grey with a yellow square (side: a quarter of the
//                   height) that moves right by 1/32 of the width per frame.
// The sound is a sine of ToneHz at ToneLevel (0..1 of full scale) on every
// channel.
//
// Typical use:
//   std::string clip = TestMedia::Get(MediaSpec::Mp4());          // 2 s, 320x240, 25 fps
//   std::string tiny = TestMedia::Get(MediaSpec::Mp4().Size(16, 16).Fps(1).Seconds(1860));
//   TBitmap bmp; ASSERT_TRUE(TestMedia::DecodeFrame(clip, 10, bmp));
//   EXPECT_EQ(TestMedia::ReadFrameNumber(bmp), 10);
//   EXPECT_TRUE(TestMedia::ColourNear(TestMedia::BandSample(bmp, 0), TestMedia::BandColour(0)));
//   TestMedia::VideoStats v = TestMedia::ScanVideo(clip);   // frames, duration, numbers read
//   TestMedia::AudioStats a = TestMedia::ScanAudio(clip);   // samples, duration, level, pitch
//
// Threads: any thread; the functions share no state (the cache is the file
// system). Failures to make a clip raise std::runtime_error with the reason.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/libav/FrameBitmap.h"

// What to write. Chain the setters on one of the presets:
//   MediaSpec::Avi().Size(321, 241).Seconds(1.5)
struct MediaSpec {
  std::string Format = "mp4";  // muxer short name: mp4, avi, matroska, mpegts, wav, mp3, ...
  std::string Extension;       // empty: the muxer's first extension
  std::string VideoCodec = "libx264";  // encoder name; empty = no video stream
  std::string AudioCodec = "aac";      // encoder name; empty = no audio stream
  std::string SubtitleCodec;           // text subtitle encoder ("subrip" for Matroska,
                                       // "mov_text" for MP4); empty = none. One cue
                                       // "Cue <n>" at every whole second n, shown 0.5 s.
  int Width = 320;
  int Height = 240;
  int FpsNum = 25;  // frame rate as a fraction (29.97 = 30000/1001)
  int FpsDen = 1;
  double Duration = 2.0;  // seconds of picture and of sound
  int SampleRate = 44100;
  int Channels = 2;  // 6 = 5.1
  double ToneHz = 440.0;
  double ToneLevel = 0.5;   // peak, 0..1 of full scale
  int VideoBitRate = 0;     // bit/s; 0 = the generator's quality default
  int BFrames = 0;          // B-frames between references (reordered time stamps)
  int AudioBitRate = 0;     // bit/s; 0 = the encoder's default
  std::string PixelFormat;  // empty = the encoder's first supported format
  std::map<std::string, std::string> Metadata;  // file tags (title, artist, ...)
  std::string Language;                         // "language" tag of every stream when not empty
  bool Interlaced = false;                      // odd rows show the next frame's pattern (a later
                                                // field), so the moving square combs at its edges
  bool Noise = false;                           // grain over the bottom half, different in every
                       // frame, so an encoder needs all the bits it is given
  bool EditPattern = false;  // the edit pattern of EditPattern.h instead of the
                             // one described above
  int VideoDelay = 0;        // frames: the first picture's time stamp (the sound
                             // still starts at 0), a video stream that starts late

  // Presets (2 s, 320x240 at 25 fps, 44.1 kHz stereo 440 Hz unless said).
  static MediaSpec Mp4();        // H.264 + AAC in MP4
  static MediaSpec Avi();        // MPEG-4 part 2 + MP3 in AVI
  static MediaSpec Mkv();        // H.264 + AAC in Matroska
  static MediaSpec Ts();         // MPEG-2 video + MP2 in MPEG-TS
  static MediaSpec Wav();        // PCM s16le in WAV (audio only)
  static MediaSpec Mp3();        // MP3 (audio only)
  static MediaSpec AudioOnly();  // AAC in MP4 without video
  static MediaSpec VideoOnly();  // H.264 in MP4 without audio

  MediaSpec& Size(int w, int h) {
    Width = w;
    Height = h;
    return *this;
  }
  MediaSpec& Fps(int num, int den = 1) {
    FpsNum = num;
    FpsDen = den;
    return *this;
  }
  MediaSpec& Seconds(double s) {
    Duration = s;
    return *this;
  }
  MediaSpec& Audio(int rate, int channels) {
    SampleRate = rate;
    Channels = channels;
    return *this;
  }
  MediaSpec& Tone(double hz, double level) {
    ToneHz = hz;
    ToneLevel = level;
    return *this;
  }
  MediaSpec& NoVideo() {
    VideoCodec.clear();
    return *this;
  }
  MediaSpec& NoAudio() {
    AudioCodec.clear();
    return *this;
  }
  MediaSpec& Subtitles(const std::string& codec) {
    SubtitleCodec = codec;
    return *this;
  }
  MediaSpec& Tag(const std::string& key, const std::string& value) {
    Metadata[key] = value;
    return *this;
  }
  MediaSpec& Interlace() {
    Interlaced = true;
    return *this;
  }
  MediaSpec& Grainy() {
    Noise = true;
    return *this;
  }
  MediaSpec& ForEdits() {
    EditPattern = true;
    return *this;
  }
  MediaSpec& VideoLate(int frames) {
    VideoDelay = frames;
    return *this;
  }

  // Stable text of every field; the cache name is derived from it.
  std::string Key() const;
};

namespace TestMedia {

// The cache folder (created when missing), with a trailing "/".
std::string MediaDir();

// Path of the clip, made when not cached yet.
std::string Get(const MediaSpec& spec);

// Damaged copies of a clip (cached like clips):
// the first `keepFraction` (0..1) of its bytes;
std::string Truncated(const MediaSpec& spec, double keepFraction);
// its bytes with runs of pseudo-random garbage over the middle part (the
// first and last 10 % intact, so the header still opens);
std::string Corrupted(const MediaSpec& spec, unsigned seed = 1);
// a file of `bytes` pseudo-random bytes that is no media file;
std::string Garbage(std::int64_t bytes);
// a valid mono 8 kHz PCM WAV file of exactly `bytes` bytes (at least 46),
// written by hand so its size is exact.
std::string WavOfSize(std::int64_t bytes);
// A path in the cache folder that does not exist.
std::string MissingFile();

// ---- Picture pattern ----
struct Rgb {
  int R = 0, G = 0, B = 0;
};
constexpr int FrameNumberBits = 16;
// Expected colour of colour bar 0..3 (red, green, blue, white).
Rgb BandColour(int band);
// Average colour of the inner half of colour bar `band` in a decoded picture.
Rgb BandSample(const TBitmap& bmp, int band);
// Average colour of the (2r+1)^2 pixels around (x, y), clipped to the picture.
Rgb PixelAt(const TBitmap& bmp, int x, int y, int r = 1);
// True when every component differs by at most `tolerance`.
bool ColourNear(const Rgb& a, const Rgb& b, int tolerance = 40);
// Draws the picture of frame n into `bmp` (its size is kept).
void DrawPattern(TBitmap& bmp, int n);
// The frame number drawn into a decoded picture; -1 when a cell is not
// clearly black or white (not a pattern picture, or damaged).
int ReadFrameNumber(const TBitmap& bmp);

// ---- Reading back ----
// Calls `onFrame` with every decoded picture of the first video stream (a
// 24-bit bitmap at its decoded size) and its time stamp in seconds from the
// file's start (the earliest start of its streams: the time a player shows),
// in the order the decoder emits them, until it returns
// false. False when the file has no video stream that decodes.
bool ForEachFrame(const std::string& path,
                  const std::function<bool(const TBitmap& picture, double seconds)>& onFrame);
// Frame `index` (0-based, in presentation order as the decoder emits it) of
// the first video stream as a 24-bit bitmap at its decoded size.
bool DecodeFrame(const std::string& path, int index, TBitmap& out);
// The frame on show at `timeUs` microseconds (the last frame whose time stamp,
// measured from the stream's start, is <= timeUs; the first frame when none).
bool DecodeFrameAt(const std::string& path, std::int64_t timeUs, TBitmap& out);

struct VideoStats {
  bool Ok = false;  // a video stream was found and decoded
  int Width = 0, Height = 0;
  int Frames = 0;            // decoded frames
  double FirstPts = 0;       // seconds, of the first decoded frame
  double LastPts = 0;        // seconds, of the last decoded frame
  double FrameRate = 0;      // the stream's average frame rate
  double Duration = 0;       // LastPts - FirstPts + one frame
  std::vector<int> Numbers;  // ReadFrameNumber of every frame, in order
};
// Decodes every frame of the first video stream.
VideoStats ScanVideo(const std::string& path);

struct AudioStats {
  bool Ok = false;  // an audio stream was found and decoded
  int SampleRate = 0, Channels = 0;
  std::int64_t Samples = 0;  // per channel
  double Duration = 0;       // Samples / SampleRate, seconds
  double Peak = 0;           // 0..1 of full scale, all channels
  double Rms = 0;            // 0..1, all channels
  double PitchHz = 0;        // first channel, from zero crossings; needs a level above 0.05
};
// Decodes every sample of the first audio stream.
AudioStats ScanAudio(const std::string& path);

// The text of every subtitle cue of the first subtitle stream, in order, with
// its start in seconds (the dialogue text only, as in "Cue 1").
struct SubtitleCue {
  double Start = 0;
  std::string Text;
};
std::vector<SubtitleCue> ScanSubtitles(const std::string& path);

// Container duration in seconds as the demuxer reports it (-1 when unknown or
// the file does not open).
double ContainerDuration(const std::string& path);

}  // namespace TestMedia
