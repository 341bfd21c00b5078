#include "EditorFixtures.h"

#include "audio/files/ZEPAudioFileWriter.h"

namespace clipdeck::test {

QString writeSoundFile(const QString& path, long long frames, const std::function<float(long long)>& left,
                       const std::function<float(long long)>& right, double sampleRate)
{
    AudioStreamBasicDescription format;
    format.mSampleRate = sampleRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagsNativeFloatPacked;
    format.mBytesPerPacket = format.mBytesPerFrame = 8;
    format.mFramesPerPacket = 1;
    format.mChannelsPerFrame = 2;
    format.mBitsPerChannel = 32;
    std::unique_ptr<ZEPAudioFileWriting> writer = ZEPAudioFileWriter::initWithPath(path, kAudioFileWAVEType, format);
    if (!writer)
        return {};
    constexpr long long kBlock = 4096;
    std::vector<float> interleaved(2 * kBlock);
    for (long long start = 0; start < frames; start += kBlock) {
        const long long count = std::min(kBlock, frames - start);
        for (long long i = 0; i < count; ++i) {
            interleaved[size_t(2 * i)] = left(start + i);
            interleaved[size_t(2 * i + 1)] = right(start + i);
        }
        if (writer->writeBytes(interleaved.data(), UInt32(count * 8), UInt32(count), nullptr, 0) != noErr)
            return {};
    }
    if (writer->endWritingSession() != noErr)
        return {};
    return writer->file()->path();
}

QString writeRampFile(const QString& path, long long frames)
{
    return writeSoundFile(path, frames, rampValue, [](long long k) { return -rampValue(k); });
}

std::unique_ptr<ZEPAudioFileEditor> openRampEditor(const QString& folder, long long frames)
{
    const QString path = writeRampFile(folder + QStringLiteral("/ramp.wav"), frames);
    return path.isEmpty() ? nullptr : ZEPAudioFileEditor::initWithPath(path, false);
}

OSStatus renderSlice(ZEPAudioEditor& source, std::vector<float>& left, std::vector<float>& right,
                     AudioUnitRenderActionFlags* flags)
{
    const UInt32 frames = UInt32(left.size());
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, frames * 4, left.data()};
    list.mBuffers[1] = {1, frames * 4, right.data()};
    UInt32 delivered = frames;
    AudioUnitRenderActionFlags renderFlags = 0;
    AudioTimeStamp time;
    const OSStatus status = source.renderFrames(&delivered, list.list(), &renderFlags, &time, nullptr);
    if (flags)
        *flags = renderFlags;
    return status;
}

EditedRead readEdited(ZEPAudioEditor& editor, UInt32 frames, bool skipAllRegions, bool applyFade)
{
    EditedRead read;
    read.left.resize(frames);
    read.right.resize(frames);
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, frames * 4, read.left.data()};
    list.mBuffers[1] = {1, frames * 4, read.right.data()};
    UInt32 delivered = frames;
    read.status = editor.readPackets(&delivered, list.list(), nullptr, skipAllRegions, applyFade);
    read.left.resize(delivered);
    read.right.resize(delivered);
    return read;
}

QVariantList regionValues(const ZEPAudioRegionList& regions)
{
    QVariantList values;
    for (const ZEPAudioRegionRef& region : regions)
        values.append(region->asDictionary());
    return values;
}

} // namespace clipdeck::test
