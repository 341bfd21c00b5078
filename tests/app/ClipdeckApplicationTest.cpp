// The application object: modifier masks and toggles, the key-trigger switch, launching,
// the file types it takes and the one quit path.
#include "app/CKTerminationSignals.h"
#include "app/ClipdeckApplication.h"

#include "AppTestSupport.h"
#include "platform/ApplicationNotifications.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/keys/ModifierFlags.h"
#include "platform/ui/ZEPSplashScreen.h"

#include <QPushButton>
#include <QSignalSpy>

#include <csignal>
#include <thread>

using namespace clipdeck::test;

namespace {

// A delegate that answers as told and writes down what it hears.
class RecordingDelegate : public ClipdeckApplicationDelegate {
public:
    TerminateReply reply = TerminateNow;
    QStringList calls;

    void finishLaunching() override { calls << "finish launching"; }
    TerminateReply applicationShouldTerminate(ClipdeckApplication*, TerminationRequest request) override
    {
        calls << QStringLiteral("should terminate %1").arg(int(request));
        return reply;
    }
    void applicationWillTerminate(ClipdeckApplication*) override { calls << "will terminate"; }
};

UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }

} // namespace

TEST(ClipdeckApplication, OnlyKeyDefaultsOfOneToThirtyOneGiveAModifierAndChangesApplyAtOnce)
{
    const struct {
        qint64 stored;
        uint32_t mask;
    } cases[] = {
        {0, 0},         {17, keys::kShiftKeyMask}, {18, keys::kControlKeyMask}, {19, keys::kAlternateKeyMask},
        {20, keys::kCommandKeyMask}, {1, 2},       {31, 0x80000000u},          {32, 0},
        {-1, 0},        {-262144, 0},              {1000, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClipdeckApplication::modifierMaskForKey(c.stored), c.mask) << c.stored;

    // As registered: pause with Control, looping with Option, the others with nothing.
    finishLaunching();
    ClipdeckApplication& app = application();
    EXPECT_EQ(app.pauseSoundKeyMask(), keys::kControlKeyMask);
    EXPECT_EQ(app.toggleLoopingKeyMask(), keys::kAlternateKeyMask);
    EXPECT_EQ(app.stopOnLiftKeyMask(), 0u);
    EXPECT_EQ(app.restartOnPressKeyMask(), 0u);
    EXPECT_EQ(CKModifierToggles::shared(), &app);

    defaults().setInteger(17, "toggleLoopingKey");
    EXPECT_EQ(app.toggleLoopingKeyMask(), keys::kShiftKeyMask);
    defaults().setInteger(-262144, "restartOnPressKey");
    EXPECT_EQ(app.restartOnPressKeyMask(), 0u);
    defaults().setInteger(20, "stopOnLiftKey");
    EXPECT_EQ(app.stopOnLiftKeyMask(), keys::kCommandKeyMask);
}

TEST(ClipdeckApplication, StickyTogglesFlipFromTheMIDIThreadAndAnswerWithoutAModifier)
{
    finishLaunching();
    ClipdeckApplication& app = application();
    EXPECT_FALSE(app.isTogglingLooping());
    std::thread midi([&app] {
        app.toggleLooping();
        app.toggleRestartOnPress();
        app.toggleRestartOnPress();
    });
    midi.join();
    EXPECT_TRUE(app.isTogglingLooping());
    EXPECT_FALSE(app.isTogglingRestartOnPress());
    EXPECT_FALSE(app.isTogglingStopOnLift()); // its key default is 0: only the sticky flag counts
    app.toggleLooping();
    EXPECT_FALSE(app.isTogglingLooping());
}

TEST(ClipdeckApplication, KeyTriggersAreOffUntilLaunchingEndsAndUntilTheLastHolderLetsGo)
{
    ClipdeckApplication& app = application();
    QSignalSpy changes(&app, &ClipdeckApplication::isForwardingEventsChanged);
    EXPECT_FALSE(app.isForwardingEvents());
    finishLaunching();
    EXPECT_TRUE(app.isForwardingEvents());
    ASSERT_EQ(changes.size(), 1);
    EXPECT_TRUE(changes.takeFirst().at(0).toBool());

    app.setIsForwardingEvents(false); // the tab's name field
    app.setIsForwardingEvents(false); // an error sheet over it
    app.setIsForwardingEvents(true);  // the sheet closes
    EXPECT_FALSE(app.isForwardingEvents());
    app.setIsForwardingEvents(true); // the field closes
    EXPECT_TRUE(app.isForwardingEvents());
    app.setIsForwardingEvents(true); // a holder that lets go twice changes nothing
    EXPECT_TRUE(app.isForwardingEvents());
    ASSERT_EQ(changes.size(), 2);
    EXPECT_FALSE(changes.at(0).at(0).toBool());
    EXPECT_TRUE(changes.at(1).at(0).toBool());
    EXPECT_EQ(app.forwardingHolds(), 0);
}

TEST(ClipdeckApplication, LaunchingTellsTheObserversFirstAndTheDelegateLastAndOffersNoEmptyLinks)
{
    RecordingDelegate delegate;
    QStringList order;
    const int observer = 0;
    NotificationCenter::defaultCenter().addObserver(&observer, ApplicationDidFinishLaunchingNotification, nullptr,
                                                    [&](const Notification&) {
                                                        order << (application().isForwardingEvents() ? "on" : "off");
                                                    });
    finishLaunching(&delegate);
    finishLaunching(&delegate); // once
    NotificationCenter::defaultCenter().removeObserver(&observer);
    EXPECT_EQ(order, QStringList{"off"});
    EXPECT_EQ(delegate.calls, QStringList{"finish launching"});
    EXPECT_TRUE(application().isForwardingEvents());
    // This build names no web addresses: the splash screen offers neither link.
    EXPECT_FALSE(ZEPSplashScreen::sharedController().tutorialButton()->isVisibleTo(&ZEPSplashScreen::sharedController()));
    EXPECT_FALSE(ZEPSplashScreen::sharedController().webSiteButton()->isVisibleTo(&ZEPSplashScreen::sharedController()));
    application().setDelegate(nullptr);
}

TEST(ClipdeckApplication, AcceptsMovieFilesAndEveryExtensionTheReaderKnowsWithM4bAfterM4a)
{
    const QStringList types = ClipdeckApplication::acceptedFileTypes();
    ASSERT_FALSE(types.isEmpty());
    EXPECT_EQ(types.first(), "mov");
    for (const char* type : {"wav", "aif", "aiff", "mp3", "flac", "ogg", "caf", "m4a", "m4b", "mp4"})
        EXPECT_EQ(types.count(type), 1) << type;
    EXPECT_EQ(types.indexOf("m4b"), types.indexOf("m4a") + 1);
    for (const QString& type : types) {
        EXPECT_EQ(type, type.toLower());
        EXPECT_EQ(types.count(type), 1) << type.toStdString();
    }
    // Pictures never carry sound.
    for (const char* type : {"png", "jpg", "jpeg", "bmp"})
        EXPECT_FALSE(types.contains(type)) << type;
}

TEST(ClipdeckApplication, QuittingAsksTheDelegateWhichMayAnswerLaterThenStoresTheVersionAndTellsEverybody)
{
    finishLaunching();
    RecordingDelegate delegate;
    ClipdeckApplication& app = application();
    app.setDelegate(&delegate);
    const int observer = 0;
    NotificationCenter::defaultCenter().addObserver(&observer, ApplicationWillTerminateNotification, nullptr,
                                                    [&](const Notification& note) {
                                                        EXPECT_EQ(note.object, &app);
                                                        delegate.calls << "observers";
                                                    });

    // The delegate cancels: the program goes on.
    delegate.reply = ClipdeckApplicationDelegate::TerminateCancel;
    app.terminate(TerminationRequest::CloseWindow);
    EXPECT_FALSE(app.isTerminating());
    EXPECT_FALSE(app.isTerminationPending());

    // The delegate asks the user: a second request meanwhile asks nothing; "Cancel".
    delegate.reply = ClipdeckApplicationDelegate::TerminateLater;
    delegate.calls.clear();
    app.terminate(TerminationRequest::Quit);
    app.terminate(TerminationRequest::Quit);
    EXPECT_TRUE(app.isTerminationPending());
    app.replyToApplicationShouldTerminate(false);
    EXPECT_FALSE(app.isTerminating());
    EXPECT_EQ(delegate.calls, QStringList{"should terminate 0"});
    EXPECT_FALSE(defaults().objectForKey("lastVersionRun").isValid());

    // Asked again, "Quit".
    app.terminate(TerminationRequest::SessionEnd);
    app.replyToApplicationShouldTerminate(true);
    EXPECT_TRUE(app.isTerminating());
    EXPECT_EQ(delegate.calls,
              (QStringList{"should terminate 0", "should terminate 3", "will terminate", "observers"}));
    EXPECT_EQ(defaults().stringForKey("lastVersionRun"), "0.1-test");

    // Once ended, nothing asks again.
    app.terminate(TerminationRequest::Quit);
    EXPECT_EQ(delegate.calls.size(), 4);
    NotificationCenter::defaultCenter().removeObserver(&observer);
    app.setDelegate(nullptr);
}

TEST(ClipdeckApplication, ASignalEndsTheProgramWhateverTheDelegateWouldAnswer)
{
    finishLaunching();
    RecordingDelegate delegate;
    ClipdeckApplication& app = application();
    app.setDelegate(&delegate);
    delegate.reply = ClipdeckApplicationDelegate::TerminateLater;
    app.terminate(TerminationRequest::Quit); // a confirmation is up
    delegate.reply = ClipdeckApplicationDelegate::TerminateCancel;
    app.terminate(TerminationRequest::Signal);
    EXPECT_TRUE(app.isTerminating());
    EXPECT_EQ(delegate.calls, (QStringList{"should terminate 0", "should terminate 2", "will terminate"}));
    app.setDelegate(nullptr);
}

TEST(CKTerminationSignals, TermIntAndHupReachTheMainLoopAndTheOldHandlersComeBack)
{
    struct sigaction before = {};
    sigaction(SIGHUP, nullptr, &before);
    {
        QList<int> heard;
        CKTerminationSignals watcher([&heard](int number) { heard << number; });
        ASSERT_TRUE(watcher.isInstalled());
        for (int number : {SIGTERM, SIGINT, SIGHUP})
            ::raise(number);
        EXPECT_TRUE(waitUntil([&] { return heard.size() == 3; }));
        EXPECT_EQ(heard, (QList<int>{SIGTERM, SIGINT, SIGHUP}));
    }
    struct sigaction after = {};
    sigaction(SIGHUP, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}
