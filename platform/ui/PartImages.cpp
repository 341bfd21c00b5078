#include "platform/ui/PartImages.h"

#include <cmath>

namespace {

QRectF alignedRect(const QRectF& rect, bool alignToPixels)
{
    if (!alignToPixels)
        return rect;
    QRectF result;
    result.setLeft(std::round(rect.left()));
    result.setTop(std::round(rect.top()));
    result.setRight(std::round(rect.right()));
    result.setBottom(std::round(rect.bottom()));
    return result;
}

// Draws one part stretched over target; a null part or an empty target draws nothing.
void drawPart(QPainter& painter, const QImage& part, const QRectF& target, bool alignToPixels)
{
    const QRectF rect = alignedRect(target, alignToPixels);
    if (part.isNull() || rect.width() <= 0 || rect.height() <= 0)
        return;
    painter.drawImage(rect, part, QRectF(part.rect()));
}

// Sets the painter up for one composed picture and puts it back afterwards. When the
// painter runs y-up, rect is mirrored onto itself, so that the parts, laid out top to
// bottom in Qt's way, come out upright and in their places on screen.
class PartDrawingScope {
public:
    PartDrawingScope(QPainter& painter, const QRectF& rect, QPainter::CompositionMode op,
                     qreal opacity, bool flipped)
        : painter_(painter)
    {
        painter_.save();
        if (!flipped) {
            painter_.translate(0, rect.top() + rect.bottom());
            painter_.scale(1, -1);
        }
        painter_.setCompositionMode(op);
        painter_.setOpacity(painter_.opacity() * opacity);
    }
    ~PartDrawingScope() { painter_.restore(); }
    PartDrawingScope(const PartDrawingScope&) = delete;
    PartDrawingScope& operator=(const PartDrawingScope&) = delete;

private:
    QPainter& painter_;
};

// A transparent picture of rect's size, or a null one for an empty rectangle.
QImage emptyPicture(const QRectF& rect)
{
    const QSize size = rect.size().toSize();
    if (size.isEmpty())
        return QImage();
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    return picture;
}

} // namespace

void ZEPDrawThreePartImage(QPainter& painter, const QRectF& rect, const QImage& startCap,
                           const QImage& centerFill, const QImage& endCap, bool vertical,
                           QPainter::CompositionMode op, qreal opacity, bool alignToPixels,
                           bool flipped)
{
    PartDrawingScope scope(painter, rect, op, opacity, flipped);
    if (vertical) {
        const qreal startHeight = ZEPImageSize(startCap).height();
        const qreal endHeight = ZEPImageSize(endCap).height();
        drawPart(painter, centerFill,
                 QRectF(rect.left(), rect.top() + startHeight, rect.width(),
                        rect.height() - startHeight - endHeight),
                 alignToPixels);
        drawPart(painter, startCap, QRectF(rect.left(), rect.top(), rect.width(), startHeight),
                 alignToPixels);
        drawPart(painter, endCap,
                 QRectF(rect.left(), rect.bottom() - endHeight, rect.width(), endHeight),
                 alignToPixels);
    } else {
        const qreal startWidth = ZEPImageSize(startCap).width();
        const qreal endWidth = ZEPImageSize(endCap).width();
        drawPart(painter, centerFill,
                 QRectF(rect.left() + startWidth, rect.top(),
                        rect.width() - startWidth - endWidth, rect.height()),
                 alignToPixels);
        drawPart(painter, startCap, QRectF(rect.left(), rect.top(), startWidth, rect.height()),
                 alignToPixels);
        drawPart(painter, endCap,
                 QRectF(rect.right() - endWidth, rect.top(), endWidth, rect.height()),
                 alignToPixels);
    }
}

void ZEPDrawVerticalThreePartImage(QPainter& painter, const QRectF& rect, const QImage& topCap,
                                   const QImage& centerFill, const QImage& bottomCap,
                                   QPainter::CompositionMode op, qreal opacity,
                                   bool alignToPixels, bool flipped)
{
    ZEPDrawThreePartImage(painter, rect, topCap, centerFill, bottomCap, true, op, opacity,
                          alignToPixels, flipped);
}

QImage ThreePartImage(const QRectF& rect, const QImage& startCap, const QImage& centerFill,
                      const QImage& endCap, bool vertical, QPainter::CompositionMode op,
                      qreal opacity, bool flipped)
{
    // The picture is built upright in its own y-down coordinates; the caller's orientation
    // does not change a picture that only depends on the rectangle's size.
    Q_UNUSED(flipped);
    QImage picture = emptyPicture(rect);
    if (picture.isNull())
        return picture;
    QPainter painter(&picture);
    ZEPDrawThreePartImage(painter, QRectF(QPointF(0, 0), picture.size()), startCap, centerFill,
                          endCap, vertical, op, opacity, true, true);
    return picture;
}

void ZEPDrawNinePartImage(QPainter& painter, const QRectF& rect, const QImage& topLeft,
                          const QImage& top, const QImage& topRight, const QImage& left,
                          const QImage& center, const QImage& right, const QImage& bottomLeft,
                          const QImage& bottom, const QImage& bottomRight,
                          QPainter::CompositionMode op, qreal opacity, bool alignToPixels,
                          bool flipped)
{
    PartDrawingScope scope(painter, rect, op, opacity, flipped);
    const qreal x0 = rect.left(), x3 = rect.right();
    const qreal x1 = x0 + ZEPImageSize(topLeft).width(), x2 = x3 - ZEPImageSize(topRight).width();
    const qreal y0 = rect.top(), y3 = rect.bottom();
    const qreal y1 = y0 + ZEPImageSize(topLeft).height(), y2 = y3 - ZEPImageSize(bottomLeft).height();
    const auto span = [](qreal l, qreal t, qreal r, qreal b) { return QRectF(QPointF(l, t), QPointF(r, b)); };

    drawPart(painter, center, span(x1, y1, x2, y2), alignToPixels);
    drawPart(painter, top, span(x1, y0, x2, y1), alignToPixels);
    drawPart(painter, bottom, span(x1, y2, x2, y3), alignToPixels);
    drawPart(painter, left, span(x0, y1, x1, y2), alignToPixels);
    drawPart(painter, right, span(x2, y1, x3, y2), alignToPixels);
    drawPart(painter, topLeft, span(x0, y0, x1, y1), alignToPixels);
    drawPart(painter, topRight, span(x2, y0, x3, y1), alignToPixels);
    drawPart(painter, bottomLeft, span(x0, y2, x1, y3), alignToPixels);
    drawPart(painter, bottomRight, span(x2, y2, x3, y3), alignToPixels);
}

QImage NinePartImage(const QRectF& rect, const QImage& topLeft, const QImage& top,
                     const QImage& topRight, const QImage& left, const QImage& center,
                     const QImage& right, const QImage& bottomLeft, const QImage& bottom,
                     const QImage& bottomRight, QPainter::CompositionMode op, qreal opacity,
                     bool flipped)
{
    Q_UNUSED(flipped); // see ThreePartImage
    QImage picture = emptyPicture(rect);
    if (picture.isNull())
        return picture;
    QPainter painter(&picture);
    ZEPDrawNinePartImage(painter, QRectF(QPointF(0, 0), picture.size()), topLeft, top, topRight,
                         left, center, right, bottomLeft, bottom, bottomRight, op, opacity, true,
                         true);
    return picture;
}
