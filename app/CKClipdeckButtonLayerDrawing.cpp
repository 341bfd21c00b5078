// How a cell looks: label colour and shading, progress bar, icon, name, key cap, slider,
// action button and clock. The icons and the action button are drawn here, in code.
#include "app/CKClipdeckButtonLayer.h"

#include "clipdeck/CKSoundSource.h"

#include "platform/ui/ZEPYUpGeometry.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QApplication>

#include <cmath>

namespace {

struct GradientStops {
    QColor top, bottom;
};

GradientStops gradientForKey(const QString& key)
{
    auto white = [](double w, double a) { return QColor::fromRgbF(w, w, w, a); };
    if (key == CKClipdeckButtonLayer::GradientPressedKey)
        return {white(0.52, 0.25), white(0.664, 0.55)};
    if (key == CKClipdeckButtonLayer::GradientEmptyKey)
        return {white(0.95, 0.5), white(0.95, 0.5)};
    if (key == CKClipdeckButtonLayer::GradientDragHoveringKey) {
        const QColor selected = QApplication::palette().color(QPalette::Highlight);
        return {selected, selected};
    }
    return {white(1.0, 0.55), white(0.477, 0.25)};
}

void drawIcon(QPainter& painter, const QString& name, const QRectF& area)
{
    const double side = std::min(area.width(), area.height()) * 0.45;
    const QRectF box(area.center().x() - side / 2, area.center().y() - side / 2, side, side);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 120));
    painter.drawEllipse(box.adjusted(-side * 0.25, -side * 0.25, side * 0.25, side * 0.25));
    painter.setBrush(QColor(255, 255, 255, 230));
    if (name == CKClipdeckButtonLayer::OverlayPlay) {
        painter.drawPolygon(QPolygonF() << box.topLeft() + QPointF(side * 0.15, 0)
                                        << QPointF(box.right(), box.center().y())
                                        << box.bottomLeft() + QPointF(side * 0.15, 0));
    } else if (name == CKClipdeckButtonLayer::OverlayStop) {
        painter.drawRect(box.adjusted(side * 0.1, side * 0.1, -side * 0.1, -side * 0.1));
    } else if (name == CKClipdeckButtonLayer::OverlayPause) {
        painter.drawRect(QRectF(box.x() + side * 0.1, box.y(), side * 0.3, side));
        painter.drawRect(QRectF(box.x() + side * 0.6, box.y(), side * 0.3, side));
    } else if (name == CKClipdeckButtonLayer::OverlayRestart) {
        QPen pen(QColor(255, 255, 255, 230), side * 0.16);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(box, 60 * 16, 300 * 16);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 230));
        const QPointF tip(box.center().x() + side * 0.25, box.top());
        painter.drawPolygon(QPolygonF() << tip + QPointF(-side * 0.2, -side * 0.2) << tip + QPointF(side * 0.2, 0)
                                        << tip + QPointF(-side * 0.2, side * 0.2));
    } else if (name == CKClipdeckButtonLayer::OverlayAlert) {
        painter.setBrush(QColor(230, 170, 0));
        painter.drawPolygon(QPolygonF() << QPointF(box.center().x(), box.top()) << box.bottomRight()
                                        << box.bottomLeft());
        painter.setPen(QPen(Qt::black, side * 0.12));
        painter.drawLine(QPointF(box.center().x(), box.top() + side * 0.3),
                         QPointF(box.center().x(), box.bottom() - side * 0.3));
        painter.drawPoint(QPointF(box.center().x(), box.bottom() - side * 0.12));
    }
    painter.restore();
}

void drawActionButton(QPainter& painter, const QRectF& rect, bool pressed)
{
    painter.save();
    painter.setPen(QPen(QColor(80, 80, 80), 0.8));
    painter.setBrush(pressed ? QColor(150, 150, 150) : QColor(245, 245, 245, 220));
    painter.drawEllipse(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(60, 60, 60));
    const double s = rect.width();
    painter.drawPolygon(QPolygonF() << QPointF(rect.x() + s * 0.28, rect.y() + s * 0.4)
                                    << QPointF(rect.x() + s * 0.72, rect.y() + s * 0.4)
                                    << QPointF(rect.center().x(), rect.y() + s * 0.68));
    painter.restore();
}

} // namespace

void CKClipdeckButtonLayer::paint(QPainter& painter, double viewHeight) const
{
    if (!frame_.isEmpty())
        paintInRect(painter, ZEPFlipRect(frame_, viewHeight), false);
}

void CKClipdeckButtonLayer::paintInRect(QPainter& painter, const QRectF& cell, bool forDragImage) const
{
    const double height = frame_.height();
    painter.save();
    painter.translate(cell.topLeft());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity());
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0.5, 0.5, cell.width() - 1, cell.height() - 1), 5, 5);
    painter.setClipPath(shape);

    painter.fillRect(QRectF(0, 0, cell.width(), cell.height()), backgroundColor());
    if (progressBarWidth_ > 0)
        painter.fillRect(ZEPFlipRect(QRectF(1, 1, progressBarWidth_, height - 2), height), progressBarColor_);
    const GradientStops stops = gradientForKey(gradientKey());
    QLinearGradient shading(0, 0, 0, cell.height());
    shading.setColorAt(0, stops.top);
    shading.setColorAt(1, stops.bottom);
    painter.fillRect(QRectF(0, 0, cell.width(), cell.height()), shading);

    if (overlayVisible_ && !forDragImage && !overlayContents_.isEmpty())
        drawIcon(painter, overlayContents_, QRectF(0, 0, cell.width(), cell.height()));

    const QString text = displayedText();
    if (!text.isEmpty()) {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(std::max(1, int(std::lround(nameFontSize()))));
        painter.setFont(font);
        const QRectF box = ZEPFlipRect(textFrame_, height);
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
        painter.setPen(QColor(255, 255, 255, 190));
        painter.drawText(box.translated(0, 1), flags, text);
        painter.setPen(QColor::fromRgbF(0.152, 0.152, 0.152));
        painter.drawText(box, flags, text);
    }
    if (!forDragImage)
        keyLayer_.paint(painter, height);
    if (sliderIsShowing())
        sliderLayer_.paint(painter, height);
    if (actionButtonShown_)
        drawActionButton(painter, ZEPFlipRect(dropDownMenuFrame_, height), actionButtonPressed_);
    if (clockShown_ && !clockString_.isEmpty()) {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(std::max(1, int(std::lround(clockFontSize()))));
        painter.setFont(font);
        painter.setPen(QColor::fromRgbF(0.152, 0.152, 0.152));
        painter.drawText(ZEPFlipRect(clockFrame(), height), Qt::AlignLeft | Qt::AlignVCenter, clockString_);
    }
    painter.setClipping(false);
    painter.setPen(QPen(QColor::fromRgbF(0.6, 0.6, 0.6), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    painter.restore();
}

QImage CKClipdeckButtonLayer::imageOfCell()
{
    if (!cachedCellImage_.isNull())
        return cachedCellImage_;
    QImage image(frame_.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        paintInRect(painter, QRectF(QPointF(), frame_.size()), true);
    }
    cachedCellImage_ = image;
    return cachedCellImage_;
}

void CKClipdeckButtonLayer::invalidateCache() { cachedCellImage_ = QImage(); }
