// TBmpCache: watermark pictures decoded once and kept while their file stays
// the same, so a conversion does not decode the same picture on every frame.
//
// Owns the decoded 24-bit bitmaps (and remembers files that failed to decode,
// so a broken file is not decoded again until it changes). A file counts as
// changed when its modification time or its size differs from what was seen
// at the last decode. At most `capacity` files are kept; the one used least
// recently goes first.
//
// Threads: no lock of its own; one thread at a time (TWatermarkRenderer's
// owner serialises). Decoding uses QImage only, which is safe off the
// user-interface thread.
#pragma once

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <list>
#include <optional>
#include <string>

#include "engine/libav/FrameBitmap.h"

class TBmpCache {
 public:
  explicit TBmpCache(std::size_t capacity = 8) : capacity_(capacity ? capacity : 1) {}

  // The picture in `path` (UTF-8) as a 24-bit bitmap. The reference stays
  // valid until the next call or Clear(). Throws FFmpegException naming the
  // file when it is missing or cannot be decoded.
  const TBitmap& Get(const std::string& path);

  void Clear() { entries_.clear(); }
  std::size_t Size() const { return entries_.size(); }
  // Decodes done so far (a cached answer does not count).
  int DecodeCount() const { return decodes_; }

 private:
  struct TStamp {
    std::filesystem::file_time_type Modified;
    std::uintmax_t Size = 0;
    bool operator==(const TStamp&) const = default;
  };
  struct TEntry {
    std::string Path;
    TStamp Stamp;
    std::optional<TBitmap> Picture;  // empty: the file did not decode
    std::string Error;
  };

  static TStamp StampOf(const std::string& path);
  TEntry& Decode(const std::string& path, const TStamp& stamp);
  const TBitmap& Answer(const TEntry& entry) const;

  std::size_t capacity_;
  std::list<TEntry> entries_;  // most recently used first
  int decodes_ = 0;
};

// Watermark pictures larger than this are refused (a header may claim any
// size; decoding it would allocate gigabytes).
constexpr int kMaxPictureSide = 8192;
constexpr std::int64_t kMaxPicturePixels = 40000000;

// Decodes an image file into a 24-bit picture (Format_BGR888); any alpha
// channel is dropped. Null with `error` set when the file is missing, empty,
// no picture, or larger than the limits above.
QImage DecodeWatermarkPicture(const std::string& path, std::string& error);
// The same into a frame bitmap; false with `error` set.
bool LoadBitmapFile(const std::string& path, TBitmap& bitmap, std::string& error);
