#include "audio/files/ZEPMovie.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/files/QTSerializerLock.h"
#include "platform/codecs/AudioFileReader.h"
#include "platform/codecs/AudioFormatCatalog.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

namespace {

std::atomic<bool> gSingleTrackMode{false};

} // namespace

ZEPMovie::ZEPMovie() = default;

ZEPMovie::~ZEPMovie()
{
    stopLoading();
    endMovieExtraction();
}

void ZEPMovie::setTreatMoviesAsSingleTrack(bool singleTrack) { gSingleTrackMode = singleTrack; }

bool ZEPMovie::treatMoviesAsSingleTrack() { return gSingleTrackMode; }

bool ZEPMovie::fileAtPathIsDRMEncrypted(const QString& path)
{
    std::unique_ptr<AudioFileReader> movie;
    return AudioFileReader::open(path, &movie) == kAudioFileProtectedMediaError;
}

bool ZEPMovie::movieIsDRMEncrypted(const AudioFileReader* movie)
{
    return movie && movie->dataFormat().mFormatID == kAudioFormatProtected;
}

bool ZEPMovie::canInitWithPath(const QString& path)
{
    std::unique_ptr<AudioFileReader> movie;
    return AudioFileReader::open(path, &movie) == noErr;
}

std::unique_ptr<ZEPMovie> ZEPMovie::initWithPath(const QString& path, bool asynchronous)
{
    if (path.isEmpty())
        return nullptr;
    std::unique_ptr<ZEPMovie> movie(new ZEPMovie);
    if (treatMoviesAsSingleTrack())
        movie->mOverrideTrackCount = 1;
    movie->mFileRef = ZEPFileRef::fileRefWithPath(path);
    if (!movie->mFileRef)
        return nullptr;
    if (asynchronous) {
        movie->beginLoading();
        return movie;
    }
    std::lock_guard<std::recursive_mutex> serialized(QTSerializerLock::sharedSerializer());
    if (movie->readyMovieExtraction() != noErr)
        return nullptr;
    return movie;
}

OSStatus ZEPMovie::openFile() { return readyMovieExtraction(); }

ZEPAudioFile::ReaderOpener ZEPMovie::readerOpener() const
{
    const QString path = mFileRef ? mFileRef->path() : QString();
    return [path, openFirst = ZEPAudioFile::readerOpener()](const std::atomic<bool>* cancelled,
                                                            Readers* tracks) -> OSStatus {
        OSStatus status = openFirst(cancelled, tracks);
        if (status != noErr)
            return status;
        const int count = tracks->front()->audioTrackCount();
        const Float64 rate = tracks->front()->dataFormat().mSampleRate;
        for (int k = 1; k < count; ++k) {
            std::unique_ptr<AudioFileReader> track;
            if ((status = AudioFileReader::open(path, &track, k, cancelled)) != noErr) {
                tracks->clear();
                return status;
            }
            if (track->dataFormat().mSampleRate == rate)
                tracks->push_back(std::move(track));
        }
        return noErr;
    };
}

OSStatus ZEPMovie::installReaders(Readers readers) { return setUpExtraction(std::move(readers), 0); }

OSStatus ZEPMovie::getFileAudioDescription(AudioStreamBasicDescription* description)
{
    *description = AudioStreamBasicDescription{};
    if (mTracks.empty())
        return kAudioFileNotOpenError;
    *description = mTracks.front()->dataFormat();
    return noErr;
}

OSStatus ZEPMovie::getFileBitrate(UInt32* bitRate)
{
    if (mTracks.empty())
        return kAudioFileNotOpenError;
    *bitRate = mTracks.front()->bitRate();
    return noErr;
}

std::optional<QString> ZEPMovie::userReadableDescription()
{
    AudioStreamBasicDescription description;
    if (getFileAudioDescription(&description) != noErr)
        return std::nullopt;
    QString format;
    if (AudioFormatCatalog::formatName(description, &format) != noErr)
        format = QCoreApplication::translate("ZEPMovie", "Unknown Format");
    const QString channels = description.mChannelsPerFrame == 1 ? QCoreApplication::translate("ZEPMovie", "Mono")
                             : description.mChannelsPerFrame == 2
                                 ? QCoreApplication::translate("ZEPMovie", "Stereo")
                                 : QCoreApplication::translate("ZEPMovie", "%1 Channels").arg(description.mChannelsPerFrame);
    return QStringLiteral("%1, %2, %3 kHz").arg(format, channels, QString::number(description.mSampleRate / 1000.0, 'f', 3));
}

OSStatus ZEPMovie::getSampleRate(Float64* sampleRate)
{
    AudioStreamBasicDescription description;
    const OSStatus status = getExtractionAudioDescription(&description);
    if (status == noErr)
        *sampleRate = description.mSampleRate;
    return status;
}

UInt32 ZEPMovie::trackCount() { return mOverrideTrackCount ? mOverrideTrackCount : mCachedTrackCount; }

bool ZEPMovie::mixesTracks() const
{
    const UInt32 tracks = mOverrideTrackCount ? mOverrideTrackCount : mCachedTrackCount;
    return tracks == 1 || (tracks > 0 && mDefaultChannels / tracks != 2);
}

OSStatus ZEPMovie::setExtractionAudioDescription(const AudioStreamBasicDescription* description)
{
    std::lock_guard<std::recursive_mutex> locked(mLock);
    if (mTracks.empty())
        return kAudioFileNotOpenError;
    const AudioStreamBasicDescription& d = *description;
    const AudioFormatFlags wanted = kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved;
    if (d.mFormatID != kAudioFormatLinearPCM || (d.mFormatFlags & wanted) != wanted || d.mBitsPerChannel != 32 ||
        d.mChannelsPerFrame != channelCount() || d.mSampleRate != mTracks.front()->dataFormat().mSampleRate)
        return kAudioConverterErr_FormatNotSupported;
    mSessionFormat = d;
    mExtractionDesc.mChannelsPerFrame = 0;
    return noErr;
}

OSStatus ZEPMovie::getExtractionAudioDescription(AudioStreamBasicDescription* description)
{
    std::lock_guard<std::recursive_mutex> locked(mLock);
    if (mExtractionDesc.mChannelsPerFrame == 0) {
        if (mTracks.empty() || mSessionFormat.mChannelsPerFrame == 0)
            return kAudioFileNotOpenError;
        mExtractionDesc = mSessionFormat;
    }
    *description = mExtractionDesc;
    return noErr;
}

OSStatus ZEPMovie::trackGetLayout(UInt32 track, QByteArray* layout)
{
    layout->clear();
    if (track >= mTracks.size())
        return kAudio_ParamError;
    *layout = mTrackLayouts[track].isEmpty() ? mTracks[track]->channelLayout() : mTrackLayouts[track];
    return noErr;
}

OSStatus ZEPMovie::trackSetLayout(UInt32 track, const QByteArray& layout)
{
    if (track >= mTracks.size())
        return kAudio_ParamError;
    mTrackLayouts[track] = layout;
    return noErr;
}

OSStatus ZEPMovie::getNumberOfChannels(UInt32* count, const AudioChannelLayout* layout, UInt32 size)
{
    *count = 0;
    if (!layout || size < AudioChannelLayoutByteSize(0))
        return kAudio_ParamError;
    switch (layout->mChannelLayoutTag) {
    case kAudioChannelLayoutTag_Mono:
        *count = 1;
        break;
    case kAudioChannelLayoutTag_UseChannelBitmap:
        *count = UInt32(std::popcount(layout->mChannelBitmap));
        break;
    case kAudioChannelLayoutTag_UseChannelDescriptions:
        *count = layout->mNumberChannelDescriptions;
        break;
    default:
        *count = layout->mChannelLayoutTag & 0xFFFF;
        break;
    }
    return noErr;
}

OSStatus ZEPMovie::createLayout(QByteArray* layout, UInt32 channelCount)
{
    layout->fill('\0', qsizetype(channelCount) * 20 + 12);
    auto* l = reinterpret_cast<AudioChannelLayout*>(layout->data());
    l->mNumberChannelDescriptions = channelCount;
    if (channelCount > 0)
        l->mChannelDescriptions[0].mChannelLabel = 1; // left
    if (channelCount > 1)
        l->mChannelDescriptions[1].mChannelLabel = 2; // right
    return noErr;
}

OSStatus ZEPMovie::readyMovieExtraction()
{
    std::lock_guard<std::recursive_mutex> locked(mLock);
    const SInt64 resume = mTracks.empty() ? 0 : mLocation;
    endMovieExtraction();
    Readers tracks;
    const OSStatus status = readerOpener()(nullptr, &tracks);
    if (status != noErr)
        return status;
    return setUpExtraction(std::move(tracks), resume);
}

OSStatus ZEPMovie::setUpExtraction(Readers tracks, SInt64 resume)
{
    std::lock_guard<std::recursive_mutex> locked(mLock);
    endMovieExtraction();
    if (tracks.empty())
        return kAudioFileNotOpenError;
    mTracks = std::move(tracks);
    mDefaultChannels = 0;
    for (const auto& track : mTracks)
        mDefaultChannels += track->dataFormat().mChannelsPerFrame;
    mCachedTrackCount = UInt32(mTracks.size());
    mTrackLayouts.assign(mTracks.size(), QByteArray());
    mPacketCount = 0;

    AudioStreamBasicDescription format;
    ZEPCanonicalFloatASBD(&format, channelCount(), true);
    format.mSampleRate = mTracks.front()->dataFormat().mSampleRate;
    OSStatus status = setExtractionAudioDescription(&format);
    if (status == noErr)
        status = setExtractionTime(resume);
    // Priming the extraction must not move it: reading from the start gives the first frame.
    if (status == noErr)
        status = readOnePacket();
    if (status == noErr)
        status = setExtractionTime(resume);
    if (status != noErr) {
        endMovieExtraction();
        return status;
    }
    mExtractionComplete = false;
    getFileAudioDescription(&mFileAudioStreamDescription);
    getFileBitrate(&mFileBitrate);
    return noErr;
}

OSStatus ZEPMovie::readOnePacket()
{
    AudioBufferList* list = ZEPCreateAudioBufferList(channelCount(), 4);
    if (!list)
        return kAudio_MemFullError;
    UInt32 packets = 1;
    const OSStatus status = readPackets(&packets, list, nullptr);
    ZEPDisposeAudioBufferList(list);
    return status == kZEPAudioSourceEndOfData ? noErr : status;
}

OSStatus ZEPMovie::setExtractionTime(SInt64 time)
{
    std::lock_guard<std::recursive_mutex> locked(mLock);
    if (mTracks.empty())
        return kAudioFileNotOpenError;
    mExtractionComplete = false;
    for (const auto& track : mTracks) {
        const OSStatus status = track->seek(time);
        if (status != noErr) {
            mSeekFailed = true; // reads answer the error; a seek to anywhere tries again
            return status;
        }
    }
    mLocation = time;
    mSeekFailed = false;
    return noErr;
}

SInt64 ZEPMovie::endTime() { return packetCount(); }

double ZEPMovie::duration()
{
    Float64 rate = 0;
    if (getSampleRate(&rate) != noErr || rate <= 0)
        return 0.0;
    return double(float(endTime()) / float(rate));
}

SInt64 ZEPMovie::packetCount()
{
    if (mPacketCount == 0) {
        for (const auto& track : mTracks)
            mPacketCount = std::max(mPacketCount, track->packetTable().mNumberValidFrames);
    }
    return mPacketCount;
}

OSStatus ZEPMovie::setLocationPackets(SInt64 location)
{
    if ((location == mLocation && !mSeekFailed) || location > packetCount() - 1)
        return noErr;
    return setExtractionTime(location);
}

OSStatus ZEPMovie::endMovieExtraction()
{
    std::lock_guard<std::recursive_mutex> locked(mLock);
    mTracks.clear();
    return noErr;
}

OSStatus ZEPMovie::readPackets(UInt32* packets, AudioBufferList* buffer, AudioStreamPacketDescription*)
{
    std::lock_guard<std::recursive_mutex> locked(mLock);
    if (mExtractionComplete) {
        *packets = 0;
        if (buffer && buffer->mNumberBuffers > 0)
            buffer->mBuffers[0].mDataByteSize = 0;
        return kZEPAudioSourceEndOfData;
    }
    const UInt32 channels = channelCount();
    if (mTracks.empty())
        return kAudioFileNotOpenError;
    if (!buffer || buffer->mNumberBuffers < channels)
        return kAudio_ParamError;
    UInt32 wanted = *packets;
    for (UInt32 c = 0; c < channels; ++c) {
        if (!buffer->mBuffers[c].mData)
            return kAudio_ParamError;
        wanted = std::min(wanted, buffer->mBuffers[c].mDataByteSize / 4);
        std::memset(buffer->mBuffers[c].mData, 0, size_t(wanted) * 4);
    }
    wanted = UInt32(std::min<SInt64>(wanted, std::max<SInt64>(0, packetCount() - mLocation)));
    mScratchLeft.resize(wanted);
    mScratchRight.resize(wanted);
    const bool mixed = mixesTracks();
    OSStatus status = noErr;
    UInt32 delivered = wanted;
    for (size_t t = 0; t < mTracks.size(); ++t) {
        UInt32 frames = wanted;
        const OSStatus trackStatus = mTracks[t]->read(&frames, mScratchLeft.data(), mScratchRight.data());
        if (trackStatus != noErr && status == noErr) {
            status = trackStatus;
            delivered = frames; // only what that track really had
        }
        if (!mixed && t >= trackCount())
            continue;
        auto* left = static_cast<float*>(buffer->mBuffers[mixed ? 0 : 2 * t].mData);
        auto* right = static_cast<float*>(buffer->mBuffers[mixed ? 1 : 2 * t + 1].mData);
        for (UInt32 f = 0; f < frames; ++f) {
            left[f] += mScratchLeft[f];
            right[f] += mScratchRight[f];
        }
    }
    for (UInt32 c = 0; c < channels; ++c)
        buffer->mBuffers[c].mDataByteSize = delivered * 4;
    *packets = delivered;
    if (status != noErr) {
        // Keep every track at the same place after a failed read.
        setExtractionTime(mLocation + delivered);
        return status;
    }
    mLocation += delivered;
    if (mLocation >= packetCount())
        mExtractionComplete = true;
    return noErr;
}
