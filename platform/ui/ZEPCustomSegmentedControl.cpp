#include "platform/ui/ZEPCustomSegmentedControl.h"

#include "platform/ui/PartImages.h"

#include <QFontMetrics>
#include <QtMath>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int kLabelPadding = 8;
}

ZEPCustomSegmentedControl::ZEPCustomSegmentedControl(QWidget* parent)
    : QWidget(parent)
    , labelAttributes_(ZEPSmallTextAttributes(Qt::black))
{
}

void ZEPCustomSegmentedControl::setInactiveTabLeftImage(const QImage& leftImage,
                                                        const QImage& centerImage,
                                                        const QImage& rightImage)
{
    inactive_ = {leftImage, centerImage, rightImage};
    updateGeometry();
    update();
}

void ZEPCustomSegmentedControl::setActiveTabLeftImage(const QImage& leftImage,
                                                      const QImage& centerImage,
                                                      const QImage& rightImage)
{
    active_ = {leftImage, centerImage, rightImage};
    update();
}

void ZEPCustomSegmentedControl::setSegmentSeperatorImage(const QImage& image)
{
    separator_ = image;
    update();
}

void ZEPCustomSegmentedControl::setAttributesForLabels(const ZEPTextAttributes& attributes)
{
    labelAttributes_ = attributes;
    updateGeometry();
    update();
}

void ZEPCustomSegmentedControl::setSegmentCount(int count)
{
    labels_.resize(std::max(0, count));
    if (selectedSegment_ >= segmentCount())
        selectedSegment_ = segmentCount() - 1;
    updateGeometry();
    update();
}

void ZEPCustomSegmentedControl::setLabel(const QString& label, int segment)
{
    if (segment < 0 || segment >= segmentCount())
        return;
    labels_[segment] = label;
    updateGeometry();
    update();
}

QString ZEPCustomSegmentedControl::labelForSegment(int segment) const
{
    return (segment >= 0 && segment < segmentCount()) ? labels_[segment] : QString();
}

void ZEPCustomSegmentedControl::setSelectedSegment(int segment)
{
    selectedSegment_ = (segment >= 0 && segment < segmentCount()) ? segment : -1;
    update();
}

QRectF ZEPCustomSegmentedControl::rectForSegment(int segment) const
{
    if (segment < 0 || segment >= segmentCount())
        return QRectF();
    const qreal segmentWidth = qreal(width()) / segmentCount();
    return QRectF(segment * segmentWidth, 0, segmentWidth, height());
}

QSize ZEPCustomSegmentedControl::sizeHint() const
{
    const QFontMetrics metrics(labelAttributes_.font);
    int widest = 0;
    for (const QString& label : labels_)
        widest = std::max(widest, metrics.horizontalAdvance(label));
    const qreal capWidth = std::max(ZEPImageSize(inactive_.left).width(), ZEPImageSize(inactive_.right).width());
    const int segmentWidth = widest + 2 * std::max(qCeil(capWidth), kLabelPadding);
    return QSize(segmentCount() * segmentWidth,
                 std::max(qCeil(ZEPImageSize(inactive_.center).height()), metrics.height() + 4));
}

void ZEPCustomSegmentedControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!isEnabled())
        painter.setOpacity(0.5);
    const int count = segmentCount();
    for (int i = 0; i < count; ++i) {
        const TabImages& images = (i == selectedSegment_) ? active_ : inactive_;
        ZEPDrawThreePartImage(painter, rectForSegment(i), i == 0 ? images.left : QImage(),
                              images.center, i == count - 1 ? images.right : QImage(), false,
                              QPainter::CompositionMode_SourceOver, 1.0, true, true);
    }
    if (!separator_.isNull()) {
        const QSizeF size = ZEPImageSize(separator_);
        for (int i = 1; i < count; ++i) {
            const qreal x = rectForSegment(i).left();
            painter.drawImage(QRectF(QPointF(qRound(x - size.width() / 2), (height() - size.height()) / 2), size),
                              separator_);
        }
    }
    for (int i = 0; i < count; ++i)
        ZEPDrawText(painter, rectForSegment(i), Qt::AlignCenter, labels_[i], labelAttributes_);
}

void ZEPCustomSegmentedControl::mousePressEvent(QMouseEvent* event)
{
    for (int i = 0; i < segmentCount(); ++i) {
        if (rectForSegment(i).contains(event->position()) && i != selectedSegment_) {
            setSelectedSegment(i);
            emit segmentClicked(i);
            return;
        }
    }
}
