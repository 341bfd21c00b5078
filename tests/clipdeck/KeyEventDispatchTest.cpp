// Computer keys: synthesized key events carrying native scan codes, sent to a window that
// hands them to the dispatcher as the board window does (offscreen platform).
#include "clipdeck/CKKeyEventDispatch.h"
#include "clipdeck/CKModifierToggles.h"
#include "platform/keys/KeyCodeTranslation.h"
#include "platform/keys/ModifierFlags.h"
#include "platform/keys/VirtualKeyCodes.h"

#include "TriggerTestSupport.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

using namespace clipdeck::test;

namespace {

// X11 scan codes (evdev + 8) of the US keys "12345678qwertyuiasdfghjkzxcvbnm,".
constexpr uint32_t kGridScanCodes[32] = {10, 11, 12, 13, 14, 15, 16, 17, 24, 25, 26, 27, 28, 29, 30, 31,
                                         38, 39, 40, 41, 42, 43, 44, 45, 52, 53, 54, 55, 56, 57, 58, 59};
constexpr uint32_t kScanCode1 = 10, kScanCodeQ = 24;

class FakeToggles : public CKModifierToggles {
public:
    uint32_t looping = 0, pause = 0, stopOnLift = 0, restartOnPress = 0;
    uint32_t toggleLoopingKeyMask() const override { return looping; }
    uint32_t pauseSoundKeyMask() const override { return pause; }
    uint32_t stopOnLiftKeyMask() const override { return stopOnLift; }
    uint32_t restartOnPressKeyMask() const override { return restartOnPress; }
    void toggleLooping() override {}
    void toggleStopOnLift() override {}
    void toggleRestartOnPress() override {}
    bool isTogglingLooping() const override { return false; }
    bool isTogglingStopOnLift() const override { return false; }
    bool isTogglingRestartOnPress() const override { return false; }
};

class KeyTriggers : public ::testing::Test {
protected:
    void SetUp() override
    {
        CKModifierToggles::setShared(&toggles);
        window.show();
    }
    void TearDown() override
    {
        for (const auto& [listener, code, type] : registered)
            dispatch().removeListener(listener, {}, code, type);
        dispatch().clearKeyState();
        CKModifierToggles::setShared(nullptr);
    }
    static CKKeyEventDispatch& dispatch() { return CKKeyEventDispatch::sharedDispatcher(); }

    void listen(const QString& name, uint16_t code, int32_t type)
    {
        auto listener = dispatch().addListener(&target, [this, name] { log.record(name); }, {}, code, type);
        registered.emplace_back(listener, code, type);
    }
    // Sends a key event as the window system would, and lets the deferred calls run.
    void key(QEvent::Type type, uint32_t scanCode, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             const QString& text = {}, bool autoRepeat = false)
    {
        QKeyEvent event(type, Qt::Key_unknown, modifiers, scanCode, 0, 0, text, autoRepeat);
        QApplication::sendEvent(&window, &event);
        QCoreApplication::processEvents();
    }

    FakeToggles toggles;
    BoardWindowStandIn window;
    QObject target;
    CallLog log;
    std::vector<std::tuple<CKKeyEventDispatch::ListenerPtr, uint16_t, int32_t>> registered;
};

} // namespace

TEST_F(KeyTriggers, TheGridKeysComeFromTheirScanCodesWithUSCaptions)
{
    for (int i = 0; i < 32; ++i) {
        SCOPED_TRACE(i);
        const uint16_t code = CKKeyEventDispatch::kGridKeyCodes[size_t(i)];
        EXPECT_EQ(keys::virtualKeyCodeForScanCode(kGridScanCodes[i]), code);
        EXPECT_EQ(keys::scanCodeForVirtualKeyCode(code), kGridScanCodes[i]);
        EXPECT_EQ(keys::stringWithKeyCode(code), CKKeyEventDispatch::kGridKeyCharacters.mid(i, 1));
    }
    EXPECT_EQ(keys::virtualKeyCodeForScanCode(0), keys::kNoVirtualKeyCode);
    EXPECT_EQ(keys::stringWithKeyCode(36), ""); // Return shows no character
    EXPECT_EQ(keys::stringWithKeyCode(999), "");
}

TEST_F(KeyTriggers, ModifiersAreRefusedUnlessOneIsAToggleKey)
{
    // Only a key-down listener: the releases are not handled, yet the key must come up for the
    // next case's press to fire.
    listen("down 1", 18, CKKeyEventListener::kKeyDown);
    const struct {
        const char* what;
        Qt::KeyboardModifiers modifiers;
        uint32_t loopingMask, pauseMask;
        QString text;
        bool fires;
    } cases[] = {
        {"plain", Qt::NoModifier, 0, 0, "1", true},
        {"command", Qt::ControlModifier, keys::kAlternateKeyMask, 0, "1", false},
        {"shift, no shift toggle", Qt::ShiftModifier, keys::kAlternateKeyMask, 0, "!", false},
        {"shift as the looping toggle", Qt::ShiftModifier, keys::kShiftKeyMask, 0, "!", true},
        {"option as the looping toggle", Qt::AltModifier, keys::kAlternateKeyMask, 0, "1", true},
        {"command and the option toggle", Qt::ControlModifier | Qt::AltModifier, keys::kAlternateKeyMask, 0, "1", true},
        {"control, the pause key", Qt::MetaModifier, keys::kAlternateKeyMask, keys::kControlKeyMask, "1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        toggles.looping = c.loopingMask;
        toggles.pause = c.pauseMask;
        QKeyEvent event(QEvent::KeyPress, Qt::Key_1, c.modifiers, kScanCode1, 0, 0, c.text);
        EXPECT_EQ(dispatch().canHandleEvent(&event), c.fires);
        const size_t before = log.count();
        key(QEvent::KeyPress, kScanCode1, c.modifiers, c.text);
        key(QEvent::KeyRelease, kScanCode1, c.modifiers, c.text);
        EXPECT_EQ(log.count() - before, c.fires ? 1u : 0u);
        if (c.fires)
            EXPECT_EQ(dispatch().charValueForEvent(&event), "1"); // shift-1 is still the key "1"
    }
}

TEST_F(KeyTriggers, AHeldKeyFiresOnceAndEveryReleaseFires)
{
    listen("down first", 12, CKKeyEventListener::kKeyDown);
    listen("down second", 12, CKKeyEventListener::kKeyDown);
    listen("up", 12, CKKeyEventListener::kKeyUp);
    key(QEvent::KeyRelease, kScanCodeQ, Qt::NoModifier, "q"); // a release without a press
    key(QEvent::KeyPress, kScanCodeQ, Qt::NoModifier, "q");
    for (int repeat = 0; repeat < 3; ++repeat) { // auto-repeat comes as release and press pairs
        key(QEvent::KeyRelease, kScanCodeQ, Qt::NoModifier, "q", true);
        key(QEvent::KeyPress, kScanCodeQ, Qt::NoModifier, "q", true);
    }
    key(QEvent::KeyPress, kScanCodeQ, Qt::NoModifier, "q"); // a second press without a release
    key(QEvent::KeyRelease, kScanCodeQ, Qt::NoModifier, "q");
    EXPECT_EQ(log.calls(), (std::vector<QString>{"up", "down first", "down second", "up"}));
}

TEST_F(KeyTriggers, LosingFocusForgetsTheKeysHeldSoTheNextPressFires)
{
    listen("down", 18, CKKeyEventListener::kKeyDown);
    BoardWindowStandIn other;
    other.show();
    window.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return window.isActiveWindow(); }));
    key(QEvent::KeyPress, kScanCode1, Qt::NoModifier, "1");
    EXPECT_TRUE(dispatch().isKeyDown(18));

    other.activateWindow(); // the key goes up while another window has the focus
    ASSERT_TRUE(waitUntil([&] { return other.isActiveWindow(); }));
    EXPECT_FALSE(dispatch().isKeyDown(18));

    window.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return window.isActiveWindow(); }));
    key(QEvent::KeyPress, kScanCode1, Qt::NoModifier, "1");
    EXPECT_EQ(log.calls(), (std::vector<QString>{"down", "down"}));
}

TEST_F(KeyTriggers, AListenerRemovedOrWhoseTargetWentBeforeItsCallDoesNothing)
{
    auto removed = dispatch().addListener(&target, [&] { log.record("removed"); }, "1", 18, CKKeyEventListener::kKeyDown);
    auto gone = std::make_unique<QObject>();
    auto orphan = dispatch().addListener(gone.get(), [&] { log.record("orphan"); }, "1", 18, CKKeyEventListener::kKeyDown);
    listen("kept", 18, CKKeyEventListener::kKeyDown);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, kScanCode1, 0, 0, "1");
    dispatch().handleEvent(&press); // the calls wait for the main loop
    EXPECT_TRUE(dispatch().removeListener(removed, "1", 18, CKKeyEventListener::kKeyDown));
    EXPECT_FALSE(dispatch().removeListener(removed, "1", 18, CKKeyEventListener::kKeyDown));
    gone.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.calls(), std::vector<QString>{"kept"});
    EXPECT_TRUE(dispatch().removeListener(orphan, "1", 18, CKKeyEventListener::kKeyDown));
    EXPECT_EQ(removed->key(), "1");
}
