// Fuzz target: any bytes, opened as a sound file by the reader, read to the end, sought and read
// again. An open that succeeds promises a frame count: a read to the end that ends without an
// error must deliver exactly that many frames (an error is a clear refusal, and allowed).
// Built with libFuzzer by build-fuzzer.sh; the corpus replay (tests/support/FuzzCorpusReplayMain.cpp)
// runs the same function over the checked-in corpus in the ordinary build.
#include "platform/codecs/AudioFileReader.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <unistd.h>

#include <vector>

namespace {

// Inputs beyond this are not worth a fuzzer's time; counts beyond this are not read through.
constexpr size_t kLargestInput = 1 << 18;
constexpr SInt64 kLargestReadThrough = SInt64(1) << 23;

// The reader opens files by path: each input is written to a file of this process.
QString inputPath()
{
    static const QString path = QDir::tempPath() + QStringLiteral("/clipdeck-reader-fuzz-%1").arg(getpid());
    return path;
}

SInt64 readToEnd(AudioFileReader& reader, OSStatus* status)
{
    std::vector<float> left(4096), right(4096);
    SInt64 delivered = 0;
    for (;;) {
        UInt32 frames = 4096;
        *status = reader.read(&frames, left.data(), right.data());
        delivered += frames;
        if (*status != noErr || frames == 0)
            return delivered;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kLargestInput)
        return 0;
    QFile file(inputPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    std::unique_ptr<AudioFileReader> reader;
    if (AudioFileReader::open(inputPath(), &reader) != noErr)
        return 0;
    const SInt64 count = reader->packetTable().mNumberValidFrames;
    if (count < 0)
        __builtin_trap();
    if (count > kLargestReadThrough)
        return 0;
    OSStatus status = noErr;
    if (readToEnd(*reader, &status) != count && status == noErr)
        __builtin_trap(); // a count that a full read does not deliver
    for (SInt64 target : {count / 2, count - 1, SInt64(0)}) {
        if (reader->seek(target) != noErr)
            continue;
        if (readToEnd(*reader, &status) != count - std::max<SInt64>(target, 0) && status == noErr)
            __builtin_trap(); // a seek that lands elsewhere than asked
    }
    return 0;
}
