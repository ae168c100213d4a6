#include "gui/common/Theme.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include "platform/Folders.h"

namespace theme {

QString ArtworkPath(const QString& name) {
  return QString::fromStdString(platform::DataFolder()) + "skin/" + name + ".svg";
}

QPixmap Artwork(const QString& name, QSize size) {
  static QHash<QString, QPixmap> cache;
  const QString key = name + QString("@%1x%2").arg(size.width()).arg(size.height());
  if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;
  QSvgRenderer renderer(ArtworkPath(name));
  QPixmap picture;
  if (renderer.isValid()) {
    const QSize target = size.isEmpty() ? renderer.defaultSize() : size;
    if (!target.isEmpty()) {
      picture = QPixmap(target);
      picture.fill(Qt::transparent);
      QPainter painter(&picture);
      renderer.render(&painter);
    }
  }
  cache.insert(key, picture);
  return picture;
}

QIcon ArtworkIcon(const QString& name, QSize size) {
  const QPixmap picture = Artwork(name, size);
  return picture.isNull() ? QIcon() : QIcon(picture);
}

void Apply(QApplication& app) {
  // The style sheet names its pictures "skin:<file>".
  QDir::setSearchPaths("skin", {QString::fromStdString(platform::DataFolder()) + "skin"});
  QFile file(QString::fromStdString(platform::DataFolder()) + "theme.qss");
  if (file.open(QIODevice::ReadOnly)) app.setStyleSheet(QString::fromUtf8(file.readAll()));
  app.setWindowIcon(ArtworkIcon("quor", QSize(64, 64)));
}

}  // namespace theme
