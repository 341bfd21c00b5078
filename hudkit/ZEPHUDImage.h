#pragma once
// The kit's skin images, compiled into the library as resources. Main thread (SVG images
// are drawn with a QPainter).

#include <QImage>
#include <QString>

// The image called name ("button-leftcap", "slider-ball", ...), drawn from its SVG at its
// own size, or read from a PNG of that name. A name without an image yields a null image;
// nothing is reported.
QImage ZEPHUDImageNamed(const QString& name);
