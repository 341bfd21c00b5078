#include "platform/ui/ZEPCustomTabView.h"

#include "platform/ui/ZEPCustomSegmentedControl.h"
#include "platform/ui/ZEPInnerTabView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

ZEPCustomTabView::ZEPCustomTabView(const QRect& frame, QWidget* parent)
    : QWidget(parent)
    , tabView_(new ZEPInnerTabView(this))
{
    setGeometry(frame);
    layoutSubviews();
}

const QMetaObject* ZEPCustomTabView::tabClass() const
{
    return &ZEPCustomSegmentedControl::staticMetaObject;
}

ZEPCustomSegmentedControl* ZEPCustomTabView::tabBar()
{
    if (tabBar_)
        return tabBar_;
    QObject* made = tabClass()->newInstance(Q_ARG(QWidget*, this));
    tabBar_ = qobject_cast<ZEPCustomSegmentedControl*>(made);
    if (!tabBar_) {
        delete made;
        tabBar_ = new ZEPCustomSegmentedControl(this);
    }
    connect(tabBar_, &ZEPCustomSegmentedControl::segmentClicked, this,
            &ZEPCustomTabView::selectTabViewItemAtIndex);
    tabBar_->show();
    // The pages start below the bar.
    setContentsMargins(0, tabBar_->sizeHint().height(), 0, 0);
    layoutSubviews();
    return tabBar_;
}

void ZEPCustomTabView::layoutSubviews()
{
    tabView_->setGeometry(contentsRect());
    if (tabBar_) {
        const QSize size = tabBar_->sizeHint();
        tabBar_->setGeometry(QRect(QPoint((width() - size.width()) / 2, 0), size));
    }
}

void ZEPCustomTabView::addTabViewItem(QWidget* page, const QString& label)
{
    ZEPCustomSegmentedControl* bar = tabBar();
    tabView_->addWidget(page);
    bar->setSegmentCount(tabView_->count());
    bar->setLabel(label, tabView_->count() - 1);
    if (bar->selectedSegment() < 0)
        bar->setSelectedSegment(0);
    layoutSubviews();
}

int ZEPCustomTabView::numberOfTabViewItems() const
{
    return tabView_->count();
}

int ZEPCustomTabView::indexOfSelectedTabViewItem() const
{
    return tabView_->currentIndex();
}

void ZEPCustomTabView::selectTabViewItemAtIndex(int index)
{
    if (index < 0 || index >= tabView_->count())
        return;
    tabView_->setCurrentIndex(index);
    tabBar()->setSelectedSegment(index);
}

void ZEPCustomTabView::setBackgroundImage(const QImage& image, const QRectF& frame)
{
    backgroundImage_ = image;
    backgroundFrame_ = frame;
    update();
}

void ZEPCustomTabView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    drawRect(painter, event->rect());
    if (!backgroundImage_.isNull())
        painter.drawImage(backgroundFrame_, backgroundImage_);
}

void ZEPCustomTabView::drawRect(QPainter&, const QRect&) {}

void ZEPCustomTabView::resizeEvent(QResizeEvent*)
{
    layoutSubviews();
}

bool ZEPCustomTabView::event(QEvent* event)
{
    if (event->type() == QEvent::ContentsRectChange)
        layoutSubviews();
    return QWidget::event(event);
}
