// The export of an edited sound: the start (encoder, writer, conversion thread), the
// extraction render the thread pulls, the numbered files of a split, the end, progress and
// the size estimate.
#include "audio/editor/ZEPAudioEditorExport.h"

#include "audio/editor/ZEPAudioEditor.h"
#include "audio/editor/ZEPAudioFileEditor.h"
#include "audio/engine/ZEPMultiAudioGraph.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "audio/files/ZEPStreamDescriptionDictionary.h"
#include "platform/Error.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/VariantValues.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

const QString kFileTypeKey = QStringLiteral("fileType");
const QString kEncoderSettingsKey = QStringLiteral("encoderSettings");
const QString kBitRateKey = QStringLiteral("bitRate");
const QString kQualityKey = QStringLiteral("quality");
// The largest slice the effects chain renders for an export.
constexpr UInt32 kExportMaxRequestFrames = 32768;
// The numbered files a split looks through for a free name.
constexpr int kMaxSplitFiles = 10000;
constexpr auto kSynchronousPollInterval = std::chrono::milliseconds(200);

QString localized(const char* text)
{
    return QCoreApplication::translate("ZEPAudioLocalizable", text);
}

} // namespace

// The editor's extraction render as a producer, for the conversion thread and the chain.
class ZEPAudioEditorExtractionSource final : public ZEPAudioSource, public ZEPThreadAwareAudioSource {
public:
    explicit ZEPAudioEditorExtractionSource(ZEPAudioEditor& editor) : mEditor(editor) {}

    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        *description = mEditor.audioDescription();
        return noErr;
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override
    {
        return mEditor.renderExtractionFrames(frames, ioData, renderFlags, timeStamp, sender);
    }
    OSStatus setMaxRequestFrames(UInt32 frames) override { return mEditor.setMaxRequestFrames(frames); }
    UInt32 maxRequestFrames() override { return mEditor.chainMaxRequestFrames(); }
    SInt64 framesAvailable() override { return mEditor.framesAvailable(); }
    bool isFlushing() override { return mEditor.isFlushing(); }
    void flush() override { mEditor.flush(); }

    OSStatus enterThread() override
    {
        auto* fileEditor = dynamic_cast<ZEPAudioFileEditor*>(&mEditor);
        return fileEditor ? fileEditor->enterThread() : noErr;
    }
    OSStatus exitThread() override
    {
        auto* fileEditor = dynamic_cast<ZEPAudioFileEditor*>(&mEditor);
        return fileEditor ? fileEditor->exitThread() : noErr;
    }

private:
    ZEPAudioEditor& mEditor;
};

// The export fields of an editor, and the two delegates it is for its conversion thread
// and for its own synchronous exports.
struct ZEPAudioEditorExportState : ZEPConverterThreadDelegate, ZEPAudioEditorExportDelegate {
    explicit ZEPAudioEditorExportState(ZEPAudioEditor& owner) : editor(owner), source(owner) {}

    // The conversion thread (main thread).
    ZEPAudioFileWriterList nextAudioFilesForConverters(const ZEPAudioConverterList& encoders,
                                                       const ZEPAudioFileWriterList& fileWriters) override;
    void addFileWriters(const ZEPAudioFileWriterList& writers) override
    {
        for (const ZEPAudioFileWriterRef& writer : writers) {
            if (const std::optional<ZEPFileRef> file = writer->file())
                exportedFileRefs.append(*file);
            exportedFileWriters.push_back(writer);
        }
    }
    void converterFinished(ZEPConverterThread* converterThread) override
    {
        editor.converterFinished(converterThread);
    }
    // A synchronous export's end.
    void exportDidEnd(ZEPAudioEditor*, SInt32 returnCode, const ZEPAudioFileWriterList&) override
    {
        synchronousExportError = returnCode;
        synchronousExportDone = true;
    }

    ZEPAudioEditor& editor;
    ZEPAudioEditorExtractionSource source;
    QString exportPath;
    std::unique_ptr<ZEPConverterThread> exportThread;
    QString exportFilePath;
    std::optional<ZEPFileRef> exportFileRef;
    ZEPAudioRegionRef relativeExportRegion;
    AudioTimeStamp exportTimeStamp;
    std::atomic<SInt64> relativeExportLocation{0};
    QElapsedTimer exportStartTime;
    QList<ZEPFileRef> exportedFileRefs;
    ZEPAudioFileWriterList exportedFileWriters;
    ZEPAudioEditorExportDelegate* exportDelegate = nullptr;
    bool exportCancelled = false;
    Float32 exportPriority = 0;
    std::optional<QVariantMap> restoreSettings;
    // The first failure of a read of the sound (a seek or a read of its file): the export
    // then fails, as the conversion thread takes a failing source for one that ended.
    std::atomic<OSStatus> readError{noErr};
    std::atomic<bool> synchronouslyExporting{false};
    std::atomic<SInt32> synchronousExportError{0};
    std::atomic<bool> synchronousExportDone{false};
};

ZEPAudioEditorExportState& ZEPAudioEditor::exportState()
{
    if (!mExportState)
        mExportState = std::make_shared<ZEPAudioEditorExportState>(*this);
    return *mExportState;
}

ZEPAudioSource* ZEPAudioEditor::extractionSource()
{
    return &exportState().source;
}

namespace {

// The effects chain, which renders.
ZEPMultiAudioGraph* renderingChain(ZEPMultiAudioGraph* chain)
{
    return chain;
}

} // namespace

// Starting.

OSStatus ZEPAudioEditor::exportRegion(const ZEPAudioRegionRef& region, const QString& path,
                                      const std::optional<QVariantMap>& settings, UInt32 maxSize, double maxDuration,
                                      bool allowSplitting, ZEPAudioEditorExportDelegate* delegate,
                                      std::optional<ZEPFileRef>* exportedFileRef)
{
    ZEPAudioEditorExportState& state = exportState();
    stopPlayback();
    state.exportCancelled = false;
    state.readError = noErr;
    state.exportDelegate = delegate;
    if (const OSStatus status = getReadyForExtraction())
        return status;

    setExportPath(path);
    if (settings) {
        state.restoreSettings = this->settings();
        setSettings(*settings);
    }
    QVariantMap encode = encodeSettings();
    if (encode.isEmpty() && settings)
        encode = settings->value(EncodeSettingsKey).toMap();

    mExportRegion = region ? region->copy() : absoluteTotalRegion();
    state.relativeExportRegion = relativeRegionWithAbsoluteRegion(*mExportRegion);
    state.relativeExportLocation = state.relativeExportRegion->index();
    state.exportStartTime.start();
    state.exportTimeStamp = AudioTimeStamp();
    state.exportTimeStamp.mFlags = kAudioTimeStampSampleTimeValid;
    mExportPacketsReturned = 0;
    mExportPacketsRequested = state.relativeExportRegion->length();

    ZEPMultiAudioGraph* chain = renderingChain(mEffectsGraph.get());
    if (chain) {
        chain->setInputSource(&state.source);
        chain->setMaxRequestFrames(kExportMaxRequestFrames);
    }
    if (mEffectsGraph) {
        for (UInt32 track = 0; track < mEffectsGraph->inputTracks(); ++track)
            mEffectsGraph->setVolume(normalizeScaleFactorForTrack(track), track);
    }

    const UInt32 fileType = UInt32(variant::integerValue(encode.value(kFileTypeKey)));
    const QVariantMap encoderSettings = encode.value(kEncoderSettingsKey).toMap();
    AudioStreamBasicDescription output = ZEPASBDFromDictionary(encoderSettings);
    // Settings that name only a file type export in its default format.
    if (encoderSettings.isEmpty())
        ZEPAudioConverter::defaultOutputDescription(&output, fileType);
    const UInt32 bitRate = UInt32(variant::integerValue(encoderSettings.value(kBitRateKey)));
    const UInt32 quality = UInt32(variant::integerValue(encoderSettings.value(kQualityKey)));
    AudioStreamBasicDescription input;
    state.source.getAudioDescription(&input);
    if (output.mFormatID != kAudioFormatMPEGLayer3)
        input.mChannelsPerFrame = output.mChannelsPerFrame;

    std::shared_ptr<ZEPAudioConverter> encoder = ZEPAudioConverter::initWithInputDescription(input, output, bitRate, quality);
    if (chain)
        chain->setProcessingChannelCount(output.mChannelsPerFrame == 1 ? 1 : 2, input.mSampleRate);
    if (!encoder)
        return failExportStart(kZEPExportNoEncoderError, false);
    // The writer takes the packets the encoder really makes (the encoder may have adjusted
    // the settings' description to what the codec and the defaults allow).
    encoder->getOutputDescription(&output);

    setReadLocation(mExportRegion->index());
    state.exportedFileRefs.clear();
    state.exportedFileWriters.clear();
    state.exportThread.reset();

    Error error;
    std::shared_ptr<ZEPAudioFileWriting> writer = ZEPAudioFileWriter::initWithPath(path, fileType, output, &error);
    if (!writer)
        return failExportStart(error.code != 0 ? OSStatus(error.code) : kZEPExportNoWriterError, true);
    writer->setTags(mTags);
    state.exportFileRef = writer->file();
    state.exportFilePath = state.exportFileRef ? state.exportFileRef->path() : QString();
    if (exportedFileRef)
        *exportedFileRef = state.exportFileRef;
    state.addFileWriters({writer});

    OSStatus status = noErr;
    state.exportThread = newConverterThread(encoder, writer, &status);
    if (!state.exportThread)
        return failExportStart(kZEPExportNoThreadError, true);
    ZEPConverterThread& thread = *state.exportThread;
    thread.setConvertUntilStopped(false);
    thread.setThreadPriority(state.exportPriority);
    thread.setBypassGraph(true);
    thread.setDelegate(&state);
    thread.setMaxEncodeAmount(maxSize);
    thread.setMaxEncodeDuration(maxDuration * input.mSampleRate);
    thread.setAllowsSplit(allowSplitting);
    thread.setRealTime(false);

    if (mEffectsGraph)
        mEffectsGraph->start();
    if (chain)
        chain->preroll();
    if ((status = thread.start()))
        return failExportStart(status, true);
    thread.resumeConversion();
    return noErr;
}

OSStatus ZEPAudioEditor::failExportStart(OSStatus status, bool madeFiles)
{
    ZEPAudioEditorExportState& state = exportState();
    if (madeFiles) {
        // The lists hold this start's file: one made for an export that never ran is not
        // left behind.
        state.exportThread.reset();
        state.exportedFileWriters.clear();
        for (const ZEPFileRef& file : std::as_const(state.exportedFileRefs))
            QFile::remove(file.path());
        state.exportedFileRefs.clear();
    }
    mExportRegion.reset();
    state.relativeExportRegion.reset();
    if (state.restoreSettings) {
        setSettings(*state.restoreSettings);
        state.restoreSettings.reset();
    }
    return status;
}

std::unique_ptr<ZEPConverterThread> ZEPAudioEditor::newConverterThread(std::shared_ptr<ZEPAudioConverter> encoder,
                                                                       std::shared_ptr<ZEPAudioFileWriting> writer,
                                                                       OSStatus* outStatus)
{
    return ZEPConverterThread::initWithEncoders({std::move(encoder)}, {std::move(writer)}, {extractionSource()}, true,
                                                outStatus);
}

OSStatus ZEPAudioEditor::exportRegion(const ZEPAudioRegionRef& region, const QString& path,
                                      const std::optional<QVariantMap>& settings, UInt32 maxSize,
                                      ZEPAudioEditorExportDelegate* delegate, std::optional<ZEPFileRef>* exportedFileRef)
{
    return exportRegion(region, path, settings, maxSize, 0.0, true, delegate, exportedFileRef);
}

OSStatus ZEPAudioEditor::exportRegion(const ZEPAudioRegionRef& region, const QString& path,
                                      const std::optional<QVariantMap>& settings, UInt32 maxSize, double maxDuration,
                                      ZEPAudioEditorExportProgressDelegate* progressDelegate,
                                      std::optional<ZEPFileRef>* exportedFileRef)
{
    ZEPAudioEditorExportState& state = exportState();
    state.synchronouslyExporting = true;
    state.synchronousExportError = 0;
    state.synchronousExportDone = false;
    OSStatus status = exportRegion(region, path, settings, maxSize, maxDuration, false, &state, exportedFileRef);
    if (status == noErr) {
        while (!state.synchronousExportDone) {
            if (mainthread::isMainThread()) {
                // The end is delivered on the main thread: keep its events running.
                QEventLoop loop;
                QTimer::singleShot(kSynchronousPollInterval, &loop, &QEventLoop::quit);
                loop.exec();
            } else {
                std::this_thread::sleep_for(kSynchronousPollInterval);
            }
            if (progressDelegate)
                progressDelegate->exportProgressUpdated(this);
        }
        status = state.synchronousExportError;
    }
    state.synchronouslyExporting = false;
    return status;
}

OSStatus ZEPAudioEditor::exportRegion(const ZEPAudioRegionRef& region, const QString& path,
                                      const std::optional<QVariantMap>& settings, UInt32 maxSize,
                                      std::optional<ZEPFileRef>* exportedFileRef,
                                      ZEPAudioEditorExportProgressDelegate* progressDelegate)
{
    return exportRegion(region, path, settings, maxSize, 0.0, progressDelegate, exportedFileRef);
}

OSStatus ZEPAudioEditor::beginExternalExtraction()
{
    stopPlayback();
    if (const OSStatus status = getReadyForExtraction())
        return status;
    if (ZEPMultiAudioGraph* chain = renderingChain(mEffectsGraph.get())) {
        chain->setInputSource(extractionSource());
        chain->setMaxRequestFrames(kExportMaxRequestFrames);
    }
    return noErr;
}

// The render.

AudioStreamBasicDescription ZEPAudioEditor::audioDescription()
{
    AudioStreamBasicDescription extraction;
    getExtractionAudioDescription(&extraction);
    ZEPMultiAudioGraph* chain = renderingChain(mEffectsGraph.get());
    if (mOperationMode != kExtractionMode || !chain)
        return extraction;
    AudioStreamBasicDescription description;
    chain->getAudioDescription(&description);
    description.mSampleRate = extraction.mSampleRate;
    return description;
}

OSStatus ZEPAudioEditor::renderExtractionFrames(UInt32* frames, AudioBufferList* ioData,
                                                AudioUnitRenderActionFlags* renderFlags,
                                                const AudioTimeStamp* timeStamp, void* sender)
{
    ZEPMultiAudioGraph* chain = renderingChain(mEffectsGraph.get());
    if (chain && mEffectsGraphEnabled && sender != chain) {
        // The chain pads the slice in which its input ends with silence: an export asks it
        // for no more than is left to export.
        const SInt64 left = framesAvailable();
        if (isExporting() && left >= 0 && SInt64(*frames) > left) {
            *frames = UInt32(left);
            if (*frames == 0) {
                ZEPRenderSilence(ioData, renderFlags);
                return kZEPAudioSourceEndOfData;
            }
        }
        const OSStatus status = chain->renderFrames(frames, ioData, renderFlags, timeStamp, sender);
        // The chain pads a failing source with silence: the failure ends the export's source.
        if (const OSStatus readError = mExportState ? mExportState->readError.load() : noErr) {
            *frames = 0;
            return readError;
        }
        return status;
    }
    OSStatus status = readPackets(frames, ioData, nullptr, true, true);
    if (mExportState) {
        mExportState->relativeExportLocation += *frames;
        if (status != noErr && status != kZEPAudioSourceNoDataYet && status != kZEPAudioSourceEndOfData) {
            OSStatus none = noErr;
            mExportState->readError.compare_exchange_strong(none, status);
        }
    }
    return status == kZEPAudioSourceNoDataYet ? kZEPAudioSourceEndOfData : status;
}

// Splits.

ZEPAudioFileWriterList ZEPAudioEditorExportState::nextAudioFilesForConverters(const ZEPAudioConverterList& encoders,
                                                                              const ZEPAudioFileWriterList& fileWriters)
{
    if (encoders.empty() || fileWriters.empty() || !fileWriters.front()->file())
        return {};
    ZEPAudioFileWriting& first = *fileWriters.front();
    const UInt32 fileType = first.fileType();
    const QFileInfo info(first.file()->path());
    QString base = info.completeBaseName();
    while (!base.isEmpty() && base.back().isDigit())
        base.chop(1);
    const QString extension = info.suffix();
    const QString folder = info.absolutePath() + QLatin1Char('/');

    QString path;
    for (int i = 0; i < kMaxSplitFiles && path.isEmpty(); ++i) {
        const QString candidate = folder + base + QString::asprintf("%d", i) + QLatin1Char('.') + extension;
        if (!QFileInfo::exists(candidate))
            path = candidate;
    }
    AudioStreamBasicDescription output;
    if (path.isEmpty() || encoders.front()->getOutputDescription(&output) != noErr)
        return {};
    QByteArray cookie;
    encoders.front()->getCompressionMagicCookie(&cookie);
    std::shared_ptr<ZEPAudioFileWriting> writer = ZEPAudioFileWriter::initWithPath(path, fileType, output);
    if (!writer)
        return {};
    writer->setTags(editor.tags());
    for (size_t i = 1; i < encoders.size(); ++i)
        writer->addTrack();
    if (!cookie.isEmpty())
        writer->setMagicCookie(cookie.constData(), UInt32(cookie.size()));
    return {writer};
}

// The end.

void ZEPAudioEditor::converterFinished(ZEPConverterThread*)
{
    ZEPAudioEditorExportState& state = exportState();
    mExportRegion.reset();
    // The thread has ended and calls its delegate last: its object may go now.
    state.exportThread.reset();
    conversionFinished();
}

void ZEPAudioEditor::conversionFinished()
{
    ZEPAudioEditorExportState& state = exportState();
    mExportRegion.reset();
    state.relativeExportRegion.reset();
    SInt32 returnCode = 0;
    // A sound that could not be read to the end leaves no short file behind as a success.
    const OSStatus readError = state.readError.exchange(noErr);
    if (state.exportCancelled || readError != noErr) {
        // Every file the export made goes, split files included.
        for (const ZEPFileRef& file : std::as_const(state.exportedFileRefs))
            QFile::remove(file.path());
        if (!state.exportFilePath.isEmpty() && QFileInfo::exists(state.exportFilePath))
            QFile::remove(state.exportFilePath);
        state.exportFileRef.reset();
        state.exportFilePath.clear();
        returnCode = state.exportCancelled ? 1 : readError;
    }
    if (mEffectsGraph)
        mEffectsGraph->stop();
    setEffectsGraphEnabled(true);
    if (state.restoreSettings) {
        const QVariantMap restore = *state.restoreSettings;
        state.restoreSettings.reset();
        setSettings(restore);
    }
    NotificationCenter::defaultCenter().post(ZEPActivityFinishedNotification, this);
    // Last: the delegate may start the next export at once.
    if (ZEPAudioEditorExportDelegate* delegate = state.exportDelegate) {
        const ZEPAudioFileWriterList writers = state.exportedFileWriters;
        delegate->exportDidEnd(this, returnCode, writers);
    }
}

void ZEPAudioEditor::cancelExport()
{
    ZEPAudioEditorExportState& state = exportState();
    state.exportCancelled = true;
    if (state.exportThread)
        state.exportThread->stopConversion();
}

void ZEPAudioEditor::stopExport()
{
    if (mExportState && mExportState->exportThread)
        mExportState->exportThread->stopConversion();
}

// Progress.

SInt64 ZEPAudioEditor::exportLocation() const
{
    return mExportState ? mExportState->relativeExportLocation.load() : 0;
}

ZEPAudioRegionRef ZEPAudioEditor::relativeExportRegion() const
{
    return mExportState ? mExportState->relativeExportRegion : nullptr;
}

void ZEPAudioEditor::setExportPath(const QString& path)
{
    exportState().exportPath = path;
}

QString ZEPAudioEditor::exportPath() const
{
    return mExportState ? mExportState->exportPath : QString();
}

void ZEPAudioEditor::setExportPriority(Float32 priority)
{
    exportState().exportPriority = priority;
}

Float32 ZEPAudioEditor::exportPriority() const
{
    return mExportState ? mExportState->exportPriority : 0;
}

Float32 ZEPAudioEditor::exportProgress() const
{
    const ZEPAudioRegionRef region = relativeExportRegion();
    if (!region || region->length() == 0)
        return 0;
    return Float32(double(exportLocation() - region->index()) / double(region->length()));
}

Float32 ZEPAudioEditor::exportRate()
{
    const ZEPAudioRegionRef region = relativeExportRegion();
    const double done = double(exportLocation() - (region ? region->index() : 0));
    const double rate = samplesPerSecond();
    double elapsed = mExportState && mExportState->exportStartTime.isValid()
                         ? double(mExportState->exportStartTime.nsecsElapsed()) / 1e9
                         : 0;
    const double seconds = done / (rate != 0 ? rate : 1);
    if (elapsed == 0)
        elapsed = 1;
    return Float32(seconds / elapsed);
}

double ZEPAudioEditor::exportTimeRemaining()
{
    const ZEPAudioRegionRef region = relativeExportRegion();
    const double rate = samplesPerSecond();
    const double exportRateValue = exportRate();
    if (!region || rate == 0 || exportRateValue == 0)
        return 0;
    return double(region->end() - exportLocation()) / rate / exportRateValue;
}

UInt32 ZEPAudioEditor::estimatedFileSize()
{
    double seconds = double(totalRegionVisible(false)->length());
    const double rate = samplesPerSecond();
    if (seconds > 0 && rate > 0)
        seconds /= rate;
    const QVariantMap encode = encodeSettings();
    if (!encode.contains(kEncoderSettingsKey))
        return 0;
    const QVariantMap encoderSettings = encode.value(kEncoderSettingsKey).toMap();
    const AudioStreamBasicDescription description = ZEPASBDFromDictionary(encoderSettings);
    double size;
    if (description.mFormatID == kAudioFormatAppleLossless) {
        const QVariant stored =
            UserDefaults::standardUserDefaults().objectForKey(QStringLiteral("AppleLosslessPreservedBits"));
        double bits = 16;
        if (variant::isNumber(stored))
            bits = double(UInt32(stored.toLongLong()));
        else if (stored.typeId() == QMetaType::QString)
            bits = double(stored.toString().trimmed().toLongLong());
        size = description.mChannelsPerFrame * 0.5 * (bits * 0.03125) * seconds * 270336.0 *
               (description.mSampleRate / 44100.0);
    } else if (encoderSettings.contains(kBitRateKey)) {
        size = seconds * variant::doubleValue(encoderSettings.value(kBitRateKey)) * 0.125;
    } else {
        size = seconds * description.mSampleRate * description.mBytesPerPacket;
        if (description.mFramesPerPacket != 0)
            size /= description.mFramesPerPacket;
    }
    return UInt32(std::clamp<double>(size, 0, 4294967295.0));
}

bool ZEPAudioEditor::sizeIsExact()
{
    const QVariantMap encode = encodeSettings();
    if (!encode.contains(kEncoderSettingsKey))
        return false;
    return ZEPASBDFromDictionary(encode.value(kEncoderSettingsKey).toMap()).mBytesPerPacket != 0;
}

QVariantMap ZEPAudioEditor::activityStatus()
{
    const std::optional<ZEPFileRef> file = fileRef();
    const QString name = file ? file->baseName() : QString();
    if (isLoading()) {
        return {
            {QStringLiteral("indeterminate"), true},
            {QStringLiteral("progress"), 0.0},
            {QStringLiteral("remaining"), 0.0},
            {QStringLiteral("title"), localized("Loading...") + QLatin1Char(' ') + name},
        };
    }
    return {
        {QStringLiteral("progress"), double(exportProgress())},
        {QStringLiteral("remaining"), exportTimeRemaining()},
        {QStringLiteral("title"), localized("Exporting...") + QLatin1Char(' ') + name},
        {QStringLiteral("message"), localized("Rate: %.1f x").replace(QStringLiteral("%.1f"),
                                                                       QString::number(exportRate(), 'f', 1))},
    };
}
