#include "app/CKGeneralPreferencesController.h"

#include "app/CKDefaultsBinding.h"
#include "app/CKModifierPopUpButton.h"
#include "app/ClipdeckApplication.h"
#include "platform/UserDefaults.h"

#include <QFormLayout>
#include <QLabel>

namespace {

const QString kModifierKeys[] = {QStringLiteral("pauseSoundKey"), QStringLiteral("toggleLoopingKey"),
                                 QStringLiteral("stopOnLiftKey"), QStringLiteral("restartOnPressKey")};

} // namespace

CKGeneralPreferencesController::CKGeneralPreferencesController(QWidget* parent)
    : ZEPPreferencesViewController(parent),
      editSoundButton_(new CKModifierPopUpButton(this)),
      toggleLoopingButton_(new CKModifierPopUpButton(this)),
      stopOnLiftButton_(new CKModifierPopUpButton(this)),
      restartOnPressButton_(new CKModifierPopUpButton(this))
{
    auto* form = new QFormLayout(this);
    form->setContentsMargins(24, 20, 24, 20);
    auto* intro = new QLabel(tr("Hold a modifier key while pressing a sound's trigger to:"), this);
    form->addRow(intro);
    form->addRow(tr("Pause the sound:"), editSoundButton_);
    form->addRow(tr("Toggle looping:"), toggleLoopingButton_);
    form->addRow(tr("Toggle stop on lift:"), stopOnLiftButton_);
    form->addRow(tr("Toggle restart on press:"), restartOnPressButton_);

    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    CKModifierPopUpButton* const popUps[] = {editSoundButton_, toggleLoopingButton_, stopOnLiftButton_,
                                             restartOnPressButton_};
    for (int i = 0; i < 4; ++i) {
        CKModifierPopUpButton* popUp = popUps[i];
        CKDefaultsBinding::bindSelectedTag(popUp, defaults, kModifierKeys[i]);
        connect(popUp, &CKModifierPopUpButton::willPopUp, this,
                &CKGeneralPreferencesController::updateMenuForPopupButton);
    }
}

void CKGeneralPreferencesController::updateUsedKeyMasks()
{
    const UserDefaults& defaults = UserDefaults::standardUserDefaults();
    usedKeysMask_ = 0;
    for (const QString& key : kModifierKeys)
        usedKeysMask_ |= ClipdeckApplication::modifierMaskForKey(defaults.integerForKey(key));
}

void CKGeneralPreferencesController::updateMenuForPopupButton(CKModifierPopUpButton* popUp)
{
    updateUsedKeyMasks();
    const int ownTag = popUp->selectedTag();
    for (int i = 0; i < popUp->count(); ++i) {
        const int tag = popUp->itemData(i).toInt();
        const bool usedElsewhere = tag >= 2 && tag < 32 && tag != ownTag && (usedKeysMask_ & (1u << tag));
        popUp->setItemEnabled(i, !usedElsewhere);
    }
}
