#pragma once
// Sounds for the edit model's benchmarks, made once per run by the ffmpeg tool into a
// temporary folder: a 220 Hz tone with a little noise on the left, 330 Hz on the right.

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace editorbench {

inline const QStringList kAppleLossless{"-c:a", "alac"};
inline const QStringList kLinearPCM{"-c:a", "pcm_s16le"};

// The sound of `seconds` at sampleRate in the codec, under name; empty when ffmpeg fails.
inline QString benchSound(const QString& name, double seconds, const QStringList& codec, int sampleRate = 44100)
{
    static QTemporaryDir folder;
    const QString path = folder.filePath(name);
    if (QFile::exists(path))
        return path;
    QStringList arguments{"-v", "error", "-y", "-f", "lavfi", "-i",
                          QStringLiteral("aevalsrc=0.4*sin(2*PI*220*t)+0.01*(random(0)-0.5)|0.3*sin(2*PI*330*t)"
                                         ":s=%2:d=%1")
                              .arg(seconds)
                              .arg(sampleRate)};
    arguments << codec << path;
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", arguments);
    if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0)
        return {};
    return path;
}

} // namespace editorbench
