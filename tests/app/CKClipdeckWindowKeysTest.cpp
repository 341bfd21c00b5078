// The main window's keys with real sounds playing (a JACK server of the test's own, in the
// program's own application object, launched): the pause key finds its sound by the key's
// place, whatever the layout calls it; a sound that stops on release stops when the window
// loses the keyboard while its key is down.
#include "app/CKClipdeckButtonLayer.h"
#include "app/CKClipdeckView.h"
#include "app/CKClipdeckWindow.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundSource.h"

#include "platform/UserDefaults.h"
#include "platform/keys/KeyCodeTranslation.h"

#include "../clipdeck/PlaybackTestSupport.h"
#include "AppTestSupport.h"
#include "support/SettleEventLoop.h"

#include <QFocusEvent>

#include <cstdlib>

using namespace clipdeck::test;

namespace {

// X11 key codes (evdev + 8) by place on the keyboard.
constexpr uint32_t kScanCodeOf1 = 10;
constexpr uint32_t kScanCodeRightOfT = 29; // Y on a US layout, Z on a German one

class WindowKeys : public PlaybackOnDevice {
protected:
    void SetUp() override
    {
        PlaybackOnDevice::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        UserDefaults::standardUserDefaults().setObject(18, QStringLiteral("pauseSoundKey")); // the control key: Meta
        finishLaunching();
        host.shown = board.get();
        record();
    }
    void TearDown() override
    {
        unsetenv("XKB_DEFAULT_LAYOUT");
        keys::reloadLayout();
        PlaybackOnDevice::TearDown();
    }
    std::shared_ptr<CKSoundSource> addSound(std::size_t cell)
    {
        auto sound = std::make_shared<CKSoundSource>();
        EXPECT_TRUE(sound->buildEditorWithPath(files.constant(0.25f, -0.25f, 44100 * 8)));
        board->addSound(sound, cell, false);
        return sound;
    }
    void showBoard()
    {
        window.clipdeckView()->setClipdeck(board);
        window.show();
    }

    std::shared_ptr<CKClipdeck> board = std::make_shared<CKClipdeck>();
    CKClipdeckWindow window;
};

TEST_F(WindowKeys, ThePauseKeyFindsTheSoundOfTheKeysPlaceOnAGermanLayout)
{
    setenv("XKB_DEFAULT_LAYOUT", "de", 1);
    keys::reloadLayout();
    const std::shared_ptr<CKSoundSource> rightOfT = addSound(13), bottomLeft = addSound(24);
    showBoard();
    EXPECT_EQ(window.clipdeckView()->buttonLayerAtIndex(13)->keyLayer()->characterValue(), QStringLiteral("Z"));
    EXPECT_EQ(window.clipdeckView()->buttonLayerAtIndex(24)->keyLayer()->characterValue(), QStringLiteral("Y"));
    rightOfT->play();
    bottomLeft->play();
    ASSERT_TRUE(waitUntil([&] { return rightOfT->isPlaying() && bottomLeft->isPlaying(); }));

    QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::MetaModifier, kScanCodeRightOfT, 0, 0, QStringLiteral("z"));
    QApplication::sendEvent(&window, &press);
    EXPECT_TRUE(waitUntil([&] { return controller->soundIsPaused(rightOfT.get()); }));
    settleEventLoop();
    EXPECT_FALSE(controller->soundIsPaused(bottomLeft.get()));
    EXPECT_TRUE(bottomLeft->isPlaying());
}

TEST_F(WindowKeys, LosingTheKeyboardStopsASoundHeldByItsKeyThatStopsOnRelease)
{
    const std::shared_ptr<CKSoundSource> sound = addSound(0);
    sound->setLiftBehavior(CKSoundSource::kStopOnLift);
    showBoard();
    ASSERT_EQ(sound->triggerKeyCode(), 18);
    sendKey(&window, QEvent::KeyPress, kScanCodeOf1, QStringLiteral("1"), Qt::Key_1);
    ASSERT_TRUE(waitUntil([&] { return sound->isPlaying(); }));
    settleEventLoop();
    EXPECT_TRUE(sound->isPlaying()) << "held, it plays on";

    QFocusEvent focusOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(&window, &focusOut);
    EXPECT_TRUE(waitUntil([&] { return !controller->soundIsPlaying(sound.get()); }, 20000));
}

} // namespace
