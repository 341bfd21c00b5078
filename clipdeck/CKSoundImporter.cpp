#include "clipdeck/CKSoundImporter.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKClipdeckHost.h"
#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/RAOperationQueue.h"

#include "audio/files/ZEPMovie.h"
#include "platform/FoundationExtensions.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"

#include <QFileInfo>

namespace {

// The sound's edit settings from the side file of the other product's export.
std::optional<QVariantMap> glassjarEditorSettings(const QString& audioPath)
{
    const QFileInfo info(audioPath);
    const QString base = stringByDeletingPathExtension(stringByDeletingPathExtension(info.fileName()));
    const std::optional<QVariant> list = PropertyList::readFromFile(info.path() + "/" + base + ".meta.plist");
    if (!list)
        return std::nullopt;
    const QVariant user = list->toMap().value(QStringLiteral("User"));
    const QVariant settings = user.toMap().value(QStringLiteral("AudioFileEditorSettings"));
    if (settings.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    QVariantMap taken = settings.toMap();
    taken.remove(QStringLiteral("TrackSamples"));
    return taken;
}

} // namespace

bool CKSoundImporter::modeIsValid(int mode) { return mode == kFileImportMode || mode == kGlassjarStudioImportMode; }

void CKSoundImporter::importFiles(const QStringList& files, std::size_t index,
                                  const std::shared_ptr<CKClipdeck>& clipdeck, int mode)
{
    if (const std::shared_ptr<CKSoundImporter> importer = initWithFiles(files, index, clipdeck, mode))
        importer->scheduleProcessNextFile();
}

std::shared_ptr<CKSoundImporter> CKSoundImporter::initWithFiles(const QStringList& files, std::size_t index,
                                                                const std::shared_ptr<CKClipdeck>& clipdeck, int mode)
{
    if (!modeIsValid(mode) || !clipdeck)
        return nullptr;
    std::shared_ptr<CKSoundImporter> importer(new CKSoundImporter);
    importer->mFiles = files;
    importer->mIndex = index;
    importer->mImportMode = mode;
    importer->mClipdeck = clipdeck;
    CKSoundImporter* raw = importer.get();
    NotificationCenter::defaultCenter().addObserver(raw, CKClipdeck::WillDeleteNotification, clipdeck.get(),
                                                    [raw](const Notification&) { raw->abort(); });
    CKSoundCachedFileSource::cacheOperationQueue().setSuspended(true);
    CKClipdeckHost::current().setLoadingEditors(false);
    return importer;
}

CKSoundImporter::~CKSoundImporter() { NotificationCenter::defaultCenter().removeObserver(this); }

void CKSoundImporter::abort() { mClipdeck.reset(); }

void CKSoundImporter::scheduleProcessNextFile()
{
    mSelf = shared_from_this();
    mainthread::post([weak = weak_from_this()] {
        if (const std::shared_ptr<CKSoundImporter> importer = weak.lock())
            importer->processNextFile();
    });
}

void CKSoundImporter::processNextFile()
{
    if (mClipdeck && mIteratorIndex < mFiles.size() && mIndex != CKClipdeck::kNotFound) {
        mClipdeck->setIsPreImporting(true);
        const QString file = mFiles.at(mIteratorIndex);
        if (ZEPMovie::fileAtPathIsDRMEncrypted(file)) {
            recordError(file, kCopyProtectedError,
                        QStringLiteral("The audio file \"%1\" is copy-protected and cannot be used with Clipdeck.")
                            .arg(QFileInfo(file).fileName()));
        } else {
            try {
                if (mImportMode == kGlassjarStudioImportMode)
                    importFromGlassjarStudio(file);
                else
                    importFromFile(file);
            } catch (const std::exception& exception) {
                qWarning("Importing %s failed: %s", qPrintable(file), exception.what());
            }
        }
        if (mClipdeck) {
            ++mIteratorIndex;
            if (mIteratorIndex < mFiles.size() && mIndex != CKClipdeck::kNotFound) {
                scheduleProcessNextFile();
                return;
            }
        }
    }
    finishImport();
}

void CKSoundImporter::finishImport()
{
    // Whoever holds the importer, it stays whole until this call returns.
    const std::shared_ptr<CKSoundImporter> keep = std::move(mSelf);
    NotificationCenter::defaultCenter().removeObserver(this);
    if (mClipdeck) {
        mClipdeck->setSavingDisabled(false);
        mClipdeck->setNeedsSave();
    }
    if (!mErrorTable.isEmpty()) {
        qWarning("%lli error keys", qlonglong(mErrorTable.size()));
        if (mErrorTable.size() == 1) {
            CKClipdeckHost::current().presentError(mErrorTable.first().second);
        } else {
            QString text = QStringLiteral("The following files will not be imported:\n");
            QVariantList detailed;
            bool allCopyProtected = true;
            for (const auto& [path, error] : std::as_const(mErrorTable)) {
                text += QStringLiteral(" \u2022 %1\n").arg(QFileInfo(path).fileName());
                detailed.append(QVariantMap{{QStringLiteral("domain"), error.domain},
                                            {QStringLiteral("code"), error.code},
                                            {QStringLiteral("fileName"), path},
                                            {QStringLiteral("description"), error.localizedFailureReason}});
                allCopyProtected = allCopyProtected && error.code == kCopyProtectedError;
            }
            const QString description = allCopyProtected ? QStringLiteral("Cannot import %1 copy-protected files")
                                                         : QStringLiteral("Cannot import %1 files");
            Error summary(ErrorDomain, kSeveralFilesError, description.arg(mErrorTable.size()), text.trimmed());
            summary.userInfo.insert(QStringLiteral("NSDetailedErrors"), detailed);
            CKClipdeckHost::current().presentError(summary);
        }
    }
    CKClipdeckHost::current().setLoadingEditors(true);
    NotificationCenter::defaultCenter().post(DidFinishNotification, mClipdeck.get());
}

void CKSoundImporter::recordError(const QString& path, qint64 code, const QString& failureReason)
{
    Error error(ErrorDomain, code, QStringLiteral("Cannot open file"), failureReason);
    error.userInfo.insert(QStringLiteral("fileName"), path);
    mErrorTable.append({path, error});
}

bool CKSoundImporter::importFromFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() || !CKSoundCachedFileSource::canPlayFileAtPath(path)) {
        recordError(path, kCannotPlayError,
                    QStringLiteral("The file \"%1\" is not a sound file that Clipdeck can play.").arg(info.fileName()));
        return false;
    }
    const std::shared_ptr<CKSoundCachedFileSource> sound = CKSoundCachedFileSource::initWithPath(path, mClipdeck.get());
    if (!sound)
        return true;
    mIndex = mClipdeck->nextAvailableCellFromIndex(mIndex);
    if (mIndex == CKClipdeck::kNotFound) {
        CKClipdeckHost::current().beep();
        return false;
    }
    mClipdeck->addSound(sound, mIndex, false);
    sound->setIsPlayable(false);
    return true;
}

bool CKSoundImporter::importFromGlassjarStudio(const QString& path)
{
    const std::shared_ptr<CKSoundCachedFileSource> sound = CKSoundCachedFileSource::initWithPath(path, mClipdeck.get());
    if (!sound)
        return false;
    sound->setImportingFromGlassjarStudio(true);
    sound->setName(stringByDeletingPathExtension(stringByDeletingPathExtension(QFileInfo(path).fileName())));
    const std::size_t cell = mClipdeck->nextAvailableCellFromIndex(mIndex);
    if (cell == CKClipdeck::kNotFound)
        return false;
    mClipdeck->addSound(sound, cell, false);
    sound->setIsPlayable(false);
    mIndex = cell;
    if (const std::optional<QVariantMap> settings = glassjarEditorSettings(path))
        sound->setEditorSettings(*settings);
    return true;
}
