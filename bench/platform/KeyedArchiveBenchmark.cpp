// Storing and reading a sound's peak cache as a keyed archive: what opening the editor on a
// long sound costs before its waveform shows.
#include "platform/KeyedArchive.h"

#include <benchmark/benchmark.h>

namespace {

// Two tracks of peaks, one float per entry: an hour of 44.1 kHz sound at 256 frames per
// entry is about 620000 entries a track.
QVariantList peakCache(int entries)
{
    QVariantList tracks;
    for (int track = 0; track < 2; ++track) {
        QByteArray floats(entries * int(sizeof(float)), Qt::Uninitialized);
        auto* values = reinterpret_cast<float*>(floats.data());
        for (int i = 0; i < entries; ++i)
            values[i] = float(i % 1000) / 1000.0f;
        tracks.append(floats);
    }
    return tracks;
}

void BM_ArchivePeakCache(benchmark::State& state)
{
    const QVariantList cache = peakCache(int(state.range(0)));
    for (auto _ : state) {
        auto data = KeyedArchive::archivedDataWithRootObject(cache);
        benchmark::DoNotOptimize(data);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 2 * 4);
}
BENCHMARK(BM_ArchivePeakCache)->Arg(62000)->Arg(620000)->Unit(benchmark::kMillisecond);

void BM_UnarchivePeakCache(benchmark::State& state)
{
    const QByteArray data = *KeyedArchive::archivedDataWithRootObject(peakCache(int(state.range(0))));
    for (auto _ : state) {
        auto cache = KeyedArchive::unarchiveObjectWithData(data);
        benchmark::DoNotOptimize(cache);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 2 * 4);
}
BENCHMARK(BM_UnarchivePeakCache)->Arg(62000)->Arg(620000)->Unit(benchmark::kMillisecond);

// An effects preset of eight units, as the presets menu loads one.
void BM_UnarchivePreset(benchmark::State& state)
{
    QVariantList chain;
    for (int i = 0; i < 8; ++i) {
        chain.append(QVariantMap{{"type", qlonglong(0x61756678)},
                                 {"subtype", qlonglong(1000 + i)},
                                 {"manufacturer", qlonglong(77)},
                                 {"name", QStringLiteral("Maker: Effect %1").arg(i)},
                                 {"version", qlonglong(0x10000)},
                                 {"uri", QStringLiteral("http://example.org/effect/%1").arg(i)},
                                 {"data", QString(2000, QChar('x'))},
                                 {"com.corvanesw.glassjar_studio.bypass", false}});
    }
    chain.append(QVariantMap{{"ZEPAudioGraphIsEnabled", true}});
    const QByteArray data = *KeyedArchive::archivedDataWithRootObject(chain);
    for (auto _ : state) {
        auto preset = KeyedArchive::unarchiveObjectWithData(data);
        benchmark::DoNotOptimize(preset);
    }
}
BENCHMARK(BM_UnarchivePreset)->Unit(benchmark::kMicrosecond);

} // namespace
