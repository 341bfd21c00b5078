#pragma once
// Images by name, in place of the platform's named-image lookup: an image compiled into the
// program as a Qt resource, drawn from its SVG at its own size or read from its PNG.
// Main thread (SVG images are drawn with a QPainter).

#include <QImage>
#include <QString>

// The program's image called name ("prefs_toolbar_general"): the resource
// ":/images/<name>.svg" or ":/images/<name>.png". A name without an image yields a null
// image; nothing is reported.
QImage ZEPImageNamed(const QString& name);

// The same from another resource folder (":/ZEPHUDKit/", with its slash).
QImage ZEPImageNamedInFolder(const QString& name, const QString& folder);
