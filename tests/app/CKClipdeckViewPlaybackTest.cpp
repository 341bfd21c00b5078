// Clicks on the grid playing real sounds: a JACK server of the test's own with its dummy
// driver, the output recorded. A click plays, a second fades, restart on press restarts, a
// paused sound resumes; locked triggers play on the press and lift on the release; the pause
// modifier pauses a playing sound and asks for the editor on a stopped one; a release after
// a board switch plays nothing; a click on the volume rail glides a playing sound and sets an
// idle one at once; a volume set before the sound has loaded is the one it plays at.
#include "app/CKClipdeckButtonLayer.h"
#include "app/CKClipdeckView.h"
#include "editor/CKEditorController.h"

#include "audio/editor/CKAudioFileEditor.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundSource.h"

#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"

#include "../clipdeck/PlaybackTestSupport.h"
#include "support/SettleEventLoop.h"

#include <QTest>

using namespace clipdeck::test;

namespace {

class GridPlayback : public PlaybackOnDevice {
protected:
    void SetUp() override
    {
        PlaybackOnDevice::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        defaults().setBool(false, QStringLiteral("triggersLocked"));
        defaults().setObject(0, QStringLiteral("pauseSoundKey"));
        sound = std::make_shared<CKSoundSource>();
        ASSERT_TRUE(sound->buildEditorWithPath(files.constant(0.25f, -0.25f, 44100 * 8)));
        board->addSound(sound, 0, false);
        host.shown = board.get();
        view.resize(820, 420);
        view.show();
        view.setClipdeck(board);
        record();
    }
    void TearDown() override
    {
        defaults().setBool(false, QStringLiteral("triggersLocked"));
        defaults().setObject(0, QStringLiteral("pauseSoundKey"));
        PlaybackOnDevice::TearDown();
    }
    static UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
    void click(Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mousePress(&view, Qt::LeftButton, modifiers, view.centerOfCell(0));
        QTest::mouseRelease(&view, Qt::LeftButton, modifiers, view.centerOfCell(0));
    }
    // The sound's own level reaches the output.
    bool heard()
    {
        const size_t from = recorder->frames();
        return waitUntil([&] { return findSteadyLevel(*recorder, from, 0.25f, -0.25f, 1024, 2e-3f) >= 0; });
    }
    CKClipdeckButtonLayer* cell() const { return view.buttonLayerAtIndex(0); }
    // A point on a cell's volume rail, a fraction of the way up, in Qt's view coordinates;
    // the volume it stands for in value.
    QPoint pointOnRail(std::size_t index, double fraction, double* value = nullptr) const
    {
        CKClipdeckButtonLayer* target = view.buttonLayerAtIndex(index);
        const QRectF rail = target->sliderLayer()->frame();
        const QPointF inCell(rail.center().x(), rail.y() + fraction * rail.height());
        EXPECT_TRUE(target->pointIsOnSlider(inCell));
        EXPECT_FALSE(target->sliderLayer()->pointIsOnSliderHandle(inCell)) << "on the knob, not the rail";
        const QPoint at = view.qtPoint(inCell + target->frame().topLeft()).toPoint();
        if (value)
            *value = target->doubleValueForSliderAtPoint(view.yUpPoint(at));
        return at;
    }

    std::shared_ptr<CKClipdeck> board = std::make_shared<CKClipdeck>();
    std::shared_ptr<CKSoundSource> sound;
    CKClipdeckView view;
};

TEST_F(GridPlayback, AClickPlaysASecondFadesAPausedSoundResumesAndRestartOnPressRestarts)
{
    click();
    ASSERT_TRUE(waitUntil([this] { return sound->isPlaying() && !cell()->isStopped(); }));
    EXPECT_TRUE(heard());
    EXPECT_EQ(cell()->progressBarColor(), QColor::fromRgbF(0.0, 0.445, 1.0, 0.5));
    EXPECT_TRUE(cell()->isClockShown());

    controller->pauseSound(sound.get());
    ASSERT_TRUE(waitUntil([this] { return cell()->isPaused(); }));
    click();
    ASSERT_TRUE(waitUntil([this] { return !cell()->isPaused() && sound->isPlaying(); }));

    sound->setRestartOnPress(true);
    click();
    settleEventLoop();
    EXPECT_TRUE(sound->isPlaying());
    EXPECT_FALSE(cell()->isFading());

    sound->setRestartOnPress(false);
    click();
    ASSERT_TRUE(waitUntil([this] { return cell()->isFading() || cell()->isStopped(); }));
    ASSERT_TRUE(waitUntil([this] { return !controller->soundIsPlaying(sound.get()); }, 20000));
    EXPECT_TRUE(cell()->isStopped());
    EXPECT_EQ(cell()->progressBarWidth(), 0);
}

TEST_F(GridPlayback, LockedTriggersPlayOnThePressAndLiftOnTheRelease)
{
    defaults().setBool(true, QStringLiteral("triggersLocked"));
    sound->setLiftBehavior(CKSoundSource::kStopOnLift);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, view.centerOfCell(0));
    ASSERT_TRUE(waitUntil([this] { return sound->isPlaying(); }));
    EXPECT_TRUE(heard());
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, view.centerOfCell(0));
    ASSERT_TRUE(waitUntil([this] { return !controller->soundIsPlaying(sound.get()); }, 20000));
}

TEST_F(GridPlayback, ThePauseModifierPausesAPlayingSoundAndAsksForTheEditorOnAStoppedOne)
{
    defaults().setObject(18, QStringLiteral("pauseSoundKey")); // the control key: Meta
    std::shared_ptr<CKSoundSource> edited;
    QObject::connect(CKEditorController::sharedEditorController(), &CKEditorController::editRequested, &view,
                     [&edited](std::shared_ptr<CKSoundSource> requested) { edited = requested; });
    click(Qt::MetaModifier);
    EXPECT_EQ(edited, sound);
    EXPECT_FALSE(sound->isPlaying());

    click();
    ASSERT_TRUE(waitUntil([this] { return sound->isPlaying(); }));
    click(Qt::MetaModifier);
    ASSERT_TRUE(waitUntil([this] { return controller->soundIsPaused(sound.get()); }));
    EXPECT_TRUE(waitUntil([this] { return cell()->isPaused(); }));
}

TEST_F(GridPlayback, LeavingABoardKeepsItsSoundsMIDIListeners)
{
    sound->setMIDIChannel(0, 60);
    const auto listener = sound->MIDIListener();
    view.setClipdeck(std::make_shared<CKClipdeck>());
    // Unbinding dropped the key only: the note's listeners stay as they were.
    EXPECT_TRUE(sound->triggerKey().isEmpty());
    EXPECT_EQ(sound->MIDIListener(), listener);
}

TEST_F(GridPlayback, AReleaseAfterABoardSwitchPlaysNothing)
{
    auto other = std::make_shared<CKClipdeck>();
    auto otherSound = std::make_shared<CKSoundSource>();
    ASSERT_TRUE(otherSound->buildEditorWithPath(files.constant(0.5f, -0.5f, 44100 * 8)));
    other->addSound(otherSound, 0, false);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, view.centerOfCell(0));
    view.setClipdeck(other);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, view.centerOfCell(0));
    settleEventLoop();
    EXPECT_FALSE(sound->isPlaying());
    EXPECT_FALSE(otherSound->isPlaying());
    EXPECT_FALSE(controller->soundIsPlaying(otherSound.get()));
    // The press is over: the view waits for the next one.
    EXPECT_EQ(view.internalDragIndex(), CKClipdeckView::kNotFound);
}

TEST_F(GridPlayback, ARailClickGlidesAPlayingSoundOverHalfASecondAndSetsAnIdleOneAtOnce)
{
    ManualTimeSource clock;
    double low = 0, high = 0;
    const QPoint lowPoint = pointOnRail(0, 0.2, &low);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, lowPoint);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, lowPoint);
    EXPECT_FLOAT_EQ(sound->playbackVolume(), float(low)) << "idle: at once";
    EXPECT_EQ(sound->fader(), nullptr);
    EXPECT_FALSE(sound->isPlaying()) << "a click on the rail plays nothing";

    sound->play();
    ASSERT_TRUE(waitUntil([this] { return sound->isPlaying(); }));
    const QPoint highPoint = pointOnRail(0, 0.8, &high);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, highPoint);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, highPoint);
    ASSERT_NE(sound->fader(), nullptr);
    EXPECT_NEAR(sound->playbackVolume(), low, 0.02);
    clock.advance(0.25);
    EXPECT_NEAR(sound->playbackVolume(), (low + high) / 2, 0.03);
    clock.advance(0.25 + 1.0 / 30);
    EXPECT_FLOAT_EQ(sound->playbackVolume(), float(high));
    EXPECT_EQ(sound->fader(), nullptr);
    EXPECT_TRUE(sound->isPlaying());

    // A click while a glide runs: the new glide starts where the volume is and runs its
    // whole half second, whatever became of the one before.
    double middle = 0;
    const QPoint middlePoint = pointOnRail(0, 0.9, &middle);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, lowPoint);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, lowPoint);
    clock.advance(0.25);
    const float reached = sound->playbackVolume();
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, middlePoint);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, middlePoint);
    clock.advance(0.4);
    ASSERT_NE(sound->fader(), nullptr);
    EXPECT_NEAR(sound->playbackVolume(), reached + 0.8 * (middle - reached), 0.03);
    clock.advance(0.1 + 1.0 / 30);
    EXPECT_FLOAT_EQ(sound->playbackVolume(), float(middle));
    EXPECT_EQ(sound->fader(), nullptr);
}

TEST_F(GridPlayback, AVolumeDraggedBeforeTheSoundLoadsIsTheOneItPlaysAt)
{
    auto late = std::make_shared<CKSoundSource>();
    board->addSound(late, 1, false);
    double value = 0;
    const QPoint from = pointOnRail(1, 0.5);
    const QPoint to = pointOnRail(1, 0.3, &value);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent drag(QEvent::MouseMove, to, view.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &drag);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, to);
    EXPECT_FLOAT_EQ(late->playbackVolume(), float(value));

    ASSERT_TRUE(late->buildEditorWithPath(files.constant(0.25f, -0.25f, 44100 * 8)));
    ASSERT_TRUE(waitUntil([&] { return late->isEditorLoaded(); }));
    EXPECT_FLOAT_EQ(late->playbackVolume(), float(value));
    EXPECT_NEAR(view.buttonLayerAtIndex(1)->sliderLayer()->doubleValue(), value, 1e-6);
    ASSERT_NE(late->editor(), nullptr);
    EXPECT_FLOAT_EQ(late->editor()->playbackVolume(), float(value));
    // Loaded again: still so.
    late->unloadEditor();
    ASSERT_TRUE(late->buildEditorWithPath(files.constant(0.25f, -0.25f, 44100 * 8)));
    ASSERT_TRUE(waitUntil([&] { return late->isEditorLoaded(); }));
    EXPECT_FLOAT_EQ(late->editor()->playbackVolume(), float(value));
}

} // namespace
