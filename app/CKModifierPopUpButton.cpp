#include "app/CKModifierPopUpButton.h"

#include <QStandardItemModel>

CKModifierPopUpButton::CKModifierPopUpButton(QWidget* parent) : QComboBox(parent)
{
    // The program's command key is Ctrl, its control key Super, its option key Alt.
    addItem(tr("None"), 0);
    addItem(tr("Shift"), 17);
    addItem(tr("Super"), 18);
    addItem(tr("Alt"), 19);
    addItem(tr("Ctrl"), 20);
}

int CKModifierPopUpButton::selectedTag() const { return currentIndex() < 0 ? 0 : currentData().toInt(); }

bool CKModifierPopUpButton::isItemEnabled(int index) const
{
    const auto* items = qobject_cast<const QStandardItemModel*>(model());
    return items && items->item(index) && items->item(index)->isEnabled();
}

void CKModifierPopUpButton::setItemEnabled(int index, bool enabled)
{
    if (auto* items = qobject_cast<QStandardItemModel*>(model()); items && items->item(index))
        items->item(index)->setEnabled(enabled);
}

void CKModifierPopUpButton::showPopup()
{
    emit willPopUp(this);
    QComboBox::showPopup();
}
