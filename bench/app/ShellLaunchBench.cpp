// Launching the program as main does (offscreen window) on a boards folder of N boards of 32
// sounds each, every sound with real lossless audio in its board's cache:
//  - window_ms: from the controller's creation to the main window shown (every board read);
//  - preloaded_ms: from the controller's creation to every sound of the shown board loaded;
//  - memory_MB: resident memory growth while the program holds its boards;
//  - loaded: the sounds with a loaded feed once the shown board is preloaded (hidden
//    boards load none).
// Run with 64 boards and with 1 to compare.
#include "app/AppController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKSheetPresenter.h"
#include "app/ClipdeckApplication.h"
#include "app/ClipdeckDefaults.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKSoundSource.h"
#include "platform/FoundationExtensions.h"
#include "platform/UserDefaults.h"
#include "platform/ui/ZEPSplashScreen.h"

#include "bench/support/ResidentMemory.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using clipdeck::bench::residentBytes;

constexpr int kSoundsPerBoard = 32;
bool launchedOnce = false;

// One second of a stereo tone, Apple Lossless in an MPEG-4 file.
bool makeLosslessFile(const QString& path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                            "sine=frequency=440:sample_rate=44100:duration=1", "-ac", "2", "-c:a",
                                            "alac", path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
}

bool writeBoards(int boards, const QString& audio)
{
    for (int b = 0; b < boards; ++b) {
        const QString folder = CKClipdeck::pathForBundleAtIndex(std::size_t(b));
        QDir().mkpath(folder + "/Cache");
        QString xml = QStringLiteral("<clipdeck formatVersion=\"2\" name=\"Board %1\"><rows>4</rows><columns>8</columns>"
                                     "<sounds prerendered=\"false\">")
                          .arg(b);
        for (int s = 0; s < kSoundsPerBoard; ++s) {
            const QString uuid = stringWithNewUUID();
            const QString file = QStringLiteral("%1-Sound %2.m4a").arg(uuid).arg(s);
            xml += QStringLiteral("<sound name=\"Sound %1\" uuid=\"%2\" path=\"Cache/%3\" type=\"cachedFileSound\" "
                                  "index=\"%1\"/>")
                       .arg(s)
                       .arg(uuid, file);
            if (!QFile::copy(audio, folder + "/Cache/" + file))
                return false;
        }
        xml += QStringLiteral("</sounds></clipdeck>");
        QFile contents(folder + "/Contents.xml");
        if (!contents.open(QIODevice::WriteOnly) || contents.write(xml.toUtf8()) < 0)
            return false;
    }
    return true;
}

bool shownBoardLoaded(const AppController& controller)
{
    const std::shared_ptr<CKClipdeck> shown = controller.shownClipdeck();
    if (!shown)
        return false;
    for (const std::shared_ptr<CKSoundSource>& sound : shown->sounds()) {
        if (sound && !sound->isEditorLoaded())
            return false;
    }
    return true;
}

void launchOnBoards(benchmark::State& state)
{
    const int boards = int(state.range(0));
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    const QString audio = home.path() + "/tone.m4a";
    if (!makeLosslessFile(audio) || !writeBoards(boards, audio)) {
        state.SkipWithError("the boards could not be written");
        return;
    }
    ClipdeckApplication& application = *ClipdeckApplication::sharedApplication();
    double windowMs = 0, preloadedMs = 0, grownBytes = 0, loaded = 0;
    for (auto _ : state) {
        const double before = residentBytes();
        QElapsedTimer clock;
        clock.start();
        auto controller = std::make_unique<AppController>();
        application.setDelegate(controller.get());
        controller->awakeFromNib();
        // The application launches once; later runs end launching of their controller alone.
        if (launchedOnce)
            controller->finishLaunching();
        else
            application.finishLaunching();
        launchedOnce = true;
        while (!controller->mainWindow()->isVisible())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        windowMs = double(clock.nsecsElapsed()) / 1e6;
        while (!shownBoardLoaded(*controller)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (clock.elapsed() > 120000) {
                state.SkipWithError("the shown board did not load");
                break;
            }
        }
        preloadedMs = double(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(preloadedMs / 1000.0);
        grownBytes = residentBytes() - before;
        loaded = double(controller->loadedSounds().size());
        while (QDialog* sheet = CKSheetPresenter::shared().currentSheet())
            sheet->done(0);
        application.setDelegate(nullptr);
        controller.reset();
        QCoreApplication::processEvents();
    }
    state.counters["window_ms"] = windowMs;
    state.counters["preloaded_ms"] = preloadedMs;
    state.counters["memory_MB"] = grownBytes / (1024.0 * 1024.0);
    state.counters["loaded"] = loaded;
}

} // namespace

// One launch per run: a program launches once.
BENCHMARK(launchOnBoards)->Arg(1)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings, logs and the Trash of a home of the benchmark's own.
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, home.path().toLocal8Bit() + "/" + variable);
    ClipdeckRegisterDefaults();
    UserDefaults::standardUserDefaults().setBool(true, ZEPSplashScreen::OnStartupKey);
    ClipdeckApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Clipdeck"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
