#include "controls/ThumbArtwork.h"

#include <cstdlib>

namespace {

enum class Pointing { Left, Right, Up, Down };

struct ArtSize {
  int along;   // length along the track (odd, so the tip has a centre pixel)
  int across;  // length across the track
};

bool ParseName(QString name, ArtSize& size, Pointing& pointing, bool& mask) {
  mask = name.endsWith(QLatin1String("MASK"));
  if (mask) name.chop(4);
  if (!name.endsWith(QLatin1String("THUMB"))) return false;
  name.chop(5);

  static const struct {
    const char* prefix;
    ArtSize size;
  } sizes[] = {{"SM", {9, 14}}, {"MED", {11, 20}}, {"LG", {15, 26}}};
  static const struct {
    const char* word;
    Pointing pointing;
  } directions[] = {{"LEFT", Pointing::Left},
                    {"RIGHT", Pointing::Right},
                    {"UP", Pointing::Up},
                    {"DOWN", Pointing::Down}};
  for (const auto& s : sizes) {
    if (!name.startsWith(QLatin1String(s.prefix))) continue;
    const QString rest = name.mid(int(qstrlen(s.prefix)));
    for (const auto& d : directions) {
      if (rest == QLatin1String(d.word)) {
        size = s.size;
        pointing = d.pointing;
        return true;
      }
    }
  }
  return false;
}

// A pentagon: a body across the track with a 45-degree tip towards the
// pointing side; tested per pixel so the outline is exact at every size.
bool Inside(Pointing p, const QSize& img, int x, int y) {
  if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) return false;
  switch (p) {
    case Pointing::Up: return y >= std::abs(x - (img.width() - 1) / 2);
    case Pointing::Down: return img.height() - 1 - y >= std::abs(x - (img.width() - 1) / 2);
    case Pointing::Left: return x >= std::abs(y - (img.height() - 1) / 2);
    case Pointing::Right: return img.width() - 1 - x >= std::abs(y - (img.height() - 1) / 2);
  }
  return false;
}

// Light from the top left: an outer white/black bevel and an inner grey shadow.
QRgb ShadeAt(Pointing p, const QSize& img, int x, int y) {
  auto in = [&](int dx, int dy) { return Inside(p, img, x + dx, y + dy); };
  if (!in(1, 0) || !in(0, 1)) return qRgb(0, 0, 0);
  if (!in(-1, 0) || !in(0, -1)) return qRgb(255, 255, 255);
  if (!in(2, 0) || !in(0, 2) || !in(1, 1)) return qRgb(128, 128, 128);
  return qRgb(192, 192, 192);
}

}  // namespace

QImage LoadThumbArtwork(const QString& name) {
  ArtSize size{};
  Pointing pointing{};
  bool mask = false;
  if (!ParseName(name, size, pointing, mask)) return {};

  const bool vertical = pointing == Pointing::Up || pointing == Pointing::Down;
  const QSize dim = vertical ? QSize(size.along, size.across) : QSize(size.across, size.along);
  QImage img(dim, QImage::Format_RGB32);
  for (int y = 0; y < dim.height(); ++y) {
    for (int x = 0; x < dim.width(); ++x) {
      const bool in = Inside(pointing, dim, x, y);
      QRgb c;
      if (mask)
        c = in ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
      else
        c = in ? ShadeAt(pointing, dim, x, y) : qRgb(0, 0, 0);
      img.setPixel(x, y, c);
    }
  }
  return img;
}

QImage ComposeMasked(const QImage& picture, const QImage& mask) {
  QImage out(picture.size(), QImage::Format_ARGB32);
  out.fill(Qt::transparent);
  const QImage pic = picture.convertToFormat(QImage::Format_RGB32);
  const QImage msk = mask.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < out.height() && y < msk.height(); ++y) {
    for (int x = 0; x < out.width() && x < msk.width(); ++x) {
      if (qGray(msk.pixel(x, y)) < 128) out.setPixel(x, y, pic.pixel(x, y) | 0xff000000u);
    }
  }
  return out;
}
