#include "ExportFixtures.h"

#include "EditorFixtures.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "audio/files/ZEPStreamDescriptionDictionary.h"
#include "platform/codecs/SampleConversion.h"
#include "support/TestEnvironment.h"

namespace clipdeck::test {

float stepLeft(long long frame)
{
    return float((frame * 7919) % 60001 - 30000) / 32768.0f;
}

float stepRight(long long frame)
{
    return float((frame * 104729 + 11111) % 60013 - 30006) / 32768.0f;
}

std::unique_ptr<ZEPAudioFileEditor> openStepEditor(const QString& folder, long long frames, const QString& name)
{
    const QString path = writeSoundFile(folder + QLatin1Char('/') + name, frames, stepLeft, stepRight);
    return path.isEmpty() ? nullptr : ZEPAudioFileEditor::initWithPath(path, false);
}

StereoAudio editedAudio(ZEPAudioEditor& editor)
{
    StereoAudio audio;
    editor.getReadyForExtraction();
    editor.setReadLocation(0);
    for (;;) {
        const EditedRead read = readEdited(editor, 4096);
        audio.left.insert(audio.left.end(), read.left.begin(), read.left.end());
        audio.right.insert(audio.right.end(), read.right.begin(), read.right.end());
        if (read.status == kZEPAudioSourceEndOfData || (read.frames() == 0 && read.status != noErr &&
                                                        read.status != kZEPAudioSourceNoDataYet))
            break;
    }
    return audio;
}

StereoAudio quantized16(const StereoAudio& audio)
{
    StereoAudio stored;
    for (float sample : audio.left)
        stored.left.push_back(codecs::floatFromInt(codecs::intFromFloat(sample, 16), 16));
    for (float sample : audio.right)
        stored.right.push_back(codecs::floatFromInt(codecs::intFromFloat(sample, 16), 16));
    return stored;
}

QVariantMap appleLosslessSettings(UInt32 fileType)
{
    QVariantMap settings = ZEPAudioFileWriter::losslessSettings();
    settings.insert(QStringLiteral("fileType"), qlonglong(fileType));
    return settings;
}

QVariantMap pcm16Settings(UInt32 fileType, UInt32 channels)
{
    AudioStreamBasicDescription format;
    format.mSampleRate = 44100;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
    format.mBytesPerPacket = format.mBytesPerFrame = 2 * channels;
    format.mFramesPerPacket = 1;
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = 16;
    return {{QStringLiteral("fileType"), qlonglong(fileType)},
            {QStringLiteral("encoderSettings"), ZEPDictionaryFromASBD(format)}};
}

StereoAudio concatenated(const QStringList& paths)
{
    StereoAudio all;
    for (const QString& path : paths) {
        const StereoAudio part = decodeWithFFmpeg(path);
        all.left.insert(all.left.end(), part.left.begin(), part.left.end());
        all.right.insert(all.right.end(), part.right.begin(), part.right.end());
    }
    return all;
}

void RecordingExportDelegate::exportDidEnd(ZEPAudioEditor* editor, SInt32 returnCode,
                                           const ZEPAudioFileWriterList& fileWriters)
{
    ++ends;
    lastEditor = editor;
    lastReturnCode = returnCode;
    lastWriters = fileWriters;
}

QStringList RecordingExportDelegate::paths() const
{
    QStringList paths;
    for (const ZEPAudioFileWriterRef& writer : lastWriters)
        paths.append(writer->file() ? writer->file()->path() : QString());
    return paths;
}

bool waitForEnd(const RecordingExportDelegate& delegate, int endsBefore, int timeoutMs)
{
    return waitUntil([&] { return delegate.ends > endsBefore; }, timeoutMs);
}

} // namespace clipdeck::test
