#include "app/CKFooterPopUpButton.h"

#include "app/CKMenuPopUp.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"
#include "platform/ui/ZEPTextAttributes.h"

#include <QActionGroup>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>
#include <QStandardItemModel>

namespace {

ZEPTextAttributes titleAttributes()
{
    ZEPTextAttributes attributes;
    attributes.font = QFont(QStringLiteral("Helvetica"));
    attributes.font.setPixelSize(11);
    attributes.font.setBold(true);
    attributes.foregroundColor = Qt::black;
    attributes.shadow = ZEPShadow{QColor::fromRgbF(1, 1, 1, 0.5f), QPointF(0, 1), 1.0};
    return attributes;
}

} // namespace

CKFooterPopUpButton::CKFooterPopUpButton(QWidget* parent) : QComboBox(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setFont(titleAttributes().font);
}

CKFooterPopUpButton::~CKFooterPopUpButton() = default;

QSize CKFooterPopUpButton::sizeHint() const
{
    const QSize platform = QComboBox::sizeHint();
    return QSize(platform.width(), platform.height() - kHeightReduction);
}

QSize CKFooterPopUpButton::minimumSizeHint() const
{
    const QSize platform = QComboBox::minimumSizeHint();
    return QSize(platform.width(), platform.height() - kHeightReduction);
}

void CKFooterPopUpButton::resizeEvent(QResizeEvent* event)
{
    cachedImage_ = QImage();
    QComboBox::resizeEvent(event);
}

void CKFooterPopUpButton::paintEvent(QPaintEvent*)
{
    if (cachedImage_.size() != size())
        cachedImage_ = ThreePartImage(QRectF(rect()), ZEPImageNamed(QStringLiteral("footer-popupmenu-leftcap")),
                                      ZEPImageNamed(QStringLiteral("footer-popupmenu-tile")),
                                      ZEPImageNamed(QStringLiteral("footer-popupmenu-rightcap")), false,
                                      QPainter::CompositionMode_SourceOver, 1.0, true);
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), cachedImage_);
    const QRectF titleRect = QRectF(rect()).adjusted(kTitleLeftInset, 0, -kTitleRightInset, 0);
    ZEPDrawText(painter, titleRect, Qt::AlignLeft | Qt::AlignVCenter, currentText(), titleAttributes());
}

void CKFooterPopUpButton::showPopup()
{
    hidePopup();
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto* group = new QActionGroup(menu);
    const auto* items = qobject_cast<const QStandardItemModel*>(model());
    for (int i = 0; i < count(); ++i) {
        QAction* action = menu->addAction(itemText(i));
        action->setCheckable(true);
        action->setChecked(i == currentIndex());
        action->setEnabled(!items || !items->item(i) || items->item(i)->isEnabled());
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] {
            setCurrentIndex(i);
            emit activated(i);
        });
    }
    shownMenu_ = menu;
    CKPopUpMenu(menu, this, QRectF(rect()));
}

void CKFooterPopUpButton::hidePopup()
{
    if (shownMenu_)
        shownMenu_->close();
    QComboBox::hidePopup();
}
