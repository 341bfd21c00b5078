#include "audio/editor/ZEPAudioFileEditor.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPPullAudioPlayer.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "audio/files/ZEPStreamDescriptionDictionary.h"
#include "platform/VariantValues.h"

#include <QFileInfo>

#include <algorithm>

namespace {

const QString kSamplesMaxKey = QStringLiteral("SamplesMax");
const QString kNormalizedMaxKey = QStringLiteral("NormalizedMax");
const QString kSamplesSumKey = QStringLiteral("SamplesSum");
const QString kSquaredSamplesSumKey = QStringLiteral("SquaredSamplesSum");
const QString kScaleFactorKey = QStringLiteral("ScaleFactor");

} // namespace

bool ZEPAudioFileEditor::canOpenPath(const QString& path)
{
    return ZEPAudioFile::canOpenPath(path);
}

std::unique_ptr<ZEPAudioFileEditor> ZEPAudioFileEditor::initWithPath(const QString& path, bool asynchronous)
{
    return initWithAudioFile(ZEPAudioFile::initWithPath(path, 0, asynchronous));
}

std::unique_ptr<ZEPAudioFileEditor> ZEPAudioFileEditor::initWithFileRef(const ZEPFileRef& fileRef)
{
    return initWithPath(fileRef.path());
}

std::unique_ptr<ZEPAudioFileEditor> ZEPAudioFileEditor::initWithAudioFile(std::unique_ptr<ZEPAudioFile> file)
{
    if (!file)
        return nullptr;
    return std::unique_ptr<ZEPAudioFileEditor>(new ZEPAudioFileEditor(std::move(file)));
}

ZEPAudioFileEditor::ZEPAudioFileEditor(std::unique_ptr<ZEPAudioFile> file, bool livePreview)
    : mAudioFile(std::move(file))
{
    mLivePreviewEnabled = livePreview;
    mAudioFile->setDelegate(this);
    if (!isLoading()) {
        addStartAndEndRegions();
        initAudioChain();
    }
}

ZEPAudioFileEditor::~ZEPAudioFileEditor()
{
    // An export, the players and the loaders read the file: they end before it goes.
    stopExport();
    stopAudio();
    if (mAudioFile)
        mAudioFile->setDelegate(nullptr);
    ZEPFreeEmptyAudioBufferList(mTempExtractionBufferList);
}

ZEPAudioRegionRef ZEPAudioFileEditor::newEndRegion(SInt64 index)
{
    ZEPAudioRegionRef region = mAudioRegionClass.regionAtIndexWithLength(index, 1);
    region->setShowBoth(true);
    region->setEndRegion(true);
    return region;
}

void ZEPAudioFileEditor::addStartAndEndRegions()
{
    removeRegion(newEndRegion(0));
    removeRegion(newEndRegion(totalSampleCount() - 2));
}

OSStatus ZEPAudioFileEditor::initAudioChain()
{
    if (mAudioChainInited)
        return noErr;
    mAudioFile->getExtractionAudioDescription(&mExtractionDescription);
    ZEPFreeEmptyAudioBufferList(mTempExtractionBufferList);
    mTempExtractionBufferList = ZEPCreateEmptyAudioBufferList(mExtractionDescription.mChannelsPerFrame);
    // The effects chain comes first: the encode settings set its processing format.
    OSStatus status = noErr;
    std::shared_ptr<ZEPMultiAudioGraph> graph = ZEPMultiAudioGraph::create(trackCount(), &status);
    if (!graph)
        return status;
    graph->setLevelsEnabled(true);
    setEffectsGraph(std::move(graph));
    if ((status = ZEPAudioEditor::initAudioChain()))
        return status;

    const QString extension = QFileInfo(mAudioFile->path()).suffix().toLower();
    const UInt32 fileType = ZEPAudioFileWriter::audioFileTypeForExtension(extension);
    if (fileType != 0) {
        QVariantMap settings{{QStringLiteral("fileType"), qlonglong(fileType)}};
        const AudioStreamBasicDescription fileFormat = mAudioFile->fileAudioDescription();
        if (fileFormat.mChannelsPerFrame <= 2) {
            QVariantMap encoderSettings = ZEPDictionaryFromASBD(fileFormat);
            if (const UInt32 bitRate = mAudioFile->fileBitrate())
                encoderSettings.insert(QStringLiteral("bitRate"), qlonglong(bitRate));
            settings.insert(QStringLiteral("encoderSettings"), encoderSettings);
        }
        setEncodeSettings(settings);
    }
    return noErr;
}

void ZEPAudioFileEditor::movieDidBecomePlayable(ZEPAudioFile*)
{
    initAudioChain();
    if (mDelegate)
        mDelegate->editorDidBecomePlayable(this);
}

void ZEPAudioFileEditor::movieDidFinishLoading(ZEPAudioFile*)
{
    if (!isLoading() && !canPlay()) {
        if (mDelegate)
            mDelegate->editorDidFinishLoading(this);
        return;
    }
    initAudioChain();
    if (!isLoading()) {
        const ZEPAudioRegionRef whole = absoluteTotalRegion();
        if (mPlaybackRegion && mPlaybackRegion->end() > whole->end()) {
            mPlaybackRegion->setEnd(whole->end());
            mRelativePlaybackRegion = relativeRegionWithAbsoluteRegion(*mPlaybackRegion);
            if (!mLoop && mPlayer)
                mPlayer->setStopSampleTime(
                    double(mRelativePlaybackRegion->index() + mRelativePlaybackRegion->length()));
        }
        if (mSkippedRegions.isEmpty()) {
            // The regions every loaded sound has are not an edit of the user's.
            const QPointer<UndoManager> undoManager = mUndoManager;
            mUndoManager = nullptr;
            addStartAndEndRegions();
            mUndoManager = undoManager;
        }
    }
    if (mDelegate)
        mDelegate->editorDidFinishLoading(this);
}

// Accessors.

std::optional<ZEPFileRef> ZEPAudioFileEditor::fileRef()
{
    return ZEPFileRef::fileRefWithPath(mAudioFile->path());
}

QString ZEPAudioFileEditor::name()
{
    const std::optional<ZEPFileRef> ref = fileRef();
    return ref ? ref->baseName() : QString();
}

QString ZEPAudioFileEditor::description()
{
    return QStringLiteral("<ZEPAudioFileEditor %1> %2").arg(quintptr(this), 0, 16).arg(mAudioFile->description());
}

bool ZEPAudioFileEditor::isLoading()
{
    return !mAudioFile || mAudioFile->isLoading();
}

bool ZEPAudioFileEditor::canPlay()
{
    return mAudioFile->canPlay();
}

UInt32 ZEPAudioFileEditor::trackCount()
{
    return mAudioFile->trackCount();
}

SInt64 ZEPAudioFileEditor::totalSampleCount()
{
    return mAudioFile->packetCount();
}

ZEPAudioRegionRef ZEPAudioFileEditor::absoluteTotalRegion()
{
    return mAudioRegionClass.regionAtIndexWithLength(0, totalSampleCount());
}

SInt64 ZEPAudioFileEditor::totalLengthVisible(bool visibleOnly)
{
    SInt64 length = totalSampleCount();
    for (const ZEPAudioRegionRef& region : mSkippedRegions) {
        if (region->type() != kZEPAudioRegionCut)
            continue;
        if (visibleOnly && (region->visible() || region->showBoth()))
            continue;
        length -= region->length();
    }
    return std::max<SInt64>(length, 0);
}

ZEPAudioRegionRef ZEPAudioFileEditor::totalRegionVisible(bool visibleOnly)
{
    return mAudioRegionClass.regionAtIndexWithLength(0, totalLengthVisible(visibleOnly) - 1);
}

void ZEPAudioFileEditor::setReadLocation(SInt64 location)
{
    if (location != mCurReadLocation)
        mNeedToSetReadLocation = true;
    mCurReadLocation = std::min(location, totalSampleCount());
}

OSStatus ZEPAudioFileEditor::readPackets(UInt32* packets, AudioBufferList* buffer)
{
    if (mNeedToSetReadLocation) {
        // Nothing is read from the wrong place: a failed seek is the read's answer, and the
        // next read tries it again.
        if (const OSStatus status = mAudioFile->setLocationPackets(mCurReadLocation)) {
            *packets = 0;
            for (UInt32 b = 0; b < buffer->mNumberBuffers; ++b)
                buffer->mBuffers[b].mDataByteSize = 0;
            return status;
        }
        mNeedToSetReadLocation = false;
    }
    const OSStatus status = mAudioFile->readPackets(packets, buffer, nullptr);
    mCurReadLocation += *packets;
    return status;
}

OSStatus ZEPAudioFileEditor::playRegion(const ZEPAudioRegionRef& region)
{
    mNeedToSetReadLocation = true;
    return ZEPAudioEditor::playRegion(region);
}

void ZEPAudioFileEditor::scrubAtLocation(SInt64 location)
{
    mOutOfAudio = false;
    ZEPAudioEditor::scrubAtLocation(location);
}

OSStatus ZEPAudioFileEditor::readStereoPackets(UInt32* packets, AudioBufferList* buffer)
{
    const OSStatus status = ZEPAudioEditor::readStereoPackets(packets, buffer);
    ZEPClipAudioBufferList(-1.0f, 1.0f, buffer, buffer);
    return status;
}

OSStatus ZEPAudioFileEditor::getReadyForExtraction()
{
    mOutOfAudio = false;
    return ZEPAudioEditor::getReadyForExtraction();
}

UInt32 ZEPAudioFileEditor::chainMaxRequestFrames()
{
    constexpr UInt32 kLargestRequest = 0xFFFFFF;
    return mEffectsGraph ? std::min(mEffectsGraph->maxRequestFrames(), kLargestRequest) : kLargestRequest;
}

SInt64 ZEPAudioFileEditor::framesAvailable()
{
    if (mOperationMode != kExtractionMode)
        return -1;
    return std::max<SInt64>(mExportPacketsRequested - mExportPacketsReturned, 0);
}

OSStatus ZEPAudioFileEditor::getExtractionAudioDescription(AudioStreamBasicDescription* description)
{
    return mAudioFile->getExtractionAudioDescription(description);
}

OSStatus ZEPAudioFileEditor::setExtractionAudioDescription(AudioStreamBasicDescription description)
{
    return mAudioFile->setExtractionAudioDescription(&description);
}

OSStatus ZEPAudioFileEditor::enterThread()
{
    return mAudioFile->enterThread();
}

OSStatus ZEPAudioFileEditor::exitThread()
{
    return mAudioFile->exitThread();
}

// Markers.

void ZEPAudioFileEditor::clearSelectedMarkers()
{
    for (const ZEPAudioMarkerRef& marker : mMarkers)
        marker->setSelected(false);
}

ZEPAudioMarkerList ZEPAudioFileEditor::selectedMarkers() const
{
    ZEPAudioMarkerList selected;
    for (const ZEPAudioMarkerRef& marker : mMarkers) {
        if (marker->selected())
            selected.append(marker);
    }
    return selected;
}

ZEPAudioMarkerList ZEPAudioFileEditor::visibleMarkers()
{
    ZEPAudioMarkerList visible;
    for (const ZEPAudioMarkerRef& marker : mMarkers) {
        const auto hides = [&](const ZEPAudioRegionRef& r) {
            return !r->visible() && !r->endRegion() && r->containsLocation(marker->location());
        };
        if (std::none_of(mSkippedRegions.cbegin(), mSkippedRegions.cend(), hides))
            visible.append(marker);
    }
    return visible;
}

// Rarely used.

bool ZEPAudioFileEditor::originalIsLossless()
{
    if (isLoading())
        return false;
    const AudioStreamBasicDescription format = mAudioFile->fileAudioDescription();
    if (format.mFormatID == kAudioFormatAppleLossless)
        return true;
    return format.mFormatID == kAudioFormatLinearPCM && format.mSampleRate >= 44100 && format.mBitsPerChannel > 15;
}

void ZEPAudioFileEditor::reassignFile(const ZEPFileRef& fileRef)
{
    std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(fileRef.path(), 0, false);
    if (!file)
        return;
    mAudioFile->setDelegate(nullptr);
    mAudioFile = std::move(file);
    mAudioFile->setDelegate(this);
    mNeedToSetReadLocation = true;
}

bool ZEPAudioFileEditor::isLocationDead(SInt64 location) const
{
    return std::any_of(mSkippedRegions.cbegin(), mSkippedRegions.cend(),
                       [&](const ZEPAudioRegionRef& region) { return region->containsLocation(location); });
}

// Settings.

QVariantMap ZEPAudioFileEditor::settings()
{
    QVariantMap settings = ZEPAudioEditor::settings();
    settings.insert(TrackSettingsKey, trackSettings());
    return settings;
}

void ZEPAudioFileEditor::setSettings(const QVariantMap& settings)
{
    ZEPAudioEditor::setSettings(settings);
    const QVariant tracks = settings.value(TrackSettingsKey);
    if (tracks.typeId() == QMetaType::QVariantList) {
        setTrackSettings(tracks.toList());
    } else if (isReverting()) {
        for (UInt32 track = 0; track < trackCount(); ++track)
            setMaxAfterNormalization(samplesNativeMaxForTrack(track), track);
    } else {
        for (UInt32 track = 0; track < trackCount(); ++track) {
            setSamplesNativeMax(1, track);
            setMaxAfterNormalization(1, track);
            setNormalizedMax(1, track);
        }
    }
}

QVariantList ZEPAudioFileEditor::trackSettings() const
{
    QVariantList tracks;
    for (UInt32 track = 0; track < mAudioFile->trackCount() && validTrack(track); ++track) {
        tracks.append(QVariantMap{
            {kSamplesMaxKey, double(samplesNativeMaxForTrack(track))},
            {kNormalizedMaxKey, double(normalizedMaxForTrack(track))},
            {kSamplesSumKey, sumForTrack(track)},
            {kSquaredSamplesSumKey, squaredSamplesSumForTrack(track)},
        });
    }
    return tracks;
}

void ZEPAudioFileEditor::setTrackSettings(const QVariantList& trackSettings)
{
    UInt32 track = 0;
    for (const QVariant& entry : trackSettings) {
        const QVariantMap values = entry.toMap();
        if (values.contains(kSamplesMaxKey) && values.contains(kNormalizedMaxKey)) {
            const Float32 nativeMax = Float32(variant::doubleValue(values.value(kSamplesMaxKey)));
            setSamplesNativeMax(nativeMax, track);
            setMaxAfterNormalization(nativeMax > 1 ? 1 : nativeMax, track);
            setNormalizedMax(Float32(variant::doubleValue(values.value(kNormalizedMaxKey))), track);
        }
        if (values.contains(kScaleFactorKey))
            setNormalizeScaleFactor(Float32(variant::doubleValue(values.value(kScaleFactorKey))), track);
        if (values.contains(kSamplesSumKey))
            setSum(variant::doubleValue(values.value(kSamplesSumKey)), track);
        if (values.contains(kSquaredSamplesSumKey))
            setSquaredSamplesSum(variant::doubleValue(values.value(kSquaredSamplesSumKey)), track);
        ++track;
    }
}
