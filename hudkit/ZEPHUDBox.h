#pragma once
// The HUD box: a bezel border draws the nine "outset-" parts over the whole box, a groove
// border the nine "inset-" parts; the picture is cached and built again only when the
// box's frame has changed since. A line border is a one-pixel frame in the border colour,
// drawn only inside the rectangle being redrawn. Without a border the box draws nothing.
// Children are laid out by their owner. Main thread only.

#include <QColor>
#include <QImage>
#include <QWidget>

class ZEPHUDBox : public QWidget {
    Q_OBJECT
public:
    enum BorderType {
        NoBorder = 0,
        LineBorder = 1,
        BezelBorder = 2,
        GrooveBorder = 3,
    };

    ZEPHUDBox(const QRect& frame, BorderType borderType, QWidget* parent = nullptr);

    BorderType borderType() const { return borderType_; }

    // Kept for the next draw.
    void setBorderColor(const QColor& color) { _borderColor = color; }
    QColor borderColor() const { return _borderColor; }

    // The picture of a bezel or groove border as last built; null before the first draw.
    QImage cachedImage() const { return _cachedImage; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setup();
    void loadImages();
    void drawRect(QPainter& painter, const QRect& dirtyRect);
    void _refreshCache();

    BorderType borderType_;
    QImage _cachedImage;
    QImage _topLeft, _topCenter, _topRight;
    QImage _middleLeft, _middleCenter, _middleRight;
    QImage _bottomLeft, _bottomCenter, _bottomRight;
    QColor _borderColor = QColor(255, 255, 255, 90);
    QRect _oldFrame;
};
