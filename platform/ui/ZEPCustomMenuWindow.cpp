#include "platform/ui/ZEPCustomMenuWindow.h"

#include "platform/ui/ZEPCustomMenuView.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

ZEPCustomMenuWindow::ZEPCustomMenuWindow(const QRect& frame)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    setGeometry(frame);
}

void ZEPCustomMenuWindow::setupContents()
{
    setContentView(new ZEPCustomMenuView(QRect(QPoint(0, 0), size())));
}

void ZEPCustomMenuWindow::setContentView(ZEPCustomMenuView* view)
{
    if (contentView_ == view)
        return;
    delete contentView_;
    contentView_ = view;
    if (!view)
        return;
    view->setParent(this);
    view->setGeometry(QRect(QPoint(0, 0), size()));
    connect(view, &ZEPCustomMenuView::itemChosen, this, [this](QAction* item) {
        close();
        emit itemChosen(item);
    });
    view->show();
}

void ZEPCustomMenuWindow::popUpMenu(QMenu* menu, const QPoint& topLeft, int minimumWidth,
                                    int highlightedIndex)
{
    if (!contentView_)
        setupContents();
    if (!contentView_)
        return;
    const QSize needed = contentView_->sizeForMenu(menu, minimumWidth);
    if (QRect(topLeft, needed) != geometry()) {
        // The content view is drawn for the frame it is made with, so it is made again.
        setGeometry(QRect(topLeft, needed));
        setupContents();
    }
    contentView_->setMenu(menu);
    contentView_->setHighlightedIndex(highlightedIndex);
    show();
    contentView_->setFocus();
}

void ZEPCustomMenuWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}
