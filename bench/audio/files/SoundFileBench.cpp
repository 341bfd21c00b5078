// Decoding ten minutes of Apple Lossless and of AAC to float, as the loader reads a board's
// sounds, and encoding ten minutes of float to Apple Lossless, as the lossless cache does.
// The "realtime" counter is seconds of sound per second of work: the multiple of real time.
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFile.h"
#include "audio/files/ZEPAudioFileWriter.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double kSeconds = 600;
constexpr size_t kFrames = size_t(kSeconds * 44100);

struct TenMinutes {
    std::vector<float> left, right;
    TenMinutes() : left(kFrames), right(kFrames)
    {
        // Two tones under a slow sweep and a little noise: not silence, not trivially packed.
        UInt32 seed = 1;
        for (size_t i = 0; i < kFrames; ++i) {
            const double t = double(i) / 44100;
            seed = seed * 1664525u + 1013904223u;
            const float noise = float(int32_t(seed) >> 8) / float(1 << 23) * 0.01f;
            left[i] = float(0.4 * std::sin(2 * M_PI * (220 + 20 * std::sin(t)) * t)) + noise;
            right[i] = float(0.3 * std::sin(2 * M_PI * 330 * t)) - noise;
        }
    }
};

const TenMinutes& sound()
{
    static const TenMinutes audio;
    return audio;
}

class Source : public ZEPAudioConverterDataSource {
public:
    OSStatus converter(ZEPAudioConverter*, UInt32* packets, AudioBufferList* list, AudioStreamPacketDescription**) override
    {
        const UInt32 count = UInt32(std::min<size_t>(*packets, kFrames - position));
        list->mBuffers[0].mData = const_cast<float*>(sound().left.data() + position);
        list->mBuffers[1].mData = const_cast<float*>(sound().right.data() + position);
        list->mBuffers[0].mDataByteSize = list->mBuffers[1].mDataByteSize = count * 4;
        position += count;
        *packets = count;
        return noErr;
    }
    size_t position = 0;
};

// Encodes the ten minutes with the type's default encoder; into a file when a writer is
// given. Answers the bytes encoded.
size_t encode(UInt32 fileType, ZEPAudioFileWriting* writer)
{
    std::unique_ptr<ZEPAudioConverter> encoder = ZEPAudioConverter::initWithFileType(fileType);
    Source source;
    encoder->getReadyToEncode();
    encoder->setDataSource(&source);
    QByteArray cookie;
    if (writer) {
        encoder->getCompressionMagicCookie(&cookie);
        writer->setMagicCookie(cookie.constData(), UInt32(cookie.size()));
        writer->beginWritingSession();
    }
    std::vector<UInt8> buffer(1 << 18);
    std::vector<AudioStreamPacketDescription> descriptions(4096);
    size_t bytes = 0;
    for (;;) {
        StackAudioBufferList<1> list;
        list.mBuffers[0] = {2, UInt32(buffer.size()), buffer.data()};
        UInt32 packets = UInt32(buffer.size() / std::max<UInt32>(encoder->maxmimumOutputPacketSize(), 1));
        if (encoder->fillComplexBuffer(list.list(), descriptions.data(), &packets) != noErr || packets == 0)
            break;
        bytes += list.mBuffers[0].mDataByteSize;
        if (writer)
            writer->writeBytes(buffer.data(), list.mBuffers[0].mDataByteSize, packets, descriptions.data(), 0);
    }
    if (writer) {
        writer->writePrimeInfo(encoder->primeInfo(), 0);
        writer->endWritingSession();
    }
    return bytes;
}

// A ten-minute file of the type, made once per run.
QString tenMinuteFile(UInt32 fileType)
{
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("ten-minutes-%1").arg(fileType));
    AudioStreamBasicDescription format;
    ZEPAudioConverter::defaultOutputDescription(&format, fileType);
    std::unique_ptr<ZEPAudioFileWriting> writer = ZEPAudioFileWriter::initWithPath(path, fileType, format);
    encode(fileType, writer.get());
    return writer->file()->path();
}

void decode(benchmark::State& state, UInt32 fileType)
{
    const QString path = tenMinuteFile(fileType);
    std::vector<float> left(4096), right(4096);
    for (auto _ : state) {
        std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(path, 0, false);
        SInt64 frames = 0;
        for (;;) {
            StackAudioBufferList<2> list;
            list.mBuffers[0] = {1, 4096 * 4, left.data()};
            list.mBuffers[1] = {1, 4096 * 4, right.data()};
            UInt32 packets = 4096;
            if (file->readPackets(&packets, list.list(), nullptr) != noErr)
                break;
            frames += packets;
        }
        if (frames != SInt64(kFrames))
            state.SkipWithError("wrong frame count");
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["realtime"] = benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void DecodeAppleLossless(benchmark::State& state) { decode(state, kAudioFileCAFType); }
void DecodeAAC(benchmark::State& state) { decode(state, kAudioFileM4AType); }

void EncodeAppleLossless(benchmark::State& state)
{
    sound();
    for (auto _ : state)
        benchmark::DoNotOptimize(encode(kAudioFileCAFType, nullptr));
    state.counters["realtime"] = benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void ExportAppleLosslessFile(benchmark::State& state)
{
    sound();
    QTemporaryDir folder;
    AudioStreamBasicDescription format;
    ZEPAudioConverter::defaultOutputDescription(&format, kAudioFileCAFType);
    for (auto _ : state) {
        std::unique_ptr<ZEPAudioFileWriting> writer =
            ZEPAudioFileWriter::initWithPath(folder.filePath("export.caf"), kAudioFileCAFType, format);
        benchmark::DoNotOptimize(encode(kAudioFileCAFType, writer.get()));
    }
    state.counters["realtime"] = benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(DecodeAppleLossless)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(DecodeAAC)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(EncodeAppleLossless)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ExportAppleLosslessFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
