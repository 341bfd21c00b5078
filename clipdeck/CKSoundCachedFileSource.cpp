// The cached file sound: how it is made, its shared objects, its feed (built from the cache
// or the source file, loaded, and handed to the converter when it is not lossless yet), its
// settings and its element.
#include "clipdeck/CKSoundCachedFileSource.h"

#include "clipdeck/CKCacheFileOperation.h"
#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundCell.h"
#include "clipdeck/RAOperationQueue.h"

#include "audio/editor/CKAudioFileEditor.h"
#include "audio/files/ZEPMovie.h"
#include "platform/FoundationExtensions.h"
#include "platform/MainThread.h"
#include "platform/PropertyList.h"
#include "platform/codecs/AudioCodecTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace {

QString pathAttribute() { return QStringLiteral("path"); }
QString prerenderedPathAttribute() { return QStringLiteral("prerenderedPath"); }

std::optional<QVariantMap> readSettings(const QString& path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return std::nullopt;
    const std::optional<QVariant> settings = PropertyList::readFromFile(path);
    if (!settings || settings->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return settings->toMap();
}

// Apple Lossless or AAC in an MPEG-4 file: what the board plays without converting it.
bool isLosslessAudioFile(CKAudioFileEditor* feed)
{
    ZEPAudioFile* file = feed->audioFile();
    if (!file)
        return false;
    const UInt32 type = file->fileType();
    const AudioFormatID format = file->fileAudioDescription().mFormatID;
    const bool mpeg4 = type == kAudioFileM4AType || type == kAudioFileMPEG4Type || type == kAudioFileM4BType;
    return mpeg4 && (format == kAudioFormatAppleLossless || format == kAudioFormatMPEG4AAC);
}

bool hasExtension(const QString& path, std::initializer_list<const char*> extensions)
{
    const QString suffix = QFileInfo(path).suffix();
    return std::any_of(extensions.begin(), extensions.end(), [&suffix](const char* extension) {
        return suffix.compare(QLatin1String(extension), Qt::CaseInsensitive) == 0;
    });
}

} // namespace

// Creation ----------------------------------------------------------------------------------

CKSoundCachedFileSource::CKSoundCachedFileSource()
{
    mImportProgressTimer.setAction([this] { updateImportingLayer(); });
    // A new name is shown again by the sound's cell.
    observeKey(QStringLiteral("name"), this, [this](const QVariant&, const QVariant&) {
        if (cellLayer())
            cellLayer()->setSoundSource(this);
    });
}

CKSoundCachedFileSource::~CKSoundCachedFileSource()
{
    // The converter must not start or finish a conversion of a sound that has gone; a
    // conversion under way ends here, and what it had written goes with it.
    if (mPendingImport || mIsImporting)
        sharedSoundConverter().forgetSound(this);
    if (mImportingEditor) {
        mImportingEditor->stopExport();
        QFile::remove(mConversionOutputPath);
    }
}

std::shared_ptr<CKSoundCachedFileSource> CKSoundCachedFileSource::initWithXMLElement(const XMLElement& element,
                                                                                   CKClipdeck* clipdeck)
{
    auto sound = std::make_shared<CKSoundCachedFileSource>();
    const bool copy = clipdeck && clipdeck->isCopy();
    if (copy)
        sound->setRegistersTriggers(false);
    sound->readXMLElement(element);
    sound->setParentClipdeck(clipdeck);
    sound->mIsNewFile = false;
    const bool hadUuid = !element.attribute(QStringLiteral("uuid")).isEmpty();
    QString fileName = element.attribute(pathAttribute());
    fileName.remove(QStringLiteral("Cache/"));
    fileName.remove(sound->uuid() + "-");
    sound->setFileName(fileName.isEmpty() ? sound->name() : fileName);
    sound->setPrerenderedPath(element.attribute(prerenderedPathAttribute()));
    if (!hadUuid && !copy)
        sound->migrateToUUID();
    sound->readSettingsFile();
    return sound;
}

std::shared_ptr<CKSoundCachedFileSource> CKSoundCachedFileSource::initWithPath(const QString& path, CKClipdeck* clipdeck)
{
    std::optional<ZEPFileRef> source = ZEPFileRef::fileRefWithPath(path);
    if (!source)
        return nullptr;
    auto sound = std::make_shared<CKSoundCachedFileSource>();
    sound->mIsNewFile = true;
    sound->mFirstLoadPending = true;
    sound->mSourceFileRef = source;
    sound->setParentClipdeck(clipdeck);
    sound->addCacheOperation();
    const QFileInfo info(path);
    sound->setFileName(info.fileName());
    sound->setName(info.completeBaseName());
    sound->readSettingsFile();
    sound->setMIDIChannel(kNoMIDIChannel, kNoMIDIButton);
    sound->addObservers();
    return sound;
}

CKClipdeck* CKSoundCachedFileSource::clipdeck() const { return dynamic_cast<CKClipdeck*>(parentClipdeck()); }

// Shared objects ----------------------------------------------------------------------------

RAOperationQueue& CKSoundCachedFileSource::cacheOperationQueue()
{
    static RAOperationQueue* queue = [] {
        auto* made = new RAOperationQueue;
        made->setSuspended(true);
        return made;
    }();
    return *queue;
}

void CKSoundCachedFileSource::startCacheOperationQueue() { cacheOperationQueue().setSuspended(false); }

CKSoundConverter& CKSoundCachedFileSource::sharedSoundConverter()
{
    static auto* converter =
        new CKSoundConverter([] { return CKPlaybackController::sharedPlaybackController()->isPlaying(); });
    return *converter;
}

bool CKSoundCachedFileSource::canPlayFileAtPath(const QString& path)
{
    const QFileInfo info(path);
    if (hasExtension(path, {"txt"}) || !info.exists())
        return false;
    if (info.isDir() && info.suffix().isEmpty())
        return true;
    if (hasExtension(path, {"mid", "midi"}))
        return false;
    if (ZEPMovie::fileAtPathIsDRMEncrypted(path))
        return false;
    return ZEPAudioFile::canOpenPath(path);
}

// The feed ----------------------------------------------------------------------------------

CKAudioFileEditor* CKSoundCachedFileSource::editor()
{
    if (!error() && !sharedEditor())
        buildEditor();
    return CKSoundSource::editor();
}

bool CKSoundCachedFileSource::buildEditor()
{
    const QString cached = fullCachePath();
    QString path;
    if (!mIsCaching.load() && QFileInfo::exists(cached))
        path = cached;
    else
        path = mSourceFileRef ? mSourceFileRef->path() : cached;
    if (path.isEmpty() || !QFileInfo::exists(path))
        path = fullPrerenderedPath();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        unloadEditor();
        setLoadFailedError();
        return false;
    }
    readSettingsFile();
    ZEPMovie::setTreatMoviesAsSingleTrack(true);
    // Opened on a loading thread: editorFinishedLoading() follows on the main thread.
    const bool built = buildEditorWithPath(path, true);
    ZEPMovie::setTreatMoviesAsSingleTrack(false);
    return built;
}

void CKSoundCachedFileSource::editorFinishedLoading(CKAudioFileEditor* feed)
{
    if (!mainthread::isMainThread()) {
        mainthread::postAndWait([this, feed] { editorFinishedLoading(feed); });
        return;
    }
    if (isEditorLoaded() || feed != sharedEditor().get())
        return;
    feed->setPreservesOriginalSamplerate(mImportingFromGlassjarStudio);
    if (!feed->canPlay()) {
        unloadEditor();
        setLoadFailedError();
        return;
    }
    if (!prepareLoadedEditor(feed))
        return;
    const bool lossless = isLosslessAudioFile(feed);
    setEditorLoaded(lossless);
    if (lossless && mFirstLoadPending) {
        // The sound can be written into its board's document from now on.
        mFirstLoadPending = false;
        if (parentClipdeck())
            parentClipdeck()->setNeedsSave();
    }
    if (!lossless && mConvertAttempts == 0) {
        mPendingImport = true;
        ++mConvertAttempts;
        sharedSoundConverter().convertEditorToLossless(feed, this);
        return;
    }
    const CKClipdeck* board = clipdeck();
    const QString feedFolder = QFileInfo(feed->audioFile()->path()).absolutePath();
    if (board && mConvertAttempts == 0 && QDir::cleanPath(feedFolder) != QDir::cleanPath(board->cachedPath())) {
        adoptLoadedFeed(feed);
        return;
    }
    finishLoadingEditor(feed);
    setImporting(true);
    setImporting(false);
}

// A lossless file that lies outside the cache is copied in and loaded from there.
void CKSoundCachedFileSource::adoptLoadedFeed(CKAudioFileEditor* feed)
{
    ++mConvertAttempts;
    const QString extension = QFileInfo(feed->audioFile()->path()).suffix();
    setFileName(QStringLiteral("%1-%2.%3").arg(uuid(), name(), extension));
    QDir().mkpath(clipdeck()->cachedPath());
    QFile::copy(feed->audioFile()->path(), fullCachePath());
    unloadEditor();
    buildEditor();
    if (parentClipdeck())
        parentClipdeck()->setNeedsSave();
}

QString CKSoundCachedFileSource::formattedDuration()
{
    const std::shared_ptr<CKAudioFileEditor> feed = sharedEditor();
    return formattedDuration(feed && feed->audioFile() ? feed->audioFile()->duration() : 0.0);
}

QString CKSoundCachedFileSource::formattedDuration(double seconds)
{
    const long total = std::lround(std::max(seconds, 0.0));
    const long rest = total % 60;
    return QStringLiteral("%1:%2%3").arg(total / 60).arg(rest < 10 ? QStringLiteral("0") : QString()).arg(rest);
}

// Settings ----------------------------------------------------------------------------------

void CKSoundCachedFileSource::readSettingsFile()
{
    if (const std::optional<QVariantMap> settings = readSettings(settingsPath())) {
        setEditorSettings(*settings);
        std::lock_guard lock(mPropertyLock);
        mStoredSettings = *settings;
    }
}

void CKSoundCachedFileSource::saveEditorSettings()
{
    const QString path = settingsPath();
    const QVariantMap settings = editorSettings();
    if (!path.isEmpty() && PropertyList::writeToFile(settings, path, PropertyList::Format::XML)) {
        std::lock_guard lock(mPropertyLock);
        mStoredSettings = settings;
    }
}

void CKSoundCachedFileSource::markSettingsDirty()
{
    if (playingCount() != 0)
        mSettingsDirty = true;
    else
        loadSettings();
}

void CKSoundCachedFileSource::loadSettings()
{
    const std::shared_ptr<CKAudioFileEditor> feed = sharedEditor();
    if (!feed)
        return;
    feed->setSettings(editorSettings());
    feed->updateCachedAudio();
    feed->restartPlaybackAtBeginning();
}

void CKSoundCachedFileSource::didStop()
{
    CKSoundSource::didStop();
    if (playingCount() == 0 && mSettingsDirty) {
        mSettingsDirty = false;
        loadSettings();
    }
}

std::optional<XMLElement> CKSoundCachedFileSource::saveAndReturnXMLElement()
{
    if (mFirstLoadPending)
        return std::nullopt;
    std::optional<XMLElement> element = CKSoundSource::saveAndReturnXMLElement();
    element->setAttribute(pathAttribute(), cachePath());
    element->setAttribute(QStringLiteral("type"), SoundType);
    if (const QString prerendered = prerenderedPath(); !prerendered.isEmpty())
        element->setAttribute(prerenderedPathAttribute(), prerendered);
    // A copy's settings file is the live board's: it is left as it is. Settings the file
    // already holds are not written again (a board of 32 sounds would otherwise write 32
    // files at every save).
    const CKClipdeck* board = clipdeck();
    const QVariantMap settings = editorSettings();
    if (!(board && board->isCopy()) && !settings.isEmpty()) {
        bool stored = false;
        {
            std::lock_guard lock(mPropertyLock);
            stored = settings == mStoredSettings;
        }
        if (!stored || !QFileInfo::exists(settingsPath()))
            saveEditorSettings();
    }
    addCacheOperation();
    return element;
}
