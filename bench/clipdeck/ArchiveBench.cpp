// Board archives and the playback log:
//  - ZipFolder: zipping a folder of four 16 MiB files of noise (audio hardly compresses), by
//    level (0 stores, as the board export does) and chunk size (4096 is the default).
//  - UnzipArchive: unpacking the stored archive of that folder, by chunk size.
//  - LogLine: what one playback-log line costs the main thread (the writing happens on the
//    log's own queue).
#include "clipdeck/CKLoggingController.h"
#include "clipdeck/ZEPUnzipper.h"
#include "clipdeck/ZEPZipper.h"
#include "platform/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <random>

namespace {

constexpr qint64 kFileSize = 16 << 20;
constexpr int kFiles = 4;

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "archive_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

// A folder "Export" of noise files in a temporary folder, made once.
const QTemporaryDir& workFolder()
{
    static QTemporaryDir folder;
    static const bool made = [] {
        QDir().mkpath(folder.filePath("Export"));
        std::mt19937 generator(7);
        QByteArray noise(kFileSize, '\0');
        for (char& byte : noise)
            byte = char(generator());
        for (int i = 0; i < kFiles; ++i) {
            QFile file(folder.filePath(QString("Export/sound%1.wav").arg(i)));
            if (file.open(QIODevice::WriteOnly))
                file.write(noise);
        }
        return true;
    }();
    (void)made;
    return folder;
}

void runToTheEnd(ZEPZipper& zipper)
{
    zipper.start();
    zipper.waitUntilComplete();
    QCoreApplication::processEvents();
}

void ZipFolder(benchmark::State& state)
{
    ensureApplication();
    const QTemporaryDir& folder = workFolder();
    const QString archive = folder.filePath("bench.zip");
    for (auto _ : state) {
        QFile::remove(archive);
        ZEPZipper zipper(QUrl::fromLocalFile(folder.filePath("Export")));
        zipper.setOutputURL(QUrl::fromLocalFile(archive));
        zipper.setCompressionLevel(int32_t(state.range(0)));
        zipper.setProcessingBytesSize(uint32_t(state.range(1)));
        runToTheEnd(zipper);
        if (!zipper.isFinished())
            state.SkipWithError("the zip failed");
    }
    state.SetBytesProcessed(state.iterations() * kFileSize * kFiles);
}
BENCHMARK(ZipFolder)->Args({0, 4096})->Args({0, 1 << 20})->Args({6, 1 << 20})->UseRealTime()->Unit(benchmark::kMillisecond);

void UnzipArchive(benchmark::State& state)
{
    ensureApplication();
    const QTemporaryDir& folder = workFolder();
    const QString archive = folder.filePath("stored.zip");
    if (!QFile::exists(archive)) {
        ZEPZipper zipper(QUrl::fromLocalFile(folder.filePath("Export")));
        zipper.setOutputURL(QUrl::fromLocalFile(archive));
        runToTheEnd(zipper);
    }
    for (auto _ : state) {
        QDir(folder.filePath("out")).removeRecursively();
        ZEPUnzipper unzipper(QUrl::fromLocalFile(archive));
        unzipper.setOutputURL(QUrl::fromLocalFile(folder.filePath("out")));
        unzipper.setProcessingBytesSize(uint32_t(state.range(0)));
        runToTheEnd(unzipper);
        if (!unzipper.isFinished())
            state.SkipWithError("the unzip failed");
    }
    state.SetBytesProcessed(state.iterations() * kFileSize * kFiles);
}
BENCHMARK(UnzipArchive)->Arg(4096)->Arg(1 << 20)->UseRealTime()->Unit(benchmark::kMillisecond);

void LogLine(benchmark::State& state)
{
    ensureApplication();
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath("defaults.plist"));
    defaults.setObject(QUrl::fromLocalFile(folder.filePath("Logs")).toString(), CKLoggingController::PathKey);
    defaults.setBool(true, CKLoggingController::EnabledKey);
    CKLoggingController log(&defaults);
    for (auto _ : state)
        log.writeToFile(QStringLiteral("Started playing: Intro"));
    log.stopLogging();
}
BENCHMARK(LogLine);

} // namespace
