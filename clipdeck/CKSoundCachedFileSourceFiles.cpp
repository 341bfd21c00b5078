// The cached file sound's files: their names, putting the audio into the board's cache,
// renaming the files of older documents, a new uuid, deletion, and moves and copies of the
// sound with its files to another board.
#include "clipdeck/CKSoundCachedFileSource.h"

#include "clipdeck/CKCacheFileOperation.h"
#include "clipdeck/CKClipdeck.h"
#include "clipdeck/RAOperationQueue.h"

#include "audio/editor/CKAudioFileEditor.h"
#include "platform/FoundationExtensions.h"
#include "platform/MainThread.h"
#include "platform/StandardPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

const QStringList kSideFileExtensions{QStringLiteral(".samples"), QStringLiteral(".settings")};

Error fileError(const QString& description, const QString& path)
{
    const int code = errno != 0 ? errno : EIO;
    return Error(Error::POSIXDomain, code, description,
                 QStringLiteral("\u201c%1\u201d: %2").arg(path, QString::fromLocal8Bit(std::strerror(code))));
}

} // namespace

// Names -------------------------------------------------------------------------------------

QString CKSoundCachedFileSource::fileName() const
{
    std::lock_guard lock(mPropertyLock);
    return mFileName;
}

void CKSoundCachedFileSource::setFileName(const QString& fileName)
{
    std::lock_guard lock(mPropertyLock);
    mFileName = fileName;
}

QString CKSoundCachedFileSource::cachePath()
{
    QString name = fileName();
    name.replace(u'/', u'-').replace(u':', u'-');
    const QString id = uuid();
    if (name.contains(id))
        name.remove(id + "-");
    return CKClipdeck::CacheFolderName + "/" + id + (name.isEmpty() ? QString() : "-" + name);
}

QString CKSoundCachedFileSource::fullCachePath()
{
    const CKClipdeck* board = clipdeck();
    if (!board || board->path().isEmpty())
        return {};
    return board->path() + "/" + cachePath();
}

QString CKSoundCachedFileSource::settingsPath()
{
    const QString cached = fullCachePath();
    return cached.isEmpty() ? QString() : cached + ".settings";
}

QString CKSoundCachedFileSource::sampleCachePath()
{
    const QString cached = fullCachePath();
    return cached.isEmpty() ? QString() : cached + ".samples";
}

QString CKSoundCachedFileSource::losslessCachePath()
{
    const QString cached = fullCachePath();
    return cached.isEmpty() ? QString() : stringByDeletingPathExtension(cached) + ".m4a";
}

QString CKSoundCachedFileSource::conversionOutputPath()
{
    const QString cached = fullCachePath();
    return cached.isEmpty() ? QString() : stringByDeletingPathExtension(cached) + "_export.m4a";
}

QString CKSoundCachedFileSource::prerenderedPath() const
{
    std::lock_guard lock(mPropertyLock);
    return mPrerenderedPath;
}

void CKSoundCachedFileSource::setPrerenderedPath(const QString& path)
{
    std::lock_guard lock(mPropertyLock);
    mPrerenderedPath = path;
}

QString CKSoundCachedFileSource::fullPrerenderedPath()
{
    const QString relative = prerenderedPath();
    const CKClipdeck* board = clipdeck();
    if (relative.isEmpty() || !board || board->path().isEmpty())
        return {};
    return board->path() + "/" + relative;
}

// The cache ---------------------------------------------------------------------------------

std::optional<ZEPFileRef> CKSoundCachedFileSource::cacheFile()
{
    std::lock_guard lock(mPropertyLock);
    if (!mCacheFileRef)
        mCacheFileRef = ZEPFileRef::fileRefWithPath(fullCachePath());
    return mCacheFileRef;
}

std::optional<ZEPFileRef> CKSoundCachedFileSource::losslessCacheFile() const
{
    std::lock_guard lock(mPropertyLock);
    return mCacheFileRef;
}

bool CKSoundCachedFileSource::cachedFileExists()
{
    const std::optional<ZEPFileRef> cached = cacheFile();
    return cached && QFileInfo::exists(cached->path());
}

bool CKSoundCachedFileSource::cachedFileSizeIsTheSame()
{
    const std::optional<ZEPFileRef> cached = cacheFile();
    if (!cached || !mSourceFileRef)
        return false;
    return qint32(QFileInfo(cached->path()).size()) == qint32(QFileInfo(mSourceFileRef->path()).size());
}

void CKSoundCachedFileSource::addCacheOperation()
{
    if (mIsCaching.load() || cachedFileIsTheSame())
        return;
    mIsCaching.store(true);
    cacheOperationQueue().addOperation(std::make_shared<CKCacheFileOperation>(
        std::static_pointer_cast<CKSoundCachedFileSource>(shared_from_this())));
}

QString CKSoundCachedFileSource::anyValidPath()
{
    if (cachedFileExists())
        return fullCachePath();
    return mSourceFileRef ? mSourceFileRef->path() : QString();
}

void CKSoundCachedFileSource::cacheIfNeeded() { cacheIfNeededForClipdeck(clipdeck()); }

void CKSoundCachedFileSource::cacheIfNeededForClipdeck(CKClipdeck* board)
{
    if (!board) {
        mIsCaching.store(false);
        return;
    }
    try {
        std::lock_guard lock(mPropertyLock);
        const QString cacheFolder = board->cachedPath();
        const QString id = uuid();
        QString name = mCacheFileRef ? QFileInfo(mCacheFileRef->path()).fileName() : mFileName;
        name.remove(id + "-");
        const QString target = cacheFolder + "/" + QStringLiteral("%1-%2").arg(id, name);
        mCacheFileRef = mImportedFileRef ? mImportedFileRef : ZEPFileRef::fileRefWithPath(target);
        if (!mCacheFileRef) {
            // A cache file of an older document, named without the uuid.
            const QString older = cacheFolder + "/" + name;
            if (QFileInfo::exists(older)) {
                QFile::rename(older, target);
                for (const QString& extension : kSideFileExtensions)
                    QFile::rename(older + extension, target + extension);
                mCacheFileRef = ZEPFileRef::fileRefWithPath(target);
            }
        }
        if (!mCacheFileRef) {
            QDir().mkpath(cacheFolder);
            if (!cachedFileExists() && mSourceFileRef) {
                QFile::copy(mSourceFileRef->path(), target);
                board->setNeedsSave();
                // The feed is the main thread's: it is rebuilt from the copy there.
                mainthread::post([weak = weak_from_this()] {
                    if (const auto sound = std::static_pointer_cast<CKSoundCachedFileSource>(weak.lock())) {
                        sound->unloadEditor();
                        sound->buildEditor();
                    }
                });
            }
        }
    } catch (const std::exception& exception) {
        qWarning("Caching a sound failed: %s", exception.what());
    }
    mIsCaching.store(false);
}

void CKSoundCachedFileSource::migrateToUUID()
{
    const CKClipdeck* board = clipdeck();
    if (!board)
        return;
    const QString cacheFolder = board->cachedPath();
    const QString name = fileName();
    const QString target = cacheFolder + "/" + QStringLiteral("%1-%2").arg(uuid(), name);
    const QString older = cacheFolder + "/" + name;
    if (QFileInfo::exists(older)) {
        QFile::rename(older, target);
        for (const QString& extension : kSideFileExtensions)
            QFile::rename(older + extension, target + extension);
        markSettingsDirty();
        return;
    }
    // Else the first entry whose name ends with the file name (an older naming of its own).
    for (const QString& entry : QDir(cacheFolder).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        const qsizetype at = entry.indexOf(name);
        if (name.isEmpty() || at < 0 || at + name.size() != entry.size())
            continue;
        const QString found = cacheFolder + "/" + entry;
        QFile::copy(found, target);
        for (const QString& extension : kSideFileExtensions)
            QFile::copy(found + extension, target + extension);
        return;
    }
}

void CKSoundCachedFileSource::resetUUID()
{
    const QString before = fullCachePath();
    CKSoundSource::resetUUID();
    const QString after = fullCachePath();
    if (before.isEmpty() || before == after || !QFileInfo::exists(before))
        return;
    if (QFile::rename(before, after)) {
        std::lock_guard lock(mPropertyLock);
        if (mCacheFileRef && mCacheFileRef->path() == before)
            mCacheFileRef = ZEPFileRef::fileRefWithPath(after);
        if (mImportedFileRef && mImportedFileRef->path() == before)
            mImportedFileRef = ZEPFileRef::fileRefWithPath(after);
    }
}

void CKSoundCachedFileSource::deleteFile()
{
    // A conversion still waiting would start on a sound whose files are gone.
    if (mPendingImport && !mIsImporting)
        sharedSoundConverter().forgetSound(this);
    cancelImport();
    stopIfPlaying();
    removeTriggers();
    for (const QString& path : {fullCachePath(), settingsPath(), sampleCachePath()}) {
        if (!path.isEmpty() && QFileInfo::exists(path))
            StandardPaths::movePathToTrash(path);
    }
}

// Moves and copies --------------------------------------------------------------------------

void CKSoundCachedFileSource::stopIfPlaying()
{
    if (playingCount() > 0 || isPlaying())
        stopImmediately();
}

bool CKSoundCachedFileSource::checkTargetCell(CKClipdeck* target, std::size_t index, std::size_t* cell,
                                              Error* error) const
{
    if (!target || index >= target->numberOfCells()) {
        ::setError(error, Error(ErrorDomain, kCellOutOfRangeError,
                              QStringLiteral("Sound cannot be imported at %1").arg(qulonglong(index))));
        return false;
    }
    *cell = target->nextAvailableCellFromIndex(index);
    if (*cell == CKClipdeck::kNotFound) {
        ::setError(error, Error(ErrorDomain, kClipdeckFullError, QStringLiteral("The clipdeck is full"),
                              QStringLiteral("There is no free cell on the clipdeck \u201c%1\u201d.").arg(target->name())));
        return false;
    }
    return true;
}

bool CKSoundCachedFileSource::transferFiles(const QString& folder, const QString& newName, bool copy, Error* error)
{
    const QString source = fullCachePath();
    QList<QPair<QString, QString>> transfers{{source, folder + "/" + newName}};
    for (const QString& extension : kSideFileExtensions) {
        if (QFileInfo::exists(source + extension))
            transfers.append({source + extension, folder + "/" + newName + extension});
    }
    QList<QPair<QString, QString>> done;
    for (const auto& [from, to] : std::as_const(transfers)) {
        errno = 0;
        const bool ok = !QFileInfo::exists(to) && (copy ? QFile::copy(from, to) : QFile::rename(from, to));
        if (!ok) {
            ::setError(error, fileError(copy ? QStringLiteral("The sound could not be copied")
                                           : QStringLiteral("The sound could not be moved"),
                                      from));
            // What was done is undone: the sound stays whole where it was.
            for (const auto& [doneFrom, doneTo] : std::as_const(done)) {
                if (copy)
                    QFile::remove(doneTo);
                else
                    QFile::rename(doneTo, doneFrom);
            }
            return false;
        }
        done.append({from, to});
    }
    return true;
}

bool CKSoundCachedFileSource::moveToClipdeck(CKClipdeck* target, Error* error)
{
    return moveToClipdeck(target, 0, error);
}

bool CKSoundCachedFileSource::moveToClipdeck(CKClipdeck* target, std::size_t index, Error* error)
{
    std::size_t cell = 0;
    if (!checkTargetCell(target, index, &cell, error))
        return false;
    CKClipdeck* board = clipdeck();
    stopIfPlaying();
    if (!QDir().mkpath(target->cachedPath())) {
        ::setError(error, fileError(QStringLiteral("The sound could not be moved"), target->cachedPath()));
        return false;
    }
    if (board != target && !transferFiles(target->cachedPath(), QFileInfo(fullCachePath()).fileName(), false, error))
        return false;
    const std::shared_ptr<CKSoundSource> self = shared_from_this();
    if (board)
        board->removeSoundAtIndex(board->indexOfSound(this), false);
    target->addSound(self, cell, true);
    {
        std::lock_guard lock(mPropertyLock);
        mCacheFileRef.reset();
        mImportedFileRef.reset();
    }
    unloadEditor();
    editor();
    return true;
}

bool CKSoundCachedFileSource::copyToClipdeck(CKClipdeck* target, Error* error)
{
    return copyToClipdeck(target, 0, error);
}

bool CKSoundCachedFileSource::copyToClipdeck(CKClipdeck* target, std::size_t index, Error* error)
{
    std::size_t cell = 0;
    if (!checkTargetCell(target, index, &cell, error))
        return false;
    stopIfPlaying();
    const QString newUuid = stringWithNewUUID();
    const QString newName = QStringLiteral("%1-%2").arg(newUuid, QFileInfo(fullCachePath()).fileName().remove(uuid() + "-"));
    if (!QDir().mkpath(target->cachedPath())) {
        ::setError(error, fileError(QStringLiteral("The sound could not be copied"), target->cachedPath()));
        return false;
    }
    if (!transferFiles(target->cachedPath(), newName, true, error))
        return false;
    const std::shared_ptr<CKSoundCachedFileSource> copy =
        initWithPath(target->cachedPath() + "/" + newName, target);
    if (!copy)
        return false;
    // The copy is named by the uuid in its file's name, so the file already has its final
    // name; its audio is in the target's cache, so it belongs in the document at once.
    copy->setUuid(newUuid);
    copy->mFirstLoadPending = false;
    copy->setEditorSettings(editorSettings());
    copy->setName(name());
    copy->setBackgroundColor(backgroundColor());
    copy->setLoops(loops());
    copy->setPlaybackVolume(playbackVolume());
    copy->setRestartOnPress(storedRestartOnPress());
    copy->setMIDIInformation(MIDIInformation());
    copy->setSticky(sticky());
    copy->setLiftBehavior(liftBehavior());
    copy->cacheIfNeeded();
    target->addSound(copy, cell, true);
    unloadEditor();
    editor();
    return true;
}
