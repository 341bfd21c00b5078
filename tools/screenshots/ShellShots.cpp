// The main window of the running program with more boards than fit (the rest folded behind
// the last tab shown), and the sheets it shows: the name sheet, the confirmations, an error,
// the remotes' pairing sheet, the export's progress and the Import panel. The program's
// controller runs over a boards folder of sample boards in the tool's own settings folders,
// as the program starts; the sheets are the ones its commands bring
// up. No sound device is needed: when the output does not run, the alert that says so is
// answered first.
#include "Screenshots.h"

#include "app/AppController.h"
#include "app/CKAlert.h"
#include "app/CKClipdeckImportPanel.h"
#include "app/CKClipdeckNameController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKExportController.h"
#include "app/CKRemoteConnectController.h"
#include "app/CKSheetPresenter.h"
#include "app/CKTabBarView.h"
#include "app/ClipdeckApplication.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundSource.h"
#include "platform/UserDefaults.h"
#include "remote/CKRemoteProtocol.h"
#include "remote/CKServerController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>

#include <memory>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QStringList kBoards = {"Act 1",        "Act 2", "Interval Music", "Sound Effects", "Crowd",
                             "Radio Stings", "Weather", "Encore",       "Walk-out Music"};

// The sample boards, in a boards folder of their own.
void writeSampleBoards()
{
    QDir(CKClipdeck::clipdecksFolder()).removeRecursively();
    for (qsizetype index = 0; index < kBoards.size(); ++index) {
        CKClipdeck board;
        board.setName(kBoards[index]);
        board.saveToPath(CKClipdeck::pathForBundleAtIndex(std::size_t(index)));
    }
}

// The program as it runs: its controller, launched over the sample boards, showing the
// board at shown.
class RunningProgram {
public:
    explicit RunningProgram(qsizetype shown)
    {
        writeSampleBoards();
        UserDefaults& defaults = UserDefaults::standardUserDefaults();
        defaults.setInteger(shown, AppController::SelectedClipdeckIndexKey);
        // The remote service would publish on the machine's network.
        defaults.setBool(false, QStringLiteral("RemoteEnabled"));
        if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication())
            application->setDelegate(controller_.get());
        controller_->awakeFromNib();
        controller_->finishLaunching();
        // The height the window's rule gives its width, with the drawer as stored.
        window()->resize(940, int(AppController::ruledWindowSize(QSizeF(940, 0), controller_->isShowingMasterOutput())
                                      .height()));
        pictureOfWindow(*window()); // shown and laid out at its size
        waitForShownBoard(*controller_);
        // Without a sound output the program says so once, over the window.
        const ZEPAudioPlayer* output = CKPlaybackController::sharedPlaybackController()->outputAudioPlayer();
        if (output && !output->isRunning())
            answerSheet(CKAlert::FirstButtonReturn);
    }
    // The program ends without a trace: the next pictures start from no boards, as before.
    ~RunningProgram()
    {
        while (QDialog* sheet = CKSheetPresenter::shared().currentSheet())
            sheet->done(0);
        if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication())
            application->setDelegate(nullptr);
        controller_.reset();
        QDir(CKClipdeck::clipdecksFolder()).removeRecursively();
        UserDefaults::standardUserDefaults().removeObjectForKey(AppController::SelectedClipdeckIndexKey);
    }

    AppController& controller() { return *controller_; }
    CKClipdeckWindow* window() const { return controller_->mainWindow(); }

    // The sheet the program shows, once it shows (null when none comes).
    static QDialog* sheet()
    {
        processEventsUntil([] { return CKSheetPresenter::shared().isShowingSheet(); });
        return CKSheetPresenter::shared().currentSheet();
    }
    static void answerSheet(int returnCode)
    {
        if (auto* alert = qobject_cast<CKAlert*>(sheet()))
            alert->pressButtonWithReturnCode(returnCode);
    }

    // The sheet showing, at the top of the window, over the window's picture.
    QImage pictureOfSheet()
    {
        QDialog* shown = sheet();
        if (!shown)
            return QImage();
        QImage picture = window()->grab().toImage();
        const QImage sheetPicture = pictureOfWindow(*shown);
        if (picture.isNull() || sheetPicture.isNull())
            return QImage();
        QPainter painter(&picture);
        painter.fillRect(picture.rect(), QColor(0, 0, 0, 60));
        const qreal scale = picture.devicePixelRatio();
        const QPointF origin((picture.width() / scale - sheetPicture.width() / sheetPicture.devicePixelRatio()) / 2,
                             24);
        painter.setPen(QColor(0, 0, 0, 90));
        painter.drawRect(QRectF(origin, sheetPicture.deviceIndependentSize()).adjusted(-1, -1, 0, 0));
        painter.drawImage(origin, sheetPicture);
        return picture;
    }

private:
    std::unique_ptr<AppController> controller_ = std::make_unique<AppController>();
};

// Sounds in the shown board's cells, as if they had been dragged in and loaded (never
// saved).
void addSampleSounds(CKClipdeck& board)
{
    const struct {
        std::size_t cell;
        const char* name;
        const char* label;
    } sounds[] = {
        {0, "Door bell", "red"},       {1, "Thunder roll", "blue"},          {2, "Applause", ""},
        {8, "Car horn", "yellow"},     {9, "Rain on a tin roof", "orange"}, {17, "Clock chime", "gray"},
    };
    for (const auto& sample : sounds) {
        auto sound = std::make_shared<CKSoundSource>();
        sound->setName(QString::fromUtf8(sample.name));
        sound->setBackgroundColor(QString::fromUtf8(sample.label));
        sound->setEditorLoaded(true);
        board.addSound(sound, sample.cell, false);
    }
}

} // namespace

QImage mainWindowScreenshot()
{
    // "Encore" is folded away: the last tab shown stands for it.
    RunningProgram program(7);
    addSampleSounds(*program.controller().shownClipdeck());
    return pictureOfWindow(*program.window());
}

QImage nameSheetScreenshot()
{
    RunningProgram program(3);
    program.controller().clipdeckControlClicked(CKClipdeckWindow::kRenameClipdeckTag);
    auto* sheet = qobject_cast<CKClipdeckNameController*>(RunningProgram::sheet());
    if (!sheet)
        return QImage();
    sheet->nameTextField()->selectAll();
    QImage picture = program.pictureOfSheet();
    sheet->reject();
    return picture;
}

QImage quitConfirmationScreenshot()
{
    RunningProgram program(3);
    // A board getting ready to import sounds keeps the program busy.
    program.controller().clipdeckAtIndex(3)->setIsPreImporting(true);
    if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication())
        application->terminate(TerminationRequest::Quit);
    QImage picture = program.pictureOfSheet();
    RunningProgram::answerSheet(CKAlert::DefaultReturn); // "Cancel": the program goes on
    program.controller().clipdeckAtIndex(3)->setIsPreImporting(false);
    return picture;
}

QImage deleteConfirmationScreenshot()
{
    RunningProgram program(3);
    addSampleSounds(*program.controller().shownClipdeck());
    program.controller().clipdeckControlClicked(CKClipdeckWindow::kDeleteClipdeckTag);
    QImage picture = program.pictureOfSheet();
    RunningProgram::answerSheet(CKAlert::DefaultReturn); // "Cancel": the board stays
    return picture;
}

QImage errorSheetScreenshot()
{
    RunningProgram program(3);
    program.controller().presentError(AppController::outputNotRunningError(
        "No audio output device was found: no JACK server is running, no PulseAudio server answers, and ALSA "
        "lists no sound card. Start a JACK or PulseAudio server, or connect a sound card."));
    QImage picture = program.pictureOfSheet();
    RunningProgram::answerSheet(CKAlert::FirstButtonReturn);
    return picture;
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
    CKServerController server; // outlives the program, which closes the sheet
    server.dictionaryReceived(asksToPair("Front of House iPad", 2741), "192.168.1.21");
    server.dictionaryReceived(asksToPair("Stage Left iPad", 8305), "192.168.1.22");
    while (server.listOfPendingClientNames().size() < 2)
        QCoreApplication::processEvents();
    server.clientName("Front of House iPad", 2741);

    RunningProgram program(3);
    auto* sheet = new CKRemoteConnectController(&server);
    CKSheetPresenter::shared().beginSheet(sheet, program.window(), {});
    sheet->digits()[0]->setText("8");
    sheet->digits()[1]->setText("3");
    sheet->advanceDigit(sheet->digits()[1]);
    QImage picture = program.pictureOfSheet();
    sheet->done(0);
    server.setRemoteEnabled(false);
    return picture;
}

QImage exportSheetScreenshot()
{
    RunningProgram program(1);
    auto* sheet = new CKExportController;
    sheet->setInfo({{CKExportController::TitleKey, QStringLiteral("Exporting Act 2...")},
                    {CKExportController::MessageKey, QStringLiteral("(3/8) Thunder Roll")},
                    {CKExportController::ProgressKey, 0.34},
                    {CKExportController::IconKey, AppController::ArchiveIconName}});
    CKSheetPresenter::shared().beginSheet(sheet, program.window(), {});
    QImage picture = program.pictureOfSheet();
    sheet->done(0);
    return picture;
}

QImage importPanelScreenshot()
{
    // A folder holding what a user brings in: board folders, an archive, and other files. Its
    // path and dates are fixed, so the picture is the same from run to run.
    QDir samples(QDir::temp().filePath(QStringLiteral("Clipdeck Samples")));
    samples.removeRecursively();
    samples.mkpath(QStringLiteral("."));
    for (const char* board : {"Act 3.clipdeck", "Matinee.clipdeck"})
        samples.mkpath(QString::fromUtf8(board));
    for (const char* file : {"Encore.ckzip", "Cue List.txt"}) {
        QFile made(samples.filePath(QString::fromUtf8(file)));
        made.open(QIODevice::WriteOnly);
    }
    const timespec fixed[2] = {{1773518400, 0}, {1773518400, 0}}; // 14 March 2026
    for (const QString& entry : samples.entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
        utimensat(AT_FDCWD, QFile::encodeName(samples.filePath(entry)).constData(), fixed, 0);
    RunningProgram program(3);
    auto* panel = new CKClipdeckImportPanel;
    panel->setDirectory(samples.path());
    panel->selectFile(samples.filePath(QStringLiteral("Act 3.clipdeck")));
    panel->resize(640, 400);
    CKSheetPresenter::shared().beginSheet(panel, program.window(), {});
    QImage picture = program.pictureOfSheet();
    panel->reject();
    samples.removeRecursively();
    return picture;
}
