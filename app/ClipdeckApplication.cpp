#include "app/ClipdeckApplication.h"

#include "app/ClipdeckWebAddresses.h"

#include "platform/ApplicationNotifications.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/codecs/ReadableFileTypes.h"
#include "platform/keys/ModifierFlags.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QSessionManager>

namespace {

const QString kToggleLoopingKey = QStringLiteral("toggleLoopingKey");
const QString kPauseSoundKey = QStringLiteral("pauseSoundKey");
const QString kStopOnLiftKey = QStringLiteral("stopOnLiftKey");
const QString kRestartOnPressKey = QStringLiteral("restartOnPressKey");
const QString kLastVersionRunKey = QStringLiteral("lastVersionRun");

} // namespace

ClipdeckApplication::ClipdeckApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Closing the last window quits through terminate(), never behind its back.
    setQuitOnLastWindowClosed(false);
    CKModifierToggles::setShared(this);

    // The desktop session is ending: the same question as a Quit. While the user answers a
    // confirmation, the logout waits (or is cancelled, when the session lets us ask).
    connect(this, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (terminating_)
            return;
        if (!manager.allowsInteraction()) {
            terminateNow();
            return;
        }
        terminate(TerminationRequest::SessionEnd);
        if (terminationPending_)
            manager.cancel();
        manager.release();
    });
    // Whatever ended the loop without asking (the session's last word), the will-terminate
    // steps still run.
    connect(this, &QCoreApplication::aboutToQuit, this, [this] {
        if (!terminating_)
            terminateNow();
    });
}

ClipdeckApplication::~ClipdeckApplication()
{
    if (CKModifierToggles::shared() == this)
        CKModifierToggles::setShared(nullptr);
}

ClipdeckApplication* ClipdeckApplication::sharedApplication() { return qobject_cast<ClipdeckApplication*>(qApp); }

// Key triggers -------------------------------------------------------------------------------

void ClipdeckApplication::setIsForwardingEvents(bool forwarding)
{
    const bool wasForwarding = isForwardingEvents();
    if (forwarding) {
        if (forwardingHolds_ == 0)
            return; // a holder that let go twice: nothing to let go of
        --forwardingHolds_;
    } else {
        ++forwardingHolds_;
    }
    if (isForwardingEvents() != wasForwarding)
        emit isForwardingEventsChanged(isForwardingEvents());
}

// Modifier toggles ---------------------------------------------------------------------------

uint32_t ClipdeckApplication::modifierMaskForKey(qint64 bitNumber)
{
    return bitNumber >= 1 && bitNumber <= 31 ? uint32_t(1) << bitNumber : 0;
}

void ClipdeckApplication::flip(std::atomic<bool>& flag)
{
    bool value = flag.load();
    while (!flag.compare_exchange_weak(value, !value)) {
    }
}

bool ClipdeckApplication::isToggling(const std::atomic<bool>& sticky, uint32_t mask)
{
    return sticky.load() || (keys::modifierFlags(QGuiApplication::keyboardModifiers()) & mask) != 0;
}

void ClipdeckApplication::readModifierMasks()
{
    for (const QString& key : {kToggleLoopingKey, kPauseSoundKey, kStopOnLiftKey, kRestartOnPressKey})
        modifierDefaultChanged(key);
}

void ClipdeckApplication::modifierDefaultChanged(const QString& key)
{
    const uint32_t mask = modifierMaskForKey(UserDefaults::standardUserDefaults().integerForKey(key));
    if (key == kToggleLoopingKey)
        toggleLoopingKeyMask_ = mask;
    else if (key == kPauseSoundKey)
        pauseSoundKeyMask_ = mask;
    else if (key == kStopOnLiftKey)
        stopOnLiftKeyMask_ = mask;
    else if (key == kRestartOnPressKey)
        restartOnPressKeyMask_ = mask;
}

// Files --------------------------------------------------------------------------------------

QStringList ClipdeckApplication::acceptedFileTypes()
{
    QStringList types{QStringLiteral("mov")};
    for (const QString& extension : ReadableFileTypes::allExtensions()) {
        if (extension != QLatin1String("m4b") && !types.contains(extension))
            types.append(extension);
    }
    const qsizetype m4a = types.indexOf(QStringLiteral("m4a"));
    if (m4a >= 0)
        types.insert(m4a + 1, QStringLiteral("m4b"));
    return types;
}

// Launching ----------------------------------------------------------------------------------

void ClipdeckApplication::finishLaunching()
{
    if (launched_ || terminating_)
        return;
    launched_ = true;
    NotificationCenter::defaultCenter().post(ApplicationDidFinishLaunchingNotification, this);

    altIsBeingHeldDown_ = false;
    togglingLooping_ = togglingStopOnLift_ = togglingRestartOnPress_ = false;
    readModifierMasks();
    connect(&UserDefaults::standardUserDefaults(), &UserDefaults::valueChanged, this,
            &ClipdeckApplication::modifierDefaultChanged);

    ZEPSplashScreen& splash = ZEPSplashScreen::sharedController();
    splash.setDelegate(this);
    splash.tutorialButton()->setVisible(!ClipdeckWebAddresses::tutorial().isEmpty());
    splash.webSiteButton()->setVisible(!ClipdeckWebAddresses::webSite().isEmpty());
    splash.runModalIfNeeded(UserDefaults::standardUserDefaults());
    if (terminating_)
        return; // a signal ended the program while the splash screen was up

    setIsForwardingEvents(true); // launching lets go
    if (delegate_)
        delegate_->finishLaunching();
}

void ClipdeckApplication::showSplashScreen()
{
    ZEPSplashScreen& splash = ZEPSplashScreen::sharedController();
    splash.setDelegate(this);
    splash.run();
}

void ClipdeckApplication::launchVideoURL(ZEPSplashScreen* sender)
{
    QDesktopServices::openUrl(ClipdeckWebAddresses::tutorial());
    sender->close();
}

void ClipdeckApplication::launchWebSiteURL(ZEPSplashScreen* sender)
{
    QDesktopServices::openUrl(ClipdeckWebAddresses::webSite());
    sender->close();
}

void ClipdeckApplication::splashScreenDidClose()
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setBool(true, ZEPSplashScreen::OnStartupKey);
    defaults.synchronize();
}

// Quitting -----------------------------------------------------------------------------------

void ClipdeckApplication::terminate(TerminationRequest request)
{
    if (terminating_)
        return;
    if (terminationPending_ && request != TerminationRequest::Signal)
        return; // the delegate is still asking the user
    const auto reply = delegate_ ? delegate_->applicationShouldTerminate(this, request)
                                 : ClipdeckApplicationDelegate::TerminateNow;
    if (request == TerminationRequest::Signal || reply == ClipdeckApplicationDelegate::TerminateNow) {
        terminateNow();
        return;
    }
    terminationPending_ = reply == ClipdeckApplicationDelegate::TerminateLater;
}

void ClipdeckApplication::replyToApplicationShouldTerminate(bool shouldTerminate)
{
    if (!terminationPending_)
        return;
    terminationPending_ = false;
    if (shouldTerminate)
        terminateNow();
}

void ClipdeckApplication::terminateNow()
{
    if (terminating_)
        return;
    terminating_ = true;
    terminationPending_ = false;
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const QString version = applicationVersion();
    if (!version.isEmpty())
        defaults.setObject(version, kLastVersionRunKey);
    if (delegate_)
        delegate_->applicationWillTerminate(this);
    NotificationCenter::defaultCenter().post(ApplicationWillTerminateNotification, this);
    defaults.synchronize();
    exit(0);
}
