#include "editing/BmpCache.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "engine/common/FFmpegException.h"

QImage DecodeWatermarkPicture(const std::string& path, std::string& error) {
  QImageReader reader(QString::fromStdString(path));
  // The editor offers BMP files first, but a picture saved under another
  // extension is still worth drawing.
  reader.setDecideFormatFromContent(true);
  std::error_code ec;
  const std::uintmax_t bytes = std::filesystem::file_size(std::filesystem::path(path), ec);
  if (ec) {
    error = "the file cannot be opened (" + ec.message() + ")";
    return {};
  }
  if (bytes == 0) {
    error = "the file is empty";
    return {};
  }
  // The header tells the size: a picture the frame could never hold is
  // refused before its pixels are allocated.
  const QSize size = reader.size();
  if (!reader.canRead()) {
    error = "it is not a picture this program can read";
    return {};
  }
  if (size.isValid() && (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide ||
                         std::int64_t(size.width()) * size.height() > kMaxPicturePixels)) {
    error = "the picture is too large (" + std::to_string(size.width()) + " x " +
            std::to_string(size.height()) + " pixels)";
    return {};
  }
  QImage image = reader.read();
  if (image.isNull()) {
    error = reader.errorString().toStdString();
    return {};
  }
  image = image.convertToFormat(QImage::Format_BGR888);
  if (image.isNull()) error = "cannot convert the picture to 24 bits";
  return image;
}

bool LoadBitmapFile(const std::string& path, TBitmap& bitmap, std::string& error) {
  const QImage image = DecodeWatermarkPicture(path, error);
  if (image.isNull()) return false;
  bitmap.SetSize(image.width(), image.height());
  const std::size_t rowBytes = std::size_t(image.width()) * 3;
  for (int y = 0; y < image.height(); ++y)
    std::memcpy(bitmap.ScanLine(y), image.constScanLine(y), rowBytes);
  return true;
}

TBmpCache::TStamp TBmpCache::StampOf(const std::string& path) {
  const std::filesystem::path file = std::filesystem::path(path);
  std::error_code ec;
  TStamp stamp;
  stamp.Modified = std::filesystem::last_write_time(file, ec);
  if (!ec) stamp.Size = std::filesystem::file_size(file, ec);
  if (ec)
    throw FFmpegException("Cannot open the watermark image \"" + path + "\": " + ec.message());
  return stamp;
}

const TBitmap& TBmpCache::Get(const std::string& path) {
  const TStamp stamp = StampOf(path);
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const TEntry& e) { return e.Path == path; });
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
