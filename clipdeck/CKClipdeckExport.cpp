// A board's export to an archive: its copy written into a scratch folder with the audio,
// settings and an AAC copy of every sound, zipped, and put at the target.
#include "clipdeck/CKClipdeck.h"

#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/ZEPZipper.h"

#include "audio/editor/ZEPAudioEditorExport.h"
#include "audio/editor/ZEPAudioFileEditor.h"
#include "audio/files/ZEPStreamDescriptionDictionary.h"
#include "platform/FoundationExtensions.h"
#include "platform/MainThread.h"
#include "platform/PropertyList.h"
#include "platform/StandardPaths.h"
#include "platform/codecs/AudioCodecTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <system_error>

namespace {

// How often a render's progress is passed on, as the synchronous editor export does.
constexpr auto kRenderProgressInterval = std::chrono::milliseconds(200);

const QString kExportFailedDescription = QStringLiteral("The clipdeck could not be exported.");

Error stepError(OSStatus step, const QString& reason)
{
    Error error = Error::fromOSStatus(step, kExportFailedDescription);
    error.localizedFailureReason = reason;
    return error;
}

Error fileSystemError(int code, const QString& reason)
{
    return Error(Error::POSIXDomain, code, kExportFailedDescription, reason);
}

CKSoundCachedFileSource* cachedSound(const std::shared_ptr<CKSoundSource>& sound)
{
    return dynamic_cast<CKSoundCachedFileSource*>(sound.get());
}

// Copies the file into folder under its own name.
bool copyInto(const QString& file, const QString& folder)
{
    return !file.isEmpty() && QFile::copy(file, folder + "/" + QFileInfo(file).fileName());
}

// Hears the end of one AAC render (main thread) for the export thread that waits for it.
struct RenderEnd final : ZEPAudioEditorExportDelegate {
    void exportDidEnd(ZEPAudioEditor*, SInt32 code, const ZEPAudioFileWriterList&) override
    {
        std::lock_guard lock(mutex);
        returnCode = code;
        ended = true;
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    SInt32 returnCode = 0;
};

// Puts the finished archive at target: first complete under a temporary name beside it, then
// (the old file, if any, in the Trash) renamed to it. On failure the temporary file goes and
// an existing target stays as it was.
bool placeArchive(const QString& archive, const QString& target, const std::atomic<bool>& cancelled, bool* wasCancelled,
                  Error* error)
{
    const QFileInfo targetInfo(target);
    const QString temporary = targetInfo.absolutePath() + "/." + targetInfo.fileName() + "."
        + QUuid::createUuid().toString(QUuid::Id128).left(12) + ".part";
    QFile finished(archive);
    if (!finished.copy(temporary)) {
        QFile::remove(temporary);
        setError(error, fileSystemError(EIO, QStringLiteral("The archive could not be written to \u201c%1\u201d: %2.")
                                                 .arg(target, finished.errorString())));
        return false;
    }
    if (cancelled.load()) {
        QFile::remove(temporary);
        *wasCancelled = true;
        return false;
    }
    if (QFileInfo::exists(target) && !StandardPaths::movePathToTrash(target)) {
        QFile::remove(temporary);
        setError(error, fileSystemError(EACCES, QStringLiteral("The existing file \u201c%1\u201d could not be moved to "
                                                               "the Trash.")
                                                    .arg(target)));
        return false;
    }
    std::error_code failure;
    std::filesystem::rename(temporary.toStdString(), target.toStdString(), failure);
    if (failure) {
        QFile::remove(temporary);
        setError(error, fileSystemError(failure.value(), QStringLiteral("The archive could not be moved to \u201c%1\u201d: %2.")
                                                             .arg(target, QString::fromStdString(failure.message()))));
        return false;
    }
    return true;
}

} // namespace

QVariantMap CKClipdeck::prerenderedEncodeSettings()
{
    AudioStreamBasicDescription description{};
    description.mSampleRate = 44100.0;
    description.mFormatID = kAudioFormatMPEG4AAC;
    description.mFramesPerPacket = 1024;
    description.mChannelsPerFrame = 2;
    QVariantMap encoderSettings = ZEPDictionaryFromASBD(description);
    encoderSettings.insert(QStringLiteral("quality"), qlonglong(96));
    encoderSettings.insert(QStringLiteral("bitRate"), qlonglong(256000));
    return {{QStringLiteral("encoderSettings"), encoderSettings}, {QStringLiteral("fileType"), qlonglong(kAudioFileM4AType)}};
}

std::shared_ptr<CKClipdeck> CKClipdeck::copyForExport(CKClipdeck& live, Error* error)
{
    // The copy is read from the folder: the last second's changes must be in it.
    live.saveIfNeeded();
    return loadCopyOfIndex(live.boardIndex(), error);
}

float CKClipdeck::exportProgress() const
{
    const std::size_t count = mExportSoundCount.load();
    const std::size_t index = mExportSoundIndex.load();
    if (count == 0)
        return 0.0f;
    const float done = index == 0 ? 0.0f : float(index) / float(count);
    return std::min(1.0f, done + mRenderProgress.load() / float(count));
}

void CKClipdeck::cancelExport()
{
    mExportShouldCancel.store(true);
    if (mExportingEditor)
        mExportingEditor->cancelExport();
    std::shared_ptr<ZEPZipper> zipper;
    {
        std::lock_guard lock(mZipperLock);
        zipper = mZipper;
    }
    if (zipper)
        zipper->cancel();
}

void CKClipdeck::tellExportDelegate(const std::function<void(CKClipdeckExportDelegate*)>& call)
{
    if (CKClipdeckExportDelegate* delegate = mExportDelegate.load())
        call(delegate);
}

bool CKClipdeck::exportToPath(const QString& path, Error* error)
{
    mExportShouldCancel.store(false);
    mRenderProgress.store(0.0f);
    tellExportDelegate([this](CKClipdeckExportDelegate* delegate) { delegate->clipdeckStartedExportingSounds(this); });

    const QString scratch = clipdecksFolder() + "/" + ExportFolderName;
    QDir(scratch).removeRecursively();
    const QString copyFolder = scratch + "/" + QFileInfo(pathForBundleAtIndex(mBoardIndex)).fileName();
    mExportSoundIndex.store(0);
    mExportSoundCount.store(numberOfSounds());

    if (!QDir().mkpath(scratch) || !saveToPath(copyFolder)) {
        return endExport(false, scratch,
                         stepError(kExportFirstSaveError,
                                   QStringLiteral("The clipdeck\u2019s document could not be written to \u201c%1\u201d.")
                                       .arg(copyFolder)),
                         error);
    }
    if (!QDir(copyFolder).mkdir(PrerenderedFolderName)) {
        return endExport(false, scratch,
                         stepError(kExportCreateFolderError,
                                   QStringLiteral("The folder \u201c%1\u201d could not be made.").arg(PrerenderedFolderName)),
                         error);
    }
    for (const std::shared_ptr<CKSoundSource>& cell : mSounds) {
        CKSoundCachedFileSource* sound = cachedSound(cell);
        if (!sound)
            continue;
        if (mExportShouldCancel.load())
            return endExport(false, scratch, {}, error);
        OSStatus failedStep = noErr;
        if (!exportSound(*sound, copyFolder, &failedStep)) {
            return endExport(false, scratch,
                             stepError(failedStep, QStringLiteral("The files of the sound \u201c%1\u201d could not be "
                                                                  "copied.")
                                                       .arg(sound->name())),
                             error);
        }
        mExportSoundIndex.fetch_add(1);
    }
    setPrerendered(true);
    if (!saveToPath(copyFolder)) {
        return endExport(false, scratch,
                         stepError(kExportSecondSaveError,
                                   QStringLiteral("The clipdeck\u2019s document could not be written to \u201c%1\u201d.")
                                       .arg(copyFolder)),
                         error);
    }
    if (mExportShouldCancel.load())
        return endExport(false, scratch, {}, error);

    const QString archive = stringByDeletingPathExtension(copyFolder) + "." + ArchiveExtension;
    Error failure;
    if (!zipCopyFolder(copyFolder, archive, &failure))
        return endExport(false, scratch, failure, error);
    bool cancelled = false;
    if (!placeArchive(archive, path, mExportShouldCancel, &cancelled, &failure)) {
        if (cancelled)
            mExportShouldCancel.store(true);
        return endExport(false, scratch, failure, error);
    }
    return endExport(true, scratch, {}, error);
}

bool CKClipdeck::exportSound(CKSoundCachedFileSource& sound, const QString& copyFolder, OSStatus* failedStep)
{
    tellExportDelegate([this, &sound](CKClipdeckExportDelegate* delegate) {
        delegate->clipdeckStartedExportingFile(this, sound.name(), mExportSoundIndex.load());
    });
    const QString cacheFolder = copyFolder + "/" + CacheFolderName;
    const QString prerenderedFolder = copyFolder + "/" + PrerenderedFolderName;
    const QString source = sound.anyValidPath();
    if (!copyInto(source, cacheFolder)) {
        *failedStep = kExportCopyAudioError;
        return false;
    }
    std::optional<QVariantMap> settings;
    if (const QString settingsFile = sound.settingsPath(); !settingsFile.isEmpty() && QFileInfo::exists(settingsFile)) {
        if (!copyInto(settingsFile, cacheFolder)) {
            *failedStep = kExportCopySettingsError;
            return false;
        }
        if (const std::optional<QVariant> read = PropertyList::readFromFile(settingsFile);
            read && read->typeId() == QMetaType::QVariantMap)
            settings = read->toMap();
    }
    // An AAC copy made before (an imported board brings them) still holds when no edit
    // settings could have changed the sound since.
    const QString earlier = sound.fullPrerenderedPath();
    if (!sound.prerenderedPath().isEmpty() && !settings && !earlier.isEmpty() && QFileInfo::exists(earlier)) {
        if (!copyInto(earlier, prerenderedFolder)) {
            *failedStep = kExportCopyPrerenderedError;
            return false;
        }
        return true;
    }
    // The earlier copy is the live board's file: it is left where it is.
    sound.setPrerenderedPath({});
    mRenderProgress.store(0.0f);
    sound.setPrerenderedPath(prerender(source, settings.value_or(QVariantMap()), prerenderedFolder));
    mRenderProgress.store(0.0f);
    return true;
}

QString CKClipdeck::prerender(const QString& source, const QVariantMap& settings, const QString& folder)
{
    // The editor lives on the main thread, where its export ends and a cancel reaches it.
    auto end = std::make_shared<RenderEnd>();
    std::unique_ptr<ZEPAudioFileEditor> editor;
    std::optional<ZEPFileRef> written;
    OSStatus started = kAudio_ParamError;
    mainthread::postAndWait([&] {
        if (mExportShouldCancel.load())
            return;
        editor = ZEPAudioFileEditor::initWithPath(source, false);
        if (!editor || !editor->canPlay()) {
            editor.reset();
            return;
        }
        QVariantMap exportSettings = settings;
        exportSettings.insert(ZEPAudioEditor::EncodeSettingsKey, prerenderedEncodeSettings());
        exportSettings.remove(ZEPAudioEditor::TagsKey);
        editor->setTags({});
        started = editor->exportRegion(nullptr, folder + "/" + QFileInfo(source).fileName(), exportSettings, 0, 0.0,
                                       false, end.get(), &written);
        if (started == noErr)
            mExportingEditor = editor.get();
        else
            editor.reset();
    });
    if (started != noErr)
        return {};
    {
        std::unique_lock lock(end->mutex);
        while (!end->changed.wait_for(lock, kRenderProgressInterval, [&end] { return end->ended; })) {
            lock.unlock();
            float progress = 0.0f;
            mainthread::postAndWait([&] {
                if (mExportingEditor)
                    progress = mExportingEditor->exportProgress();
            });
            mRenderProgress.store(progress);
            tellExportDelegate([this](CKClipdeckExportDelegate* delegate) {
                delegate->clipdeckExportProgressUpdated(this, exportProgress());
            });
            lock.lock();
        }
    }
    // Let go of the editor on the main thread, after its end notice has returned.
    mainthread::postAndWait([&] {
        mExportingEditor = nullptr;
        editor.reset();
    });
    if (end->returnCode != 0 || !written || !QFileInfo::exists(written->path()))
        return {};
    const QString prefix = QDir::cleanPath(folder) + "/";
    const QString path = QDir::cleanPath(written->path());
    return path.startsWith(prefix) ? PrerenderedFolderName + "/" + path.mid(prefix.size()) : QString();
}

bool CKClipdeck::zipCopyFolder(const QString& copyFolder, const QString& archive, Error* error)
{
    auto zipper = std::make_shared<ZEPZipper>(QUrl::fromLocalFile(copyFolder));
    zipper->setOutputURL(QUrl::fromLocalFile(archive));
    zipper->setCompressionLevel(0);
    {
        std::lock_guard lock(mZipperLock);
        mZipper = zipper;
    }
    // A cancel that came before the zipper was there is seen here; one that comes later
    // reaches the zipper.
    if (!mExportShouldCancel.load()) {
        zipper->start();
        zipper->waitUntilComplete();
    }
    {
        std::lock_guard lock(mZipperLock);
        mZipper.reset();
    }
    if (mExportShouldCancel.load() || zipper->isCancelled())
        return false;
    if (!zipper->isFinished()) {
        Error failure = zipper->error();
        if (!failure)
            failure = Error(ZEPZipper::ErrorDomain, 0);
        failure.localizedDescription = kExportFailedDescription;
        setError(error, failure);
        return false;
    }
    return true;
}

bool CKClipdeck::endExport(bool finished, const QString& scratch, Error failure, Error* error)
{
    QDir(scratch).removeRecursively();
    mRenderProgress.store(0.0f);
    if (finished) {
        tellExportDelegate([this](CKClipdeckExportDelegate* delegate) { delegate->clipdeckFinishedExporting(this); });
        return true;
    }
    if (mExportShouldCancel.load()) {
        tellExportDelegate([this](CKClipdeckExportDelegate* delegate) { delegate->clipdeckExportDidCancel(this); });
        return false;
    }
    setError(error, failure);
    tellExportDelegate([this, &failure](CKClipdeckExportDelegate* delegate) {
        delegate->clipdeckDidFailToExport(this, failure);
    });
    return false;
}

void CKClipdeck::adoptExportResults(CKClipdeck& copy)
{
    setPrerendered(copy.prerendered());
    for (const std::shared_ptr<CKSoundSource>& cell : mSounds) {
        CKSoundCachedFileSource* sound = cachedSound(cell);
        if (!sound)
            continue;
        for (const std::shared_ptr<CKSoundSource>& copied : copy.mSounds) {
            if (CKSoundCachedFileSource* match = cachedSound(copied); match && match->uuid() == sound->uuid())
                sound->setPrerenderedPath(match->prerenderedPath());
        }
    }
    setNeedsSave();
}
