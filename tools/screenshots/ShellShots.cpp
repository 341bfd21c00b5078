// The main window with more boards than fit (the rest folded behind the last tab shown),
// and the sheets it shows: the name sheet, the confirmations, an error, the remotes'
// pairing sheet, the export's progress and the Import panel.
#include "Screenshots.h"

#include "app/AppController.h"
#include "app/CKAlert.h"
#include "app/CKClipdeckImportPanel.h"
#include "app/CKClipdeckNameController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKExportController.h"
#include "app/CKRemoteConnectController.h"
#include "app/CKTabBarView.h"
#include "remote/CKRemoteProtocol.h"
#include "remote/CKServerController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>

#include <memory>

namespace {

// What the program answers the tab bar when nothing imports and boards may be added.
class SampleTabBarDelegate : public CKTabBarDelegate {
public:
    bool tabBarCanAddTab(CKTabBarView*) override { return true; }
    bool tabBarShouldShowCloseButtonAtIndex(CKTabBarView*, qsizetype) override { return true; }
};

const QStringList kBoards = {"Act 1",        "Act 2", "Interval Music", "Sound Effects", "Crowd",
                             "Radio Stings", "Weather", "Encore",       "Walk-out Music"};

// The main window with the sample boards, the one at selected shown.
std::unique_ptr<CKClipdeckWindow> sampleWindow(qsizetype selected, SampleTabBarDelegate& delegate)
{
    auto window = std::make_unique<CKClipdeckWindow>();
    CKTabBarView* bar = window->tabBar();
    bar->setDelegate(&delegate);
    for (const QString& name : kBoards)
        bar->addTabWithName(name);
    window->resize(940, 480);
    window->setClipdeckName(kBoards.at(selected));
    return window;
}

// A sheet as it shows: at the top of its window, over the window's picture.
QImage pictureOfSheet(QWidget& window, QWidget& sheet)
{
    QImage picture = pictureOfWindow(window);
    const QImage sheetPicture = pictureOfWindow(sheet);
    if (picture.isNull() || sheetPicture.isNull())
        return QImage();
    QPainter painter(&picture);
    painter.fillRect(picture.rect(), QColor(0, 0, 0, 60));
    const qreal scale = picture.devicePixelRatio();
    const QPointF origin((picture.width() / scale - sheetPicture.width() / sheetPicture.devicePixelRatio()) / 2, 24);
    painter.setPen(QColor(0, 0, 0, 90));
    painter.drawRect(QRectF(origin, sheetPicture.deviceIndependentSize()).adjusted(-1, -1, 0, 0));
    painter.drawImage(origin, sheetPicture);
    return picture;
}

QImage alertOverWindow(CKAlert* made)
{
    std::unique_ptr<CKAlert> alert(made);
    SampleTabBarDelegate delegate;
    auto window = sampleWindow(3, delegate);
    window->tabBar()->selectTabAtIndexNoOverride(3);
    return pictureOfSheet(*window, *alert);
}

} // namespace

QImage mainWindowScreenshot()
{
    SampleTabBarDelegate delegate;
    auto window = sampleWindow(7, delegate);
    pictureOfWindow(*window); // laid out at its size
    // "Encore" is folded away: the last tab shown stands for it.
    window->tabBar()->selectTabAtIndexNoOverride(7);
    return pictureOfWindow(*window);
}

QImage nameSheetScreenshot()
{
    SampleTabBarDelegate delegate;
    auto window = sampleWindow(3, delegate);
    window->tabBar()->selectTabAtIndexNoOverride(3);
    CKClipdeckNameController sheet;
    sheet.nameTextField()->setText("Sound Effects");
    sheet.nameTextField()->selectAll();
    return pictureOfSheet(*window, sheet);
}

QImage quitConfirmationScreenshot() { return alertOverWindow(AppController::quitConfirmationAlert()); }

QImage deleteConfirmationScreenshot()
{
    return alertOverWindow(AppController::deleteConfirmationAlert("Sound Effects"));
}

QImage errorSheetScreenshot()
{
    return alertOverWindow(CKAlert::alertWithError(AppController::outputNotRunningError(
        "No audio output device was found: no JACK server is running, no PulseAudio server answers, and ALSA "
        "lists no sound card. Start a JACK or PulseAudio server, or connect a sound card.")));
}

// Two remotes: one paired, one waiting for its passcode, half typed. The controller hears
// them as its server would hand their messages on; it listens nowhere.
QImage remotePairingSheetScreenshot()
{
    namespace P = CKRemoteProtocol;
    const auto asksToPair = [](const QString& name, qint64 passcode) {
        return QVariantMap{{P::MessageTypeKey, P::ConnectVerify},
                           {P::ClientIdentifierKey, "id-" + name},
                           {P::ClientHostNameKey, name},
                           {P::PasscodeKey, passcode}};
    };
    CKServerController server;
    server.dictionaryReceived(asksToPair("Front of House iPad", 2741), "192.168.1.21");
    server.dictionaryReceived(asksToPair("Stage Left iPad", 8305), "192.168.1.22");
    while (server.listOfPendingClientNames().size() < 2)
        QCoreApplication::processEvents();
    server.clientName("Front of House iPad", 2741);

    SampleTabBarDelegate delegate;
    auto window = sampleWindow(3, delegate);
    window->tabBar()->selectTabAtIndexNoOverride(3);
    CKRemoteConnectController sheet(&server);
    sheet.digits()[0]->setText("8");
    sheet.digits()[1]->setText("3");
    sheet.advanceDigit(sheet.digits()[1]);
    QImage picture = pictureOfSheet(*window, sheet);
    server.setRemoteEnabled(false);
    return picture;
}

QImage exportSheetScreenshot()
{
    SampleTabBarDelegate delegate;
    auto window = sampleWindow(1, delegate);
    window->tabBar()->selectTabAtIndexNoOverride(1);
    CKExportController sheet;
    sheet.setInfo({{CKExportController::TitleKey, QStringLiteral("Exporting Act 2...")},
                   {CKExportController::MessageKey, QStringLiteral("(3/8) Thunder Roll")},
                   {CKExportController::ProgressKey, 0.34},
                   {CKExportController::IconKey, AppController::ArchiveIconName}});
    return pictureOfSheet(*window, sheet);
}

QImage importPanelScreenshot()
{
    // A folder holding what a user brings in: board folders, an archive, and other files.
    QTemporaryDir samples;
    for (const char* board : {"Act 3.clipdeck", "Matinee.clipdeck"})
        QDir(samples.path()).mkpath(board);
    for (const char* file : {"Encore.ckzip", "Cue List.txt"}) {
        QFile made(samples.filePath(file));
        made.open(QIODevice::WriteOnly);
    }
    SampleTabBarDelegate delegate;
    auto window = sampleWindow(3, delegate);
    window->tabBar()->selectTabAtIndexNoOverride(3);
    CKClipdeckImportPanel panel;
    panel.setDirectory(samples.path());
    panel.selectFile(samples.filePath("Act 3.clipdeck"));
    panel.resize(640, 400);
    return pictureOfSheet(*window, panel);
}
