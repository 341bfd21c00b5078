// The tab bar's mouse, rename field and sound drops.
#include "app/CKTabBarView.h"

#include "app/CKMenuPopUp.h"
#include "app/CKPathExtensions.h"
#include "app/CKTabBarLayer.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QWindow>

// Pressing, dragging, releasing --------------------------------------------------------------

void CKTabBarView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (isEditing())
        endEditingName(true);
    isClickingCloseButton_ = false;
    pressed_ = false;
    const QPointF point = locationInView(event);
    if (point.x() < 0 || point.x() >= width())
        return;
    pressed_ = true;
    dragOrigin_ = point;
    dragOriginGlobal_ = event->globalPosition();
    windowOriginAtPress_ = window()->pos();
    windowMoveStarted_ = false;
    dragDidStart_ = false;

    const qsizetype position = indexAtPoint(point);
    if (position >= 0 && position < visibleTabs()) {
        dragLayer_ = tabAtIndex(position);
        if (dragLayer_->pointIsInCloseButton(point)) {
            isClickingCloseButton_ = true;
            return;
        }
        if (dragLayer_->pointIsInDropDownMenuButton(point)) {
            dragIndex_ = dragStartIndex_ = kNotFound;
            QMenu* menu = popupMenu();
            connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
            const QRectF chevron = dragLayer_->dropDownMenuButtonFrame().translated(dragLayer_->frame().topLeft());
            dragLayer_ = nullptr;
            pressed_ = false;
            CKPopUpMenu(menu, this, convertRectToQt(chevron));
            return;
        }
        dragIndex_ = position;
        dragStartIndex_ = overridenIndexForIndex(position);
        selectTabAtIndex(position);
        return;
    }
    dragIndex_ = dragStartIndex_ = kNotFound;
    dragLayer_ = nullptr;
}

void CKTabBarView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click is a press that, released on the tab it pressed, renames it.
    mousePressEvent(event);
    if (pressed_ && dragLayer_ && !isClickingCloseButton_)
        pressedTwice_ = true;
}

void CKTabBarView::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed_ || !(event->buttons() & Qt::LeftButton))
        return;
    if (isClickingCloseButton_ || (!dragDidStart_ && dragIndex_ == kNotFound)) {
        dragWindow(event->globalPosition());
        return;
    }
    if (dragIndex_ == kNotFound || !dragLayer_)
        return;
    const QPointF point = locationInView(event);
    if (!dragDidStart_) {
        dragDidStart_ = true;
        pressedTwice_ = false;
        dragLayer_->setZPosition(10);
        dragLayer_->setDropDownMenuButtonVisible(false);
        dragLayerOriginalFrame_ = rectOfTabAtIndex(dragIndex_);
    }
    const qreal width = tabWidth();
    const qreal newX = dragLayerOriginalFrame_.x() + (point.x() - dragOrigin_.x());
    const qsizetype under = indexAtPoint(QPointF(newX + width / 20, dragLayerOriginalFrame_.y()));
    // Folded tabs stay where they are: a tab only trades places with tabs that show.
    if (under >= 0 && under < visibleTabs() && under != dragIndex_) {
        moveTabAtIndex(under, dragIndex_);
        dragIndex_ = under;
    }
    dragLayer_->setFrame(QRectF(QPointF(newX, dragLayerOriginalFrame_.y()), dragLayerOriginalFrame_.size()));
}

void CKTabBarView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    const bool renames = pressedTwice_;
    pressedTwice_ = false;
    const QPointF point = locationInView(event);
    if (dragDidStart_ && !isClickingCloseButton_) {
        dragDidStart_ = false;
        if (dragLayer_) {
            dragLayer_->setFrame(rectOfTabAtIndex(dragIndex_), true);
            dragLayer_->setZPosition(0);
        }
        dragLayer_ = nullptr;
        updateLayerFrames();
        if (delegate_)
            delegate_->tabBarDidMoveTabAtIndex(this, dragStartIndex_, dragIndex_);
        return;
    }
    const qsizetype position = indexAtPoint(point);
    if (isClickingCloseButton_ && dragLayer_ && dragLayer_->pointIsInCloseButton(point) && position >= 0) {
        const qsizetype board = dragLayer_->overrideTabIndex() >= 0 ? dragLayer_->overrideTabIndex() : position;
        dragLayer_ = nullptr;
        isClickingCloseButton_ = false;
        if (delegate_)
            delegate_->tabBarDidClickCloseButtonAtIndex(this, board);
        return;
    }
    if (renames && dragLayer_ && dragIndex_ != kNotFound)
        beginEditingNameAtIndex(dragIndex_);
    dragLayer_ = nullptr;
    isClickingCloseButton_ = false;
}

void CKTabBarView::dragWindow(const QPointF& globalPosition)
{
    if (windowMoveStarted_)
        return;
    QWidget* top = window();
    // The window manager moves the window when it can; elsewhere (no window manager, the
    // offscreen platform) it follows the pointer by hand.
    if (top->windowHandle() && top->windowHandle()->startSystemMove()) {
        windowMoveStarted_ = true;
        return;
    }
    top->move(windowOriginAtPress_ + (globalPosition - dragOriginGlobal_).toPoint());
}

// Renaming -----------------------------------------------------------------------------------

void CKTabBarView::beginEditingNameAtIndex(qsizetype position)
{
    if (position < 0 || position >= numberOfTabs() || isEditing())
        return;
    if (!textField_) {
        textField_ = new QLineEdit(this);
        textField_->setObjectName(QStringLiteral("tabNameField"));
        textField_->setAlignment(Qt::AlignCenter);
        QFont font = textField_->font();
        font.setPixelSize(11);
        textField_->setFont(font);
        textField_->installEventFilter(this);
        connect(textField_, &QLineEdit::returnPressed, this, [this] {
            if (isEditing())
                endEditingName(true);
        });
    }
    editingIndex_ = position;
    const qsizetype board = overridenIndexForIndex(position);
    nameBeforeEditing_ = nameAtIndex(board);
    textField_->setText(nameBeforeEditing_);
    textField_->selectAll();
    placeTextField();
    textField_->show();
    textField_->raise();
    if (delegate_)
        delegate_->tabBarDidBeginEditingNameAtIndex(this, board);
    textField_->setFocus(Qt::OtherFocusReason);
}

void CKTabBarView::endEditingName(bool keepTypedName)
{
    if (!isEditing())
        return;
    const qsizetype board = overridenIndexForIndex(editingIndex_);
    // The bar is no longer editing before the field goes: losing the focus ends nothing more.
    editingIndex_ = kNotFound;
    const QString typed = textField_->text().trimmed();
    const QString name = keepTypedName && !typed.isEmpty() ? typed : nameBeforeEditing_;
    setName(name, board);
    if (textField_->hasFocus())
        window()->setFocus(Qt::OtherFocusReason);
    textField_->hide();
    if (delegate_)
        delegate_->tabBarDidEndEditingName(this, name, board);
    updateLayerFrames();
}

void CKTabBarView::placeTextField()
{
    if (!textField_ || !isEditing())
        return;
    textField_->setGeometry(convertRectToQt(CKIntegralRect(rectOfTabAtIndex(editingIndex_))).toRect());
}

bool CKTabBarView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != textField_ || !isEditing())
        return ZEPView::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        endEditingName(false); // Escape keeps the old name
        return true;
    }
    if (event->type() == QEvent::FocusOut) {
        // Clicking elsewhere ends the rename; a sheet or another window coming up over this
        // one does not: the name is still being typed when it goes.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            endEditingName(true);
    }
    return ZEPView::eventFilter(watched, event);
}

// Sounds dragged over the tabs ---------------------------------------------------------------

CKTabBarLayer* CKTabBarView::tabUnderDrag(const QPointF& qtPosition) const
{
    const qsizetype position = indexAtPoint(convertPointFromQt(qtPosition));
    return position >= 0 && position < visibleTabs() ? tabAtIndex(position) : nullptr;
}

Qt::DropAction CKTabBarView::dropActionForModifiers(Qt::KeyboardModifiers modifiers) const
{
    return modifiers & Qt::AltModifier ? Qt::CopyAction : Qt::MoveAction;
}

void CKTabBarView::setDragHoveringTab(CKTabBarLayer* tab)
{
    if (tab == dragHoveringTab_)
        return;
    if (dragHoveringTab_)
        dragHoveringTab_->draggingExited();
    dragHoveringTab_ = tab;
    if (tab) {
        tab->draggingEntered();
        dragUpdateTimer_.start(kDragUpdateInterval, true);
    } else {
        dragUpdateTimer_.stop();
    }
}

void CKTabBarView::dragUpdateTick()
{
    // A sound held still over a tab counts as often as one that moves; with Alt held the
    // drop copies and the tab is not selected.
    if (dragHoveringTab_ && dragHoveringAction_ == Qt::MoveAction)
        dragHoveringTab_->draggingUpdated();
}

void CKTabBarView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData()->hasFormat(CKSoundPasteboardItem::Type)) {
        event->ignore();
        return;
    }
    dragHoveringAction_ = dropActionForModifiers(event->modifiers());
    setDragHoveringTab(tabUnderDrag(event->position()));
    event->setDropAction(dragHoveringTab_ ? dragHoveringAction_ : Qt::IgnoreAction);
    event->accept(); // the moves that follow are wanted, on a tab or not
}

void CKTabBarView::dragMoveEvent(QDragMoveEvent* event)
{
    dragHoveringAction_ = dropActionForModifiers(event->modifiers());
    setDragHoveringTab(tabUnderDrag(event->position()));
    if (!dragHoveringTab_) {
        event->ignore();
        return;
    }
    event->setDropAction(dragHoveringAction_);
    event->accept();
}

void CKTabBarView::dragLeaveEvent(QDragLeaveEvent*)
{
    setDragHoveringTab(nullptr);
    for (Tab& tab : tabs_)
        tab.layer->draggingEnded();
}

void CKTabBarView::dropEvent(QDropEvent* event)
{
    const QPointF point = convertPointFromQt(event->position());
    const qsizetype position = tabUnderDrag(event->position()) ? indexAtPoint(point) : -1;
    setDragHoveringTab(nullptr);
    for (Tab& tab : tabs_)
        tab.layer->concludeDragOperation();
    const CKSoundPasteboardItem sound = CKSoundPasteboardItem::fromMimeData(event->mimeData());
    // A drop beside the tabs goes nowhere; one on a tab goes to the board it stands for.
    const Qt::DropAction action = dropActionForModifiers(event->modifiers());
    const bool dropped = position >= 0 && sound.isValid() && delegate_
                         && delegate_->tabBarDidReceiveDroppedSound(this, sound, overridenIndexForIndex(position), action);
    if (!dropped) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}
