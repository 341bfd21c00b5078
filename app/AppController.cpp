#include "app/AppController.h"

#include "app/CKAlert.h"
#include "app/CKClipdeckView.h"
#include "app/CKClipdeckWindow.h"
#include "app/AppRemoteClipdeckParent.h"
#include "remote/CKServerController.h"
#include "app/CKEditorPreferencesController.h"
#include "app/CKExportController.h"
#include "app/CKGeneralPreferencesController.h"
#include "app/CKMIDIPreferencesController.h"
#include "app/CKPlaybackPreferencesController.h"
#include "app/CKRemotePreferencesController.h"
#include "app/CKSheetPresenter.h"
#include "app/CKTabBarView.h"
#include "app/ClipdeckWebAddresses.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundCachedFileSource.h"
#include "platform/ApplicationNotifications.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"
#include "platform/ui/ZEPImageNamed.h"
#include "platform/ui/ZEPPreferencesController.h"
#include "platform/ui/ZEPTextViewer.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace {

AppController* g_shared = nullptr;

const QString kReleaseNotesPath = QStringLiteral(":/Release Notes.html");

} // namespace

AppController* AppController::sharedAppController()
{
    if (!g_shared)
        new AppController; // registers itself
    return g_shared;
}

AppController::AppController(QObject* parent) : QObject(parent)
{
    if (!g_shared)
        g_shared = this;
}

AppController::~AppController()
{
    // The export's thread and the unpacking end before the window their sheets sit on.
    cancelRunningExport();
    zipImporter_.reset();
    NotificationCenter::defaultCenter().removeObserver(this);
    if (awake_) {
        CKPlaybackHost::install(nullptr);
        CKClipdeckHost::install(nullptr);
        CKServerController::sharedSyncController()->setClipdeckParent(nullptr);
    }
    if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication()) {
        if (application->delegate() == this)
            application->setDelegate(nullptr);
    }
    delete releaseNotesViewer_.data();
    delete mainWindow_.data();
    if (g_shared == this)
        g_shared = nullptr;
}

CKClipdeckWindow* AppController::mainWindow() const { return mainWindow_.data(); }

// Start-up -----------------------------------------------------------------------------------

void AppController::awakeFromNib()
{
    if (awake_)
        return;
    awake_ = true;
    CKPlaybackHost::install(this);
    CKClipdeckHost::install(this);
    remoteClipdeckParent_ = std::make_unique<AppRemoteClipdeckParent>(*this);
    CKServerController::sharedSyncController()->setClipdeckParent(remoteClipdeckParent_.get());

    mainWindow_ = new CKClipdeckWindow;
    mainWindow_->tabBar()->setDelegate(this);
    mainWindow_->setKeyDelegate(this);
    // A sound dropped on the grid that could not be copied or moved there is told in an alert.
    connect(mainWindow_->clipdeckView(), &CKClipdeckView::errorToPresent, this,
            [this](const Error& error) { presentError(error); });
    hookUpMenu();

    loadClipdecks();
    // The board shown when the program last ran shows again.
    const qint64 stored = UserDefaults::standardUserDefaults().integerForKey(SelectedClipdeckIndexKey);
    selectClipdeckAtIndex(stored >= 0 && stored < numberOfClipdecks() ? stored : 0);
    mainWindow_->tabBar()->setLayersNeedUpdate(true);
    NotificationCenter::defaultCenter().addObserver(this, CKClipdeck::SoundAddedNotification, nullptr,
                                                    [this](const Notification&) { setupEditorLoading(); });

    NotificationCenter::defaultCenter().addObserver(this, ApplicationDidFinishLaunchingNotification, nullptr,
                                                    [this](const Notification&) {
                                                        if (playbackController_)
                                                            playbackController_->didFinishLaunching();
                                                    });
    loadPlaybackController();
    setUpFooterAndDrawer();
    Timer::singleShot(0.01, [window = mainWindow_] {
        if (window && g_shared)
            g_shared->resetTabBar();
    });

    // No stored frame: the window starts in the middle of its screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = mainWindow_->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        mainWindow_->move(frame.topLeft());
    }
}

void AppController::hookUpMenu()
{
    ClipdeckApplication* application = ClipdeckApplication::sharedApplication();
    connect(mainWindow_->aboutAction(), &QAction::triggered, this, &AppController::showAboutBox);
    connect(mainWindow_->releaseNotesAction(), &QAction::triggered, this, &AppController::showReleaseNotes);
    connect(mainWindow_->moreSoundsAction(), &QAction::triggered, this, &AppController::getMoreSounds);
    connect(mainWindow_->preferencesAction(), &QAction::triggered, this, &AppController::showPreferences);
    mainWindow_->moreSoundsAction()->setVisible(!ClipdeckWebAddresses::soundLibrary().isEmpty());
    connect(mainWindow_->newClipdeckAction(), &QAction::triggered, this, [this] { clipdeckControlClicked(-1); });
    connect(mainWindow_->renameClipdeckAction(), &QAction::triggered, this, [this] { clipdeckControlClicked(0); });
    connect(mainWindow_->deleteClipdeckAction(), &QAction::triggered, this, [this] { clipdeckControlClicked(1); });
    connect(mainWindow_->nextClipdeckAction(), &QAction::triggered, this, &AppController::nextClipdeck);
    connect(mainWindow_->previousClipdeckAction(), &QAction::triggered, this, &AppController::previousClipdeck);
    connect(mainWindow_->importClipdeckAction(), &QAction::triggered, this, &AppController::importClipdeck);
    connect(mainWindow_->exportClipdeckAction(), &QAction::triggered, this, &AppController::exportCurrentClipdeck);
    connect(mainWindow_->importSoundsAction(), &QAction::triggered, this, &AppController::importSounds);
    hookUpToolbar();
    if (application) {
        connect(mainWindow_->splashScreenAction(), &QAction::triggered, application,
                &ClipdeckApplication::showSplashScreen);
        connect(mainWindow_->quitAction(), &QAction::triggered, application,
                [application] { application->terminate(TerminationRequest::Quit); });
    }
}

void AppController::loadPlaybackController()
{
    playbackController_ = CKPlaybackController::sharedPlaybackController();
    const ZEPAudioPlayer* output = playbackController_->outputAudioPlayer();
    if (output && !output->isRunning() && !saidOutputDoesNotRun_) {
        saidOutputDoesNotRun_ = true;
        presentError(outputNotRunningError(output->lastErrorText()));
    }
}

Error AppController::outputNotRunningError(const QString& reason)
{
    return Error(QStringLiteral("CKPlaybackController"), kZEPOutputNotRunningError, tr("Clipdeck cannot play sound."),
                 reason.isEmpty() ? tr("No sound output device could be opened.") : reason);
}

void AppController::finishLaunching()
{
    isLaunching_ = false;
    // Copies into the boards' caches wait until the program runs.
    CKSoundCachedFileSource::startCacheOperationQueue();
    updateMasterOutput();
    showMainWindow();
    CKServerController::sharedSyncController()->setRemoteEnabled(
        UserDefaults::standardUserDefaults().boolForKey(QStringLiteral("RemoteEnabled")));
}

void AppController::showMainWindow()
{
    if (!mainWindow_)
        return;
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

// Quitting -----------------------------------------------------------------------------------

bool AppController::isBusyImportingSounds() const
{
    // Changes waiting to be saved do not count: quitting writes them.
    return std::any_of(clipdecks_.cbegin(), clipdecks_.cend(), [](const std::shared_ptr<CKClipdeck>& clipdeck) {
        return clipdeck->isImporting() || clipdeck->isPreImporting();
    });
}

CKAlert* AppController::quitConfirmationAlert()
{
    return CKAlert::alertWithMessage(tr("Clipdeck is busy. Are you sure you want to quit?"), tr("Cancel"),
                                     tr("Quit"), QString(),
                                     tr("Some sounds may not get added to the clipdeck if you quit now."));
}

ClipdeckApplicationDelegate::TerminateReply AppController::applicationShouldTerminate(ClipdeckApplication* sender,
                                                                                      TerminationRequest request)
{
    stopEditingName();
    if (request == TerminationRequest::Signal || !isBusyImportingSounds())
        return TerminateNow;
    CKSheetPresenter::shared().beginSheet(quitConfirmationAlert(), mainWindow_, [sender](int returnCode) {
        sender->replyToApplicationShouldTerminate(returnCode != CKAlert::DefaultReturn);
    });
    return TerminateLater;
}

void AppController::applicationWillTerminate(ClipdeckApplication*)
{
    stopEditingName();
    cancelRunningExport();
    for (const std::shared_ptr<CKClipdeck>& clipdeck : std::as_const(clipdecks_))
        clipdeck->saveIfNeeded();
    if (playbackController_)
        playbackController_->willTerminate();
}

// Documents ----------------------------------------------------------------------------------

bool AppController::application(ClipdeckApplication*, const QString& openFile)
{
    openFiles({openFile});
    return true;
}

void AppController::openFiles(const QStringList& paths) { importFiles(paths); }

// Errors -------------------------------------------------------------------------------------

void AppController::presentError(const Error& error)
{
    if (!mainthread::isMainThread()) {
        QPointer<AppController> self(this);
        mainthread::post([self, error] {
            if (self)
                self->presentError(error);
        });
        return;
    }
    qWarning("%s %s", qPrintable(error.description()), qPrintable(error.localizedFailureReason));
    showError(error);
}

void AppController::showError(const Error& error)
{
    const auto offerRecovery = [error](int returnCode) {
        if (error.recoveryAttempter)
            error.recoveryAttempter(std::max(returnCode - CKAlert::FirstButtonReturn, 0));
    };
    if (mainWindow_ && mainWindow_->isVisible()) {
        CKSheetPresenter::shared().beginSheet(CKAlert::alertWithError(error), mainWindow_, offerRecovery);
    } else if (isLaunching_) {
        // The window is not there yet: it will be, or launching ends.
        QPointer<AppController> self(this);
        Timer::singleShot(kErrorRetryInterval, [self, error] {
            if (self)
                self->showError(error);
        });
    } else {
        CKSheetPresenter::shared().beginSheet(CKAlert::alertWithError(error), nullptr, offerRecovery);
    }
}

void AppController::reportUnloadableClipdecks(const Error& error)
{
    qWarning("%s %s", qPrintable(error.description()), qPrintable(error.localizedFailureReason));
    CKAlert* alert = CKAlert::alertWithError(error);
    alert->setAlertStyle(CKAlert::Style::Critical);
    const QUrl support = ClipdeckWebAddresses::supportPage();
    if (!support.isEmpty())
        alert->setInformativeText(tr("Please visit %1 for help.").arg(support.toString()));
    CKSheetPresenter::shared().beginSheet(alert, nullptr, [support](int) {
        if (!support.isEmpty())
            QDesktopServices::openUrl(support);
        if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication())
            application->terminate(TerminationRequest::Quit);
    });
}

// Application menu ---------------------------------------------------------------------------

void AppController::showAboutBox()
{
    ZEPAboutBox& box = ZEPAboutBox::sharedAboutBox();
    box.setController(this);
    ZEPAboutBoxLikeMenu& links = box.likeMenu();
    links.setProductPageURL(ClipdeckWebAddresses::productPage());
    links.setDesktopStoreIdentifier(ClipdeckWebAddresses::desktopStoreIdentifier());
    links.setTabletStoreIdentifier(ClipdeckWebAddresses::tabletStoreIdentifier());
    if (!addedRemoteAboutItem_ && !ClipdeckWebAddresses::remoteStorePage().isEmpty()) {
        addedRemoteAboutItem_ = true;
        links.addItem({tr("Get Clipdeck Remote for iPad"), ClipdeckWebAddresses::remoteStorePage(),
                       ZEPImageNamed(QStringLiteral("prefs_toolbar_remote"))});
    }
    box.show();
    box.raise();
    box.activateWindow();
}

QString AppController::aboutBoxController(ZEPAboutBox*, const QString& willDisplayAppName)
{
    return willDisplayAppName + QStringLiteral("®");
}

void AppController::showReleaseNotes()
{
    if (!releaseNotesViewer_) {
        releaseNotesViewer_ = new ZEPTextViewer(kReleaseNotesPath);
        releaseNotesViewer_->setTitle(tr("Clipdeck Release Notes"));
    }
    releaseNotesViewer_->show();
    releaseNotesViewer_->raise();
    releaseNotesViewer_->activateWindow();
}

void AppController::getMoreSounds()
{
    const QUrl address = ClipdeckWebAddresses::soundLibrary();
    if (!address.isEmpty())
        QDesktopServices::openUrl(address);
}

void AppController::showPreferences()
{
    if (!preferencesController_) {
        preferencesController_ = new ZEPPreferencesController(nullptr, this);
        preferencesController_->addController(new CKGeneralPreferencesController);
        preferencesController_->addController(new CKPlaybackPreferencesController);
        preferencesController_->addController(new CKEditorPreferencesController);
        preferencesController_->addController(new CKMIDIPreferencesController);
        preferencesController_->addController(new CKRemotePreferencesController);
    }
    preferencesController_->showWindow();
}

// Playback host ------------------------------------------------------------------------------

bool AppController::isTogglingLooping() const
{
    const ClipdeckApplication* application = ClipdeckApplication::sharedApplication();
    return application && application->isTogglingLooping();
}

bool AppController::isTogglingStopOnLift() const
{
    const ClipdeckApplication* application = ClipdeckApplication::sharedApplication();
    return application && application->isTogglingStopOnLift();
}

bool AppController::isTogglingRestartOnPress() const
{
    const ClipdeckApplication* application = ClipdeckApplication::sharedApplication();
    return application && application->isTogglingRestartOnPress();
}
