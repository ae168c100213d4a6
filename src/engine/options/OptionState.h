// The pending option state of one conversion task and its generic option store.
//
// TOptionState holds what the next opened input file, the next opened output
// file or the next created stream will take; ResetOptions() restores every
// default. The openers read it and clear what they consumed. Each engine
// (one per conversion task) owns its own TOptionState - there are no globals,
// because tasks are configured and run on different threads.
//
// TGenericOptionStore owns the default codec contexts (one per media type),
// the default format context and the default scaler context on which generic
// options ("g", "bufsize", "flags", "packetsize", "sws_flags", ...) are set,
// the list of names set so far, and the private options that only an encoder
// or a muxer knows (kept as dictionaries for avcodec_open2 /
// avformat_write_header).
//
// Threads: a state belongs to its task. It is changed only by the thread that
// configures the task (before the task starts) and afterwards read by the
// task's worker; no lock is needed because the two never overlap.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

struct AVCodecContext;
struct AVFormatContext;
struct AVDictionary;
struct SwsContext;

// Table sizes.
constexpr int MaxStreams = 20;         // per-file stream tables (itsscale, streamid)
constexpr int MaxFiles = 20;           // input and output files of one task
constexpr int MaxStreamMaps = 400;     // "map" entries
constexpr int MaxMetaDataMaps = 20;    // "map_meta_data" entries
constexpr int MaxAudioVolume = 65536;  // "vol": 256 times the loudness
constexpr int MediaTypeCount = 5;      // video, audio, data, subtitle, attachment

constexpr std::int64_t UnlimitedRecordingTime = INT64_MAX;
constexpr int UnlimitedFrames = INT32_MAX;
constexpr int DefaultOutputBufferSize = 262144;

// Option flag masks of the media library, as the openers combine them.
constexpr int OptMaskEncoding = 1;   // AV_OPT_FLAG_ENCODING_PARAM
constexpr int OptMaskDecoding = 2;   // AV_OPT_FLAG_DECODING_PARAM
constexpr int OptMaskAudio = 8;      // AV_OPT_FLAG_AUDIO_PARAM
constexpr int OptMaskVideo = 16;     // AV_OPT_FLAG_VIDEO_PARAM
constexpr int OptMaskSubtitle = 32;  // AV_OPT_FLAG_SUBTITLE_PARAM

// "map": output stream i takes input stream (FileIndex, StreamIndex) and keeps
// in step with (SyncFileIndex, SyncStreamIndex).
struct TStreamMap {
  int FileIndex = 0;
  int StreamIndex = 0;
  int SyncFileIndex = 0;
  int SyncStreamIndex = 0;
};

// "map_meta_data": output file OutFile takes the metadata of input file InFile.
struct TMetaDataMap {
  int OutFile = 0;
  int InFile = 0;
};

using TMetadataList = std::vector<std::pair<std::string, std::string>>;
using TQuantMatrix = std::array<std::uint16_t, 64>;

// Default contexts and the generic options set on them.
// Owns every context and dictionary it hands out as a raw pointer; callers
// must not free them. Copies (Copy*Options) are owned by the caller.
class TGenericOptionStore {
 public:
  TGenericOptionStore() = default;
  ~TGenericOptionStore();
  TGenericOptionStore(const TGenericOptionStore&) = delete;
  TGenericOptionStore& operator=(const TGenericOptionStore&) = delete;

  // Frees and re-creates the default contexts (the scaler context with
  // `scalerFlags`) and forgets every generic and private option set so far.
  // Needs the media libraries loaded.
  void Rebuild(int scalerFlags);
  // Frees the contexts and forgets the options (the task clean-up).
  void Free();
  bool Built() const { return format_ != nullptr; }

  // Default codec context of a media type (video .. attachment); nullptr for
  // other types or while not built.
  AVCodecContext* CodecContext(AVMediaType type) const;
  AVFormatContext* FormatContext() const { return format_; }
  SwsContext* ScalerContext() const { return scaler_; }
  // The option flag a media type's generic options carry: video 16, audio 8,
  // data 0, subtitle 32, attachment 0.
  static int TypeMask(AVMediaType type);

  // Names of the generic options set so far, in first-set order, no repeats.
  const std::vector<std::string>& Names() const { return names_; }
  void RememberName(const std::string& name);

  // For every remembered name: read its value from `source` and set it on
  // `target` when the option's flags (on the source) contain every bit of
  // `mask`. Both are AVClass-enabled objects of the same kind.
  void CopyGenericOptions(void* source, void* target, int mask) const;
  // The same with the default codec context of `type` as source.
  void CopyToCodecContext(AVMediaType type, AVCodecContext* target, int mask) const;
  // The same with the default format context as source.
  void CopyToFormatContext(AVFormatContext* target, int mask) const;

  // Private options of encoders (per media type of the encoder that knows
  // the name) and of muxers. A later value of the same name replaces the
  // earlier one.
  void SetPrivateCodecOption(AVMediaType type, const std::string& name, const std::string& value);
  void SetPrivateFormatOption(const std::string& name, const std::string& value);
  const AVDictionary* PrivateCodecOptions(AVMediaType type) const;
  const AVDictionary* PrivateFormatOptions() const { return formatPrivate_; }
  // Fresh copies for avcodec_open2 / avformat_write_header; the caller frees
  // them with av_dict_free (nullptr when there is nothing to pass).
  AVDictionary* CopyPrivateCodecOptions(AVMediaType type) const;
  AVDictionary* CopyPrivateFormatOptions() const;

 private:
  std::array<AVCodecContext*, MediaTypeCount> codec_{};
  AVFormatContext* format_ = nullptr;
  SwsContext* scaler_ = nullptr;
  std::vector<std::string> names_;
  std::array<AVDictionary*, MediaTypeCount> codecPrivate_{};
  AVDictionary* formatPrivate_ = nullptr;
};

// Logs the entries an encoder or muxer left unused in its options dictionary
// after opening (level warning: "Option %s not used by %s"), then frees it.
void ReportUnusedPrivateOptions(AVDictionary** leftover, const std::string& user);

// Every pending setting with its default. Plain data: assigning a default-
// constructed value is the reset.
struct TPendingOptions {
  // ---- files ----
  std::string FileFormatName;                           // "f"
  bool PgmYuv = false;                                  // "f pgmyuv": force the PGMYUV decoder
  std::int64_t RecordingTime = UnlimitedRecordingTime;  // "t", µs
  std::int64_t StartTime = 0;                           // "ss", µs
  std::int64_t RecordTimestamp = 0;                     // "timestamp", seconds since 1970
  std::int64_t InputTsOffset = 0;                       // "itsoffset", µs
  // "itsscale" for the next input file, per stream index; 0 = no scale.
  std::array<double, MaxStreams> InputTsScale{};
  TMetadataList Metadata;                     // "metadata", in the order given
  std::int64_t FileSizeLimit = 0;             // "fs", bytes; 0 = none
  int ProgramId = 0;                          // "programid"
  bool LoopInput = false;                     // "loop_input"
  int LoopOutput = -1;                        // "loop_output"; -1 = no looping
  float MuxPreload = 0.5f;                    // "muxpreload", seconds
  float MuxMaxDelay = 0.7f;                   // "muxdelay", seconds
  std::vector<TStreamMap> StreamMaps;         // "map", up to MaxStreamMaps
  std::vector<TMetaDataMap> MetaDataMaps;     // "map_meta_data", up to MaxMetaDataMaps
  std::array<int, MaxStreams> StreamIdMap{};  // "streamid": output stream index -> id

  // ---- video ----
  int FrameWidth = 0;  // "s"; reduced by the crop options
  int FrameHeight = 0;
  float FrameAspectRatio = 0;  // "aspect"; 0 = none
  // True when "aspect" (or a target) set the aspect after the last input was
  // opened; false when it is the input's own, which then only says that the
  // picture keeps the input's pixel shape through crops and scaling.
  bool FrameAspectGiven = false;
  int FramePixFmt = -1;  // "pix_fmt"; -1 = none (AVPixelFormat)
  int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
  AVRational FrameRate{0, 0};               // "r"; 0/0 = none
  float VideoQScale = 0;                    // "qscale"; 0 = none
  std::optional<TQuantMatrix> IntraMatrix;  // "intra_matrix"
  std::optional<TQuantMatrix> InterMatrix;  // "inter_matrix"
  std::optional<std::string> RcOverride;    // "rc_override"
  bool VideoDisable = false;                // "vn"
  int VideoDiscard = 0;                     // "vdt" (AVDiscard)
  std::string VideoCodecName;               // "vcodec"; empty = none
  bool VideoStreamCopy = false;             // "vcodec copy"
  std::uint32_t VideoCodecTag = 0;          // "vtag"
  std::string VideoLanguage;                // "vlang"
  bool SameQuality = false;                 // "sameq"
  bool Deinterlace = false;                 // "deinterlace"
  int TopFieldFirst = -1;                   // "top"; -1 = auto
  int MeThreshold = 0;                      // "me_threshold"
  int IntraDcPrecision = 8;                 // "dc"
  bool QpHistogram = false;                 // "qphist"
  std::string VideoFilters;                 // "vf", "vfilters"
  bool IntraOnly = false;                   // "intra"
  int VideoGlobalHeader = 0;                // "vglobal": bit 1 global, bit 2 local headers
  int VideoChannel = 0;                     // "vc"
  std::string VideoStandard;                // "tvstd"; empty = none
  bool ForceFps = false;                    // "force_fps"
  int ScalerFlags = 4;                      // SWS_BICUBIC; follows the generic "sws_flags"
  bool UsingVHook = false;                  // "vhook": frame hook modules added

  // ---- audio ----
  int AudioSampleRate = 44100;           // "ar" (> 0)
  std::uint64_t AudioChannelLayout = 0;  // channel mask; set by the input opener
  float AudioQScale = -99999.0f;         // "aq"; -99999 = none
  bool AudioDisable = false;             // "an"
  int AudioChannels = 2;                 // "ac" (> 0)
  // "ac" (or a target) asked for AudioChannels; otherwise they are the
  // input's, and an encoder that cannot take that many gets its nearest.
  bool AudioChannelsGiven = false;
  int AudioSampleFmt = -1;          // "sample_fmt"; -1 = none (AVSampleFormat)
  std::string AudioCodecName;       // "acodec"; empty = none
  bool AudioStreamCopy = false;     // "acodec copy"
  std::uint32_t AudioCodecTag = 0;  // "atag"
  std::string AudioLanguage;        // "alang"
  int AudioVolume = 256;            // "vol"; 256 = unchanged, at most MaxAudioVolume

  // ---- subtitles ----
  bool SubtitleDisable = false;        // "sn"
  std::string SubtitleCodecName;       // "scodec"; empty = none
  bool SubtitleStreamCopy = false;     // "scodec copy"
  std::string SubtitleLanguage;        // "slang"
  std::uint32_t SubtitleCodecTag = 0;  // "stag"

  // ---- bitstream filters, per kind: entries as "name" or "name=options",
  // in the order given; av_bsf_list_parse_str takes them joined with ",". ----
  std::vector<std::string> AudioBitstreamFilters;     // "absf"
  std::vector<std::string> VideoBitstreamFilters;     // "vbsf"
  std::vector<std::string> SubtitleBitstreamFilters;  // "sbsf"

  // ---- frame counts and limits ----
  int MaxVideoFrames = UnlimitedFrames;  // "vframes"
  int MaxAudioFrames = UnlimitedFrames;  // "aframes"
  int MaxDataFrames = UnlimitedFrames;   // "dframes"

  // ---- conversion behaviour ----
  bool DoHexDump = false;                          // "hex"
  bool DoPktDump = false;                          // "dump"
  bool DoPsnr = false;                             // "psnr"
  int DoPass = 0;                                  // "pass": 0, 1 or 2
  std::string PassLogFileName;                     // "passlogfile"; empty = default prefix
  int VideoSyncMethod = -1;                        // "vsync"; -1 = automatic
  int AudioSyncMethod = 0;                         // "async"
  float AudioDriftThreshold = 0.1f;                // "adrift_threshold", seconds
  bool CopyTs = false;                             // "copyts"
  bool Shortest = false;                           // "shortest"
  std::string VStatsFileName;                      // "vstats", "vstats_file"; empty = none
  int CopyInitialNonKeyFrames = 0;                 // "copyinkf"
  bool RateEmu = false;                            // "re"
  bool ExitOnError = false;                        // "xerror"
  int Verbose = 1;                                 // "v"
  int ThreadCount = 1;                             // worker threads per codec (no option)
  bool InputSync = false;                          // "isync"
  float DtsDeltaThreshold = 10.0f;                 // "dts_delta_threshold", seconds
  int OutputBufferSize = DefaultOutputBufferSize;  // bytes of the video packet buffer
};

// The pending state plus its generic option store.
class TOptionState : public TPendingOptions {
 public:
  TOptionState() = default;
  TOptionState(const TOptionState&) = delete;
  TOptionState& operator=(const TOptionState&) = delete;

  // Every field to its default; rebuilds the generic option store when the
  // media libraries are loaded (otherwise frees it).
  void ResetOptions();

  TGenericOptionStore Generic;
};
