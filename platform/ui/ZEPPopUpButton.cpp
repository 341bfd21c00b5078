#include "platform/ui/ZEPPopUpButton.h"

#include "platform/ui/ZEPCustomMenuWindow.h"

#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

namespace {
constexpr qreal kTitleGap = 2; // between a cap and the title
}

ZEPPopUpButton::ZEPPopUpButton(const QRect& frame, QWidget* parent)
    : QWidget(parent)
    , titleAttributes_(ZEPSmallTextAttributes(Qt::black))
    , menuWindowClass_(&ZEPCustomMenuWindow::staticMetaObject)
    , menu_(new QMenu(this))
{
    setGeometry(frame);
    setFocusPolicy(Qt::StrongFocus);
}

ZEPPopUpButton::~ZEPPopUpButton()
{
    delete menuWindow_;
}

void ZEPPopUpButton::setLeftCapSize(const QSizeF& size)
{
    leftCapSize_ = size;
    update();
}

void ZEPPopUpButton::setRightCapSize(const QSizeF& size)
{
    rightCapSize_ = size;
    update();
}

void ZEPPopUpButton::setEnabledImage(const QImage& image)
{
    enabledImage_ = image;
    update();
}

void ZEPPopUpButton::setDisabledImage(const QImage& image)
{
    disabledImage_ = image;
    update();
}

void ZEPPopUpButton::setTitleAttributes(const ZEPTextAttributes& attributes)
{
    titleAttributes_ = attributes;
    update();
}

void ZEPPopUpButton::setMenuWindowClass(const QMetaObject* windowClass)
{
    menuWindowClass_ = windowClass ? windowClass : &ZEPCustomMenuWindow::staticMetaObject;
}

QAction* ZEPPopUpButton::addItemWithTitle(const QString& title)
{
    QAction* item = menu_->addAction(title);
    if (!selectedItem_)
        selectItemAtIndex(numberOfItems() - 1);
    return item;
}

int ZEPPopUpButton::numberOfItems() const
{
    return menu_->actions().size();
}

int ZEPPopUpButton::indexOfSelectedItem() const
{
    return selectedItem_ ? menu_->actions().indexOf(selectedItem_.data()) : -1;
}

void ZEPPopUpButton::selectItemAtIndex(int index)
{
    const QList<QAction*> items = menu_->actions();
    selectedItem_ = (index >= 0 && index < items.size() && !items[index]->isSeparator()) ? items[index] : nullptr;
    update();
}

QString ZEPPopUpButton::titleOfSelectedItem() const
{
    return selectedItem_ ? selectedItem_->text() : QString();
}

void ZEPPopUpButton::setupMenuWindow() {}

void ZEPPopUpButton::popUp()
{
    if (menuWindow_ || !isEnabled())
        return;
    if (!menuWindowSetUp_) {
        setupMenuWindow();
        menuWindowSetUp_ = true;
    }
    const QRect frame(mapToGlobal(QPoint(0, height())), size());
    QObject* made = menuWindowClass_->newInstance(Q_ARG(QRect, frame));
    menuWindow_ = qobject_cast<ZEPCustomMenuWindow*>(made);
    if (!menuWindow_) {
        delete made;
        menuWindow_ = new ZEPCustomMenuWindow(frame);
    }
    connect(menuWindow_, &ZEPCustomMenuWindow::itemChosen, this, &ZEPPopUpButton::chooseItem);
    menuWindow_->popUpMenu(menu_, frame.topLeft(), width(), indexOfSelectedItem());
}

void ZEPPopUpButton::chooseItem(QAction* item)
{
    const int index = menu_->actions().indexOf(item);
    if (index < 0)
        return;
    selectItemAtIndex(index);
    item->trigger();
    emit activated(index);
}

void ZEPPopUpButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QImage& image = isEnabled() ? enabledImage_ : disabledImage_;
    if (!image.isNull())
        painter.drawImage(QPointF(0, 0), image);
    const qreal left = leftCapSize_.width() + kTitleGap;
    const qreal right = width() - rightCapSize_.width() - kTitleGap;
    ZEPTextAttributes attributes = titleAttributes_;
    if (!isEnabled())
        attributes.foregroundColor.setAlphaF(attributes.foregroundColor.alphaF() * 0.5);
    ZEPDrawText(painter, QRectF(left, 0, right - left, height()), Qt::AlignLeft | Qt::AlignVCenter,
                titleOfSelectedItem(), attributes);
}

void ZEPPopUpButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        popUp();
    else
        QWidget::mousePressEvent(event);
}

void ZEPPopUpButton::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
        popUp();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
