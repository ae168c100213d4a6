// The program's look: the one style sheet and the artwork drawn for it, both
// read from the data folder. A missing or unreadable file leaves a plain
// control (null picture, empty style), never an error.
//
// Stateless apart from a cache of rendered pictures; user-interface thread only.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

class QApplication;

namespace theme {

// The path of an artwork file "skin/<name>.svg" in the data folder.
QString ArtworkPath(const QString& name);
// The artwork rendered at `size` (its own size when empty); null when the
// file is missing or not a picture.
QPixmap Artwork(const QString& name, QSize size = {});
QIcon ArtworkIcon(const QString& name, QSize size = {});
// Applies the style sheet of the data folder to the application.
void Apply(QApplication& app);

}  // namespace theme
