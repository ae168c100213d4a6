// Pointer thumb pictures of the track bar, drawn in code so that the control
// needs no artwork files. Pure functions; any thread may call them.
#pragma once

#include <QImage>
#include <QString>

// The picture named "SMLEFTTHUMB" ... "LGDOWNTHUMB" (size prefix SM, MED or LG,
// pointing LEFT, RIGHT, UP or DOWN), or with "MASK" appended its mask: black
// where the picture covers, white where the background shows. Unknown names
// give a null image.
QImage LoadThumbArtwork(const QString& name);

// One image that shows the picture where the mask is black and is
// transparent elsewhere (the same result as AND-ing the mask and OR-ing the
// picture onto a background).
QImage ComposeMasked(const QImage& picture, const QImage& mask);
