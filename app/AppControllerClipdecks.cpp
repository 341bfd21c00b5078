// The list of boards, which one shows, and the tab bar's questions.
#include "app/AppController.h"

#include "app/CKAlert.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKTabBarView.h"

#include "platform/UserDefaults.h"

qsizetype AppController::numberOfClipdecks() const
{
    return mainWindow_ ? mainWindow_->tabBar()->numberOfTabs() : 0;
}

QStringList AppController::clipdeckNames() const
{
    QStringList names;
    for (qsizetype index = 0; index < numberOfClipdecks(); ++index)
        names.append(mainWindow_->tabBar()->nameAtIndex(index));
    return names;
}

QString AppController::selectedClipdeckName() const
{
    return mainWindow_ ? mainWindow_->tabBar()->nameAtIndex(selectedClipdeckIndex_) : QString();
}

const CKSoundParent* AppController::selectedClipdeck() const { return nullptr; }

QString AppController::nameForNewClipdeck(const QStringList& existingNames)
{
    const QString base = tr("My Clipdeck");
    if (!existingNames.contains(base))
        return base;
    for (int number = 1;; ++number) {
        const QString name = QStringLiteral("%1 %2").arg(base).arg(number);
        if (!existingNames.contains(name))
            return name;
    }
}

// Selecting ----------------------------------------------------------------------------------

void AppController::selectClipdeckAtIndex(qsizetype index, bool)
{
    const qsizetype count = numberOfClipdecks();
    if (index == -1)
        index = count - 1;
    else if (index == count)
        index = 0;
    if (isEditingName())
        return;
    if (index < 0 || index >= count)
        return;
    selectedClipdeckIndex_ = index;
    UserDefaults::standardUserDefaults().setInteger(index, SelectedClipdeckIndexKey);
    updateClipdeckButtons();
    mainWindow_->tabBar()->selectTabAtIndexNoOverride(index);
}

void AppController::nextClipdeck() { selectClipdeckAtIndex(selectedClipdeckIndex_ + 1); }

void AppController::previousClipdeck() { selectClipdeckAtIndex(selectedClipdeckIndex_ - 1); }

void AppController::updateClipdeckButtons()
{
    stopEditingName();
    if (mainWindow_)
        mainWindow_->setClipdeckName(selectedClipdeckName());
}

void AppController::resetTabBar()
{
    if (!mainWindow_)
        return;
    CKTabBarView* tabBar = mainWindow_->tabBar();
    const QStringList names = clipdeckNames();
    tabBar->removeAllTabs();
    for (const QString& name : names)
        tabBar->addTabWithName(name);
    tabBar->updateLayerFrames();
    const qint64 stored = UserDefaults::standardUserDefaults().integerForKey(SelectedClipdeckIndexKey);
    selectClipdeckAtIndex(stored >= 0 && stored < names.size() ? stored : 0);
}

// Names --------------------------------------------------------------------------------------

bool AppController::isEditingName() const { return mainWindow_ && mainWindow_->tabBar()->isEditing(); }

void AppController::stopEditingName()
{
    if (isEditingName())
        mainWindow_->tabBar()->endEditingName(true);
}

CKClipdeckNameController* AppController::nameController()
{
    if (!nameController_)
        nameController_ = new CKClipdeckNameController(mainWindow_);
    return nameController_;
}

void AppController::clipdeckControlClicked(int tag)
{
    if (tag == 0) {
        stopEditingName();
        nameController()->presentForWindow(mainWindow_, selectedClipdeckName(), this);
    }
}

void AppController::nameController(CKClipdeckNameController*, const QString& didGetNewName)
{
    if (mainWindow_)
        mainWindow_->tabBar()->setName(didGetNewName, selectedClipdeckIndex_);
    updateClipdeckButtons();
}

QString AppController::deleteWarningString()
{
    return tr("This will delete this clipdeck, as well as the copies of the audio files you dragged in. Your "
              "originals will not be touched. This cannot be undone.");
}

CKAlert* AppController::deleteConfirmationAlert(const QString& clipdeckName)
{
    return CKAlert::alertWithMessage(tr("Delete Clipdeck %1?").arg(clipdeckName), tr("Cancel"), tr("Delete"),
                                     QString(), deleteWarningString());
}

// Tab bar ------------------------------------------------------------------------------------

void AppController::tabBarSelectionDidChange(CKTabBarView* tabBar)
{
    if (tabBar->selectedIndex() != selectedClipdeckIndex_)
        selectClipdeckAtIndex(tabBar->selectedIndex());
}

void AppController::tabBarDidBeginEditingNameAtIndex(CKTabBarView*, qsizetype)
{
    if (ClipdeckApplication* app = ClipdeckApplication::sharedApplication())
        app->setIsForwardingEvents(false);
}

void AppController::tabBarDidEndEditingName(CKTabBarView*, const QString&, qsizetype)
{
    if (ClipdeckApplication* app = ClipdeckApplication::sharedApplication())
        app->setIsForwardingEvents(true);
    if (mainWindow_)
        mainWindow_->setClipdeckName(selectedClipdeckName());
}

bool AppController::tabBarCanAddTab(CKTabBarView*) { return false; }

bool AppController::tabBarShouldShowCloseButtonAtIndex(CKTabBarView*, qsizetype) { return false; }
