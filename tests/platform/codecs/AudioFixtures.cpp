#include "platform/codecs/AudioFixtures.h"

#include "platform/codecs/AudioFileReader.h"
#include "support/ChildProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <random>
#include <cstring>

namespace clipdeck::test {

bool runFFmpeg(const QStringList& arguments)
{
    bool ok = false;
    runProgram(QStringLiteral("ffmpeg"), QStringList{"-hide_banner", "-loglevel", "error", "-y"} + arguments, &ok);
    return ok;
}

bool runSox(const QStringList& arguments)
{
    bool ok = false;
    runProgram(QStringLiteral("sox"), QStringList{"-q"} + arguments, &ok);
    return ok;
}

bool runLame(const QStringList& arguments)
{
    bool ok = false;
    runProgram(QStringLiteral("lame"), QStringList{"--quiet"} + arguments, &ok);
    return ok;
}

bool makeFixture(const QString& path, const QString& source, qint64 frames, int channels,
                 const QStringList& codecArguments, int sampleRate)
{
    const QString graph = QStringLiteral("%1:sample_rate=%2").arg(source).arg(sampleRate);
    QStringList arguments{"-f", "lavfi", "-i", graph, "-af", QStringLiteral("atrim=end_sample=%1").arg(frames),
                          "-ac", QString::number(channels)};
    return runFFmpeg(arguments + codecArguments + QStringList{path});
}

QString twoToneSource()
{
    return QStringLiteral("aevalsrc=exprs=0.5*sin(2*PI*440*t)|0.5*sin(2*PI*660*t)");
}

ProbedStream probeAudio(const QString& path)
{
    bool ok = false;
    const QByteArray json = runProgram(QStringLiteral("ffprobe"),
                                    {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                     "stream=codec_name,sample_rate,channels", "-of", "json", path},
                                    &ok);
    ProbedStream probed;
    const QJsonArray streams = QJsonDocument::fromJson(json).object().value("streams").toArray();
    if (!ok || streams.isEmpty())
        return probed;
    const QJsonObject stream = streams.first().toObject();
    probed.codec = stream.value("codec_name").toString();
    probed.sampleRate = stream.value("sample_rate").toString().toInt();
    probed.channels = stream.value("channels").toInt();
    return probed;
}

StereoAudio sixteenBitTones(size_t frames)
{
    StereoAudio audio;
    for (size_t i = 0; i < frames; ++i) {
        audio.left.push_back(float(std::round(16000.0 * std::sin(2 * M_PI * 440 * double(i) / 44100)) / 32768.0));
        audio.right.push_back(float(std::round(12000.0 * std::sin(2 * M_PI * 660 * double(i) / 44100)) / 32768.0));
    }
    return audio;
}

StereoAudio readToEnd(AudioFileReader& reader, UInt32 chunk)
{
    StereoAudio audio;
    std::vector<float> left(chunk), right(chunk);
    for (;;) {
        UInt32 frames = chunk;
        if (reader.read(&frames, left.data(), right.data()) != noErr || frames == 0)
            break;
        audio.left.insert(audio.left.end(), left.begin(), left.begin() + frames);
        audio.right.insert(audio.right.end(), right.begin(), right.begin() + frames);
    }
    return audio;
}

std::string compareSeeks(AudioFileReader& reader, const StereoAudio& whole, int seeks, UInt32 maxLength,
                         float tolerance)
{
    const qint64 count = qint64(whole.frames());
    std::mt19937 random(20240611);
    std::uniform_int_distribution<qint64> targets(0, count - 1);
    std::uniform_int_distribution<UInt32> lengths(1, maxLength);
    std::vector<float> left(maxLength), right(maxLength);
    for (int i = 0; i < seeks; ++i) {
        const qint64 target = i == 0 ? count - 1 : targets(random);
        UInt32 frames = lengths(random);
        const std::string at = "seek to " + std::to_string(target) + ": ";
        if (const OSStatus status = reader.seek(target))
            return at + "seek status " + std::to_string(status);
        if (const OSStatus status = reader.read(&frames, left.data(), right.data()))
            return at + "read status " + std::to_string(status);
        if (frames != UInt32(std::min<qint64>(frames, count - target)))
            return at + std::to_string(frames) + " frames";
        for (UInt32 f = 0; f < frames; ++f) {
            if (std::fabs(left[f] - whole.left[size_t(target) + f]) > tolerance ||
                std::fabs(right[f] - whole.right[size_t(target) + f]) > tolerance)
                return at + "frame " + std::to_string(f) + " differs";
        }
    }
    return {};
}

StereoAudio decodeWithFFmpeg(const QString& path)
{
    bool ok = false;
    const QByteArray raw = runProgram(QStringLiteral("ffmpeg"),
                                   {"-hide_banner", "-loglevel", "error", "-i", path, "-ac", "2", "-f", "f32le", "-"},
                                   &ok);
    StereoAudio audio;
    const size_t frames = ok ? size_t(raw.size()) / 8 : 0;
    audio.left.resize(frames);
    audio.right.resize(frames);
    const float* samples = reinterpret_cast<const float*>(raw.constData());
    for (size_t i = 0; i < frames; ++i) {
        audio.left[i] = samples[2 * i];
        audio.right[i] = samples[2 * i + 1];
    }
    return audio;
}

double correlation(const std::vector<float>& a, const std::vector<float>& b)
{
    const size_t n = std::min(a.size(), b.size());
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return (aa > 0 && bb > 0) ? ab / std::sqrt(aa * bb) : 0.0;
}

} // namespace clipdeck::test
