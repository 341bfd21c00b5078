// The conversion thread's own work: the per-run set-up, the cycles, the start of new files
// (on the main thread, while the thread waits without holding the conversion lock), the
// encoder swap, the live preview and the closing of the files.
#include "audio/files/ZEPConverterThread.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPAudioGraph.h"
#include "audio/engine/ZEPAudioRingBuffer.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFileWriting.h"
#include "platform/MainThread.h"

#include <algorithm>
#include <cmath>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr UInt32 kMinimumEncodedOutputSize = 16384;
constexpr UInt32 kConverterInputBufferSize = ZEPConverterThread::kConverterInputFrames * sizeof(Float32);
constexpr OSStatus kBadStreamError = OSStatus(FourCC("Bstr"));

// Queues fn for the main thread through the allocation-free queue, whose hand-over is
// made of atomics that the thread checker sees (the event queue's locks are inside Qt),
// or, when that queue is full, through the event queue.
void postToMainThread(std::function<void()> fn)
{
    struct Call {
        std::function<void()> fn;
    };
    auto* call = new Call{std::move(fn)};
    const auto run = [](void* context, intptr_t) {
        std::unique_ptr<Call> owned(static_cast<Call*>(context));
        owned->fn();
    };
    if (!mainthread::postRealtime(run, call, 0)) {
        mainthread::post(std::move(call->fn));
        delete call;
    }
}

} // namespace

// A call for new files handed to the main thread: what the delegate is shown (copied on
// the conversion thread) and what it answers. The thread waits for the answer, or leaves
// the request behind when the conversion is stopped meanwhile.
struct ZEPConverterThread::FileRequest {
    enum State { kWaiting, kServing, kDone, kAbandoned };
    CAGuard guard{"ZEPConverterThread new files"};
    State state = kWaiting; // under guard
    ZEPAudioConverterList encoders;
    ZEPAudioFileWriterList fileWriters;
    ZEPAudioFileWriterList next; // under guard
};

void* ZEPConverterThreadEntry(void* converterThread)
{
    static_cast<ZEPConverterThread*>(converterThread)->conversionThread();
    return nullptr;
}

OSStatus ZEPConverterThread::beginConversion()
{
    UInt32 largestPacket = 0;
    for (size_t i = 0; i < mEncoders.size(); ++i) {
        ZEPAudioConverter& encoder = *mEncoders[i];
        if (const OSStatus status = encoder.getReadyToEncode())
            return status;
        encoder.setDataSource(this);
        QByteArray cookie;
        if (i < mFileWriters.size() && encoder.getCompressionMagicCookie(&cookie) == noErr && !cookie.isEmpty())
            mFileWriters[i]->setMagicCookie(cookie.constData(), UInt32(cookie.size()));
        largestPacket = std::max(largestPacket, encoder.maxmimumOutputPacketSize());
        encoder.getOutputDescription(&mOutputASBDs[i]);
        mEncodersRunning[i] = 1;
    }

    mSourceInputBufferListSize = std::max(kMinimumEncodedOutputSize, largestPacket);
    mSourceInputBufferList = ZEPCreateAudioBufferList(1, mSourceInputBufferListSize);
    mLivePreviewInputBufferListSize = mSourceInputBufferListSize;
    mLivePreviewInputBufferList = ZEPCreateAudioBufferList(2, mLivePreviewInputBufferListSize);
    if (!mSourceInputBufferList || !mLivePreviewInputBufferList)
        return kAudio_MemFullError;

    UInt32 channels = 2;
    for (size_t i = 0; i < mAudioSources.size(); ++i) {
        ZEPAudioSource* source = mAudioSources[i];
        if (auto* threadAware = dynamic_cast<ZEPThreadAwareAudioSource*>(source))
            threadAware->enterThread();
        if (const OSStatus status = source->getAudioDescription(&mInputASBDs[i]))
            return status;
        if (mInputASBDs[i].mBytesPerFrame == 0)
            return kBadStreamError;
        source->setMaxRequestFrames(mSourceInputBufferListSize / mInputASBDs[i].mBytesPerFrame);
        channels = std::max(channels, mInputASBDs[i].mChannelsPerFrame);
    }
    for (const ZEPAudioFileWriterRef& writer : mFileWriters) {
        if (const OSStatus status = writer->enterThread())
            return status;
        if (const OSStatus status = writer->beginWritingSession())
            return status;
    }
    // Two buffers, or one per channel of the widest source.
    mConverterInputBufferSize = kConverterInputBufferSize;
    mConverterInputBufferList = ZEPCreateAudioBufferList(channels, mConverterInputBufferSize);
    if (!mConverterInputBufferList)
        return kAudio_MemFullError;
    for (UInt32 b = 0; b < channels; ++b) {
        if (!mConverterInputBufferList->mBuffers[b].mData)
            return kAudio_MemFullError;
    }
    applyThreadPriority();
    return noErr;
}

void ZEPConverterThread::conversionThread()
{
    mConversionError = noErr;
    OSStatus status = beginConversion();
    if (status == noErr) {
        for (;;) {
            if (!mKeepConverting && mConversionFinished)
                break;
            if (mThreadPriorityChanged.exchange(false))
                applyThreadPriority();
            if (mNewMainEncoderPending)
                updateMainEncoder();
            bool newFiles = false;
            {
                CAMutexLocker cycle(mConversionLock);
                while (mPaused && !mStopConverting)
                    mConversionLock.Wait();
                if (mStopConverting)
                    break;
                newFiles = runCycle(status);
            }
            // Outside the lock: the main thread may be waiting for it (a pause).
            if (newFiles)
                requestNewFiles();
            if (mStopConverting)
                break;
        }
    }

    mConversionError = status;
    for (ZEPAudioSource* source : mAudioSources) {
        if (auto* threadAware = dynamic_cast<ZEPThreadAwareAudioSource*>(source))
            threadAware->exitThread();
    }
    endWriting(mFileWriters);
    postToMainThread([this, alive = mAlive] {
        if (*alive)
            converterFinished();
    });
    mRunning = false;
}

bool ZEPConverterThread::runCycle(OSStatus& status)
{
    if (mEncoders.empty()) {
        mStopConverting = true;
        return false;
    }
    bool anyRan = false;
    for (UInt32 i = 0; i < mEncoders.size(); ++i) {
        if (!mEncodersRunning[i])
            continue;
        anyRan = true;
        OSStatus result = noErr;
        if (mLivePreviewDelegate && i == 0 && mDecoder) {
            result = runLivePreview();
        } else if (!mIsSwitching) {
            do {
                result = runEncoder(i);
            } while (i > 0 && (result == noErr || result == kZEPAudioSourceNoDataYet) && mEncodersRunning[i] &&
                     !mStopConverting && lagOfEncoder(i) > kMaxSecondaryLag);
        }
        if (result != noErr && result != kZEPAudioSourceNoDataYet) {
            status = result;
            mStopConverting = true;
            break;
        }
        if (mEnableGraphOnNextCycle.exchange(false)) {
            mBypassGraph = false;
            if (mLivePreviewDelegate)
                mLivePreviewDelegate->converterThreadDidChangeBypassGraph(this, false);
        }
        if (!mKeepConverting && mConversionFinished)
            break;
    }
    if (anyRan || mStopConverting)
        return false;
    return !encodersStopped(status);
}

OSStatus ZEPConverterThread::runEncoder(UInt32 index)
{
    UInt32 track = 0;
    ZEPAudioFileWriting* writer = fileWriterForConverter(index, &track);
    UInt32 packets = kMaxPackets;
    AudioStreamPacketDescription* descriptions =
        mEncoders[index]->outputIsExternallyFramed() ? mOutputPacketDescriptions.data() : nullptr;
    mSourceInputBufferList->mBuffers[0].mDataByteSize = mSourceInputBufferListSize;
    return fillWithWrite(index, &packets, mSourceInputBufferList, descriptions, writer, track);
}

OSStatus ZEPConverterThread::runLivePreview()
{
    ZEPAudioConverterLocker decoderLock(*mDecoder);
    ZEPAudioConverterLocker encoderLock(*mMainEncoder);
    UInt32 frames = kConverterInputFrames;
    for (UInt32 b = 0; b < mLivePreviewInputBufferList->mNumberBuffers; ++b)
        mLivePreviewInputBufferList->mBuffers[b].mDataByteSize =
            std::min<UInt32>(frames * sizeof(Float32), mLivePreviewInputBufferListSize);
    const OSStatus status = mDecoder->fillComplexBuffer(mLivePreviewInputBufferList, nullptr, &frames);
    if (frames > 0) {
        mLivePreviewDelegate->writePreviewBufferList(mLivePreviewInputBufferList, frames);
        mDecoderOutputFramesCount += frames;
    }
    if (mIsSwitching && mLimboRingBuffer->amountFrames() == 0 &&
        mEncoderInputFramesCount >= mDecoderOutputFramesCount) {
        mIsSwitching = false;
        mLivePreviewDelegate->finishSwitch(mEncoderInputFramesCount - mDecoderOutputFramesCount -
                                           mSwitchExtraInputFrames);
    }
    if (status != noErr && status != kZEPAudioSourceNoDataYet)
        return status;
    if (frames == 0 && status == noErr) {
        // The decoder has given everything: the preview, and the conversion, are over.
        mEncodersRunning[0] = 0;
        mStopConverting = true;
    }
    return status;
}

bool ZEPConverterThread::encodersStopped(OSStatus& status)
{
    const bool byteLimit = mMaxEncodeAmount != 0;
    const bool durationLimit = mMaxEncodeDuration != 0;
    bool finished;
    if (mSourceEnded[0] && !mConvertUntilStopped) {
        // Nothing is left to put in a new file, whatever the limits.
        finished = true;
    } else if (mAllowsSplit) {
        finished = !durationLimit && (!byteLimit || mStopWhenEncodersAreDone);
    } else {
        finished = !byteLimit || mStopWhenEncodersAreDone;
    }
    if (finished) {
        mConversionFinished = true;
        mStopConverting = true;
        return true;
    }
    for (const ZEPAudioConverterRef& encoder : mEncoders) {
        if (const OSStatus result = encoder->getReadyToEncode()) {
            status = result;
            mStopConverting = true;
            return true;
        }
    }
    std::fill(mEncodersRunning.begin(), mEncodersRunning.end(), 1);
    return false;
}

// New files.

void ZEPConverterThread::requestNewFiles()
{
    if (!mStopConverting) {
        auto request = std::make_shared<FileRequest>();
        request->encoders = mEncoders;
        request->fileWriters = mFileWriters;
        {
            CAMutexLocker locked(mFileRequestLock);
            mFileRequest = request;
        }
        postToMainThread([this, request, alive = mAlive] {
            {
                CAMutexLocker locked(request->guard);
                if (request->state == FileRequest::kAbandoned || !*alive)
                    return;
                request->state = FileRequest::kServing;
            }
            updateFileWriters(request);
        });
        ZEPAudioFileWriterList next;
        bool served;
        {
            CAMutexLocker locked(request->guard);
            while (request->state != FileRequest::kDone && !mStopConverting)
                request->guard.Wait();
            // A stop while the request waits, or one the delegate gave from inside it
            // (the main thread then waits for this thread): leave it behind.
            served = request->state == FileRequest::kDone;
            if (!served)
                request->state = FileRequest::kAbandoned;
            next = request->next;
        }
        {
            CAMutexLocker locked(mFileRequestLock);
            mFileRequest.reset();
        }
        if (served) {
            // The new files start here, on the thread that writes them.
            for (const ZEPAudioFileWriterRef& writer : next) {
                writer->enterThread();
                writer->beginWritingSession();
            }
            endWriting(mFileWriters);
            mFileWriters = next;
        }
    }
    mMaxEncodeDurationTimeStamp = AudioTimeStamp();
    mMaxEncodeDurationTimeStamp.mFlags = kAudioTimeStampSampleTimeValid;
    mNumBytesEncoded = 0;
}

void ZEPConverterThread::wakeFileRequest()
{
    CAMutexLocker locked(mFileRequestLock);
    if (!mFileRequest)
        return;
    CAMutexLocker request(mFileRequest->guard);
    mFileRequest->guard.NotifyAll();
}

void ZEPConverterThread::updateFileWriters(const std::shared_ptr<FileRequest>& request)
{
    const std::shared_ptr<bool> alive = mAlive;
    ZEPConverterThreadDelegate* delegate = mDelegate;
    ZEPAudioFileWriterList next;
    if (delegate)
        next = delegate->nextAudioFilesForConverters(request->encoders, request->fileWriters);
    if (!*alive)
        return;
    // The owner hears of the new files at once, also when the thread has left without
    // them: they exist.
    if (delegate && !next.empty())
        delegate->addFileWriters(next);
    CAMutexLocker locked(request->guard);
    if (request->state == FileRequest::kAbandoned)
        return;
    request->next = next;
    request->state = FileRequest::kDone;
    request->guard.NotifyAll();
}

void ZEPConverterThread::endWriting(const ZEPAudioFileWriterList& writers)
{
    SInt64 tracksWalked = 0;
    for (auto it = writers.rbegin(); it != writers.rend(); ++it) {
        ZEPAudioFileWriting& writer = **it;
        AudioConverterPrimeInfo prime{};
        UInt32 primeMethod = 0;
        const SInt64 encoder = SInt64(mEncoders.size()) - 1 - tracksWalked;
        if (encoder >= 0 && encoder < SInt64(mEncoders.size())) {
            mEncoders[size_t(encoder)]->getPrimeInfo(&prime);
            primeMethod = mEncoders[size_t(encoder)]->primeMethod();
        }
        writer.writePrimeInfo(prime, primeMethod);
        writer.endWritingSession();
        writer.exitThread();
        tracksWalked += writer.trackCount();
    }
}

// Encoder swap.

void ZEPConverterThread::updateMainEncoder()
{
    ZEPAudioConverterRef encoder;
    {
        CAMutexLocker swap(mSwapEncoderLock);
        encoder = std::move(mNewMainEncoder);
        mNewMainEncoder.reset();
        mNewMainEncoderPending = false;
    }
    if (!encoder)
        return;
    mMainEncoder->setDataSource(nullptr);
    mMainEncoder = encoder;
    mMainEncoder->setDataSource(this);
    mDownMixerSetup = mDownMixerSetup && mDownMixerMatrixMixer;
    setupDecoder();
    if (mDecoder)
        mDecoder->getReadyToEncode();
    mMainEncoder->getReadyToEncode();
    mMainEncoder->getOutputDescription(&mOutputASBDs[0]);
    mEncoders[0] = mMainEncoder;
    setDecoder(mDecoder);
    if (!mLivePreviewDelegate)
        return;
    // What the old encoder took in and never handed out decoded is replayed to the new
    // one from the limbo ring; older frames there have been heard already.
    const SInt64 inFlight = std::max<SInt64>(mEncoderInputFramesCount - mDecoderOutputFramesCount, 0);
    mLivePreviewDelegate->beginSwitch(mEncoderInputFramesCount - mDecoderOutputFramesCount);
    mLimboFramesAtSwitchStart = UInt32(std::min<SInt64>(inFlight, mLimboRingBuffer->capacityFrames()));
    const UInt32 held = mLimboRingBuffer->amountFrames();
    if (held > mLimboFramesAtSwitchStart)
        mLimboRingBuffer->consumeFrames(held - mLimboFramesAtSwitchStart);
    mIsSwitching = true;
    mEncoderInputFramesCount = 0;
    mDecoderOutputFramesCount = 0;
    mSwitchExtraInputFrames = 0;
}

void ZEPConverterThread::applyThreadPriority()
{
    // The priority's scale runs from 0.0 to 1.0 with the normal priority at 0.5; below it
    // the thread yields to others by up to five steps of niceness. Raising a thread above
    // normal is not allowed to a normal user, so higher values stay normal.
    const Float32 priority = mThreadPriority.load();
    const int niceness = priority < 0.5f ? int(std::lround((0.5 - priority) * 10.0)) : 0;
    setpriority(PRIO_PROCESS, id_t(gettid()), niceness);
}
