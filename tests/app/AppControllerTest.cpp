// The application's controller with its real window (offscreen): start-up, errors as
// sheets, the key-trigger switch around the name field and the sheets, the name sheet, the
// quit confirmation and the menu's windows.
#include "app/AppController.h"
#include "app/CKClipdeckNameController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKDumbButton.h"
#include "app/CKTabBarLayer.h"

#include "AppTestSupport.h"
#include "ShellFixture.h"
#include "clipdeck/CKKeyEventDispatch.h"
#include "clipdeck/CKPlaybackController.h"
#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"
#include "platform/ui/ZEPAboutBox.h"
#include "platform/ui/ZEPTextViewer.h"
#include "support/SettleEventLoop.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>

using namespace clipdeck::test;

namespace {

Error errorNamed(const QString& description)
{
    return Error(QStringLiteral("CKTest"), 1, description, QStringLiteral("Because of the test."));
}

} // namespace

TEST(AppControllerNames, ANewBoardTakesTheFirstFreeNumberedName)
{
    const struct {
        QStringList existing;
        const char* name;
    } cases[] = {
        {{}, "My Clipdeck"},
        {{"My Clipdeck 1"}, "My Clipdeck"},
        {{"My Clipdeck"}, "My Clipdeck 1"},
        {{"My Clipdeck", "My Clipdeck 1", "My Clipdeck 3"}, "My Clipdeck 2"},
        {{"my clipdeck", "My Clipdeck "}, "My Clipdeck"}, // names compare exactly
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppController::nameForNewClipdeck(c.existing), c.name) << c.existing.join(", ").toStdString();
}

TEST_F(Shell, StartsWithItsBoardInTheTitleAndIsThePlaybackHost)
{
    // The stored master gain reaches the output once launching ends.
    UserDefaults::standardUserDefaults().setDouble(0.25, "outputGain");
    awake();
    EXPECT_TRUE(controller->isLaunching());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(&CKPlaybackHost::current(), controller.get());
    launch();
    EXPECT_FALSE(controller->isLaunching());
    EXPECT_EQ(window->windowTitle(), "Clipdeck - My Clipdeck");
    EXPECT_EQ(bar()->numberOfTabs(), 1);
    EXPECT_EQ(bar()->delegate(), controller.get());
    EXPECT_EQ(UserDefaults::standardUserDefaults().integerForKey(AppController::SelectedClipdeckIndexKey), 0);
    EXPECT_FALSE(window->moreSoundsAction()->isVisible()); // no sound library address in this build
    EXPECT_TRUE(bar()->addButton()->isEnabled());
    EXPECT_FLOAT_EQ(CKPlaybackController::sharedPlaybackController()->outputGain(), 0.25f);
}

TEST(CKSheetPresenter, ASheetDeletedWhileItShowsEndsAsCancelledAndTheNextOneOpens)
{
    finishLaunching();
    QWidget window;
    window.show();
    QList<int> ended;
    auto* first = new QDialog;
    auto* second = new QDialog;
    CKSheetPresenter& presenter = CKSheetPresenter::shared();
    presenter.beginSheet(first, &window, [&ended](int code) { ended << code; });
    presenter.beginSheet(second, &window, [&ended](int code) { ended << code + 10; });
    EXPECT_EQ(presenter.currentSheet(), first);
    EXPECT_EQ(first->windowModality(), Qt::WindowModal);
    delete first;
    EXPECT_EQ(ended, QList<int>{QDialog::Rejected});
    EXPECT_EQ(presenter.currentSheet(), second);
    EXPECT_FALSE(application().isForwardingEvents());
    second->done(QDialog::Accepted);
    EXPECT_EQ(ended, (QList<int>{QDialog::Rejected, QDialog::Accepted + 10}));
    EXPECT_FALSE(presenter.isShowingSheet());
    EXPECT_TRUE(application().isForwardingEvents());
}

TEST_F(Shell, ErrorsShowOneAtATimeAsSheetsAndKeyTriggersStayOffUntilTheLastCloses)
{
    awake();
    launch();
    QSignalSpy forwarding(&application(), &ClipdeckApplication::isForwardingEventsChanged);
    QList<int> recovered;
    Error retry = errorNamed("The file could not be read.");
    retry.localizedRecoveryOptions = QStringList{"Try Again", "Skip"};
    retry.recoveryAttempter = [&recovered](int option) {
        recovered << option;
        return true;
    };
    controller->presentError(errorNamed("First"));
    controller->presentError(retry);

    CKAlert* first = waitForAlert();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text(), "First");
    EXPECT_EQ(first->informativeText(), "Because of the test.");
    EXPECT_EQ(first->parentWidget(), window);
    EXPECT_EQ(first->windowModality(), Qt::WindowModal);
    EXPECT_EQ(CKSheetPresenter::shared().numberOfWaitingSheets(), 1);
    EXPECT_FALSE(application().isForwardingEvents());

    answerAlert(CKAlert::FirstButtonReturn);
    CKAlert* second = waitForAlert();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->text(), "The file could not be read.");
    EXPECT_EQ(second->buttonWithReturnCode(1001)->text(), "Skip");
    EXPECT_FALSE(application().isForwardingEvents());
    answerAlert(1001);
    EXPECT_EQ(recovered, QList<int>{1});
    EXPECT_TRUE(application().isForwardingEvents());
    // Off once, on once: no gap between the two sheets.
    EXPECT_EQ(forwarding.size(), 2);
}

TEST_F(Shell, AnErrorBeforeTheWindowShowsWaitsForItWhileLaunchingAndIsApplicationModalAfterwards)
{
    ManualTimeSource clock;
    awake();
    controller->presentError(errorNamed("Early"));
    clock.advance(1.0); // still launching, no window: tried again and again
    settleEventLoop();
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());

    finishLaunching();
    ASSERT_TRUE(waitUntil([&] { return window->isVisible(); }));
    clock.advance(AppController::kErrorRetryInterval);
    // Every error waiting shows, once, as a sheet on the window.
    QStringList shown;
    while (CKAlert* alert = waitForAlert()) {
        EXPECT_EQ(alert->parentWidget(), window);
        shown << alert->text();
        alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn);
        clock.advance(AppController::kErrorRetryInterval);
        settleEventLoop();
    }
    EXPECT_EQ(shown.count("Early"), 1);
    EXPECT_LE(shown.count(kCannotPlay), 1);

    // Launched, with the window away: an application-modal alert.
    window->hide();
    controller->presentError(errorNamed("Late"));
    CKAlert* late = waitForAlert();
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(late->parentWidget(), nullptr);
}

TEST_F(Shell, ABoundKeyPlaysNothingWhileANameIsTypedAlsoAfterAnErrorSheetOverItCloses)
{
    awake();
    launch();
    int pressed = 0;
    QObject target;
    CKKeyEventDispatch& dispatch = CKKeyEventDispatch::sharedDispatcher();
    const uint16_t keyQ = CKKeyEventDispatch::kGridKeyCodes[8];
    auto listener = dispatch.addListener(&target, [&pressed] { ++pressed; }, "q", keyQ, CKKeyEventListener::kKeyDown);
    const auto pressQ = [&](QWidget* receiver) {
        sendKey(receiver, QEvent::KeyPress, kScanCodeQ, "q", Qt::Key_Q);
        sendKey(receiver, QEvent::KeyRelease, kScanCodeQ, "q", Qt::Key_Q);
        settleEventLoop();
    };

    pressQ(window);
    EXPECT_EQ(pressed, 1);

    // The tab's name field: the key types, and the window hears nothing either.
    doubleClickTab(0);
    ASSERT_TRUE(bar()->isEditing());
    EXPECT_FALSE(application().isForwardingEvents());
    bar()->textField()->clear();
    pressQ(bar()->textField());
    pressQ(window);
    EXPECT_EQ(bar()->textField()->text(), "q");

    // An error sheet over the field comes and goes: still typing.
    controller->presentError(errorNamed("Meanwhile"));
    answerAlert(CKAlert::FirstButtonReturn);
    pressQ(window);
    EXPECT_EQ(pressed, 1);
    EXPECT_FALSE(application().isForwardingEvents());

    // Return ends the rename: keys fire again.
    bar()->textField()->setText("Quiet Cues");
    QTest::keyClick(bar()->textField(), Qt::Key_Return);
    EXPECT_EQ(window->windowTitle(), "Clipdeck - Quiet Cues");
    pressQ(window);
    EXPECT_EQ(pressed, 2);

    // The name sheet: the same.
    controller->clipdeckControlClicked(0);
    ASSERT_NE(waitForSheet(), nullptr);
    pressQ(window);
    EXPECT_EQ(pressed, 2);
    controller->nameController()->cancel();
    pressQ(window);
    EXPECT_EQ(pressed, 3);
    dispatch.removeListener(listener, "q", keyQ, CKKeyEventListener::kKeyDown);
}

TEST_F(Shell, TheNameSheetShowsTheCurrentNameEachTimeAndTakesOnlyAName)
{
    awake();
    launch();
    CKClipdeckNameController* sheet = controller->nameController();
    const struct {
        const char* typed;
        bool ok;
        const char* title;
    } cases[] = {
        {"Stage Left", true, "Clipdeck - Stage Left"},
        {"Stage Right", false, "Clipdeck - Stage Left"}, // Cancel keeps the name
        {"  ", true, "Clipdeck - Stage Left"},           // a blank name is refused
        {" Interval ", true, "Clipdeck - Interval"},
    };
    QString current = "My Clipdeck";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        controller->clipdeckControlClicked(0);
        ASSERT_EQ(waitForSheet(), sheet);
        EXPECT_EQ(sheet->nameTextField()->text(), current);
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        EXPECT_FALSE(application().isForwardingEvents());
        sheet->nameTextField()->setText(QString::fromUtf8(c.typed));
        if (c.ok)
            sheet->okButton()->click();
        else
            QTest::keyClick(sheet->nameTextField(), Qt::Key_Escape);
        EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());
        EXPECT_TRUE(application().isForwardingEvents());
        EXPECT_EQ(window->windowTitle(), c.title);
        current = window->windowTitle().mid(QStringLiteral("Clipdeck - ").size());
        EXPECT_EQ(bar()->nameAtIndex(0), current);
    }
}

TEST_F(Shell, QuittingWhileBusyAsksFirstAndCancelKeepsTheProgram)
{
    awake(std::make_unique<BusyAppController>());
    launch();
    application().terminate(TerminationRequest::Quit);
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Clipdeck is busy. Are you sure you want to quit?");
    EXPECT_EQ(alert->informativeText(), "Some sounds may not get added to the clipdeck if you quit now.");
    EXPECT_EQ(alert->defaultButton(), alert->buttonWithReturnCode(CKAlert::DefaultReturn));
    EXPECT_EQ(alert->buttonWithReturnCode(CKAlert::DefaultReturn)->text(), "Cancel");
    answerAlert(CKAlert::DefaultReturn);
    EXPECT_FALSE(application().isTerminating());
    EXPECT_FALSE(application().isTerminationPending());

    // Closing the window is quitting too: "Quit" ends the program.
    window->close();
    EXPECT_TRUE(window->isVisible());
    answerAlert(CKAlert::AlternateReturn);
    EXPECT_TRUE(application().isTerminating());
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey("lastVersionRun"), "0.1-test");
}

TEST_F(Shell, ASignalQuitsAtOnceEvenWhileBusy)
{
    awake(std::make_unique<BusyAppController>());
    launch();
    application().terminate(TerminationRequest::Signal);
    EXPECT_TRUE(application().isTerminating());
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());
}

TEST_F(Shell, CtrlQWhileANameIsTypedKeepsTheNameAndQuits)
{
    awake();
    launch();
    doubleClickTab(0);
    ASSERT_TRUE(bar()->isEditing());
    bar()->textField()->setText("Encore");
    QTest::keyClick(bar()->textField(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(application().isTerminating());
    EXPECT_EQ(bar()->nameAtIndex(0), "Encore");
    EXPECT_EQ(window->windowTitle(), "Clipdeck - Encore");
}

TEST_F(Shell, BoardsThatCannotBeLoadedEndTheProgramAfterACriticalAlert)
{
    awake();
    Error error(QStringLiteral("CKClipdeck"), 13, QStringLiteral("The clipdecks could not be loaded."),
                QStringLiteral("Permission denied."));
    controller->reportUnloadableClipdecks(error);
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->icon(), QMessageBox::Critical);
    EXPECT_EQ(alert->windowModality(), Qt::ApplicationModal);
    // No support page in this build: the error's own reason, and no page to visit.
    EXPECT_EQ(alert->informativeText(), "Permission denied.");
    EXPECT_FALSE(application().isTerminating());
    answerAlert(CKAlert::FirstButtonReturn);
    EXPECT_TRUE(application().isTerminating());
}

TEST_F(Shell, TheAboutBoxAndReleaseNotesShowTheProgramsOwn)
{
    awake();
    launch();
    window->aboutAction()->trigger();
    ZEPAboutBox& box = ZEPAboutBox::sharedAboutBox();
    ASSERT_TRUE(waitUntil([&] { return box.isVisible(); }));
    EXPECT_EQ(box.displayedAppName(), QStringLiteral("Clipdeck®"));
    EXPECT_TRUE(box.likeMenu().items().isEmpty()); // no remote store page in this build
    box.setController(nullptr);
    box.close();

    window->releaseNotesAction()->trigger();
    ZEPTextViewer* notes = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* viewer = qobject_cast<ZEPTextViewer*>(top); viewer && viewer->isVisible())
                notes = viewer;
        return notes != nullptr;
    }));
    EXPECT_EQ(notes->title(), "Clipdeck Release Notes");
    EXPECT_TRUE(notes->hasText());
    EXPECT_TRUE(notes->textView()->toPlainText().contains("Clipdeck 0.1"));
}
