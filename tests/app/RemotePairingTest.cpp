// The remote's pairing sheet and the Remote pane as a user works them, with the program's
// server controller on loopback and remotes of the tests' own: typing a waiting remote's
// passcode pairs it, wrong codes beep once, the pane switches the service and forgets
// pairings. Remotes that must be told apart connect from their own loopback address.
#include "app/AppController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKRemoteConnectController.h"
#include "app/CKRemotePreferencesController.h"
#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"
#include "remote/CKCloseReasons.h"
#include "remote/CKRemoteProtocol.h"
#include "remote/CKRemoteServer.h"
#include "remote/CKServerController.h"
#include "platform/ui/ZEPPreferencesController.h"
#include "support/FakeDNSServices.h"
#include "support/SettleEventLoop.h"

#include "AppTestSupport.h"
#include "ErrorCountingHost.h"
#include "RemoteTestClient.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

using namespace clipdeck::test;
using remotetest::RemoteTestClient;
namespace P = CKRemoteProtocol;

namespace {

class RemoteUI : public ::testing::Test {
protected:
    RemoteUI()
    {
        TimeSource::install(&clock);
        server->setListeningInterface(QStringLiteral("localhost"));
        UserDefaults::standardUserDefaults().removeObjectForKey(CKServerController::WhitelistedRemotesKey);
    }
    ~RemoteUI() override
    {
        server->setRemoteEnabled(false);
        UserDefaults::standardUserDefaults().setBool(false, CKRemotePreferencesController::RemoteEnabledKey);
        TimeSource::install(nullptr);
    }

    void switchOn()
    {
        server->setRemoteEnabled(true);
        ASSERT_TRUE(waitUntil([&] { return server->isEnabled(); }));
    }

    // A remote from source that asks to pair and now shows passcode.
    std::unique_ptr<RemoteTestClient> waiting(const char* source, const QString& name, qint64 passcode)
    {
        auto client = std::make_unique<RemoteTestClient>("127.0.0.1", server->server()->port(), source);
        EXPECT_TRUE(client->isConnected());
        client->send(RemoteTestClient::connectVerify("id-" + name, name, passcode));
        EXPECT_TRUE(waitUntil([&] { return server->pendingClient(QLatin1String(source)) != nullptr; }));
        return client;
    }

    ManualTimeSource clock;
    FakeDNSServices dns;
    ErrorCountingHost host;
    CKServerController* server = CKServerController::sharedSyncController();
};

// The sheet, shown and active, as the shell shows it.
class PairingSheet : public RemoteUI {
protected:
    void open()
    {
        sheet = std::make_unique<CKRemoteConnectController>();
        sheet->show();
        sheet->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
    }

    // Types text where the keyboard focus is, as a user does.
    void type(const QString& text)
    {
        for (const QChar key : text) {
            QWidget* focus = sheet->focusWidget();
            ASSERT_NE(focus, nullptr);
            QTest::keyClicks(focus, QString(key));
        }
    }

    QStringList rows() const
    {
        QStringList rows;
        QTableWidget* table = sheet->tableView();
        for (int row = 0; row < table->rowCount(); ++row)
            rows << table->item(row, 0)->text() + " " + table->item(row, 1)->text();
        return rows;
    }

    QString digitsText() const
    {
        QString text;
        for (const QLineEdit* digit : sheet->digits())
            text += digit->text().isEmpty() ? QStringLiteral("_") : digit->text();
        return text;
    }

    std::unique_ptr<CKRemoteConnectController> sheet;
};

} // namespace

TEST_F(PairingSheet, TypingAWaitingRemotesPasscodePairsItAndItsRowReadsConnected)
{
    switchOn();
    open();
    // Nobody waits: nothing to type into, the button takes the keyboard.
    EXPECT_EQ(sheet->tableView()->rowCount(), 0);
    EXPECT_FALSE(sheet->digits()[0]->isEnabled());
    EXPECT_EQ(sheet->focusWidget(), sheet->defaultButton());
    EXPECT_EQ(sheet->defaultButton()->text(), "Done");

    // A remote starts waiting while the sheet is open: selected at once, first digit focused.
    auto stage = waiting("127.0.0.2", "Stage iPad", 4721);
    ASSERT_TRUE(waitUntil([&] { return sheet->tableView()->rowCount() == 1; }));
    EXPECT_EQ(rows(), QStringList({"Pending Stage iPad"}));
    EXPECT_TRUE(sheet->tableView()->selectionModel()->isRowSelected(0));
    EXPECT_TRUE(sheet->digits()[0]->isEnabled());
    EXPECT_EQ(sheet->focusWidget(), sheet->digits()[0]);

    type("4");
    type("7");
    type("2");
    EXPECT_EQ(digitsText(), "472_");
    EXPECT_EQ(sheet->focusWidget(), sheet->digits()[3]);
    EXPECT_EQ(sheet->defaultButton()->text(), "Cancel");
    type("1");

    EXPECT_TRUE(stage->waitFor([&] { return stage->count(P::ConnectAccept) == 1; }));
    EXPECT_EQ(rows(), QStringList({"Connected Stage iPad"}));
    EXPECT_EQ(digitsText(), "____");
    EXPECT_FALSE(sheet->validImage()->isHidden());
    EXPECT_TRUE(sheet->invalidImage()->isHidden());
    EXPECT_EQ(sheet->defaultButton()->text(), "Done");
    EXPECT_FALSE(sheet->digits()[0]->isEnabled()); // no one else waits
    EXPECT_EQ(host.beeps, 0);
    EXPECT_EQ(server->listOfActiveClientNames(), QStringList({"Stage iPad"}));
}

TEST_F(PairingSheet, WrongCodesBeepOnceALetterIsIgnoredAndTheRightCodeStillPairs)
{
    switchOn();
    auto booth = waiting("127.0.0.2", "Booth iPad", 1234);
    auto wings = waiting("127.0.0.3", "Wings iPad", 5555);
    open();
    EXPECT_EQ(rows(), QStringList({"Pending Booth iPad", "Pending Wings iPad"}));

    type("x"); // not a digit: nothing typed, the focus stays, no check
    EXPECT_EQ(digitsText(), "____");
    EXPECT_EQ(sheet->focusWidget(), sheet->digits()[0]);
    EXPECT_EQ(sheet->defaultButton()->text(), "Done");

    type("9999");
    EXPECT_EQ(host.beeps, 1);
    EXPECT_FALSE(sheet->invalidImage()->isHidden());
    EXPECT_EQ(sheet->focusWidget(), sheet->digits()[0]);
    EXPECT_EQ(sheet->defaultButton()->text(), "Cancel");
    // A second wrong code, typed over the first while the mark shows: no second beep.
    type("8888");
    EXPECT_EQ(digitsText(), "8888");
    EXPECT_EQ(host.beeps, 1);
    EXPECT_TRUE(server->listOfActiveClientNames().isEmpty());

    type("1234");
    EXPECT_TRUE(booth->waitFor([&] { return booth->count(P::ConnectAccept) == 1; }));
    EXPECT_EQ(host.beeps, 1);
    EXPECT_TRUE(sheet->invalidImage()->isHidden());
    // The next waiting remote is selected and ready.
    EXPECT_EQ(rows(), QStringList({"Pending Wings iPad", "Connected Booth iPad"}));
    EXPECT_TRUE(sheet->tableView()->selectionModel()->isRowSelected(0));
    EXPECT_EQ(sheet->focusWidget(), sheet->digits()[0]);
    EXPECT_EQ(wings->count(P::ConnectAccept), 0);

    // Choosing the paired row leaves nothing to type.
    sheet->tableView()->selectRow(1);
    EXPECT_FALSE(sheet->digits()[0]->isEnabled());
    sheet->tableView()->selectRow(0);
    EXPECT_TRUE(sheet->digits()[0]->isEnabled());
}

TEST_F(RemoteUI, UncheckingThePaneStoresNoAndClosesPairedAndWaitingRemotesWithTheQuitText)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    CKRemotePreferencesController pane;
    EXPECT_EQ(pane.title(), "Remote");
    EXPECT_FALSE(pane.toolbarImage().isNull());
    EXPECT_FALSE(pane.enabledCheckbox()->isChecked());

    pane.enabledCheckbox()->click();
    EXPECT_TRUE(defaults.boolForKey(CKRemotePreferencesController::RemoteEnabledKey));
    ASSERT_TRUE(waitUntil([&] { return server->isEnabled(); }));
    EXPECT_TRUE(pane.enabledCheckbox()->isChecked());

    auto paired = waiting("127.0.0.2", "Stage iPad", 1111);
    ASSERT_TRUE(server->clientName("Stage iPad", 1111));
    auto pending = waiting("127.0.0.3", "Booth iPad", 2222);

    pane.enabledCheckbox()->click();
    EXPECT_FALSE(defaults.boolForKey(CKRemotePreferencesController::RemoteEnabledKey));
    EXPECT_FALSE(pane.enabledCheckbox()->isChecked());
    EXPECT_FALSE(server->isEnabled());
    for (RemoteTestClient* client : {paired.get(), pending.get()}) {
        EXPECT_TRUE(client->waitForClose());
        EXPECT_EQ(client->closeReason, "Clipdeck for Mac has quit.");
        EXPECT_TRUE(client->closeReasonBeforeEnd);
    }

    // The box follows the service, not the click: a publication that fails unchecks it.
    dns.setFailing(true);
    pane.enabledCheckbox()->click();
    ASSERT_TRUE(waitUntil([&] { return !pane.enabledCheckbox()->isChecked(); }));
    EXPECT_EQ(host.errors.size(), 1);
}

TEST_F(RemoteUI, DeauthorizingAsksFirstAndOnlyTheFirstButtonForgetsThePairings)
{
    switchOn();
    QWidget window;
    auto* pane = new CKRemotePreferencesController(nullptr, &window);
    window.show();
    auto paired = waiting("127.0.0.2", "Stage iPad", 1111);
    ASSERT_TRUE(server->clientName("Stage iPad", 1111));
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    ASSERT_EQ(defaults.arrayForKey(CKServerController::WhitelistedRemotesKey), QVariantList({"id-Stage iPad"}));

    pane->deauthorizeButton()->click();
    auto* alert = qobject_cast<CKAlert*>(waitForSheet());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Deauthorize all Remotes?");
    EXPECT_EQ(alert->informativeText(), "All Remote pairings will be lost. Connected Remotes will be disconnected.");
    EXPECT_EQ(alert->defaultButton()->text(), "Cancel");
    alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn + 1);
    ASSERT_TRUE(waitUntil([] { return !CKSheetPresenter::shared().isShowingSheet(); }));
    settleEventLoop();
    EXPECT_EQ(server->listOfActiveClientNames(), QStringList({"Stage iPad"}));
    EXPECT_FALSE(defaults.arrayForKey(CKServerController::WhitelistedRemotesKey).isEmpty());

    pane->deauthorizeButton()->click();
    alert = qobject_cast<CKAlert*>(waitForSheet());
    ASSERT_NE(alert, nullptr);
    alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn);
    EXPECT_TRUE(paired->waitForClose());
    EXPECT_TRUE(server->listOfActiveClientNames().isEmpty());
    EXPECT_TRUE(defaults.arrayForKey(CKServerController::WhitelistedRemotesKey).isEmpty());
}

TEST_F(RemoteUI, TheFooterOpensThePairingSheetOnTheMainWindowAndThePaneFollowsMIDI)
{
    AppController controller;
    application().setDelegate(&controller);
    controller.awakeFromNib();
    controller.mainWindow()->show();
    // With no remote the count is hidden: the picture opens the sheet.
    ASSERT_TRUE(controller.remoteStatusLabel()->isHidden());
    QTest::mouseClick(controller.remoteStatusImage(), Qt::LeftButton);
    auto* sheet = qobject_cast<CKRemoteConnectController*>(waitForSheet());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->parentWidget(), controller.mainWindow());
    QPointer<CKRemoteConnectController> alive = sheet;
    sheet->defaultButton()->click();
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return alive.isNull();
    })); // gone once closed

    controller.showPreferences();
    QStringList titles;
    for (ZEPPreferencesViewController* pane : controller.preferencesController()->controllers())
        titles << pane->title();
    EXPECT_EQ(titles, QStringList({"General", "Playback", "Editor", "MIDI", "Remote"}));
    controller.preferencesController()->window()->close();
    application().setDelegate(nullptr);
}
