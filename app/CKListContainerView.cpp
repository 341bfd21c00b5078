#include "app/CKListContainerView.h"

#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>

#include <algorithm>

CKListContainerView::CKListContainerView(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setGeometry(frame);
    readjustEverything();
}

CKListContainerView::~CKListContainerView()
{
    // The children go with the container; nothing is to be heard of them on the way.
    for (const QPointer<QWidget>& view : subviews_)
        if (view)
            disconnect(view, nullptr, this, nullptr);
    if (emptyRowView_)
        disconnect(emptyRowView_, nullptr, this, nullptr);
}

void CKListContainerView::setEmptyRowView(QWidget* view)
{
    if (view == emptyRowView_)
        return;
    if (emptyRowView_) {
        takeOut(emptyRowView_);
        disconnect(emptyRowView_, nullptr, this, nullptr);
        emptyRowView_->deleteLater();
    }
    emptyRowView_ = view;
    if (view) {
        view->hide();
        view->setParent(this);
        connect(view, &QObject::destroyed, this, [this, view] { takeOut(view); });
    }
    resetEmptyRow();
}

void CKListContainerView::setBackgroundInsets(const CKEdgeInsets& insets)
{
    backgroundInsets_ = insets;
    update();
}

bool CKListContainerView::isSubview(const QWidget* view) const
{
    return view && std::find(subviews_.begin(), subviews_.end(), view) != subviews_.end();
}

int CKListContainerView::numberOfRows() const
{
    const int count = int(subviews_.size());
    if (count == 1 && subviews_.front() == emptyRowView_)
        return 0;
    if (alwaysDisplaysEmptyRowAtBottom_ && isSubview(emptyRowView_))
        return count - 1;
    return count;
}

QRect CKListContainerView::defaultRowFrame() const { return QRect(0, 0, width(), kDefaultRowHeight); }

QWidget* CKListContainerView::rowAtIndex(int index) const
{
    if (index < 0 || index >= int(subviews_.size()))
        return nullptr;
    return subviews_[size_t(index)];
}

int CKListContainerView::indexOfRow(QWidget* view) const
{
    const auto found = std::find(subviews_.begin(), subviews_.end(), view);
    return view && found != subviews_.end() ? int(found - subviews_.begin()) : kNotFound;
}

QRect CKListContainerView::rectOfRowAtIndex(int index) const
{
    const QWidget* row = rowAtIndex(index);
    return row ? row->geometry() : QRect();
}

void CKListContainerView::resetFrameOfView(QWidget* view, int index)
{
    int y = 0;
    for (int i = 0; i < index && i < int(subviews_.size()); ++i)
        y += subviews_[size_t(i)]->height();
    view->setGeometry(0, y, width(), view->height());
}

void CKListContainerView::addRow(QWidget* view) { addRow(view, numberOfRows()); }

void CKListContainerView::addRow(QWidget* view, int atIndex)
{
    if (!view || isSubview(view))
        return;
    const int count = int(subviews_.size());
    const int index = atIndex < 0 || atIndex > count ? count : atIndex;
    resetFrameOfView(view, index);
    view->setParent(this);
    subviews_.insert(subviews_.begin() + index, view);
    connect(view, &QObject::destroyed, this, [this, view] { takeOut(view); });
    view->show();
    resetEmptyRow();
}

void CKListContainerView::takeOut(QWidget* view)
{
    subviews_.erase(std::remove(subviews_.begin(), subviews_.end(), view), subviews_.end());
}

void CKListContainerView::removeRowAtIndex(int index)
{
    if (index < 0 || index >= numberOfRows())
        return;
    QWidget* row = subviews_[size_t(index)];
    takeOut(row);
    disconnect(row, nullptr, this, nullptr);
    row->hide();
    row->deleteLater();
    resetEmptyRow();
    if (!emptyRowIsVisible())
        readjustEverything();
}

void CKListContainerView::removeAllRows()
{
    const std::vector<QPointer<QWidget>> views = std::move(subviews_);
    subviews_.clear();
    for (const QPointer<QWidget>& view : views) {
        if (!view || view == emptyRowView_)
            continue;
        disconnect(view, nullptr, this, nullptr);
        view->hide();
        view->deleteLater();
    }
    if (emptyRowView_) {
        emptyRowView_->hide();
        if (alwaysDisplaysEmptyRowAtBottom_) {
            subviews_.push_back(emptyRowView_);
            emptyRowView_->show();
        }
    }
    readjustEverything();
}

bool CKListContainerView::emptyRowIsVisible() const
{
    if (numberOfRows() > 0)
        return alwaysDisplaysEmptyRowAtBottom_;
    return subviews_.size() == 1 ? true : alwaysDisplaysEmptyRowAtBottom_;
}

void CKListContainerView::setAlwaysDisplaysEmptyRowAtBottom(bool flag)
{
    if (alwaysDisplaysEmptyRowAtBottom_ && !flag) {
        alwaysDisplaysEmptyRowAtBottom_ = false;
        resetEmptyRow();
    }
}

QSizeF CKListContainerView::contentSize() const
{
    QSizeF size(0, 0);
    for (const QPointer<QWidget>& view : subviews_) {
        size.setWidth(std::max<qreal>(size.width(), view->width()));
        size.setHeight(size.height() + view->height());
    }
    return size;
}

QScrollArea* CKListContainerView::parentScrollView() const
{
    for (QWidget* view = const_cast<CKListContainerView*>(this); view; view = view->parentWidget())
        if (auto* scrollArea = qobject_cast<QScrollArea*>(view))
            return scrollArea;
    return nullptr;
}

QWidget* CKListContainerView::parentClipView() const
{
    QScrollArea* scrollArea = parentScrollView();
    return scrollArea ? scrollArea->viewport() : nullptr;
}

void CKListContainerView::readjustEverything()
{
    if (needsReadjust_)
        return;
    needsReadjust_ = true;
    QMetaObject::invokeMethod(this, [this] { actuallyReadjustEverything(); }, Qt::QueuedConnection);
}

void CKListContainerView::actuallyReadjustEverything()
{
    if (!needsReadjust_)
        return;
    needsReadjust_ = false;
    const double oldHeight = height();
    int total = 0;
    for (const QPointer<QWidget>& view : subviews_) {
        view->move(view->x(), total);
        total += view->height();
    }
    oldHeight_ = total;
    if (delegate_)
        delegate_->listContainerView(this, float(oldHeight), float(total));
    if (emptyRowView_ && (alwaysDisplaysEmptyRowAtBottom_ || (numberOfRows() == 0 && !subviews_.empty())))
        emptyRowView_->move(emptyRowView_->x(), total - emptyRowView_->height());
    if (parentScrollView() && parentWidget())
        setGeometry(x(), y(), parentWidget()->width(), total);
}

void CKListContainerView::resetEmptyRow()
{
    if (alwaysDisplaysEmptyRowAtBottom_) {
        adjustViewsAfterIndex(numberOfRows(), kDefaultRowHeight);
    } else if (emptyRowView_) {
        if (numberOfRows() > 0) {
            if (isSubview(emptyRowView_)) {
                takeOut(emptyRowView_);
                emptyRowView_->hide();
            }
        } else if (subviews_.empty()) {
            emptyRowView_->setGeometry(0, 0, width(), emptyRowView_->height());
            subviews_.push_back(emptyRowView_);
            emptyRowView_->show();
        }
    }
    readjustEverything();
}

void CKListContainerView::adjustViewsAfterIndex(int index, int height)
{
    const int flagAllowance = alwaysDisplaysEmptyRowAtBottom_ ? kDefaultRowHeight : 0;
    const double oldHeight = contentSize().height() - flagAllowance;
    for (size_t i = size_t(std::max(index, 0)); i < subviews_.size(); ++i)
        subviews_[i]->move(subviews_[i]->x(), subviews_[i]->y() + height);
    const double newHeight = height + oldHeight - flagAllowance;
    if (!alwaysDisplaysEmptyRowAtBottom_ && isSubview(emptyRowView_))
        return;
    if (delegate_)
        delegate_->listContainerView(this, float(oldHeight), float(newHeight));
}

void CKListContainerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    for (int i = 0; i < numberOfRows(); ++i)
        resetFrameOfView(subviews_[size_t(i)], i);
    // The empty row follows the container's width.
    if (emptyRowView_)
        emptyRowView_->resize(width(), emptyRowView_->height());
}

void CKListContainerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF background(backgroundInsets_.left, 0, width() - backgroundInsets_.left - backgroundInsets_.right,
                            height());
    QPainterPath path;
    path.addRoundedRect(background.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    painter.fillPath(path, QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1.0f));
    painter.setPen(QColor::fromRgbF(0, 0, 0, 0.35f));
    painter.drawPath(path);
}
