// The cached file sound's conversion to the lossless cache format: started by the shared
// sound converter, ended when the feed's export ends, with the importing state the board and
// the cell follow.
#include "clipdeck/CKSoundCachedFileSource.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKSoundCell.h"

#include "audio/editor/CKAudioFileEditor.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "platform/FoundationExtensions.h"
#include "platform/MainThread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// How often the cell of a converting sound shows its progress, seconds.
constexpr double kImportProgressInterval = 0.5;

} // namespace

void CKSoundCachedFileSource::cancelImport()
{
    if (mImportingEditor)
        mImportingEditor->cancelExport();
}

float CKSoundCachedFileSource::importPercentComplete()
{
    return mImportingEditor ? mImportingEditor->exportProgress() : 0.0f;
}

double CKSoundCachedFileSource::importTimeRemaining()
{
    return mImportingEditor ? mImportingEditor->exportTimeRemaining() : 0.0;
}

OSStatus CKSoundCachedFileSource::convertToLossless(ZEPAudioFileEditor* editor)
{
    const std::shared_ptr<CKAudioFileEditor> feed = sharedEditor();
    if (!feed || feed.get() != editor) {
        // The feed was replaced while the conversion waited: the next load converts again.
        mConvertAttempts = 0;
        mPendingImport = false;
        return kAudio_ParamError;
    }
    importingDidStart();
    mImportingEditor = feed;
    feed->setSkippedRegions({});
    feed->repairEdits();
    if (const CKClipdeck* board = clipdeck())
        QDir().mkpath(board->cachedPath());
    std::optional<ZEPFileRef> exported;
    mConversionOutputPath = conversionOutputPath();
    const OSStatus status = feed->exportRegion(nullptr, mConversionOutputPath, std::nullopt, 0, this, &exported);
    if (status != noErr) {
        mImportingEditor.reset();
        setImportError(status);
        importingDidEnd();
        return status;
    }
    mImportProgressTimer.start(kImportProgressInterval, true);
    return noErr;
}

void CKSoundCachedFileSource::exportDidEnd(ZEPAudioEditor* editor, SInt32 returnCode,
                                          const ZEPAudioFileWriterList& fileWriters)
{
    // The feed that reports its end goes only after its call has returned.
    std::shared_ptr<CKAudioFileEditor> finished = mImportingEditor;
    mImportProgressTimer.stop();
    if (returnCode == 0) {
        std::optional<ZEPFileRef> written;
        if (!fileWriters.empty() && fileWriters.front())
            written = fileWriters.front()->file();
        if (written && QFileInfo::exists(written->path()))
            finishConversion(editor, *written);
        else
            setImportError(kZEPExportNoWriterError);
    } else if (returnCode != 1) {
        setImportError(returnCode);
    }
    importingDidEnd();
    if (mExportDelegate)
        mExportDelegate->exportDidEnd(editor, returnCode, fileWriters);
    mainthread::post([finished = std::move(finished)] {});
}

void CKSoundCachedFileSource::finishConversion(ZEPAudioEditor*, const ZEPFileRef& written)
{
    mFirstLoadPending = false;
    mPendingImport = false;
    CKClipdeck* board = clipdeck();
    const QString lossless = losslessCachePath();
    // A cache file that was not lossless yet gives way to the converted one.
    if (mImportingEditor && board) {
        const QString converted = mImportingEditor->audioFile()->path();
        if (converted != lossless && QDir::cleanPath(QFileInfo(converted).absolutePath()) == QDir::cleanPath(board->cachedPath()))
            QFile::remove(converted);
    }
    QVariantMap settings = editorSettings();
    settings.remove(QStringLiteral("GraphSettings"));
    setEditorSettings(settings);
    QFile::remove(settingsPath());
    QFile::remove(sampleCachePath());
    mImportingEditor.reset();
    unloadEditor();
    if (written.path() != lossless) {
        QFile::remove(lossless);
        QFile::rename(written.path(), lossless);
    }
    setFileName(stringByDeletingPathExtension(fileName()) + ".m4a");
    {
        std::lock_guard lock(mPropertyLock);
        mImportedFileRef = ZEPFileRef::fileRefWithPath(lossless);
    }
    cacheIfNeeded();
    if (board)
        board->save();
    editor();
    if (parentClipdeck())
        parentClipdeck()->setNeedsSave();
}

bool CKSoundCachedFileSource::postedToMainThread(void (CKSoundCachedFileSource::*method)())
{
    if (mainthread::isMainThread())
        return false;
    mainthread::post([weak = weak_from_this(), method] {
        if (const auto sound = std::static_pointer_cast<CKSoundCachedFileSource>(weak.lock()))
            (sound.get()->*method)();
    });
    return true;
}

void CKSoundCachedFileSource::importingDidStart()
{
    if (!postedToMainThread(&CKSoundCachedFileSource::importingDidStart))
        setImporting(true);
}

void CKSoundCachedFileSource::importingDidEnd()
{
    if (postedToMainThread(&CKSoundCachedFileSource::importingDidEnd))
        return;
    setImporting(false);
    setIsPlayable(true);
}

void CKSoundCachedFileSource::setImporting(bool importing)
{
    changeValue(QStringLiteral("importing"), mIsImporting, importing);
}

void CKSoundCachedFileSource::setImportError(OSStatus code)
{
    setError(removableSoundError(
        code, QStringLiteral("Could not import the sound"),
        QStringLiteral("The sound could not be imported. Would you like to remove it from the clipdeck?")));
}

void CKSoundCachedFileSource::updateImportingLayer()
{
    if (!mIsImporting) {
        mImportProgressTimer.stop();
        return;
    }
    if (CKSoundCell* cell = cellLayer()) {
        cell->updateProgressBarColor();
        cell->setPercentFinished(importPercentComplete());
    }
}
