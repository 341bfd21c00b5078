#pragma once
// A pop-up of the modifier keys that can change what a press does: "None", "Shift",
// "Super", "Alt", "Ctrl", tagged with the modifier bit number each stands for (0, 17, 18,
// 19, 20; see platform/keys/ModifierFlags.h). Just before its list opens it emits
// willPopUp(), so its owner can disable the keys another action already uses.
//
// Main thread only.

#include <QComboBox>

class CKModifierPopUpButton : public QComboBox {
    Q_OBJECT
public:
    explicit CKModifierPopUpButton(QWidget* parent = nullptr);

    // The tag of the selected item (0 when none is selected).
    int selectedTag() const;
    // The item with that tag; -1 when none has it.
    int indexOfItemWithTag(int tag) const { return findData(tag); }
    bool isItemEnabled(int index) const;
    void setItemEnabled(int index, bool enabled);

    void showPopup() override;

signals:
    void willPopUp(CKModifierPopUpButton* popUp);
};
