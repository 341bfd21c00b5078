#include "app/CKSegmentedControl.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {

// The capsule's parts, plain and pressed.
struct Capsule {
    QImage left, tile, right;
};

const Capsule& capsule(bool pressed)
{
    static const Capsule plain{ZEPImageNamed(QStringLiteral("footerbutton-leftcap")),
                               ZEPImageNamed(QStringLiteral("footerbutton-tile")),
                               ZEPImageNamed(QStringLiteral("footerbutton-rightcap"))};
    static const Capsule down{ZEPImageNamed(QStringLiteral("footerbutton-leftcap-press")),
                              ZEPImageNamed(QStringLiteral("footerbutton-tile-press")),
                              ZEPImageNamed(QStringLiteral("footerbutton-rightcap-press"))};
    return pressed ? down : plain;
}

const QColor kDividerColor(0x6e, 0x6e, 0x6e);

} // namespace

CKSegmentedControl::CKSegmentedControl(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CKSegmentedControl::addSegment(int tag, const QImage& image, const QString& toolTip)
{
    segments_.push_back({tag, image, toolTip, true});
    setFixedSize(sizeHint());
    update();
}

int CKSegmentedControl::tagForSegment(int segment) const
{
    return segment >= 0 && segment < segmentCount() ? segments_[std::size_t(segment)].tag : 0;
}

int CKSegmentedControl::segmentForTag(int tag) const
{
    for (int segment = 0; segment < segmentCount(); ++segment) {
        if (segments_[std::size_t(segment)].tag == tag)
            return segment;
    }
    return -1;
}

void CKSegmentedControl::setSegmentEnabled(int tag, bool enabled)
{
    const int segment = segmentForTag(tag);
    if (segment < 0 || segments_[std::size_t(segment)].enabled == enabled)
        return;
    segments_[std::size_t(segment)].enabled = enabled;
    if (!enabled && pressedSegment_ == segment)
        pressedSegment_ = -1;
    update();
}

bool CKSegmentedControl::isSegmentEnabled(int tag) const
{
    const int segment = segmentForTag(tag);
    return segment >= 0 && segments_[std::size_t(segment)].enabled;
}

QString CKSegmentedControl::toolTipForSegment(int segment) const
{
    return segment >= 0 && segment < segmentCount() ? segments_[std::size_t(segment)].toolTip : QString();
}

QRect CKSegmentedControl::rectForSegment(int segment) const
{
    if (segment < 0 || segment >= segmentCount())
        return QRect();
    return QRect(segment * kSegmentWidth, 0, kSegmentWidth, kHeight);
}

int CKSegmentedControl::segmentAtPoint(const QPoint& point) const
{
    for (int segment = 0; segment < segmentCount(); ++segment) {
        if (rectForSegment(segment).contains(point))
            return segment;
    }
    return -1;
}

QSize CKSegmentedControl::sizeHint() const { return QSize(segmentCount() * kSegmentWidth, kHeight); }

bool CKSegmentedControl::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTipForSegment(segmentAtPoint(help->pos()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this, rectForSegment(segmentAtPoint(help->pos())));
        return true;
    }
    return QWidget::event(event);
}

void CKSegmentedControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!isEnabled())
        painter.setOpacity(0.5);
    const Capsule& plain = capsule(false);
    ZEPDrawThreePartImage(painter, rect(), plain.left, plain.tile, plain.right, false,
                          QPainter::CompositionMode_SourceOver, 1.0, true, true);
    const int count = segmentCount();
    for (int segment = 0; segment < count; ++segment) {
        const QRect frame = rectForSegment(segment);
        if (segment == pressedSegment_ && pressedInside_) {
            // The pressed segment alone, its caps only where the capsule has them.
            const Capsule& down = capsule(true);
            ZEPDrawThreePartImage(painter, frame, segment == 0 ? down.left : QImage(), down.tile,
                                  segment == count - 1 ? down.right : QImage(), false,
                                  QPainter::CompositionMode_SourceOver, 1.0, true, true);
        }
        if (segment > 0)
            painter.fillRect(QRect(frame.left(), 1, 1, kHeight - 2), kDividerColor);
        const Segment& item = segments_[std::size_t(segment)];
        if (item.image.isNull())
            continue;
        const QSizeF size = ZEPImageSize(item.image);
        const QPointF origin(frame.left() + qRound((frame.width() - size.width()) / 2),
                             qRound((frame.height() - size.height()) / 2));
        painter.save();
        if (!item.enabled)
            painter.setOpacity(painter.opacity() * 0.35);
        painter.drawImage(QRectF(origin, size), item.image);
        painter.restore();
    }
}

void CKSegmentedControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const int segment = segmentAtPoint(event->position().toPoint());
    if (segment < 0 || !segments_[std::size_t(segment)].enabled)
        return;
    pressedSegment_ = segment;
    pressedInside_ = true;
    update();
}

void CKSegmentedControl::mouseMoveEvent(QMouseEvent* event)
{
    if (pressedSegment_ < 0)
        return;
    const bool inside = rectForSegment(pressedSegment_).contains(event->position().toPoint());
    if (inside != pressedInside_) {
        pressedInside_ = inside;
        update();
    }
}

void CKSegmentedControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || pressedSegment_ < 0)
        return;
    const int segment = pressedSegment_;
    const bool clicked = rectForSegment(segment).contains(event->position().toPoint());
    pressedSegment_ = -1;
    pressedInside_ = false;
    update();
    if (clicked && segments_[std::size_t(segment)].enabled)
        emit segmentClicked(segments_[std::size_t(segment)].tag);
}
