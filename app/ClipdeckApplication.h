#pragma once
// The program's application object. Beside running the event loop it
//  - keeps the one switch for key triggers, isForwardingEvents: every sheet, panel and
//    in-place name field turns it off while it is open. Those may nest (an error sheet over
//    the tab's name field): each setIsForwardingEvents(false) is matched by one
//    setIsForwardingEvents(true), and the switch is on again, with its signal, only when
//    the last of them has closed. It is off until launching has ended;
//  - turns the four modifier-key defaults into masks and keeps the three sticky toggles
//    that MIDI flips (CKModifierToggles: the key dispatcher and the sounds read them);
//  - lists the file name extensions that may be dropped on a board;
//  - runs launching (finishLaunching()) and the one quit path that every way of quitting
//    takes: the Quit command, closing the main window, SIGTERM, SIGINT or SIGHUP, and the
//    desktop session ending. Each asks the delegate (which may answer later, after a
//    confirmation sheet), then stores "lastVersionRun", tells the delegate and the
//    will-terminate observers (platform/ApplicationNotifications.h), and ends the loop.
//
// Main thread only, except the toggle...() flips (CKModifierToggles: the MIDI thread).

#include "clipdeck/CKModifierToggles.h"
#include "platform/ui/ZEPSplashScreen.h"

#include <QApplication>
#include <QStringList>

#include <atomic>

class ClipdeckApplication;

// Why the program is asked to end.
enum class TerminationRequest {
    Quit,        // the Quit command (Ctrl+Q)
    CloseWindow, // the main window's close button, Alt+F4, a window manager's close
    Signal,      // SIGTERM, SIGINT or SIGHUP: nobody may be asked
    SessionEnd,  // the desktop session is ending
};

// What the application asks of its delegate (the AppController).
class ClipdeckApplicationDelegate {
public:
    enum TerminateReply { TerminateCancel = 0, TerminateNow = 1, TerminateLater = 2 };

    virtual ~ClipdeckApplicationDelegate() = default;
    // The last step of launching: the window shows.
    virtual void finishLaunching() {}
    // Whether to end now; TerminateLater promises a replyToApplicationShouldTerminate().
    // A request from a signal is never answered with TerminateLater or TerminateCancel
    // (the application ends anyway).
    virtual TerminateReply applicationShouldTerminate(ClipdeckApplication* sender, TerminationRequest request)
    {
        (void)sender;
        (void)request;
        return TerminateNow;
    }
    // The program ends: stop what runs (before the will-terminate observers are told).
    virtual void applicationWillTerminate(ClipdeckApplication* sender) { (void)sender; }
    // A document handed to the program (on its command line, or by a second start).
    virtual bool application(ClipdeckApplication* sender, const QString& openFile)
    {
        (void)sender;
        (void)openFile;
        return false;
    }
};

class ClipdeckApplication : public QApplication, public CKModifierToggles, public ZEPSplashScreenDelegate {
    Q_OBJECT
public:
    ClipdeckApplication(int& argc, char** argv);
    ~ClipdeckApplication() override;

    // The running application object; null when the program runs another kind.
    static ClipdeckApplication* sharedApplication();

    void setDelegate(ClipdeckApplicationDelegate* delegate) { delegate_ = delegate; }
    ClipdeckApplicationDelegate* delegate() const { return delegate_; }

    // ---- Key triggers ----

    bool isForwardingEvents() const { return forwardingHolds_ == 0; }
    // false: one more holder keeps key triggers off; true: one holder lets go.
    void setIsForwardingEvents(bool forwarding);
    int forwardingHolds() const { return forwardingHolds_; }

    bool altIsBeingHeldDown() const { return altIsBeingHeldDown_; }
    void setAltIsBeingHeldDown(bool held) { altIsBeingHeldDown_ = held; }

    // ---- Modifier toggles (CKModifierToggles) ----

    // The mask of a key default: 1 << n for a bit number n of 1 to 31, else no modifier.
    static uint32_t modifierMaskForKey(qint64 bitNumber);

    uint32_t toggleLoopingKeyMask() const override { return toggleLoopingKeyMask_; }
    uint32_t pauseSoundKeyMask() const override { return pauseSoundKeyMask_; }
    uint32_t stopOnLiftKeyMask() const override { return stopOnLiftKeyMask_; }
    uint32_t restartOnPressKeyMask() const override { return restartOnPressKeyMask_; }
    void toggleLooping() override { flip(togglingLooping_); }
    void toggleStopOnLift() override { flip(togglingStopOnLift_); }
    void toggleRestartOnPress() override { flip(togglingRestartOnPress_); }
    bool isTogglingLooping() const override { return isToggling(togglingLooping_, toggleLoopingKeyMask_); }
    bool isTogglingStopOnLift() const override { return isToggling(togglingStopOnLift_, stopOnLiftKeyMask_); }
    bool isTogglingRestartOnPress() const override
    {
        return isToggling(togglingRestartOnPress_, restartOnPressKeyMask_);
    }

    // ---- Files ----

    // The extensions of files a board takes: "mov", then every extension the sound-file
    // reader knows, lower case and each once, with "m4b" right after "m4a".
    static QStringList acceptedFileTypes();

    // ---- Launching ----

    // Tells the did-finish-launching observers, reads the modifier masks (and follows their
    // defaults), runs the splash screen until it has been closed once, turns key triggers
    // on and lets the delegate show the window. Once; run it from the event loop.
    void finishLaunching();
    bool hasFinishedLaunching() const { return launched_; }
    // Shows the splash screen without blocking (the menu's Welcome command).
    void showSplashScreen();

    // ---- Quitting ----

    // Asks the delegate and ends the program when it agrees (now, or at its reply).
    void terminate(TerminationRequest request = TerminationRequest::Quit);
    // The delegate's answer to a TerminateLater.
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    // The delegate was asked and has not answered yet.
    bool isTerminationPending() const { return terminationPending_; }
    bool isTerminating() const { return terminating_; }

    // ---- Splash screen delegate ----

    void launchVideoURL(ZEPSplashScreen* sender) override;
    void launchWebSiteURL(ZEPSplashScreen* sender) override;
    void splashScreenDidClose() override;

signals:
    void isForwardingEventsChanged(bool forwarding);

private:
    static void flip(std::atomic<bool>& flag);
    static bool isToggling(const std::atomic<bool>& sticky, uint32_t mask);
    void readModifierMasks();
    void modifierDefaultChanged(const QString& key);
    // Stores the version, tells everybody and ends the event loop.
    void terminateNow();

    ClipdeckApplicationDelegate* delegate_ = nullptr;
    // Launching holds key triggers off until it ends.
    int forwardingHolds_ = 1;
    bool altIsBeingHeldDown_ = false;
    uint32_t toggleLoopingKeyMask_ = 0;
    uint32_t pauseSoundKeyMask_ = 0;
    uint32_t stopOnLiftKeyMask_ = 0;
    uint32_t restartOnPressKeyMask_ = 0;
    std::atomic<bool> togglingLooping_{false};
    std::atomic<bool> togglingStopOnLift_{false};
    std::atomic<bool> togglingRestartOnPress_{false};
    bool launched_ = false;
    bool terminationPending_ = false;
    bool terminating_ = false;
};
