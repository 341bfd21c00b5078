#include "platform/codecs/FFmpegFormats.h"

#include <cerrno>
#include <mutex>

namespace codecs {

void initializeLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

OSStatus statusFromAVError(int error)
{
    switch (error) {
    case 0:
        return noErr;
    case AVERROR(ENOENT):
        return kAudioFileFileNotFoundError;
    case AVERROR(EACCES):
    case AVERROR(EPERM):
        return kAudioFilePermissionsError;
    case AVERROR(ENOMEM):
        return kAudio_MemFullError;
    case AVERROR_EOF:
        return kAudioFileEndOfFileError;
    case AVERROR_INVALIDDATA:
        return kAudioFileInvalidFileError;
    case AVERROR_DEMUXER_NOT_FOUND:
    case AVERROR_MUXER_NOT_FOUND:
        return kAudioFileUnsupportedFileTypeError;
    case AVERROR_DECODER_NOT_FOUND:
    case AVERROR_ENCODER_NOT_FOUND:
    case AVERROR_PATCHWELCOME:
        return kAudioFileUnsupportedDataFormatError;
    case AVERROR(EINVAL):
        return kAudio_ParamError;
    default:
        return kAudioFileUnspecifiedError;
    }
}

namespace {

struct PCMCodec {
    AVCodecID codec;
    UInt32 bits;
    UInt32 bytes;
    bool isFloat;
    bool isSigned;
    bool bigEndian;
};

constexpr PCMCodec kPCMCodecs[] = {
    {AV_CODEC_ID_PCM_S8, 8, 1, false, true, false},      {AV_CODEC_ID_PCM_U8, 8, 1, false, false, false},
    {AV_CODEC_ID_PCM_S16LE, 16, 2, false, true, false},  {AV_CODEC_ID_PCM_S16BE, 16, 2, false, true, true},
    {AV_CODEC_ID_PCM_U16LE, 16, 2, false, false, false}, {AV_CODEC_ID_PCM_U16BE, 16, 2, false, false, true},
    {AV_CODEC_ID_PCM_S24LE, 24, 3, false, true, false},  {AV_CODEC_ID_PCM_S24BE, 24, 3, false, true, true},
    {AV_CODEC_ID_PCM_U24LE, 24, 3, false, false, false}, {AV_CODEC_ID_PCM_U24BE, 24, 3, false, false, true},
    {AV_CODEC_ID_PCM_S32LE, 32, 4, false, true, false},  {AV_CODEC_ID_PCM_S32BE, 32, 4, false, true, true},
    {AV_CODEC_ID_PCM_U32LE, 32, 4, false, false, false}, {AV_CODEC_ID_PCM_U32BE, 32, 4, false, false, true},
    {AV_CODEC_ID_PCM_F32LE, 32, 4, true, true, false},   {AV_CODEC_ID_PCM_F32BE, 32, 4, true, true, true},
    {AV_CODEC_ID_PCM_F64LE, 64, 8, true, true, false},   {AV_CODEC_ID_PCM_F64BE, 64, 8, true, true, true},
};

struct CompressedCodec {
    AudioFormatID format;
    AVCodecID codec;
};

constexpr CompressedCodec kCompressedCodecs[] = {
    {kAudioFormatMPEG4AAC, AV_CODEC_ID_AAC},     {kAudioFormatMPEG4AAC_HE, AV_CODEC_ID_AAC},
    {kAudioFormatMPEG4AAC_HE_V2, AV_CODEC_ID_AAC}, {kAudioFormatAppleLossless, AV_CODEC_ID_ALAC},
    {kAudioFormatMPEGLayer3, AV_CODEC_ID_MP3},   {FourCC(".mp2"), AV_CODEC_ID_MP2},
    {FourCC(".mp1"), AV_CODEC_ID_MP1},           {kAudioFormatAppleIMA4, AV_CODEC_ID_ADPCM_IMA_QT},
    {kAudioFormatULaw, AV_CODEC_ID_PCM_MULAW},   {kAudioFormatALaw, AV_CODEC_ID_PCM_ALAW},
    {kAudioFormatFLAC, AV_CODEC_ID_FLAC},        {kAudioFormatAC3, AV_CODEC_ID_AC3},
    {FourCC("opus"), AV_CODEC_ID_OPUS},          {FourCC("vorb"), AV_CODEC_ID_VORBIS},
};

UInt32 readBigEndian32(const UInt8* p) { return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3]; }

} // namespace

AVCodecID codecIDForDescription(const AudioStreamBasicDescription& d)
{
    if (d.mFormatID == kAudioFormatLinearPCM) {
        if (d.mFormatFlags & kAudioFormatFlagIsNonInterleaved)
            return AV_CODEC_ID_NONE;
        const UInt32 channels = d.mChannelsPerFrame ? d.mChannelsPerFrame : 1;
        const UInt32 bytes = d.mBytesPerFrame ? d.mBytesPerFrame / channels : (d.mBitsPerChannel + 7) / 8;
        const bool isFloat = d.mFormatFlags & kAudioFormatFlagIsFloat;
        const bool isSigned = isFloat || (d.mFormatFlags & kAudioFormatFlagIsSignedInteger);
        const bool bigEndian = (d.mFormatFlags & kAudioFormatFlagIsBigEndian) && bytes > 1;
        for (const PCMCodec& pcm : kPCMCodecs) {
            if (pcm.bits == d.mBitsPerChannel && pcm.bytes == bytes && pcm.isFloat == isFloat &&
                pcm.isSigned == isSigned && (pcm.bigEndian == bigEndian || bytes == 1))
                return pcm.codec;
        }
        return AV_CODEC_ID_NONE;
    }
    for (const CompressedCodec& compressed : kCompressedCodecs) {
        if (compressed.format == d.mFormatID)
            return compressed.codec;
    }
    return AV_CODEC_ID_NONE;
}

UInt32 appleLosslessFramesPerPacket(const UInt8* cookie, size_t size)
{
    // The cookie is the 24-byte configuration, possibly inside an 'alac' atom with a version.
    if (size >= 36 && readBigEndian32(cookie + 4) == FourCC("alac"))
        return readBigEndian32(cookie + 12);
    if (size >= 24)
        return readBigEndian32(cookie);
    return 0;
}

namespace {

UInt32 appleLosslessBitDepth(const UInt8* cookie, size_t size)
{
    if (size >= 36 && readBigEndian32(cookie + 4) == FourCC("alac"))
        return cookie[12 + 5];
    if (size >= 24)
        return cookie[5];
    return 0;
}

} // namespace

AudioStreamBasicDescription descriptionForCodecParameters(const AVCodecParameters* p)
{
    AudioStreamBasicDescription d;
    d.mSampleRate = p->sample_rate;
    d.mChannelsPerFrame = UInt32(p->ch_layout.nb_channels);
    for (const PCMCodec& pcm : kPCMCodecs) {
        if (pcm.codec != p->codec_id)
            continue;
        d.mFormatID = kAudioFormatLinearPCM;
        d.mFormatFlags = kAudioFormatFlagIsPacked;
        if (pcm.isFloat)
            d.mFormatFlags |= kAudioFormatFlagIsFloat;
        else if (pcm.isSigned)
            d.mFormatFlags |= kAudioFormatFlagIsSignedInteger;
        if (pcm.bigEndian)
            d.mFormatFlags |= kAudioFormatFlagIsBigEndian;
        d.mBitsPerChannel = pcm.bits;
        d.mBytesPerFrame = d.mBytesPerPacket = pcm.bytes * d.mChannelsPerFrame;
        d.mFramesPerPacket = 1;
        return d;
    }
    switch (p->codec_id) {
    case AV_CODEC_ID_AAC:
        d.mFormatID = (p->profile == FF_PROFILE_AAC_HE)      ? kAudioFormatMPEG4AAC_HE
                      : (p->profile == FF_PROFILE_AAC_HE_V2) ? kAudioFormatMPEG4AAC_HE_V2
                                                             : kAudioFormatMPEG4AAC;
        d.mFramesPerPacket = p->frame_size > 0 ? UInt32(p->frame_size) : 1024;
        break;
    case AV_CODEC_ID_ALAC: {
        d.mFormatID = kAudioFormatAppleLossless;
        const UInt32 frames = appleLosslessFramesPerPacket(p->extradata, size_t(p->extradata_size));
        d.mFramesPerPacket = frames ? frames : 4096;
        switch (appleLosslessBitDepth(p->extradata, size_t(p->extradata_size))) {
        case 20: d.mFormatFlags = kAppleLosslessFormatFlag_20BitSourceData; break;
        case 24: d.mFormatFlags = kAppleLosslessFormatFlag_24BitSourceData; break;
        case 32: d.mFormatFlags = kAppleLosslessFormatFlag_32BitSourceData; break;
        default: d.mFormatFlags = kAppleLosslessFormatFlag_16BitSourceData; break;
        }
        break;
    }
    case AV_CODEC_ID_ADPCM_IMA_QT:
        d.mFormatID = kAudioFormatAppleIMA4;
        d.mFramesPerPacket = 64;
        d.mBytesPerPacket = 34 * d.mChannelsPerFrame;
        break;
    case AV_CODEC_ID_PCM_MULAW:
    case AV_CODEC_ID_PCM_ALAW:
        d.mFormatID = p->codec_id == AV_CODEC_ID_PCM_MULAW ? kAudioFormatULaw : kAudioFormatALaw;
        d.mFramesPerPacket = 1;
        d.mBytesPerFrame = d.mBytesPerPacket = d.mChannelsPerFrame;
        d.mBitsPerChannel = 8;
        break;
    default:
        for (const CompressedCodec& compressed : kCompressedCodecs) {
            if (compressed.codec == p->codec_id) {
                d.mFormatID = compressed.format;
                break;
            }
        }
        if (d.mFormatID == 0)
            d.mFormatID = p->codec_tag;
        d.mFramesPerPacket = p->frame_size > 0 ? UInt32(p->frame_size) : 0;
        if (d.mFormatID == kAudioFormatMPEGLayer3 && d.mFramesPerPacket == 0)
            d.mFramesPerPacket = p->sample_rate >= 32000 ? 1152 : 576;
        break;
    }
    return d;
}

const AVCodec* encoderForFormat(AudioFormatID formatID)
{
    switch (formatID) {
    case kAudioFormatMPEG4AAC:
        return avcodec_find_encoder_by_name("aac");
    case kAudioFormatAppleLossless:
        return avcodec_find_encoder_by_name("alac");
    case kAudioFormatMPEGLayer3:
        return avcodec_find_encoder_by_name("libmp3lame");
    case kAudioFormatAppleIMA4:
        return avcodec_find_encoder_by_name("adpcm_ima_qt");
    default:
        return nullptr;
    }
}

const char* muxerNameForFileType(AudioFileTypeID fileType)
{
    switch (fileType) {
    case kAudioFileAIFFType:
    case kAudioFileAIFCType:
        return "aiff";
    case kAudioFileWAVEType:
        return "wav";
    case kAudioFileNextType:
        return "au";
    case kAudioFileCAFType:
        return "caf";
    case kAudioFileM4AType:
    case kAudioFileM4BType:
        return "ipod";
    case kAudioFileMPEG4Type:
        return "mp4";
    case kAudioFileQuickTimeMovieType:
        return "mov";
    case kAudioFileAAC_ADTSType:
        return "adts";
    case kAudioFileMP3Type:
        return "mp3";
    default:
        return nullptr;
    }
}

} // namespace codecs
