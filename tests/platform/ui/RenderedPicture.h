#pragma once
// What a widget draws, on a transparent picture: no window background, children included.

#include <QImage>
#include <QRegion>
#include <QWidget>

inline QImage renderedPicture(QWidget& widget, const QRegion& region = QRegion())
{
    QImage picture(widget.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    widget.render(&picture, QPoint(), region, QWidget::DrawChildren);
    return picture;
}

// A picture of one colour.
inline QImage solidImage(const QColor& color, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

inline bool isTransparent(const QImage& picture)
{
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qAlpha(picture.pixel(x, y)) != 0)
                return false;
    return true;
}
