// The list of boards, which one shows, their folders, and the tab bar's questions.
#include "app/AppController.h"

#include "app/CKAlert.h"
#include "app/CKButton.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKSegmentedControl.h"
#include "remote/CKServerController.h"
#include "app/CKSheetPresenter.h"
#include "app/CKTabBarView.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundCachedFileSource.h"
#include "platform/NotificationCenter.h"
#include "platform/StandardPaths.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopedValueRollback>

namespace {

// Where a board's folder waits while the others renumber around it.
const QString kParkingFolderName = QStringLiteral("tmp.clipdeck");

QString parkingPath() { return CKClipdeck::clipdecksFolder() + QLatin1Char('/') + kParkingFolderName; }

QString boardPath(qsizetype index) { return CKClipdeck::pathForBundleAtIndex(std::size_t(index)); }

} // namespace

// Lookup -------------------------------------------------------------------------------------

std::size_t AppController::indexOfClipdeck(const CKClipdeck* clipdeck) const
{
    for (qsizetype index = 0; index < clipdecks_.size(); ++index) {
        if (clipdecks_[index].get() == clipdeck)
            return std::size_t(index);
    }
    return CKSoundParent::kNotFound;
}

std::shared_ptr<CKClipdeck> AppController::clipdeckAtIndex(std::size_t index) const
{
    return index < std::size_t(clipdecks_.size()) ? clipdecks_[qsizetype(index)] : nullptr;
}

std::shared_ptr<CKClipdeck> AppController::shownClipdeck() const
{
    return selectedClipdeckIndex_ >= 0 ? clipdeckAtIndex(std::size_t(selectedClipdeckIndex_)) : nullptr;
}

const CKSoundParent* AppController::selectedClipdeck() const { return shownClipdeck().get(); }

QStringList AppController::clipdeckNames() const
{
    QStringList names;
    for (const std::shared_ptr<CKClipdeck>& clipdeck : clipdecks_)
        names.append(clipdeck->name());
    return names;
}

QString AppController::selectedClipdeckName() const
{
    const std::shared_ptr<CKClipdeck> shown = shownClipdeck();
    return shown ? shown->name() : QString();
}

bool AppController::clipdeckExistsWithName(const QString& name) const { return clipdeckNames().contains(name); }

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

QString AppController::nameForNewClipdeck() const { return nameForNewClipdeck(clipdeckNames()); }

QString AppController::pathForNewClipdeck() const { return boardPath(clipdecks_.size()); }

void AppController::beep() { QApplication::beep(); }

// Loading ------------------------------------------------------------------------------------

void AppController::loadClipdecks()
{
    QList<Error> failures;
    QList<std::shared_ptr<CKClipdeck>> loaded;
    try {
        loaded = CKClipdeck::loadAllClipdecks(&failures);
    } catch (const CKUnableToLoadClipdecksException& exception) {
        // Nothing is made, saved or moved: the program ends after the alert.
        clipdecksUnloadable_ = true;
        reportUnloadableClipdecks(exception.error());
        return;
    }
    for (const Error& failure : std::as_const(failures))
        presentError(failure);
    QStringList pastLimit;
    for (const std::shared_ptr<CKClipdeck>& clipdeck : std::as_const(loaded)) {
        if (clipdecks_.size() >= kMaximumClipdecks) {
            // Left in its folder for a later start, but never written by this one.
            clipdeck->setSavingDisabled(true);
            pastLimit.append(clipdeck->name());
            continue;
        }
        insertClipdeck(clipdeck);
    }
    if (!pastLimit.isEmpty()) {
        presentError(Error(CKClipdeck::ErrorDomain, 3, tr("Some clipdecks were not opened."),
                           tr("Clipdeck shows at most %1 clipdecks. Not opened: %2.")
                               .arg(kMaximumClipdecks)
                               .arg(pastLimit.join(QStringLiteral(", ")))));
    }
    if (clipdecks_.isEmpty())
        addNewClipdeck();
}

void AppController::observeClipdeck(CKClipdeck* clipdeck)
{
    clipdeck->observeKey(QStringLiteral("importing"), this, [this](const QVariant&, const QVariant&) {
        if (mainWindow_)
            mainWindow_->tabBar()->updateLayerFrames();
        validateMenuItems();
    });
}

// Selecting ----------------------------------------------------------------------------------

void AppController::postShowNotification(const QString& name, CKClipdeck* clipdeck)
{
    if (clipdeck)
        NotificationCenter::defaultCenter().post(name, clipdeck);
}

void AppController::selectClipdeckAtIndex(qsizetype index)
{
    const qsizetype count = numberOfClipdecks();
    if (index == -1)
        index = count - 1;
    else if (index == count)
        index = 0;
    if (isEditingName())
        return;
    if (index >= 0 && index < count) {
        showClipdeck(index);
        mainWindow_->tabBar()->selectTabAtIndexNoOverride(index);
    }
    unloadedEditors_.clear();
    flushCache();
    setupEditorLoading();
}

void AppController::showClipdeck(qsizetype index)
{
    CKClipdeck* shown = clipdecks_[index].get();
    if (shown != announcedClipdeck_)
        postShowNotification(ClipdeckDidHideNotification, announcedClipdeck_);
    selectedClipdeckIndex_ = index;
    UserDefaults::standardUserDefaults().setInteger(index, SelectedClipdeckIndexKey);
    if (shown != announcedClipdeck_) {
        announcedClipdeck_ = shown;
        postShowNotification(ClipdeckDidShowNotification, shown);
    }
    updateClipdeckButtons();
}

void AppController::nextClipdeck() { selectClipdeckAtIndex(selectedClipdeckIndex_ + 1); }

void AppController::previousClipdeck() { selectClipdeckAtIndex(selectedClipdeckIndex_ - 1); }

void AppController::updateClipdeckButtons()
{
    stopEditingName();
    const std::shared_ptr<CKClipdeck> shown = shownClipdeck();
    if (shown && playbackController_) {
        // Shown sounds are the last the cache lets go of.
        for (const std::shared_ptr<CKSoundSource>& sound : shown->sounds()) {
            if (sound && sound->isEditorLoaded())
                sound->setLastPlayID(playbackController_->nextPlayID());
        }
    }
    if (mainWindow_)
        mainWindow_->setClipdeckName(selectedClipdeckName());
    validateMenuItems();
}

bool AppController::validateUserInterfaceItem(ClipdeckCommand command) const
{
    // While an export or an unpacking runs, nothing here may change the list of boards.
    if (isBusyWithArchives())
        return false;
    const std::shared_ptr<CKClipdeck> shown = shownClipdeck();
    switch (command) {
    case ClipdeckCommand::New:
        return !clipdecksUnloadable_ && clipdecks_.size() < kMaximumClipdecks;
    case ClipdeckCommand::Rename:
    case ClipdeckCommand::Choose:
        return shown != nullptr;
    case ClipdeckCommand::Delete:
        return shown && !shown->isImporting() && !shown->isPreImporting();
    case ClipdeckCommand::Next:
        return selectedClipdeckIndex_ < numberOfClipdecks() - 1;
    case ClipdeckCommand::Previous:
        return selectedClipdeckIndex_ > 0;
    }
    return false;
}

void AppController::validateMenuItems()
{
    if (!mainWindow_)
        return;
    using Command = ClipdeckCommand;
    const struct {
        Command command;
        QAction* menuItem;
        CKSegmentedControl* control;
        int tag;
    } items[] = {
        {Command::New, mainWindow_->newClipdeckAction(), mainWindow_->clipdeckControl(), CKClipdeckWindow::kNewClipdeckTag},
        {Command::Rename, mainWindow_->renameClipdeckAction(), mainWindow_->clipdeckControl(),
         CKClipdeckWindow::kRenameClipdeckTag},
        {Command::Delete, mainWindow_->deleteClipdeckAction(), mainWindow_->clipdeckControl(),
         CKClipdeckWindow::kDeleteClipdeckTag},
        {Command::Next, mainWindow_->nextClipdeckAction(), mainWindow_->navigationControl(),
         CKClipdeckWindow::kNextClipdeckTag},
        {Command::Previous, mainWindow_->previousClipdeckAction(), mainWindow_->navigationControl(),
         CKClipdeckWindow::kPreviousClipdeckTag},
    };
    for (const auto& item : items) {
        const bool enabled = validateUserInterfaceItem(item.command);
        item.menuItem->setEnabled(enabled);
        item.control->setSegmentEnabled(item.tag, enabled);
    }
    mainWindow_->clipdeckMenuButton()->setEnabled(validateUserInterfaceItem(Command::Choose));
    const std::shared_ptr<CKClipdeck> shown = shownClipdeck();
    const bool free = !isBusyWithArchives();
    mainWindow_->importClipdeckAction()->setEnabled(validateUserInterfaceItem(Command::New));
    mainWindow_->exportClipdeckAction()->setEnabled(free && shown != nullptr);
    mainWindow_->importSoundsAction()->setEnabled(free && shown != nullptr);
    mainWindow_->tabBar()->updateNewButton();
}

void AppController::resetTabBar()
{
    if (!mainWindow_)
        return;
    const qint64 stored = UserDefaults::standardUserDefaults().integerForKey(SelectedClipdeckIndexKey);
    CKTabBarView* tabBar = mainWindow_->tabBar();
    {
        // The bar's own selection while its tabs come and go is not the user's.
        const QScopedValueRollback<bool> resetting(isResettingTabBar_, true);
        tabBar->removeAllTabs();
        for (const std::shared_ptr<CKClipdeck>& clipdeck : std::as_const(clipdecks_))
            tabBar->addTabWithName(clipdeck->name());
        tabBar->updateLayerFrames();
        tabBar->updateNewButton();
    }
    selectClipdeckAtIndex(stored >= 0 && stored < clipdecks_.size() ? stored : 0);
}

// Adding -------------------------------------------------------------------------------------

std::shared_ptr<CKClipdeck> AppController::addNewClipdeck()
{
    if (clipdecksUnloadable_ || clipdecks_.size() >= kMaximumClipdecks)
        return nullptr;
    auto clipdeck = std::make_shared<CKClipdeck>();
    clipdeck->setName(nameForNewClipdeck());
    insertClipdeck(clipdeck);
    clipdeck->setNeedsSave();
    return clipdeck;
}

void AppController::createNewClipdeck()
{
    stopEditingName();
    if (!isBusyWithArchives() && addNewClipdeck())
        selectClipdeckAtIndex(clipdecks_.size() - 1);
}

void AppController::insertClipdeck(const std::shared_ptr<CKClipdeck>& clipdeck)
{
    if (!clipdeck || clipdecks_.contains(clipdeck))
        return;
    clipdecks_.append(clipdeck);
    clipdeck->setBoardIndex(std::size_t(clipdecks_.size() - 1));
    CKServerController::sharedSyncController()->addClipdeck(clipdeck, std::size_t(clipdecks_.size() - 1));
    observeClipdeck(clipdeck.get());
    if (mainWindow_) {
        mainWindow_->tabBar()->addTabWithName(clipdeck->name());
        mainWindow_->tabBar()->updateNewButton();
    }
    validateMenuItems();
}

// Folders ------------------------------------------------------------------------------------

bool AppController::renumberFolders(const QList<std::pair<QString, QString>>& moves, Error* error)
{
    QList<std::pair<QString, QString>> done;
    for (const auto& [from, to] : moves) {
        // A board not saved yet has no folder to move.
        if (!QFileInfo::exists(from))
            continue;
        if (!CKClipdeck::moveFromPath(from, to)) {
            for (auto step = done.crbegin(); step != done.crend(); ++step)
                CKClipdeck::moveFromPath(step->second, step->first);
            *error = Error(CKClipdeck::ErrorDomain, 4, tr("The clipdecks could not be rearranged."),
                           tr("The folder \"%1\" could not be renamed to \"%2\".")
                               .arg(QFileInfo(from).fileName(), QFileInfo(to).fileName()));
            return false;
        }
        done.append({from, to});
    }
    return true;
}

void AppController::updateClipdeckIndexes()
{
    for (qsizetype index = 0; index < clipdecks_.size(); ++index)
        clipdecks_[index]->setBoardIndex(std::size_t(index));
}

// Deleting -----------------------------------------------------------------------------------

void AppController::deleteCurrentClipdeck() { confirmDeleteClipdeckAtIndex(selectedClipdeckIndex_); }

void AppController::confirmDeleteClipdeckAtIndex(qsizetype index)
{
    const std::shared_ptr<CKClipdeck> clipdeck = clipdeckAtIndex(std::size_t(index));
    if (!clipdeck || clipdeck->isImporting() || clipdeck->isPreImporting() || isBusyWithArchives())
        return;
    if (clipdeck->numberOfSounds() == 0) {
        deleteClipdeckAtIndex(index);
        return;
    }
    // The board travels with the sheet: the list may change while it is up.
    std::weak_ptr<CKClipdeck> asked = clipdeck;
    QPointer<AppController> self(this);
    CKSheetPresenter::shared().beginSheet(deleteConfirmationAlert(clipdeck->name()), mainWindow_,
                                          [self, asked](int returnCode) {
                                              const std::shared_ptr<CKClipdeck> board = asked.lock();
                                              if (!self || !board || returnCode != CKAlert::AlternateReturn)
                                                  return;
                                              const std::size_t at = self->indexOfClipdeck(board.get());
                                              if (at != CKSoundParent::kNotFound)
                                                  self->deleteClipdeckAtIndex(qsizetype(at));
                                          });
}

bool AppController::deleteClipdeckAtIndex(qsizetype index)
{
    const std::shared_ptr<CKClipdeck> clipdeck = clipdeckAtIndex(std::size_t(index));
    if (!clipdeck)
        return false;
    if (isBusyWithArchives()) {
        // A delete asked for before the export began: the folders hold still until it ends.
        beep();
        return false;
    }
    stopEditingName();
    const std::shared_ptr<CKClipdeck> shown = shownClipdeck();
    const qsizetype count = clipdecks_.size();

    // The folder waits aside while those behind it take the numbers one lower; then it takes
    // the number freed at the end and goes to the Trash from there.
    QList<std::pair<QString, QString>> moves{{boardPath(index), parkingPath()}};
    for (qsizetype j = index + 1; j < count; ++j)
        moves.append({boardPath(j), boardPath(j - 1)});
    moves.append({parkingPath(), boardPath(count - 1)});
    Error error;
    if (!renumberFolders(moves, &error)) {
        presentError(error);
        return false;
    }

    dropQueuedEditorsOf(clipdeck.get());
    QObject::disconnect(clipdeck.get(), nullptr, this, nullptr);
    clipdeck->cancelAllImports();
    for (const std::shared_ptr<CKSoundSource>& sound : clipdeck->sounds()) {
        if (sound)
            sound->stop();
    }
    clipdeck->setBoardIndex(std::size_t(count - 1));
    clipdeck->deleteFile();
    clipdeck->removeAllSounds();

    if (mainWindow_)
        mainWindow_->tabBar()->removeTabAtIndex(index);
    clipdecks_.removeAt(index);
    updateClipdeckIndexes();
    CKServerController::sharedSyncController()->clipdeckDeleted(std::size_t(index));
    if (clipdecks_.isEmpty())
        addNewClipdeck();

    // The board shown stays shown; when it was the one deleted, its neighbour shows.
    const std::size_t stillShown = indexOfClipdeck(shown.get());
    const qsizetype next = stillShown != CKSoundParent::kNotFound
                               ? qsizetype(stillShown)
                               : std::min(selectedClipdeckIndex_, clipdecks_.size() - 1);
    showClipdeck(next);
    setupEditorLoading();
    resetTabBar();
    return true;
}

// Reordering ---------------------------------------------------------------------------------

bool AppController::moveClipdeckAtIndex(qsizetype from, qsizetype to)
{
    const qsizetype count = clipdecks_.size();
    if (from == to || from < 0 || to < 0 || from >= count || to >= count)
        return false;
    if (isBusyWithArchives()) {
        beep();
        resetTabBar();
        return false;
    }
    // A board that imports writes into its folder: none of the folders that move may.
    for (qsizetype j = std::min(from, to); j <= std::max(from, to); ++j) {
        if (clipdecks_[j]->isImporting() || clipdecks_[j]->isPreImporting()) {
            beep();
            resetTabBar();
            return false;
        }
    }
    QList<std::pair<QString, QString>> moves{{boardPath(from), parkingPath()}};
    if (from < to) {
        for (qsizetype j = from; j < to; ++j)
            moves.append({boardPath(j + 1), boardPath(j)});
    } else {
        for (qsizetype j = from; j > to; --j)
            moves.append({boardPath(j - 1), boardPath(j)});
    }
    moves.append({parkingPath(), boardPath(to)});
    Error error;
    if (!renumberFolders(moves, &error)) {
        presentError(error);
        resetTabBar();
        return false;
    }
    clipdecks_.move(from, to);
    updateClipdeckIndexes();
    selectClipdeckAtIndex(to);
    CKServerController::sharedSyncController()->swapClipdeckIndex(std::size_t(from), std::size_t(to));
    resetTabBarTimer_.setAction([this] { resetTabBar(); });
    resetTabBarTimer_.start(kResetTabBarAfterMoveDelay);
    return true;
}

// Opening boards -----------------------------------------------------------------------------

bool AppController::addModel(const std::shared_ptr<CKClipdeck>&, qsizetype) { return false; }

bool AppController::rearrange(qsizetype, qsizetype) { return false; }

bool AppController::deleteModel(qsizetype) { return false; }

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
    switch (tag) {
    case 0:
        stopEditingName();
        nameController()->setClipdeck(shownClipdeck());
        nameController()->presentForWindow(mainWindow_, selectedClipdeckName(), this);
        break;
    case 1:
        deleteCurrentClipdeck();
        break;
    case -1:
        createNewClipdeck();
        break;
    default:
        break;
    }
}

void AppController::nameController(CKClipdeckNameController* controller, const QString& didGetNewName)
{
    const std::shared_ptr<CKClipdeck> clipdeck = controller->clipdeck();
    if (!clipdeck) {
        // A name for a new board.
        if (clipdecksUnloadable_ || clipdecks_.size() >= kMaximumClipdecks)
            return;
        auto made = std::make_shared<CKClipdeck>();
        made->setName(didGetNewName);
        insertClipdeck(made);
        made->setNeedsSave();
        selectClipdeckAtIndex(clipdecks_.size() - 1);
    } else if (const std::size_t index = indexOfClipdeck(clipdeck.get()); index != CKSoundParent::kNotFound) {
        clipdeck->setName(didGetNewName);
        if (mainWindow_)
            mainWindow_->tabBar()->setName(didGetNewName, qsizetype(index));
    }
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
    if (isResettingTabBar_)
        return;
    if (tabBar->selectedIndex() != selectedClipdeckIndex_)
        selectClipdeckAtIndex(tabBar->selectedIndex());
}

void AppController::tabBarDidMoveTabAtIndex(CKTabBarView*, qsizetype fromIndex, qsizetype toIndex)
{
    moveClipdeckAtIndex(fromIndex, toIndex);
}

void AppController::tabBarDidBeginEditingNameAtIndex(CKTabBarView*, qsizetype)
{
    if (ClipdeckApplication* app = ClipdeckApplication::sharedApplication())
        app->setIsForwardingEvents(false);
}

void AppController::tabBarDidEndEditingName(CKTabBarView*, const QString& name, qsizetype atIndex)
{
    if (ClipdeckApplication* app = ClipdeckApplication::sharedApplication())
        app->setIsForwardingEvents(true);
    const QString trimmed = name.trimmed();
    if (const std::shared_ptr<CKClipdeck> clipdeck = clipdeckAtIndex(std::size_t(atIndex));
        clipdeck && !trimmed.isEmpty()) {
        clipdeck->setName(trimmed);
    }
    if (mainWindow_)
        mainWindow_->setClipdeckName(selectedClipdeckName());
}

void AppController::tabBarDidClickNewButton(CKTabBarView*) { createNewClipdeck(); }

bool AppController::tabBarCanAddTab(CKTabBarView*) { return validateUserInterfaceItem(ClipdeckCommand::New); }

bool AppController::tabBarShouldShowCloseButtonAtIndex(CKTabBarView*, qsizetype index)
{
    const std::shared_ptr<CKClipdeck> clipdeck = clipdeckAtIndex(std::size_t(index));
    return clipdeck && !clipdeck->isImporting() && !isBusyWithArchives();
}

void AppController::tabBarDidClickCloseButtonAtIndex(CKTabBarView*, qsizetype index)
{
    confirmDeleteClipdeckAtIndex(index);
}

bool AppController::tabBarDidReceiveDroppedSound(CKTabBarView*, const CKSoundPasteboardItem& item, qsizetype atIndex,
                                                 Qt::DropAction action)
{
    const std::shared_ptr<CKClipdeck> target = clipdeckAtIndex(std::size_t(atIndex));
    const std::shared_ptr<CKClipdeck> source = clipdeckAtIndex(std::size_t(item.clipdeckIndex));
    if (!target || !source || !item.isValid())
        return false;
    const auto sound = std::dynamic_pointer_cast<CKSoundCachedFileSource>(source->soundAtIndex(std::size_t(item.cellIndex)));
    if (!sound)
        return false;
    Error error;
    const bool done = action == Qt::CopyAction ? sound->copyToClipdeck(target.get(), &error)
                                               : sound->moveToClipdeck(target.get(), &error);
    if (!done)
        presentError(error);
    return done;
}
