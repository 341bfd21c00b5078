// Opening long sound files. Ogg and Matroska carry no index of their frames: a reader counts
// ten minutes of them by decoding at open; the "realtime" counter is seconds of sound counted
// per second of work. An hour of MP3 is counted on a loading thread: how long the opening
// call keeps its caller (the main thread) is measured apart from the load itself.
// The files are made once per run by the ffmpeg tool.
#include "audio/files/ZEPAudioFile.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

// Ten minutes of two tones, encoded by the ffmpeg tool into a file of this name.
QString tenMinutes(const QString& name, const QStringList& codec)
{
    const QString path = folder().filePath(name);
    if (QFile::exists(path))
        return path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                             "aevalsrc=exprs=0.4*sin(2*PI*220*t)|0.3*sin(2*PI*330*t):sample_rate=44100", "-t", "600"} +
                     codec + QStringList{path});
    ffmpeg.waitForFinished(-1);
    return ffmpeg.exitCode() == 0 ? path : QString();
}

// An hour of MP3 without an index: 360 copies of ten seconds, one stream of frames.
QString anHourOfMP3()
{
    const QString path = folder().filePath("hour.mp3");
    if (QFile::exists(path))
        return path;
    const QString piece = folder().filePath("piece.mp3");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                  "aevalsrc=exprs=0.4*sin(2*PI*220*t)|0.3*sin(2*PI*330*t):sample_rate=44100", "-t", "10", "-c:a",
                  "libmp3lame", "-b:a", "128k", "-write_xing", "0", piece});
    ffmpeg.waitForFinished(-1);
    QFile in(piece);
    QFile out(path);
    if (ffmpeg.exitCode() != 0 || !in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return QString();
    const QByteArray bytes = in.readAll();
    for (int i = 0; i < 360; ++i)
        out.write(bytes);
    return path;
}

void openByDecoding(benchmark::State& state, const QString& name, const QStringList& codec)
{
    const QString path = tenMinutes(name, codec);
    if (path.isEmpty()) {
        state.SkipWithError("the ffmpeg tool made no file");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(path, 0, false);
        if (!file) {
            state.SkipWithError("the file did not open");
            return;
        }
        seconds += file->duration();
    }
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

void OpenTenMinutesOfOggVorbis(benchmark::State& state)
{
    openByDecoding(state, "ten.ogg", {"-c:a", "libvorbis"});
}
void OpenTenMinutesOfOggOpus(benchmark::State& state) { openByDecoding(state, "ten.opus", {"-c:a", "libopus"}); }
void OpenTenMinutesOfMatroskaVorbis(benchmark::State& state)
{
    openByDecoding(state, "ten.mka", {"-c:a", "libvorbis"});
}
void OpenTenMinutesOfWebMOpus(benchmark::State& state) { openByDecoding(state, "ten.webm", {"-c:a", "libopus"}); }
void OpenTenMinutesOfMatroskaAAC(benchmark::State& state)
{
    openByDecoding(state, "ten-aac.mka", {"-c:a", "aac", "-b:a", "128k"});
}

// How long the opening call holds its caller: the time to come back, loading.
void StartLoadingAnHourOfMP3(benchmark::State& state)
{
    const QString path = anHourOfMP3();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(path);
        const auto returned = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(returned - start).count());
        if (!file || !file->isLoading())
            state.SkipWithError("the file did not come back loading");
        state.PauseTiming();
        file.reset(); // gives the loading up
        state.ResumeTiming();
    }
}

// The load itself, on the loading thread, until the count is known (wall-clock time).
void LoadAnHourOfMP3(benchmark::State& state)
{
    const QString path = anHourOfMP3();
    double seconds = 0;
    for (auto _ : state) {
        std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(path);
        if (file->waitUntilLoaded() != noErr) {
            state.SkipWithError("the file did not load");
            return;
        }
        seconds += file->duration();
    }
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(OpenTenMinutesOfOggVorbis)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(OpenTenMinutesOfOggOpus)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(OpenTenMinutesOfMatroskaVorbis)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(OpenTenMinutesOfWebMOpus)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(OpenTenMinutesOfMatroskaAAC)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(StartLoadingAnHourOfMP3)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(LoadAnHourOfMP3)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
