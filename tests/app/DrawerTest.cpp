// The main window's footer and master output drawer: the window's size rule, the thumb,
// the drawer's layout, the status texts, the master controls and the now-playing list.
#include "app/AppController.h"
#include "app/CKButton.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKDrawerListContainerView.h"
#include "app/CKDrawerSlider.h"
#include "app/CKFooterPopUpButton.h"
#include "app/CKGraphConfigurationController.h"
#include "app/CKMasterControlsViewController.h"
#include "app/CKMasterOutputViewController.h"
#include "app/CKNowPlayingViewController.h"
#include "app/CKPlayingSoundView.h"

#include "AppTestSupport.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundSource.h"
#include "clipdeck/ZEPMIDIClient.h"
#include "platform/NotificationCenter.h"
#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"
#include "platform/ui/ZEPImageNamed.h"
#include "support/SettleEventLoop.h"

#include "../platform/ui/RenderedPicture.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <random>

using namespace clipdeck::test;

namespace {

CKPlaybackController* playback() { return CKPlaybackController::sharedPlaybackController(); }

// Puts the master values back to where a new program starts.
void resetMaster()
{
    playback()->cancelDucking();
    playback()->setOutputGain(1.0f);
    playback()->setOutputPan(0.0f);
}

} // namespace

TEST(WindowSizeRule, HeightIsAThirdOfTheWidthPlusDrawerAndFooter)
{
    struct Case {
        double width;
        bool drawer;
        QSizeF expected;
    } cases[] = {
        {1200, true, QSizeF(1200, 623)},
        {1200, false, QSizeF(1200, 444)},
        {926.4, false, QSizeF(927, std::ceil(926.4 / 3 + 44))},
        {926, true, QSizeF(926, std::ceil(926 / 3.0 + 179 + 44))},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AppController::ruledWindowSize(QSizeF(c.width, 10), c.drawer), c.expected) << c.width;
}

TEST(WindowSizeRule, LaunchingKeepsTheHeight)
{
    AppController controller; // not launched yet
    EXPECT_EQ(controller.windowWillResize(QSizeF(1200, 500.2)), QSizeF(1200, 501));
}

TEST(ResizerThumb, FinishSnapsAtHalfTheDrawerAndAClickToggles)
{
    struct Case {
        bool showing;
        float offset;
        bool showingAfter;
        float resizeBy;
    } cases[] = {
        {true, 90, false, -89},  {true, 89, true, 89},   {true, 0, false, -179},
        {false, -90, true, 89},  {false, -89, false, -89}, {false, 0, true, 179},
        {true, 179, false, 0},
    };
    for (const Case& c : cases) {
        const auto finish = AppController::thumbFinish(c.showing, c.offset);
        EXPECT_EQ(finish.showing, c.showingAfter) << c.showing << " " << c.offset;
        EXPECT_FLOAT_EQ(finish.resizeBy, c.resizeBy) << c.showing << " " << c.offset;
    }
    EXPECT_EQ(AppController::clampedThumbOffset(true, 250), 179);
    EXPECT_EQ(AppController::clampedThumbOffset(true, -20), 0);
    EXPECT_EQ(AppController::clampedThumbOffset(false, -250), -179);
    EXPECT_EQ(AppController::clampedThumbOffset(false, 20), 0);
}

TEST(FooterTexts, MIDIRemoteAndCheckBoxes)
{
    EXPECT_EQ(AppController::midiStatusToolTip(0), "No MIDI devices connected");
    EXPECT_EQ(AppController::midiStatusToolTip(1), "1 MIDI device connected");
    EXPECT_EQ(AppController::midiStatusToolTip(3), "3 MIDI devices connected");
    EXPECT_EQ(AppController::remoteStatusTitle(1, 2), "1 Connected, 2 Pending");
    EXPECT_EQ(AppController::remoteStatusTitle(2, 0), "2 Connected");
    EXPECT_EQ(AppController::remoteStatusTitle(0, 1), "1 Pending");
    EXPECT_EQ(AppController::remoteStatusTitle(0, 0), "");
    EXPECT_EQ(AppController::triggersLockedToolTip(true), "Unlock Triggers");
    EXPECT_EQ(AppController::triggersLockedToolTip(false), "Lock Triggers");
    EXPECT_EQ(AppController::singleSoundModeToolTip(true), "Disable Single Sound Mode");
    EXPECT_EQ(AppController::singleSoundModeToolTip(false), "Enable Single Sound Mode");
}

TEST(MasterOutputDrawer, SharedPanesSplitWhatTheMasterControlsLeave)
{
    EXPECT_EQ(CKMasterOutputViewController::sharedPaneWidth(1000, 300), 330);

    CKMasterOutputViewController drawer;
    QWidget* view = drawer.view();
    EXPECT_EQ(view->height(), 179);
    view->show();
    view->resize(1000, 179);
    const int master = drawer.masterControlsVC()->width();
    const int shared = CKMasterOutputViewController::sharedPaneWidth(1000, master);
    EXPECT_EQ(drawer.masterControlsVC()->geometry(), QRect(0, 0, master, 179));
    EXPECT_EQ(drawer.nowPlayingVC()->width(), shared);
    EXPECT_EQ(drawer.graphConfigurationVC()->view()->width(), shared);
    EXPECT_GT(drawer.graphConfigurationVC()->view()->x(), drawer.nowPlayingVC()->geometry().right());
}

TEST(FooterPopUpButton, IsDrawnFromTheFooterImagesAndPopsUpAMenuOfItsItems)
{
    CKFooterPopUpButton popUp;
    popUp.addItem("One", "uid:one");
    popUp.addItem("Two", "uid:two");
    popUp.addItem("Three", "uid:three");
    qobject_cast<QStandardItemModel*>(popUp.model())->item(1)->setEnabled(false);
    popUp.resize(180, 20);

    // The pill: the tile stretched across the middle, the title over it at the left.
    const QImage picture = renderedPicture(popUp);
    const QImage tile = ZEPImageNamed("footer-popupmenu-tile");
    ASSERT_FALSE(tile.isNull());
    EXPECT_EQ(picture.pixel(120, 1), tile.pixel(0, 1));
    int ink = 0;
    for (int x = CKFooterPopUpButton::kTitleLeftInset; x < 60; ++x)
        for (int y = 4; y < 16; ++y)
            ink += qGray(picture.pixel(x, y)) < 100;
    EXPECT_GT(ink, 10) << "no title drawn";

    // The menu: every item, the chosen one checked, a disabled one greyed; a pick chooses.
    QSignalSpy picks(&popUp, &QComboBox::activated);
    popUp.showPopup();
    ASSERT_NE(popUp.shownMenu(), nullptr);
    const QList<QAction*> actions = popUp.shownMenu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[2]->text(), "Three");
    EXPECT_TRUE(actions[0]->isChecked());
    EXPECT_FALSE(actions[1]->isEnabled());
    actions[2]->trigger();
    EXPECT_EQ(popUp.currentIndex(), 2);
    ASSERT_EQ(picks.size(), 1);
    EXPECT_EQ(picks[0][0].toInt(), 2);
}

// ---- The footer in the running window ----

class Footer : public ::testing::Test {
protected:
    void TearDown() override
    {
        application().setDelegate(nullptr);
        controller.reset();
        UserDefaults::standardUserDefaults().removeObjectForKey(AppController::ShowingMasterOutputKey);
    }
    void start()
    {
        controller = std::make_unique<AppController>();
        application().setDelegate(controller.get());
        controller->awakeFromNib();
        window = controller->mainWindow();
        controller->finishLaunching();
        while (QDialog* sheet = CKSheetPresenter::shared().currentSheet())
            sheet->done(0);
        ASSERT_TRUE(waitUntil([&] { return window->isVisible(); }));
    }
    std::unique_ptr<AppController> controller;
    CKClipdeckWindow* window = nullptr;
};

TEST_F(Footer, ADraggedThumbHidesTheDrawerAndANewStartRemembers)
{
    start();
    ASSERT_TRUE(controller->isShowingMasterOutput());
    const int height = window->height();
    CKWindowVerticalResizerThumb* thumb = controller->resizerThumb();
    // The pointer goes 120 up the screen; the thumb, at the window's bottom, comes along.
    const QPoint from = thumb->mapToGlobal(thumb->rect().center());
    const QPoint end = from - QPoint(0, 120);
    QTest::mousePress(thumb, Qt::LeftButton, {}, thumb->mapFromGlobal(from));
    QTest::mouseMove(thumb, thumb->mapFromGlobal(end));
    EXPECT_EQ(window->height(), height - 120);
    QTest::mouseRelease(thumb, Qt::LeftButton, {}, thumb->mapFromGlobal(end));
    settleEventLoop();
    EXPECT_FALSE(controller->isShowingMasterOutput());
    EXPECT_EQ(window->height(), height - 179);
    EXPECT_EQ(window->drawerArea()->maximumHeight(), 0);
    EXPECT_FALSE(UserDefaults::standardUserDefaults().boolForKey(AppController::ShowingMasterOutputKey));

    application().setDelegate(nullptr);
    controller.reset();
    start();
    EXPECT_FALSE(controller->isShowingMasterOutput());
    EXPECT_EQ(window->height(), height - 179);
}

TEST_F(Footer, AWidthChangeBringsTheHeightToTheRuleOnce)
{
    start();
    window->resize(1200, 300);
    ASSERT_TRUE(waitUntil([&] { return window->size() == QSize(1200, 623); }));
    window->resize(1200, 600); // height alone: the user's
    settleEventLoop();
    EXPECT_EQ(window->size(), QSize(1200, 600));
}

TEST_F(Footer, ADrawerClosedBeforeTheRuleIsAppliedKeepsTheClosedHeight)
{
    start();
    ASSERT_TRUE(controller->isShowingMasterOutput());
    window->resize(1200, 300); // a width change: the rule's resize is queued
    // Closed as the thumb closes it, before the queued resize has run.
    controller->didStartDraggingThumb(controller->resizerThumb());
    controller->_setShowingMasterOutput(false);
    controller->resizeWindowVerticallyByOffset(-AppController::kDrawerHeight);
    controller->setAutoresizingMasksToResizeMode();
    controller->updateMasterOutput();
    settleEventLoop();
    EXPECT_EQ(window->size(), AppController::ruledWindowSize(QSizeF(1200, 0), false).toSize());
}

TEST_F(Footer, CheckBoxesFollowTheirDefaultsAndSayWhatAClickDoes)
{
    start();
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setBool(false, AppController::TriggersLockedKey);
    controller->lockTriggersCheckbox()->click();
    EXPECT_TRUE(defaults.boolForKey(AppController::TriggersLockedKey));
    EXPECT_EQ(controller->lockTriggersCheckbox()->toolTip(), "Unlock Triggers");
    defaults.setBool(true, AppController::SingleSoundModeKey);
    EXPECT_TRUE(controller->singleSoundModeCheckbox()->isChecked());
    EXPECT_EQ(controller->singleSoundModeCheckbox()->toolTip(), "Disable Single Sound Mode");
    defaults.setBool(false, AppController::TriggersLockedKey);
    defaults.setBool(false, AppController::SingleSoundModeKey);
}

TEST_F(Footer, WithoutMIDIDevicesTheCountIsHiddenAndRemoteStatusGreyed)
{
    start();
    controller->updateMIDIClients();
    if (ZEPMIDIClient::sharedMIDIClient()->numberOfDevices() == 0) {
        EXPECT_TRUE(controller->MIDIDevicesLabel()->isHidden());
        EXPECT_EQ(controller->MIDIDevicesImage()->toolTip(), "No MIDI devices connected");
    }
    EXPECT_EQ(controller->remoteStatusImage()->toolTip(), "Click to show Remote status");
    EXPECT_TRUE(controller->remoteStatusLabel()->isHidden());
}

// ---- Master controls ----

class MasterControls : public ::testing::Test {
protected:
    void SetUp() override { resetMaster(); }
    void TearDown() override { resetMaster(); }
    void wheel(double steps)
    {
        CKDrawerSlider* slider = pane.panSlider();
        const QPointF at(11, 60);
        QWheelEvent event(at, slider->mapToGlobal(at), QPoint(), QPoint(0, int(steps * 120)), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &event);
    }
    ManualTimeSource clock;
    CKMasterControlsViewController pane;
};

TEST_F(MasterControls, PanSticksAtTheCentreUntilFiveQuickStepsOneWay)
{
    for (int step = 1; step <= 4; ++step) {
        wheel(1);
        clock.advance(0.2);
        EXPECT_EQ(playback()->outputPan(), 0.0f) << step;
        EXPECT_EQ(pane.panSlider()->doubleValue(), 0.0) << step;
    }
    wheel(1);
    EXPECT_FLOAT_EQ(pane.panSlider()->doubleValue(), 0.1);
    EXPECT_FLOAT_EQ(playback()->outputPan(), -0.1f); // the controller's pan runs the other way
}

TEST_F(MasterControls, SlowOrTurningStepsNeverLeaveTheCentre)
{
    for (int step = 0; step < 8; ++step) {
        wheel(1);
        clock.advance(1.1);
    }
    EXPECT_EQ(pane.panSlider()->doubleValue(), 0.0);
    for (int step = 0; step < 8; ++step) {
        wheel(step % 2 ? 1 : -1);
        clock.advance(0.1);
    }
    EXPECT_EQ(pane.panSlider()->doubleValue(), 0.0);
    EXPECT_EQ(playback()->outputPan(), 0.0f);
}

TEST_F(MasterControls, PanSliderAtTheTopSetsTheControllerFullyLeft)
{
    pane.panSlider()->setDoubleValue(1.0);
    pane.updatePan();
    EXPECT_EQ(playback()->outputPan(), -1.0f);
    playback()->setOutputPan(0.5f); // from elsewhere: the slider follows
    EXPECT_FLOAT_EQ(pane.panSlider()->doubleValue(), -0.5);
}

TEST_F(MasterControls, GainSliderMidDuckEndsTheDuckingWithoutAFadeBack)
{
    UserDefaults::standardUserDefaults().setFloat(0.33f, QStringLiteral("duckingVolume"));
    UserDefaults::standardUserDefaults().setDouble(1.0, QStringLiteral("duckingDuration"));
    EXPECT_EQ(pane.duckAudioButton()->title(), "Duck (33%)");
    pane.duckVolume();
    EXPECT_TRUE(playback()->ducked());
    EXPECT_EQ(pane.duckAudioButton()->title(), "Un-Duck");
    clock.advance(0.5);
    EXPECT_LT(playback()->duckingLevel(), 1.0f);

    pane.gainSlider()->setDoubleValue(0.6);
    pane.updateSliderGain();
    EXPECT_FALSE(playback()->ducked());
    EXPECT_EQ(playback()->duckingLevel(), 1.0f);
    EXPECT_FLOAT_EQ(playback()->outputGain(), 0.6f);
    EXPECT_EQ(pane.duckAudioButton()->title(), "Duck (33%)");
    clock.advance(2.0);
    EXPECT_EQ(playback()->duckingLevel(), 1.0f);
    EXPECT_FLOAT_EQ(playback()->outputGain(), 0.6f);
}

TEST_F(MasterControls, AGainFromElsewhereEndsDuckingAndMovesTheSlider)
{
    UserDefaults::standardUserDefaults().setFloat(0.33f, QStringLiteral("duckingVolume"));
    pane.duckVolume();
    playback()->setOutputGain(0.4f);
    EXPECT_FALSE(playback()->ducked());
    EXPECT_FLOAT_EQ(pane.gainSlider()->doubleValue(), 0.4);
}

// ---- Now playing ----

class NowPlaying : public ::testing::Test {
protected:
    std::vector<QString> rowNames() const
    {
        std::vector<QString> names;
        for (int i = 0; i < pane.soundList()->numberOfRows(); ++i)
            names.push_back(static_cast<CKPlayingSoundView*>(pane.soundList()->rowAtIndex(i))->soundNameLabel()->text());
        return names;
    }
    static void began(CKSoundSource* sound) { NotificationCenter::defaultCenter().post(CKSoundSource::BeganPlayingNotification, sound); }
    static void finished(CKSoundSource* sound) { NotificationCenter::defaultCenter().post(CKSoundSource::FinishedPlayingNotification, sound); }
    CKNowPlayingViewController pane;
};

TEST_F(NowPlaying, RowsAreExactlyThePlayingSoundsInStartingOrder)
{
    std::vector<std::unique_ptr<CKSoundSource>> sounds;
    for (int i = 0; i < 10; ++i) {
        sounds.push_back(std::make_unique<CKSoundSource>());
        sounds.back()->setName(QStringLiteral("Sound %1").arg(i));
    }
    std::mt19937 random(22);
    std::vector<int> playing;
    for (int round = 0; round < 40; ++round) {
        const int i = int(random() % 10);
        auto found = std::find(playing.begin(), playing.end(), i);
        if (found == playing.end()) {
            began(sounds[size_t(i)].get());
            playing.push_back(i);
        } else {
            finished(sounds[size_t(i)].get());
            playing.erase(found);
        }
        std::vector<QString> expected;
        for (int p : playing)
            expected.push_back(QStringLiteral("Sound %1").arg(p));
        ASSERT_EQ(rowNames(), expected) << round;
    }
    CKSoundSource stranger;
    const size_t rows = rowNames().size();
    finished(&stranger); // never began: ignored
    EXPECT_EQ(rowNames().size(), rows);
}

TEST_F(NowPlaying, ADeletedSoundTakesItsRowAlong)
{
    auto kept = std::make_unique<CKSoundSource>();
    kept->setName("Kept");
    auto deleted = std::make_unique<CKSoundSource>();
    deleted->setName("Deleted");
    began(kept.get());
    began(deleted.get());
    deleted.reset();
    EXPECT_EQ(rowNames(), std::vector<QString>{"Kept"});
    EXPECT_EQ(pane.playingSounds(), std::vector<CKSoundSource*>{kept.get()});
}

TEST_F(NowPlaying, ARowDimsItsNameWhileItsSoundDoesNotPlay)
{
    CKSoundSource sound;
    sound.setName("Dim");
    began(&sound);
    auto* row = static_cast<CKPlayingSoundView*>(pane.soundList()->rowAtIndex(0));
    EXPECT_NEAR(row->soundNameLabel()->palette().color(QPalette::WindowText).alphaF(), 0.5, 0.01);
    EXPECT_EQ(row->soundSource(), &sound);
}

TEST_F(NowPlaying, ARowsNameTakesTheWidthTheListGivesItAndItsButtonsKeepToTheEnds)
{
    CKSoundSource sound;
    sound.setName("Thunder roll over the hills");
    began(&sound);
    auto* row = static_cast<CKPlayingSoundView*>(pane.soundList()->rowAtIndex(0));
    row->window()->show(); // a hidden widget hears of its size only when shown
    for (const int width : {120, 400}) {
        row->resize(width, row->height());
        EXPECT_EQ(row->soundNameLabel()->geometry().right(), width - 44 - 1) << width;
        EXPECT_EQ(row->removeButton()->geometry().right(), width - 4 - 1) << width;
    }
}
