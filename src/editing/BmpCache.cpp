#include "editing/BmpCache.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "engine/FFmpegException.h"

bool LoadBitmapFile(const std::string& path, TBitmap& bitmap, std::string& error) {
  QImageReader reader(QString::fromStdString(path));
  // The editor only offers BMP files, but a picture saved under the wrong
  // extension is still worth drawing.
  reader.setDecideFormatFromContent(true);
  QImage image = reader.read();
  if (image.isNull()) {
    error = reader.errorString().toStdString();
    return false;
  }
  image = image.convertToFormat(QImage::Format_BGR888);
  if (image.isNull()) {
    error = "cannot convert the picture to 24 bits";
    return false;
  }
  bitmap.SetSize(image.width(), image.height());
  const std::size_t rowBytes = std::size_t(image.width()) * 3;
  for (int y = 0; y < image.height(); ++y) std::memcpy(bitmap.ScanLine(y), image.constScanLine(y), rowBytes);
  return true;
}

TBmpCache::TStamp TBmpCache::StampOf(const std::string& path) {
  const std::filesystem::path file = std::filesystem::path(path);
  std::error_code ec;
  TStamp stamp;
  stamp.Modified = std::filesystem::last_write_time(file, ec);
  if (!ec) stamp.Size = std::filesystem::file_size(file, ec);
  if (ec) throw FFmpegException("Cannot open the watermark image \"" + path + "\": " + ec.message());
  return stamp;
}

const TBitmap& TBmpCache::Get(const std::string& path) {
  const TStamp stamp = StampOf(path);
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const TEntry& e) { return e.Path == path; });
  if (it != entries_.end() && it->Stamp == stamp) {
    entries_.splice(entries_.begin(), entries_, it);
    return Answer(entries_.front());
  }
  if (it != entries_.end()) entries_.erase(it);
  return Answer(Decode(path, stamp));
}

TBmpCache::TEntry& TBmpCache::Decode(const std::string& path, const TStamp& stamp) {
  ++decodes_;
  TEntry entry{path, stamp, TBitmap(), {}};
  if (!LoadBitmapFile(path, *entry.Picture, entry.Error)) entry.Picture.reset();
  entries_.push_front(std::move(entry));
  while (entries_.size() > capacity_) entries_.pop_back();
  return entries_.front();
}

const TBitmap& TBmpCache::Answer(const TEntry& entry) const {
  if (!entry.Picture)
    throw FFmpegException("Cannot read the watermark image \"" + entry.Path + "\": " + entry.Error);
  return *entry.Picture;
}
