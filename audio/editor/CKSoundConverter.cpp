#include "audio/editor/CKSoundConverter.h"

#include "audio/editor/ZEPAudioFileEditor.h"

#include <QThread>

namespace {

// The queue operations: push appends, pop takes the first.
void push(QList<CKSoundConverter::Entry>& queue, const CKSoundConverter::Entry& entry)
{
    queue.append(entry);
}

std::optional<CKSoundConverter::Entry> pop(QList<CKSoundConverter::Entry>& queue)
{
    if (queue.isEmpty())
        return std::nullopt;
    return queue.takeFirst();
}

} // namespace

CKSoundConverter::CKSoundConverter(std::function<bool()> isPlaying, std::function<UInt32()> activeProcessorCount)
    : mIsPlaying(std::move(isPlaying)), mActiveProcessorCount(std::move(activeProcessorCount))
{
}

UInt32 CKSoundConverter::maxNumberConversions() const
{
    const UInt32 processors =
        mActiveProcessorCount ? mActiveProcessorCount() : UInt32(std::max(QThread::idealThreadCount(), 1));
    const UInt32 half = processors / 2;
    if (half <= 1)
        return 1;
    return mIsPlaying && mIsPlaying() ? 1 : half;
}

void CKSoundConverter::convertEditorToLossless(ZEPAudioFileEditor* editor, CKLosslessConvertingSound* sound)
{
    if (!editor || !sound)
        throw NilArgumentException("Argument is nil");
    push(mSoundsToBeConverted, {editor, sound});
    const std::optional<Entry> oldest = pop(mSoundsToBeConverted);
    if (!oldest->editor)
        throw NilEditorException("editor is nil");
    push(mSoundsToBeConverted, *oldest);
    convertNextEditorIfNeeded();
}

void CKSoundConverter::convertNextEditorIfNeeded()
{
    while (!mSoundsToBeConverted.isEmpty() && UInt32(mCurrentConversions.size()) < maxNumberConversions()) {
        const Entry entry = *pop(mSoundsToBeConverted);
        if (!entry.editor)
            continue;
        push(mCurrentConversions, entry);
        entry.sound->setExportDelegate(this);
        if (entry.sound->convertToLossless(entry.editor) != noErr) {
            // No export started, so none will end: the entry leaves now, or it would hold
            // its place among the running ones for ever and stop the queue.
            mCurrentConversions.removeOne(entry);
        }
    }
}

void CKSoundConverter::forgetSound(CKLosslessConvertingSound* sound)
{
    const auto ofSound = [sound](const Entry& entry) { return entry.sound == sound; };
    const bool wasRunning = mCurrentConversions.removeIf(ofSound) > 0;
    mSoundsToBeConverted.removeIf(ofSound);
    if (wasRunning)
        convertNextEditorIfNeeded();
}

void CKSoundConverter::exportDidEnd(ZEPAudioEditor* editor, SInt32, const ZEPAudioFileWriterList&)
{
    mCurrentConversions.removeIf([editor](const Entry& entry) { return entry.editor == editor; });
    convertNextEditorIfNeeded();
}
