#include "platform/ui/ZEPCustomMenuView.h"

#include <QAction>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace {
constexpr qreal kSeparatorHeight = 9;
constexpr qreal kItemPadding = 6;     // above and below a title, together
constexpr qreal kLeftInset = 18;      // room for the check mark
constexpr qreal kRightInset = 14;
constexpr qreal kHighlightInset = 1;  // keeps the highlight off the border's sides
const QString kCheckMark = QStringLiteral("\u2713");
} // namespace

ZEPCustomMenuView::ZEPCustomMenuView(const QRect& frame, QWidget* parent)
    : QWidget(parent)
    , normalTextAttributes_(ZEPSmallTextAttributes(Qt::black))
{
    setGeometry(frame);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void ZEPCustomMenuView::setNormalTextAttributes(const ZEPTextAttributes& attributes)
{
    normalTextAttributes_ = attributes;
    update();
}

void ZEPCustomMenuView::setBorderHeight(const QSizeF& size)
{
    borderHeight_ = size;
    update();
}

void ZEPCustomMenuView::setMenu(QMenu* menu)
{
    menu_ = menu;
    highlightedIndex_ = -1;
    update();
}

qreal ZEPCustomMenuView::itemHeight(const QAction* item) const
{
    if (item->isSeparator())
        return kSeparatorHeight;
    return std::ceil(QFontMetricsF(normalTextAttributes_.font).height() + kItemPadding);
}

QSize ZEPCustomMenuView::sizeForMenu(const QMenu* menu, int minimumWidth) const
{
    const QFontMetricsF metrics(normalTextAttributes_.font);
    qreal height = 2 * borderHeight_.height();
    qreal widest = 0;
    if (menu) {
        for (const QAction* item : menu->actions()) {
            height += itemHeight(item);
            if (!item->isSeparator())
                widest = std::max(widest, metrics.horizontalAdvance(item->text()));
        }
    }
    const qreal width = std::max<qreal>(minimumWidth, kLeftInset + widest + kRightInset);
    return QSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
}

QRectF ZEPCustomMenuView::rectOfItemAtIndex(int index) const
{
    if (!menu_)
        return QRectF();
    const QList<QAction*> items = menu_->actions();
    if (index < 0 || index >= items.size())
        return QRectF();
    qreal top = borderHeight_.height();
    for (int i = 0; i < index; ++i)
        top += itemHeight(items[i]);
    return QRectF(0, top, width(), itemHeight(items[index]));
}

int ZEPCustomMenuView::indexOfItemAtPoint(const QPointF& point) const
{
    if (!menu_ || !rect().contains(point.toPoint()))
        return -1;
    const int count = menu_->actions().size();
    for (int i = 0; i < count; ++i) {
        if (rectOfItemAtIndex(i).contains(point))
            return i;
    }
    return -1;
}

bool ZEPCustomMenuView::isChoosable(int index) const
{
    if (!menu_ || index < 0 || index >= menu_->actions().size())
        return false;
    const QAction* item = menu_->actions()[index];
    return !item->isSeparator() && item->isEnabled();
}

void ZEPCustomMenuView::setHighlightedIndex(int index)
{
    const int highlighted = isChoosable(index) ? index : -1;
    if (highlighted == highlightedIndex_)
        return;
    highlightedIndex_ = highlighted;
    update();
}

void ZEPCustomMenuView::drawBackgroundInRect(QPainter& painter, const QRect& rect)
{
    painter.fillRect(rect, QColor(30, 30, 30, 240));
}

void ZEPCustomMenuView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    drawBackgroundInRect(painter, event->rect());
    if (!menu_)
        return;
    const QList<QAction*> items = menu_->actions();
    for (int i = 0; i < items.size(); ++i) {
        const QAction* item = items[i];
        const QRectF itemRect = rectOfItemAtIndex(i);
        if (item->isSeparator()) {
            const qreal y = std::floor(itemRect.center().y()) + 0.5;
            QColor line = normalTextAttributes_.foregroundColor;
            line.setAlphaF(line.alphaF() * 0.3);
            painter.setPen(line);
            painter.drawLine(QPointF(kHighlightInset + 4, y), QPointF(width() - kHighlightInset - 4, y));
            continue;
        }
        if (i == highlightedIndex_)
            painter.fillRect(itemRect.adjusted(kHighlightInset, 0, -kHighlightInset, 0),
                             palette().color(QPalette::Highlight));
        painter.save();
        if (!item->isEnabled())
            painter.setOpacity(0.5);
        if (item->isChecked())
            ZEPDrawText(painter, QRectF(itemRect.left(), itemRect.top(), kLeftInset, itemRect.height()),
                        Qt::AlignCenter, kCheckMark, normalTextAttributes_);
        ZEPDrawText(painter, itemRect.adjusted(kLeftInset, 0, -kRightInset, 0),
                    Qt::AlignLeft | Qt::AlignVCenter, item->text(), normalTextAttributes_);
        painter.restore();
    }
}

void ZEPCustomMenuView::mouseMoveEvent(QMouseEvent* event)
{
    setHighlightedIndex(indexOfItemAtPoint(event->position()));
}

void ZEPCustomMenuView::mouseReleaseEvent(QMouseEvent* event)
{
    const int index = indexOfItemAtPoint(event->position());
    if (event->button() == Qt::LeftButton && isChoosable(index))
        emit itemChosen(menu_->actions()[index]);
}

void ZEPCustomMenuView::moveHighlight(int step)
{
    if (!menu_)
        return;
    const int count = menu_->actions().size();
    for (int i = highlightedIndex_ + step; i >= 0 && i < count; i += step) {
        if (isChoosable(i)) {
            setHighlightedIndex(i);
            return;
        }
    }
}

void ZEPCustomMenuView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        moveHighlight(-1);
        break;
    case Qt::Key_Down:
        moveHighlight(1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (isChoosable(highlightedIndex_))
            emit itemChosen(menu_->actions()[highlightedIndex_]);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ZEPCustomMenuView::leaveEvent(QEvent*)
{
    setHighlightedIndex(-1);
}
