#include "audio/editor/ZEPAudioEditor.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPAudioPullRingBuffer.h"
#include "audio/engine/ZEPAudioUnitUtils.h"
#include "audio/engine/ZEPPullAudioPlayer.h"
#include "audio/engine/ZEPSlamAudioPlayer.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "audio/files/ZEPPreviewConverter.h"
#include "audio/files/ZEPStreamDescriptionDictionary.h"
#include "platform/VariantValues.h"

#include <QCoreApplication>
#include <QDate>

#include <algorithm>

namespace {

const QString kFileTypeKey = QStringLiteral("fileType");
const QString kEncoderSettingsKey = QStringLiteral("encoderSettings");

bool isList(const QVariant& value)
{
    return value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList;
}

bool isMap(const QVariant& value)
{
    return value.typeId() == QMetaType::QVariantMap;
}

} // namespace

ZEPAudioEditor::ZEPAudioEditor() : mTags(defaultTags())
{
    // The chain is built by the subclass at the end of its construction (or when its file
    // has loaded): a constructor here cannot reach the subclass's own steps.
}

ZEPAudioEditor::~ZEPAudioEditor()
{
    stopExport(); // the conversion thread reads this model: it is joined first
    stopAudio();
    if (mUndoManager)
        mUndoManager->removeAllActionsWithTarget(this);
    for (AudioBufferList*& list : mTrackInputBufferLists)
        ZEPDisposeAudioBufferList(list);
    ZEPDisposeAudioBufferList(mScrubInputBufferList);
    for (AudioUnit* mixer : {mInputMixer.get(), mOutputMixer.get(), mStereoMatrixMixer.get()}) {
        if (mixer)
            mixer->uninitialize();
    }
}

void ZEPAudioEditor::stopAudio()
{
    mScrubPlayer.reset();
    stopTrackRings();
    releasePlayer();
}

QVariantMap ZEPAudioEditor::defaultTags()
{
    return {
        {QStringLiteral("title"), QString("")},
        {QStringLiteral("artist"), QString("")},
        {QStringLiteral("album"), QString("")},
        {QStringLiteral("genre"), QStringLiteral("Sound Clip")},
        {QStringLiteral("copyright"), QString("")},
        {QStringLiteral("comments"), QString("")},
        {QStringLiteral("encoder"), QStringLiteral("Glassjar Studio")},
        {QStringLiteral("year"), qlonglong(QDate::currentDate().year())},
    };
}

OSStatus ZEPAudioEditor::initAudioChain()
{
    if (mAudioChainInited)
        return noErr;
    OSStatus status = setupInputMixer();
    if (status == noErr)
        status = setupOutputMixer();
    if (status == noErr)
        status = setupInputRingBuffers();
    if (status != noErr) {
        mTrackRingBuffers.clear();
        mOutputMixer.reset();
        mInputMixer.reset();
        return status;
    }
    for (UInt32 track = 0; track < kMaxTracks; ++track) {
        mSamplesNativeMax[track] = 1;
        mNormalizedMax[track] = 1;
    }
    setEncodeSettings({{kFileTypeKey, qlonglong(FourCC("AIFF"))}});
    setScrubDuration(1.0f);
    mAudioChainInited = true;
    return noErr;
}

void ZEPAudioEditor::subclassMustImplement(const char* operation)
{
    throw ZEPSubclassMustImplementException(
        QStringLiteral("ZEPAudioEditor Subclass must implement %1").arg(QLatin1String(operation)).toStdString());
}

OSStatus ZEPAudioEditor::readPackets(UInt32*, AudioBufferList*)
{
    subclassMustImplement("readPackets:intoBuffer:");
}

OSStatus ZEPAudioEditor::readPackets(UInt32*, AudioBufferList*, AudioStreamPacketDescription*, bool, bool)
{
    subclassMustImplement("readPackets:intoBuffer:packetDescriptions:skipAllRegions:applyFade:");
}

OSStatus ZEPAudioEditor::getExtractionAudioDescription(AudioStreamBasicDescription*)
{
    subclassMustImplement("getExtractionAudioDescription:");
}

ZEPAudioRegionRef ZEPAudioEditor::absoluteTotalRegion()
{
    subclassMustImplement("absoluteTotalRegion");
}

ZEPAudioRegionRef ZEPAudioEditor::totalRegionVisible(bool)
{
    subclassMustImplement("totalRegionVisible:");
}

SInt64 ZEPAudioEditor::totalLengthVisible(bool)
{
    subclassMustImplement("totalLengthVisible:");
}

void ZEPAudioEditor::setReadLocation(SInt64)
{
    subclassMustImplement("setReadLocation:");
}

ZEPAudioMarkerList ZEPAudioEditor::visibleMarkers()
{
    subclassMustImplement("visibleMarkers");
}

void ZEPAudioEditor::registerUndo(UndoManager::Action action)
{
    if (mUndoManager)
        mUndoManager->registerUndoWithTarget(this, std::move(action));
}

ZEPAudioRegionList ZEPAudioEditor::deepCopy(const ZEPAudioRegionList& regions)
{
    ZEPAudioRegionList copies;
    copies.reserve(regions.size());
    for (const ZEPAudioRegionRef& region : regions)
        copies.append(region->copy());
    return copies;
}

qsizetype ZEPAudioEditor::indexOfEqualRegion(const ZEPAudioRegion& region) const
{
    for (qsizetype i = 0; i < mSkippedRegions.size(); ++i) {
        if (mSkippedRegions[i]->isEqual(&region))
            return i;
    }
    return -1;
}

// Regions and markers.

void ZEPAudioEditor::setSkippedRegions(const ZEPAudioRegionList& regions)
{
    if (isPlaying())
        stopPlayback();
    mSkippedRegions.clear();
    for (const ZEPAudioRegionRef& region : regions) {
        if (region && indexOfEqualRegion(*region) < 0)
            mSkippedRegions.append(region);
    }
}

void ZEPAudioEditor::undoSkippedRegions(const ZEPAudioRegionList& regions)
{
    registerUndo([this, previous = deepCopy(mSkippedRegions)] { undoSkippedRegions(previous); });
    setSkippedRegions(regions);
}

void ZEPAudioEditor::replaceRegionWithRegion(const ZEPRegionReplacement& replacement)
{
    stopPlayback();
    if (!replacement.replaceMe || !replacement.replaceWith)
        return;
    const qsizetype index = indexOfEqualRegion(*replacement.replaceMe);
    if (index < 0)
        return;
    mSkippedRegions[index] = replacement.replaceWith;
    registerUndo([this, swapped = ZEPRegionReplacement{replacement.replaceWith, replacement.replaceMe}] {
        replaceRegionWithRegion(swapped);
    });
}

void ZEPAudioEditor::replaceMarkerWithMarker(const ZEPMarkerReplacement& replacement)
{
    if (!replacement.replaceMe || !replacement.replaceWith)
        return;
    for (ZEPAudioMarkerRef& marker : mMarkers) {
        if (marker->isEqual(replacement.replaceMe.get())) {
            marker = replacement.replaceWith;
            registerUndo([this, swapped = ZEPMarkerReplacement{replacement.replaceWith, replacement.replaceMe}] {
                replaceMarkerWithMarker(swapped);
            });
            return;
        }
    }
}

void ZEPAudioEditor::setMarkers(const ZEPAudioMarkerList& markers)
{
    mMarkers.clear();
    for (const ZEPAudioMarkerRef& marker : markers) {
        if (marker)
            mMarkers.append(marker);
    }
}

ZEPAudioMarkerList ZEPAudioEditor::sortedMarkers() const
{
    ZEPAudioMarkerList sorted = mMarkers;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ZEPAudioMarkerRef& a, const ZEPAudioMarkerRef& b) { return a->compare(*b) < 0; });
    return sorted;
}

void ZEPAudioEditor::addMarker(const ZEPAudioMarkerRef& marker)
{
    if (!marker)
        return;
    for (const ZEPAudioMarkerRef& existing : mMarkers) {
        if (existing->isEqual(marker.get()))
            return;
    }
    mMarkers.append(marker);
    registerUndo([this, copy = marker->copy()] { removeMarker(copy); });
}

void ZEPAudioEditor::removeMarker(const ZEPAudioMarkerRef& marker)
{
    if (!marker)
        return;
    const auto atLocation = [&](const ZEPAudioMarkerRef& existing) { return existing->isEqual(marker.get()); };
    if (std::none_of(mMarkers.cbegin(), mMarkers.cend(), atLocation))
        return;
    registerUndo([this, copy = marker->copy()] { addMarker(copy); });
    mMarkers.removeIf(atLocation);
}

ZEPAudioMarkerRef ZEPAudioEditor::markLocation(SInt64 location)
{
    ZEPAudioMarkerRef marker =
        ZEPAudioMarker::markerWithName(QCoreApplication::translate("ZEPAudioLocalizable", "New Marker"), location);
    addMarker(marker);
    return marker;
}

ZEPAudioMarkerList ZEPAudioEditor::markersInRegion(const ZEPAudioRegion& region) const
{
    ZEPAudioMarkerList inside;
    for (const ZEPAudioMarkerRef& marker : mMarkers) {
        if (region.containsLocation(marker->location()))
            inside.append(marker);
    }
    return inside;
}

ZEPAudioMarkerList ZEPAudioEditor::markersInAndRelativeToRegion(const ZEPAudioRegion& region) const
{
    ZEPAudioMarkerList moved;
    for (const ZEPAudioMarkerRef& marker : markersInRegion(region))
        moved.append(ZEPAudioMarker::markerWithName(marker->name(), marker->location() - region.index()));
    return moved;
}

ZEPAudioRegionList ZEPAudioEditor::regionsOfType(UInt32 type, const ZEPAudioRegion& region) const
{
    ZEPAudioRegionList found;
    for (const ZEPAudioRegionRef& skipped : mSkippedRegions) {
        if ((type == kZEPAudioRegionAnyType || skipped->type() == type) && region.containsLocation(skipped->index()))
            found.append(skipped);
    }
    return found;
}

ZEPAudioRegionList ZEPAudioEditor::regionsOfTypeRelativeToRegion(UInt32 type, const ZEPAudioRegion& region) const
{
    ZEPAudioRegionList moved;
    for (const ZEPAudioRegionRef& skipped : regionsOfType(type, region)) {
        ZEPAudioRegionRef copy = skipped->copy();
        if (ZEPAudioRegionRef overlap = copy->regionByIntersectionWith(region)) {
            copy->setIndex(overlap->index());
            copy->setLength(overlap->length());
        }
        const SInt64 length = copy->length();
        copy->setIndex(copy->index() - region.index());
        copy->setLength(length);
        moved.append(copy);
    }
    return moved;
}

void ZEPAudioEditor::setAudioRegionClass(const ZEPAudioRegionClass& regionClass)
{
    mAudioRegionClass = regionClass;
    for (ZEPAudioRegionRef& region : mSkippedRegions) {
        ZEPAudioRegionRef remade = regionClass.alloc();
        remade->takeValuesFrom(*region);
        region = remade;
    }
}

// Position mapping.

SInt64 ZEPAudioEditor::absoluteIndexWithRelativeIndex(SInt64 relative) const
{
    SInt64 absolute = relative;
    for (const ZEPAudioRegionRef& region : mSkippedRegions) {
        if (region->type() != kZEPAudioRegionCut)
            continue;
        if (region->index() > absolute)
            break;
        absolute += region->length();
    }
    return absolute;
}

SInt64 ZEPAudioEditor::relativeIndexWithAbsoluteIndex(SInt64 absolute) const
{
    SInt64 relative = absolute;
    for (auto it = mSkippedRegions.crbegin(); it != mSkippedRegions.crend(); ++it) {
        const ZEPAudioRegion& region = **it;
        if (region.type() != kZEPAudioRegionCut)
            continue;
        if (region.containsLocation(absolute))
            relative = region.index();
        else if (region.index() <= relative)
            relative -= region.length();
    }
    return relative;
}

namespace {

// A copy of the region inside the file: the index at least 0, the end at most the count.
ZEPAudioRegionRef clampedCopy(const ZEPAudioRegion& region, SInt64 totalSampleCount)
{
    ZEPAudioRegionRef clamped = region.copy();
    if (clamped->index() < 0)
        clamped->setIndex(0);
    if (clamped->end() > totalSampleCount)
        clamped->setEnd(totalSampleCount);
    return clamped;
}

} // namespace

ZEPAudioRegionRef ZEPAudioEditor::relativeRegionWithAbsoluteRegion(const ZEPAudioRegion& region)
{
    ZEPAudioRegionRef c = clampedCopy(region, totalSampleCount());
    for (auto it = mSkippedRegions.crbegin(); it != mSkippedRegions.crend(); ++it) {
        const ZEPAudioRegion& cut = **it;
        if (cut.type() != kZEPAudioRegionCut)
            continue;
        if (c->index() > cut.end()) {
            const SInt64 length = c->length();
            c->setIndex(c->index() - cut.length());
            c->setLength(length);
        } else if (c->containsLocation(cut.index())) {
            // Only the part of the cut inside the region shortens it.
            c->setLength(c->length() - (std::min(cut.end(), c->end()) - cut.index() + 1));
        } else {
            const bool startsInCut = cut.containsLocation(c->index());
            if (startsInCut)
                c->setIndex(cut.end() + 1);
            if (cut.containsLocation(c->end()))
                c->setEnd(cut.index() - 1);
            if (startsInCut) {
                // The cut now lies wholly before the region, which moves left by its length:
                // a position inside a cut maps to where the cut begins.
                const SInt64 length = c->length();
                c->setIndex(c->index() - cut.length());
                c->setLength(length);
            }
        }
    }
    return c;
}

SInt64 ZEPAudioEditor::playbackLengthWithAbsoluteRegion(const ZEPAudioRegion& region)
{
    ZEPAudioRegionRef c = clampedCopy(region, totalSampleCount());
    SInt64 length = c->length();
    for (const ZEPAudioRegionRef& cut : mSkippedRegions) {
        if (cut->type() != kZEPAudioRegionCut)
            continue;
        if (cut->isSubsetOfRegion(c.get())) {
            length -= cut->length();
        } else if (cut->isSuperSetOfRegion(c.get())) {
            length = 0;
            break;
        } else if (cut->containsLocation(c->index())) {
            length -= cut->end() - c->index();
        } else if (cut->containsLocation(c->end())) {
            length -= c->end() - cut->index();
        }
    }
    return length;
}

// Normalisation.

void ZEPAudioEditor::setSamplesNativeMax(Float32 max, UInt32 track)
{
    storeForTrack(mSamplesNativeMax, track, max);
}

Float32 ZEPAudioEditor::samplesNativeMaxForTrack(UInt32 track) const
{
    return valueForTrack(mSamplesNativeMax, track);
}

void ZEPAudioEditor::setSum(double sum, UInt32 track)
{
    storeForTrack(mSamplesSum, track, sum);
}

double ZEPAudioEditor::sumForTrack(UInt32 track) const
{
    return valueForTrack(mSamplesSum, track);
}

void ZEPAudioEditor::setSquaredSamplesSum(double sum, UInt32 track)
{
    storeForTrack(mSquaredSamplesSum, track, sum);
}

double ZEPAudioEditor::squaredSamplesSumForTrack(UInt32 track) const
{
    return valueForTrack(mSquaredSamplesSum, track);
}

void ZEPAudioEditor::setRMS(double rms, UInt32 track)
{
    storeForTrack(mRMS, track, rms);
}

double ZEPAudioEditor::rmsForTrack(UInt32 track) const
{
    return valueForTrack(mRMS, track);
}

Float32 ZEPAudioEditor::normalizeScaleFactorForTrack(UInt32 track) const
{
    if (!validTrack(track))
        return 0;
    if (!mAppliesNormalization)
        return 1;
    return mSamplesNativeMax[track] > 0 ? mNormalizedMax[track] / mSamplesNativeMax[track] : 0;
}

void ZEPAudioEditor::setNormalizedMax(Float32 max, UInt32 track)
{
    if (!validTrack(track))
        return;
    mNormalizedMax[track] = max;
    const Float32 scale = normalizeScaleFactorForTrack(track);
    if (mEffectsGraph)
        mEffectsGraph->setVolume(scale, track);
    if (mStereoMixerSetUp) {
        ZEPAudioUnitUtils::matrixMixerUnit(mStereoMatrixMixer.get(), scale, 2 * track, 0);
        ZEPAudioUnitUtils::matrixMixerUnit(mStereoMatrixMixer.get(), scale, 2 * track + 1, 1);
    }
}

Float32 ZEPAudioEditor::normalizedMaxForTrack(UInt32 track) const
{
    return valueForTrack(mNormalizedMax, track);
}

void ZEPAudioEditor::setNormalizeScaleFactor(Float32 factor, UInt32 track)
{
    setNormalizedMax(samplesNativeMaxForTrack(track) * factor, track);
}

Float32 ZEPAudioEditor::maxAfterNormalizationForTrack(UInt32 track) const
{
    return samplesNativeMaxForTrack(track) * normalizeScaleFactorForTrack(track);
}

void ZEPAudioEditor::setNormalizedMaxWithDict(const QVariantMap& dictionary)
{
    setNormalizedMax(Float32(variant::doubleValue(dictionary.value(QStringLiteral("normalizedMax")))),
                     UInt32(variant::integerValue(dictionary.value(QStringLiteral("track")))));
}

// Settings.

QVariantMap ZEPAudioEditor::settings()
{
    QVariantMap settings;
    const QVariantMap encode = encodeSettings();
    if (!encode.isEmpty())
        settings.insert(EncodeSettingsKey, encode);
    if (const std::optional<QVariantList> graph = graphSettings())
        settings.insert(GraphSettingsKey, *graph);
    settings.insert(EditsKey, serializableRemovedRegions());
    settings.insert(MarkersKey, serializableMarkers());
    settings.insert(TagsKey, mTags);
    settings.insert(DurationKey, duration());
    return settings;
}

void ZEPAudioEditor::setSettings(const QVariantMap& settings)
{
    // A value of the wrong kind is left alone like an absent one: a damaged settings file
    // must not wipe the edits it could not describe.
    if (isMap(settings.value(EncodeSettingsKey)))
        setEncodeSettings(settings.value(EncodeSettingsKey).toMap());
    if (isList(settings.value(GraphSettingsKey)))
        setGraphSettings(settings.value(GraphSettingsKey).toList());
    if (isList(settings.value(EditsKey)))
        setSerializableRegions(settings.value(EditsKey).toList());
    if (isList(settings.value(MarkersKey)))
        setSerializableMarkers(settings.value(MarkersKey).toList());
    if (isMap(settings.value(TagsKey)))
        setTags(settings.value(TagsKey).toMap());
}

QVariantMap ZEPAudioEditor::settingsRelativeToRegion(const ZEPAudioRegion& region)
{
    QVariantMap relative = settings();
    QVariantList markers;
    for (const ZEPAudioMarkerRef& marker : markersInAndRelativeToRegion(region))
        markers.append(marker->asDictionary());
    relative.insert(MarkersKey, markers);
    QVariantList edits;
    for (const ZEPAudioRegionRef& edit : regionsOfTypeRelativeToRegion(kZEPAudioRegionAnyType, region))
        edits.append(edit->asDictionary());
    relative.insert(EditsKey, edits);
    return relative;
}

QVariantList ZEPAudioEditor::serializableRemovedRegions() const
{
    QVariantList regions;
    for (const ZEPAudioRegionRef& region : mSkippedRegions)
        regions.append(region->asDictionary());
    return regions;
}

void ZEPAudioEditor::setSerializableRegions(const QVariantList& dictionaries)
{
    ZEPAudioRegionList regions;
    for (const QVariant& dictionary : dictionaries) {
        if (!isMap(dictionary))
            continue;
        ZEPAudioRegionRef region = mAudioRegionClass.regionWithDictionary(dictionary.toMap());
        if (region->type() == kZEPAudioRegionSilence)
            region->setShowBoth(true);
        regions.append(region);
    }
    // The reading with edits walks the list in order: a list stored out of order is put right.
    ZEPAudioRegion::sortRegions(regions);
    setSkippedRegions(regions);
}

QVariantList ZEPAudioEditor::serializableMarkers() const
{
    QVariantList markers;
    for (const ZEPAudioMarkerRef& marker : mMarkers)
        markers.append(marker->asDictionary());
    return markers;
}

void ZEPAudioEditor::setSerializableMarkers(const QVariantList& dictionaries)
{
    ZEPAudioMarkerList markers;
    for (const QVariant& dictionary : dictionaries) {
        if (isMap(dictionary))
            markers.append(ZEPAudioMarker::markerWithDictionary(dictionary.toMap()));
    }
    setMarkers(markers);
}

QVariantMap ZEPAudioEditor::encodeSettings()
{
    if (mFileType == 0)
        return {};
    QVariantMap settings{{kFileTypeKey, qlonglong(mFileType)}};
    std::optional<QVariantMap> encoder;
    if (!mTrackPreviewers.empty())
        encoder = mTrackPreviewers.front()->encoder()->settings();
    // Without a preview converter (live preview off, or settings no encoder takes) the
    // settings stay as they were given, so saving never loses them.
    if (!encoder && !mEncoderSettings.isEmpty())
        encoder = mEncoderSettings;
    if (encoder)
        settings.insert(kEncoderSettingsKey, *encoder);
    return settings;
}

void ZEPAudioEditor::setEncodeSettings(const QVariantMap& settings)
{
    UInt32 fileType = UInt32(variant::integerValue(settings.value(kFileTypeKey)));
    QVariantMap encoderSettings = settings.value(kEncoderSettingsKey).toMap();
    if (fileType == 0 && encoderSettings.isEmpty()) {
        const QVariantMap lossless = ZEPAudioFileWriter::losslessSettings();
        fileType = UInt32(variant::integerValue(lossless.value(kFileTypeKey)));
        encoderSettings = lossless.value(kEncoderSettingsKey).toMap();
    }
    if (!encoderSettings.isEmpty() && ZEPASBDFromDictionary(encoderSettings).mChannelsPerFrame > 2)
        return;
    const UInt32 bitRate = UInt32(variant::integerValue(encoderSettings.value(QStringLiteral("bitRate"))));
    const UInt32 quality = UInt32(variant::integerValue(encoderSettings.value(QStringLiteral("quality"))));
    const QVariantMap oldSettings = encodeSettings();

    // A playing editor keeps playing from the old ring while the chain is rebuilt.
    const bool switching = canPlay();
    SInt64 location = 0;
    if (switching) {
        if (ZEPAudioPullRingBuffer* first = firstTrackRing())
            first->stop();
        if (mPlayer)
            mPlayer->beginSwitch();
        // The position where the switch began: the new ring starts there, and the player
        // drops from it what it plays until the swap.
        location = mPlayer && mPlayer->isSwitching()
                       ? absoluteIndexWithRelativeIndex(relativeLocationAtSampleTime(mPlayer->switchSampleTime()))
                       : playbackLocation();
        stopTrackRings();
        resetTrackRings();
    }
    {
        std::lock_guard lock(mLock);
        mFileType = fileType;
        mEncoderSettings = encoderSettings;
        AudioStreamBasicDescription preview;
        bool haveFormat = !encoderSettings.isEmpty();
        if (haveFormat)
            preview = ZEPASBDFromDictionary(encoderSettings);
        else
            haveFormat = ZEPAudioConverter::defaultOutputDescription(&preview, fileType) == noErr;
        AudioStreamBasicDescription extraction;
        bool ready = haveFormat && mInputMixer && getExtractionAudioDescription(&extraction) == noErr;
        if (ready && mEffectsGraph)
            ready = mEffectsGraph->setProcessingChannelCount(preview.mChannelsPerFrame == 1 ? 1 : 2,
                                                              extraction.mSampleRate) == noErr;
        if (ready) {
            rebuildPreviewConverters(preview, bitRate, quality, fileType);
            if (isPlaying()) {
                setReadLocation(location);
                mPlayingThroughPreview = !mTrackPreviewers.empty();
                if (mPlayingThroughPreview)
                    primeAndStartTrackRings();
            }
        }
    }
    if (switching && mPlayer)
        mPlayer->finishSwitch();
    didChangeValueForKey(QStringLiteral("estimatedFileSize"), QVariant(), QVariant());
    didChangeValueForKey(QStringLiteral("encodeSettings"), oldSettings, encodeSettings());
}

QString ZEPAudioEditor::audioSettingsDescription()
{
    const QVariantMap settings = encodeSettings();
    const std::optional<QString> format =
        ZEPAudioFileWriter::formatNameForFileType(UInt32(variant::integerValue(settings.value(kFileTypeKey))));
    if (!format)
        return {};
    return QStringLiteral("%1, %2").arg(
        *format, ZEPAudioConverter::descriptionWithEncoderSettings(settings.value(kEncoderSettingsKey).toMap()));
}

// Effects chain.

void ZEPAudioEditor::setEffectsGraph(std::shared_ptr<ZEPMultiAudioGraph> graph)
{
    mEffectsGraph = std::move(graph);
    if (mEffectsGraph)
        mEffectsGraph->setInputSource(ownRender());
    mEffectsGraphEnabled = true;
}

std::optional<QVariantList> ZEPAudioEditor::graphSettings() const
{
    if (!mEffectsGraph)
        return std::nullopt;
    return mEffectsGraph->serializableArray();
}

void ZEPAudioEditor::setGraphSettings(const QVariantList& settings)
{
    if (mEffectsGraph)
        mEffectsGraph->setWithArray(settings);
}

Float32 ZEPAudioEditor::leftOutputLevel() const
{
    return mEffectsGraph ? mEffectsGraph->leftOutputLevel() : 0;
}

Float32 ZEPAudioEditor::rightOutputLevel() const
{
    return mEffectsGraph ? mEffectsGraph->rightOutputLevel() : 0;
}

double ZEPAudioEditor::samplesPerSecond()
{
    AudioStreamBasicDescription description;
    getExtractionAudioDescription(&description);
    return description.mSampleRate;
}

double ZEPAudioEditor::duration()
{
    const SInt64 length = totalLengthVisible(false);
    const double rate = samplesPerSecond();
    if (length <= 0 || rate <= 0)
        return 0;
    return double(length) / rate;
}

// Extraction and playback state.

OSStatus ZEPAudioEditor::getReadyForExtraction()
{
    mOperationMode = kExtractionMode;
    if (mEffectsGraph)
        mEffectsGraph->start();
    return noErr;
}

void ZEPAudioEditor::resetExportRegion()
{
    mExportRegion = absoluteTotalRegion();
}
