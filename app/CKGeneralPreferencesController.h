#pragma once
// The General pane: which modifier key changes what a press does. One pop-up for each of the
// user defaults "pauseSoundKey", "toggleLoopingKey", "stopOnLiftKey" and "restartOnPressKey"
// (a modifier bit number, 0 for none). A key that one action uses cannot be chosen for
// another: when a pop-up is about to open, the keys the others use are disabled in it,
// while "None" and its own choice stay available.
//
// Main thread only.

#include "platform/ui/ZEPPreferencesViewController.h"

#include <cstdint>

class CKModifierPopUpButton;

class CKGeneralPreferencesController : public ZEPPreferencesViewController {
    Q_OBJECT
public:
    explicit CKGeneralPreferencesController(QWidget* parent = nullptr);

    QString title() const override { return tr("General"); }
    QString toolbarImageName() const override { return QStringLiteral("prefs_toolbar_general"); }

    CKModifierPopUpButton* editSoundButton() const { return editSoundButton_; }
    CKModifierPopUpButton* toggleLoopingButton() const { return toggleLoopingButton_; }
    CKModifierPopUpButton* stopOnLiftButton() const { return stopOnLiftButton_; }
    CKModifierPopUpButton* restartOnPressButton() const { return restartOnPressButton_; }

    // The OR of 1 << n over the four key defaults, leaving out those that are 0.
    void updateUsedKeyMasks();
    uint32_t usedKeysMask() const { return usedKeysMask_; }
    // Enables every item of popUp but the modifiers another action uses.
    void updateMenuForPopupButton(CKModifierPopUpButton* popUp);

private:
    CKModifierPopUpButton* editSoundButton_;
    CKModifierPopUpButton* toggleLoopingButton_;
    CKModifierPopUpButton* stopOnLiftButton_;
    CKModifierPopUpButton* restartOnPressButton_;
    uint32_t usedKeysMask_ = 0;
};
