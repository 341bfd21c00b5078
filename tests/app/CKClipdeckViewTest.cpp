// The board grid under Qt's offscreen platform, without a sound device: the cells follow the
// board and the keyboard, clicks on empty cells, the cell's states, the wheel and its bubble,
// the window's own keys, drops that must change nothing, and a swap finishing on its board.
#include "app/CKClipdeckButtonLayer.h"
#include "app/CKClipdeckView.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKSoundPasteboardItem.h"
#include "app/CKVolumeIndicatorWindow.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/RAOperationQueue.h"
#include "clipdeck/CKSoundSource.h"

#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"

#include "AppTestSupport.h"

#include <QFileDialog>
#include <QMimeData>
#include <QWheelEvent>

#include <cmath>
#include <thread>

using namespace clipdeck::test;

namespace {

std::shared_ptr<CKClipdeck> boardWithSounds(std::size_t rows, std::size_t columns, std::initializer_list<std::size_t> cells)
{
    auto board = std::make_shared<CKClipdeck>();
    board->setNumberOfRows(rows);
    board->setNumberOfColumns(columns);
    for (std::size_t index : cells) {
        auto sound = std::make_shared<CKSoundSource>();
        sound->setName(QStringLiteral("Sound %1").arg(index));
        board->addSound(sound, index, false);
    }
    return board;
}

class GridView : public ::testing::Test {
protected:
    void SetUp() override
    {
        UserDefaults::standardUserDefaults().setBool(false, QStringLiteral("triggersLocked"));
        view.resize(820, 420);
        view.show();
    }
    void TearDown() override { UserDefaults::standardUserDefaults().setBool(false, QStringLiteral("triggersLocked")); }

    void click(const QPoint& at, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mousePress(&view, Qt::LeftButton, modifiers, at);
        QTest::mouseRelease(&view, Qt::LeftButton, modifiers, at);
    }

    CKClipdeckView view;
};

TEST_F(GridView, CellsFollowTheBoardAndASmallerGridLeavesNoStaleCell)
{
    auto big = boardWithSounds(5, 8, {3, 35, 39});
    view.setClipdeck(big);
    ASSERT_EQ(view.numberOfCells(), 40u);
    const std::shared_ptr<CKSoundSource> last = big->soundAtIndex(39);
    EXPECT_EQ(last->cellLayer(), view.buttonLayerAtIndex(39));
    // The first 32 cells have the keys of the table, captioned by the layout (US here).
    EXPECT_EQ(view.buttonLayerAtIndex(0)->keyLayer()->characterValue(), QStringLiteral("1"));
    EXPECT_EQ(view.buttonLayerAtIndex(8)->keyLayer()->characterValue(), QStringLiteral("Q"));
    EXPECT_EQ(big->soundAtIndex(3)->triggerKey(), QStringLiteral("4"));
    EXPECT_EQ(big->soundAtIndex(3)->triggerKeyCode(), 21);
    // Past the table: no key at all (not the key of code 0).
    EXPECT_TRUE(big->soundAtIndex(35)->triggerKey().isEmpty());
    EXPECT_FALSE(view.buttonLayerAtIndex(35)->keyLayer()->hasListeners());

    auto small = boardWithSounds(4, 8, {1});
    view.setClipdeck(small);
    EXPECT_EQ(view.numberOfCells(), 32u);
    EXPECT_EQ(view.buttonLayerAtIndex(32), nullptr);
    EXPECT_EQ(last->cellLayer(), nullptr);
    EXPECT_EQ(big->soundAtIndex(3)->cellLayer(), nullptr);
    EXPECT_TRUE(big->soundAtIndex(3)->triggerKey().isEmpty());
    EXPECT_EQ(view.buttonLayerAtIndex(3)->soundSource(), nullptr);
    EXPECT_EQ(view.buttonLayerAtIndex(1)->soundSource(), small->soundAtIndex(1));
    // A board added to while shown: its cell follows.
    small->addSound(std::make_shared<CKSoundSource>(), 5, false);
    EXPECT_EQ(view.buttonLayerAtIndex(5)->soundSource(), small->soundAtIndex(5));
}

TEST_F(GridView, TheDelayedShowShowsTheBoardAskedForLast)
{
    ManualTimeSource clock;
    auto a = boardWithSounds(4, 8, {}), b = boardWithSounds(2, 2, {});
    view.clipdeckDidShow(a);
    view.clipdeckDidShow(b);
    view.clipdeckDidShow(a);
    clock.advance(0.1);
    EXPECT_EQ(view.clipdeck(), a);
    EXPECT_EQ(view.numberOfCells(), 32u);
}

TEST_F(GridView, HitTestFindsCellsRowZeroAtTheTopAndNothingOutside)
{
    view.setClipdeck(boardWithSounds(4, 8, {}));
    struct Case {
        QPointF yUp;
        std::size_t index;
    };
    const Case cases[] = {
        {{20, 400}, 0}, {{800, 400}, 7}, {{20, 20}, 24}, {{800, 20}, 31}, {{120, 300}, 9},
        {{2, 200}, CKClipdeckView::kNotFound}, {{200, 2}, CKClipdeckView::kNotFound},
        {{830, 200}, CKClipdeckView::kNotFound}, {{200, 430}, CKClipdeckView::kNotFound},
    };
    for (const Case& c : cases)
        EXPECT_EQ(view.indexOfCellAtPoint(c.yUp), c.index) << c.yUp.x() << "," << c.yUp.y();
    view.setClipdeck(boardWithSounds(0, 8, {}));
    EXPECT_EQ(view.indexOfCellAtPoint(QPointF(20, 400)), CKClipdeckView::kNotFound);
    view.setClipdeck(nullptr);
    EXPECT_EQ(view.indexOfCellAtPoint(QPointF(20, 400)), CKClipdeckView::kNotFound);
}

TEST_F(GridView, AnEmptyCellAsksForASecondClickWhichOpensTheFilePanel)
{
    view.setClipdeck(boardWithSounds(4, 8, {}));
    CKClipdeckButtonLayer* cell = view.buttonLayerAtIndex(2);
    click(view.centerOfCell(2));
    EXPECT_EQ(cell->displayedText(), QStringLiteral("Click again to add a sound"));
    // Leaving the cell clears the hint.
    QTest::mouseMove(&view, view.centerOfCell(2));
    QTest::mouseMove(&view, view.centerOfCell(20));
    EXPECT_TRUE(cell->displayedText().isEmpty());
    EXPECT_FALSE(cell->isWaitingForSecondClick());

    click(view.centerOfCell(2));
    click(view.centerOfCell(2));
    QFileDialog* panel = view.window()->findChild<QFileDialog*>(QStringLiteral("addSoundPanel"));
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(cell->displayedText().isEmpty());
    panel->reject();
    EXPECT_FALSE(cell->isWaitingForSecondClick());
}

TEST_F(GridView, CellStatesShowBarClockActionButtonAndIcon)
{
    auto board = boardWithSounds(4, 8, {0});
    view.setClipdeck(board);
    CKClipdeckButtonLayer* cell = view.buttonLayerAtIndex(0);
    const double width = cell->frame().width();
    // A sound whose feed has not loaded: half opacity, normal shading, no icon.
    EXPECT_EQ(cell->opacity(), 0.5);
    EXPECT_EQ(cell->gradientKey(), CKClipdeckButtonLayer::GradientNormalKey);
    EXPECT_TRUE(cell->overlayImage().isEmpty());
    EXPECT_TRUE(cell->isActionButtonShown());
    EXPECT_FALSE(cell->isClockShown());

    struct Step {
        const char* event;
        float percent;
        double bar;
        bool clock;
        QColor color;
    };
    const QColor blue = QColor::fromRgbF(0.0, 0.445, 1.0, 0.5), grey = QColor::fromRgbF(0.637, 0.637, 0.637, 0.5);
    const Step steps[] = {
        {"play", 0.5f, std::floor(0.5 * width), true, blue},
        {"play", 1.5f, width, true, blue}, // progress clamped: the bar never outgrows the cell
        {"pause", 0.25f, std::floor(0.25 * width), true, grey},
        {"fade", 0.3f, std::floor(0.3 * width), true, grey},
        {"stop", -1.0f, 0, false, grey},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.event);
        const QString event = QString::fromLatin1(step.event);
        if (event == QLatin1String("play"))
            cell->soundDidPlay(nullptr);
        else if (event == QLatin1String("pause"))
            cell->soundDidPause(nullptr);
        else if (event == QLatin1String("fade"))
            cell->soundWillFade(nullptr);
        else
            cell->soundDidStop(nullptr);
        if (step.percent >= 0)
            cell->setPercentFinished(step.percent);
        EXPECT_EQ(cell->progressBarWidth(), step.bar);
        EXPECT_EQ(cell->isClockShown(), step.clock);
        EXPECT_EQ(cell->isActionButtonShown(), !step.clock);
        EXPECT_EQ(cell->progressBarColor(), step.color);
    }
    // Locked triggers: the clock shows on an idle cell, the action button never.
    UserDefaults::standardUserDefaults().setBool(true, QStringLiteral("triggersLocked"));
    EXPECT_TRUE(cell->isClockShown());
    EXPECT_FALSE(cell->isActionButtonShown());
    EXPECT_FALSE(cell->sliderLayer()->enabled());
    // Labels: a known key gives its colour, anything else the fallback grey.
    board->soundAtIndex(0)->setBackgroundColor(QStringLiteral("red"));
    EXPECT_EQ(cell->backgroundColor(), QColor::fromRgbF(1.0, 0.4, 0.4));
    board->soundAtIndex(0)->setBackgroundColor(QStringLiteral("Default"));
    EXPECT_EQ(cell->backgroundColor(), CKClipdeckButtonLayer::fallbackColor());
}

// A sound whose feed only counts the requests for it.
class CountingSound : public CKSoundSource {
public:
    CKAudioFileEditor* editor() override
    {
        ++editorRequests;
        return nullptr;
    }
    int editorRequests = 0;
};

TEST_F(GridView, LockedTriggersShowTheClockOfEveryCellWithoutLoadingASound)
{
    auto board = boardWithSounds(4, 8, {});
    std::vector<std::shared_ptr<CountingSound>> sounds;
    for (std::size_t cell = 0; cell < 32; ++cell) {
        sounds.push_back(std::make_shared<CountingSound>());
        board->addSound(sounds.back(), cell, false);
    }
    UserDefaults::standardUserDefaults().setBool(true, QStringLiteral("triggersLocked"));
    view.setClipdeck(board);
    view.grab(); // paints every cell with its clock
    for (std::size_t cell = 0; cell < 32; ++cell) {
        EXPECT_TRUE(view.buttonLayerAtIndex(cell)->isClockShown()) << cell;
        EXPECT_EQ(sounds[cell]->editorRequests, 0) << cell;
    }
}

TEST_F(GridView, AStopFromAnotherThreadReachesTheCellOnTheMainThread)
{
    view.setClipdeck(boardWithSounds(4, 8, {0}));
    CKClipdeckButtonLayer* cell = view.buttonLayerAtIndex(0);
    cell->soundDidPlay(nullptr);
    std::thread([cell] { cell->soundDidStop(nullptr); }).join();
    EXPECT_FALSE(cell->isStopped());
    EXPECT_TRUE(waitUntil([cell] { return cell->isStopped(); }));
}

TEST_F(GridView, TheWheelStepsTheSoundsOwnVolumeAndShowsThePercentBubble)
{
    auto board = boardWithSounds(4, 8, {0});
    const std::shared_ptr<CKSoundSource> sound = board->soundAtIndex(0);
    sound->setPlaybackVolume(0.5f);
    view.setClipdeck(board);
    CKClipdeckButtonLayer* cell = view.buttonLayerAtIndex(0);
    // Without a loaded feed the slider shows the sound's own volume, not 1.0.
    EXPECT_DOUBLE_EQ(cell->sliderLayer()->doubleValue(), 0.5);
    struct Notch {
        int angleDelta;
        float volume;
    };
    const Notch notches[] = {{120, 0.51f}, {-240, 0.49f}, {1200, 0.59f}, {12000, 1.0f}, {120, 1.0f}};
    for (const Notch& notch : notches) {
        QWheelEvent wheel(QPointF(view.centerOfCell(0)), QPointF(view.mapToGlobal(view.centerOfCell(0))), QPoint(),
                          QPoint(0, notch.angleDelta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
        EXPECT_NEAR(sound->playbackVolume(), notch.volume, 1e-5) << notch.angleDelta;
    }
    ASSERT_NE(cell->indicatorWindow(), nullptr);
    EXPECT_EQ(cell->indicatorWindow()->displayText(), QStringLiteral("100.0%"));
    EXPECT_FALSE(cell->indicatorWindow()->isActiveWindow());
    // Half a second after the last step the bubble fades out and goes.
    EXPECT_TRUE(waitUntil([cell] { return cell->indicatorWindow() == nullptr; }));
    // Locked triggers: the wheel does nothing.
    UserDefaults::standardUserDefaults().setBool(true, QStringLiteral("triggersLocked"));
    QWheelEvent wheel(QPointF(view.centerOfCell(0)), QPointF(), QPoint(), QPoint(0, -1200), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    EXPECT_FLOAT_EQ(sound->playbackVolume(), 1.0f);
}

TEST_F(GridView, AForgedSoundReferenceChangesNothing)
{
    auto board = boardWithSounds(4, 8, {0});
    view.setClipdeck(board);
    QMimeData data;
    data.setData(CKSoundPasteboardItem::Type, QByteArray("7 3"));
    EXPECT_FALSE(view.importFilesOnPasteboard(data, 4, false));
    EXPECT_FALSE(view.isSwapping());
    EXPECT_EQ(board->numberOfSounds(), 1u);
    QMimeData nothing;
    nothing.setText(QStringLiteral("hello"));
    EXPECT_FALSE(view.importFilesOnPasteboard(nothing, 4, false));
    // Nothing was imported: the cache queue goes on.
    EXPECT_FALSE(CKSoundCachedFileSource::cacheOperationQueue().isSuspended());
}

TEST_F(GridView, ASwapFinishesOnItsOwnBoardAndGivesTheMouseBack)
{
    ManualTimeSource clock;
    auto board = boardWithSounds(4, 8, {0});
    const std::shared_ptr<CKSoundSource> sound = board->soundAtIndex(0);
    view.setClipdeck(board);
    view.swapCellAtIndex(0, 6);
    EXPECT_TRUE(view.isSwapping());
    // A tab switch while it animates: the swap still lands on its own board.
    auto other = boardWithSounds(4, 8, {});
    view.setClipdeck(other);
    clock.advance(CKClipdeckView::kSwapDuration + 0.05);
    EXPECT_FALSE(view.isSwapping());
    EXPECT_EQ(board->soundAtIndex(6), sound);
    EXPECT_EQ(other->numberOfSounds(), 0u);
    view.setClipdeck(board);
    EXPECT_EQ(view.buttonLayerAtIndex(6)->soundSource(), sound);
    EXPECT_EQ(sound->triggerKey(), QStringLiteral("7"));
}

TEST_F(GridView, ADragReleasedOutsideDeletesItsOwnSoundButEscapeKeepsIt)
{
    auto board = boardWithSounds(4, 8, {0, 1});
    const std::shared_ptr<CKSoundSource> dragged = board->soundAtIndex(0);
    view.setClipdeck(board);
    view.finishSoundDrag(dragged, Qt::IgnoreAction, true, true);
    EXPECT_EQ(board->soundAtIndex(0), dragged);
    view.finishSoundDrag(dragged, Qt::IgnoreAction, false, false); // over a window of ours
    EXPECT_EQ(board->soundAtIndex(0), dragged);
    // After a tab switch only the dragged sound goes, never the same cell of the new board.
    auto other = boardWithSounds(4, 8, {0});
    view.setClipdeck(other);
    view.finishSoundDrag(dragged, Qt::IgnoreAction, false, true);
    EXPECT_EQ(board->soundAtIndex(0), nullptr);
    EXPECT_NE(board->soundAtIndex(1), nullptr);
    EXPECT_NE(other->soundAtIndex(0), nullptr);
}

class RecordingKeyDelegate : public CKClipdeckWindowDelegate {
public:
    void nextClipdeck() override { calls << QStringLiteral("next"); }
    void previousClipdeck() override { calls << QStringLiteral("previous"); }
    bool isEditingName() const override { return editing; }
    QStringList calls;
    bool editing = false;
};

TEST(ClipdeckWindowKeys, TabSwitchesBoardsArrowsRepeatToTheClampsEscapeOnce)
{
    CKClipdeckWindow window;
    RecordingKeyDelegate delegate;
    window.setKeyDelegate(&delegate);
    auto key = [&window](int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool repeat = false) {
        QKeyEvent event(QEvent::KeyPress, code, modifiers, QString(), repeat);
        return window.handleWindowKey(&event);
    };
    EXPECT_TRUE(key(Qt::Key_Tab));
    EXPECT_TRUE(key(Qt::Key_Backtab, Qt::ShiftModifier));
    key(Qt::Key_Tab, Qt::NoModifier, true); // a repeat: once only
    delegate.editing = true;
    key(Qt::Key_Tab);
    EXPECT_EQ(delegate.calls, QStringList({QStringLiteral("next"), QStringLiteral("previous")}));

    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    controller->setOutputGain(0.9f);
    controller->setOutputPan(-0.9f);
    for (int repeat = 0; repeat < 10; ++repeat) {
        key(Qt::Key_Up, Qt::NoModifier, repeat > 0);
        key(Qt::Key_Left, Qt::NoModifier, repeat > 0);
    }
    EXPECT_EQ(controller->outputGain(), 1.0f);
    EXPECT_EQ(controller->outputPan(), -1.0f);
    key(Qt::Key_Down);
    EXPECT_FLOAT_EQ(controller->outputGain(), 0.96f);
    EXPECT_TRUE(key(Qt::Key_Escape));
}

} // namespace
