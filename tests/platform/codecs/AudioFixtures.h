#pragma once
// Sound fixtures for the codec and file tests, made at test time with the ffmpeg tool from
// its generated sources, and ffprobe as an independent judge of what was written.

#include "platform/CoreAudioTypes.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class AudioFileReader;

namespace clipdeck::test {

// Runs the ffmpeg tool (quiet, overwriting); true when it succeeded.
bool runFFmpeg(const QStringList& arguments);
// Runs the sox and lame tools (quietly); true when they succeeded.
bool runSox(const QStringList& arguments);
bool runLame(const QStringList& arguments);

// Writes `frames` frames of a generated source into path: source is an ffmpeg audio source
// expression such as "sine=frequency=440" (its rate is set here), encoded with the
// arguments given ("-c:a", "aac", ...).
bool makeFixture(const QString& path, const QString& source, qint64 frames, int channels,
                 const QStringList& codecArguments, int sampleRate = 44100);

// A stereo source whose channels differ: 440 Hz left, 660 Hz right, at half scale.
QString twoToneSource();

struct ProbedStream {
    QString codec;
    int sampleRate = 0;
    int channels = 0;
};
// What ffprobe says of the file's first audio stream.
ProbedStream probeAudio(const QString& path);

// Two channels of audio.
struct StereoAudio {
    std::vector<float> left;
    std::vector<float> right;
    size_t frames() const { return left.size(); }
};

// Two tones (440 Hz left, 660 Hz right) on 16-bit steps, which every linear PCM format of
// 16 bits or more and 16-bit Apple Lossless keep to the bit.
StereoAudio sixteenBitTones(size_t frames);

// Reads from the reader's position to the end in chunks of the given size.
StereoAudio readToEnd(AudioFileReader& reader, UInt32 chunk = 4096);

// Seeks the reader to `seeks` random frames (the first to the last frame) and reads up to
// maxLength frames at each. Answers what went wrong at the first seek whose read fails,
// delivers a wrong count, or differs from the straight read `whole` by more than tolerance;
// an empty string when none did.
std::string compareSeeks(AudioFileReader& reader, const StereoAudio& whole, int seeks, UInt32 maxLength,
                         float tolerance = 0.0f);

// What the ffmpeg tool decodes from a file: 32-bit float, two channels.
StereoAudio decodeWithFFmpeg(const QString& path);

// Normalised cross-correlation of two signals over their common length.
double correlation(const std::vector<float>& a, const std::vector<float>& b);

} // namespace clipdeck::test
