// The footer's output device menu while the chosen device's server ends and comes back: the
// sounds pause, the menu offers only a disabled "No Output Device" item, the device comes back
// into the menu chosen again and still paused, and the stored choice never changes on its own.
#include "app/AppController.h"
#include "app/CKButton.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKMasterControlsViewController.h"
#include "app/CKMasterOutputViewController.h"
#include "app/CKSheetPresenter.h"

#include "AppTestSupport.h"
#include "clipdeck/CKPlaybackController.h"
#include "platform/UserDefaults.h"
#include "platform/devices/AudioHardware.h"
#include "support/JackTestServer.h"
#include "support/TestEnvironment.h"

#include <QComboBox>
#include <QScopeGuard>
#include <QStandardItemModel>

#include <gtest/gtest.h>

#include <memory>

using namespace clipdeck::test;

namespace {

bool menuHoldsOnlyADisabledNoDeviceItem(QComboBox* popUp)
{
    const auto* items = qobject_cast<const QStandardItemModel*>(popUp->model());
    return popUp->count() == 1 && popUp->itemText(0) == "No Output Device" && items && !items->item(0)->isEnabled();
}

} // namespace

TEST(FooterOutputDevice, TheChosenServerEndingPausesAllAndItsReturnIsChosenAgain)
{
    auto server = std::make_unique<JackTestServer>();
    REQUIRE_JACK_SERVER(*server);
    AudioHardware::shared().setPollingInterval(50);
    AudioHardware::shared().refresh();
    const QString chosen = QStringLiteral("jack:system");
    ASSERT_NE(AudioHardware::shared().deviceIDForUID(chosen), 0u);
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setObject(chosen, CKPlaybackController::OutputDeviceKey);

    AppController controller;
    application().setDelegate(&controller);
    const auto detach = qScopeGuard([] { application().setDelegate(nullptr); });
    controller.awakeFromNib();
    finishLaunching();
    while (QDialog* sheet = CKSheetPresenter::shared().currentSheet())
        sheet->done(0);
    CKPlaybackController* playback = CKPlaybackController::sharedPlaybackController();
    ASSERT_TRUE(waitUntil([&] { return playback->outputAudioPlayer()->isRunning(); }));
    QComboBox* popUp = controller.outputDevicePopUpButton();
    ASSERT_EQ(popUp->currentData().toString(), chosen);
    CKMasterControlsViewController* controls = controller.masterOutputViewController()->masterControlsVC();
    ASSERT_EQ(controls->pauseAllButton()->title(), "Pause All");

    server.reset();
    ASSERT_TRUE(waitUntil([&] { return menuHoldsOnlyADisabledNoDeviceItem(popUp); }, 10000));
    EXPECT_EQ(defaults.stringForKey(CKPlaybackController::OutputDeviceKey), chosen);

    server = std::make_unique<JackTestServer>();
    REQUIRE_JACK_SERVER(*server);
    ASSERT_TRUE(waitUntil([&] { return popUp->findData(chosen) >= 0; }, 10000));
    EXPECT_EQ(popUp->currentData().toString(), chosen);
    EXPECT_EQ(defaults.stringForKey(CKPlaybackController::OutputDeviceKey), chosen);
    EXPECT_TRUE(waitUntil([&] { return playback->outputAudioPlayer()->isRunning(); }, 10000));
    // Everything was paused when the device went: it comes back paused, Pause All says so.
    EXPECT_TRUE(waitUntil([&] { return controls->pauseAllButton()->title() == "Resume All"; }));
    EXPECT_TRUE(playback->paused());
    playback->setPaused(false);
}
