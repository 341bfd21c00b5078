// Loading every board at launch: 64 boards of 32 sounds each, every sound with its cached
// audio, its edit settings and its waveform overview in the board's cache, as a user's boards
// folder holds them.
//  - loadAllBoards: CKClipdeck::loadAllClipdecks() (reading every document and settings file
//    and checking every cache folder; no audio is opened), and the memory the loaded boards
//    hold (resident set growth while they are loaded).
//  - saveAllBoards: the save of every board that follows a second after the load, on the
//    main thread (each document and each sound's settings file written atomically).
#include "clipdeck/CKClipdeck.h"

#include "platform/FoundationExtensions.h"
#include "platform/PropertyList.h"

#include "bench/support/ResidentMemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

using clipdeck::bench::residentBytes;

constexpr int kBoards = 64;
constexpr int kSoundsPerBoard = 32;

// Edit settings of a sound as the editor leaves them: a few cuts, markers, tags and the
// encode settings.
QVariantMap editSettings(int seed)
{
    QVariantList regions;
    for (int i = 0; i < 6; ++i)
        regions << QVariantMap{{"index", qlonglong(seed * 1000 + i * 4410)}, {"length", 2205}, {"fadeIn", 441}, {"fadeOut", 441}};
    QVariantList markers;
    for (int i = 0; i < 4; ++i)
        markers << QVariantMap{{"index", qlonglong(i * 22050)}, {"name", QStringLiteral("Cue %1").arg(i)}};
    return {{"SkippedRegions", regions},
            {"Markers", markers},
            {"Tags", QVariantMap{{"title", QStringLiteral("Sound %1").arg(seed)}, {"artist", "Board"}, {"year", 2024}}},
            {"EncodeSettings", QVariantMap{{"fileType", 0x6d346166}, {"encoderSettings", QVariantMap{{"mSampleRate", 44100.0}}}}},
            {"PlaybackVolume", 0.8}};
}

void writeBoards(const QString& boardsFolder)
{
    const QByteArray audio(64 * 1024, '\x55');
    const QByteArray overview(8 * 1024, '\x11');
    for (int b = 0; b < kBoards; ++b) {
        const QString folder = boardsFolder + QStringLiteral("/%1.clipdeck").arg(b);
        QDir().mkpath(folder + "/Cache");
        QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                     "<clipdeck uuid=\"%1\" formatVersion=\"2\" name=\"Board %2\">\n"
                                     "  <rows>4</rows>\n  <columns>8</columns>\n  <sounds prerendered=\"false\">\n")
                          .arg(stringWithNewUUID())
                          .arg(b);
        for (int s = 0; s < kSoundsPerBoard; ++s) {
            const QString uuid = stringWithNewUUID();
            const QString file = QStringLiteral("%1-Sound %2.m4a").arg(uuid).arg(s);
            xml += QStringLiteral("    <sound name=\"Sound %1\" loops=\"false\" restartOnPress=\"false\" uuid=\"%2\" "
                                  "playbackVolume=\"0.800\" MIDIEventType=\"144\" MIDIChannel=\"1\" MIDIButtonID=\"%3\" "
                                  "liftBehavior=\"0\" sticky=\"false\" path=\"Cache/%4\" type=\"cachedFileSound\" "
                                  "index=\"%5\"/>\n")
                       .arg(s)
                       .arg(uuid)
                       .arg(s + 36)
                       .arg(file)
                       .arg(s);
            const QString cached = folder + "/Cache/" + file;
            QFile audioFile(cached);
            audioFile.open(QIODevice::WriteOnly);
            audioFile.write(audio);
            QFile samples(cached + ".samples");
            samples.open(QIODevice::WriteOnly);
            samples.write(overview);
            PropertyList::writeToFile(editSettings(b * kSoundsPerBoard + s), cached + ".settings", PropertyList::Format::XML);
        }
        xml += QStringLiteral("  </sounds>\n</clipdeck>\n");
        QFile contents(folder + "/Contents.xml");
        contents.open(QIODevice::WriteOnly);
        contents.write(xml.toUtf8());
    }
}

void loadAllBoards(benchmark::State& state)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    writeBoards(CKClipdeck::clipdecksFolder());

    double grownBytes = 0;
    for (auto _ : state) {
        const double before = residentBytes();
        QList<std::shared_ptr<CKClipdeck>> boards = CKClipdeck::loadAllClipdecks();
        state.PauseTiming();
        grownBytes = std::max(grownBytes, residentBytes() - before);
        if (boards.size() != kBoards || boards.last()->numberOfSounds() != kSoundsPerBoard)
            state.SkipWithError("the boards did not load");
        boards.clear();
        state.ResumeTiming();
    }
    state.counters["sounds"] = double(kBoards * kSoundsPerBoard);
    state.counters["memory_MB"] = grownBytes / (1024.0 * 1024.0);
}

void saveAllBoards(benchmark::State& state)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    writeBoards(CKClipdeck::clipdecksFolder());
    const QList<std::shared_ptr<CKClipdeck>> boards = CKClipdeck::loadAllClipdecks();
    for (auto _ : state) {
        for (const std::shared_ptr<CKClipdeck>& board : boards) {
            if (!board->save())
                state.SkipWithError("a board was not saved");
        }
    }
}

} // namespace

BENCHMARK(loadAllBoards)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(saveAllBoards)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv)
{
    // The boards' save timers live on the main thread's event loop.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
