#include "platform/codecs/AudioFormatCatalog.h"

#include "platform/codecs/FFmpegFormats.h"
#include "platform/codecs/MuxerSetup.h"

#include <QByteArray>

#include <algorithm>
#include <map>
#include <mutex>

namespace AudioFormatCatalog {

namespace {

constexpr AudioFormatFlags kBigEndianInteger =
    kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked; // 14
constexpr AudioFormatFlags kLittleEndianInteger = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked; // 12
constexpr AudioFormatFlags kBigEndianFloat =
    kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked; // 11
constexpr AudioFormatFlags kLittleEndianFloat = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked; // 9
constexpr AudioFormatFlags kUnsignedInteger = kAudioFormatFlagIsPacked; // 8

struct PCMLayout {
    AudioFormatFlags flags;
    UInt32 bits;
};

struct TypeInfo {
    AudioFileTypeID type;
    const char* name;
    QStringList extensions;
    std::vector<AudioFormatID> formats;
    std::vector<PCMLayout> pcmLayouts;
    bool standard; // listed among the standard writable types
};

const std::vector<PCMLayout> kAIFFLayouts = {{kBigEndianInteger, 8}, {kBigEndianInteger, 16},
                                             {kBigEndianInteger, 24}, {kBigEndianInteger, 32}};
const std::vector<PCMLayout> kAIFCLayouts = {{kBigEndianInteger, 16}, {kBigEndianInteger, 24},
                                             {kBigEndianInteger, 32}, {kLittleEndianInteger, 16},
                                             {kBigEndianFloat, 32},   {kBigEndianFloat, 64}};
const std::vector<PCMLayout> kWAVELayouts = {{kUnsignedInteger, 8},     {kLittleEndianInteger, 16},
                                             {kLittleEndianInteger, 24}, {kLittleEndianInteger, 32},
                                             {kLittleEndianFloat, 32},   {kLittleEndianFloat, 64}};
const std::vector<PCMLayout> kNeXTLayouts = {{kBigEndianInteger, 8},  {kBigEndianInteger, 16},
                                             {kBigEndianInteger, 24}, {kBigEndianInteger, 32},
                                             {kBigEndianFloat, 32},   {kBigEndianFloat, 64}};
const std::vector<PCMLayout> kCAFLayouts = {
    {kBigEndianInteger, 8},     {kBigEndianInteger, 16},    {kBigEndianInteger, 24}, {kBigEndianInteger, 32},
    {kBigEndianFloat, 32},      {kBigEndianFloat, 64},      {kLittleEndianInteger, 16},
    {kLittleEndianInteger, 24}, {kLittleEndianInteger, 32}, {kLittleEndianFloat, 32}, {kLittleEndianFloat, 64}};

const std::vector<TypeInfo>& knownTypes()
{
    static const std::vector<TypeInfo> types = {
        {kAudioFileAIFFType, "AIFF", {"aif", "aiff"}, {kAudioFormatLinearPCM}, kAIFFLayouts, true},
        {kAudioFileAIFCType, "AIFC", {"aifc", "aiff", "aif"},
         {kAudioFormatLinearPCM, kAudioFormatAppleIMA4, kAudioFormatULaw, kAudioFormatALaw}, kAIFCLayouts, true},
        {kAudioFileWAVEType, "WAVE", {"wav"}, {kAudioFormatLinearPCM, kAudioFormatULaw, kAudioFormatALaw},
         kWAVELayouts, true},
        {kAudioFileNextType, "NeXT/Sun", {"snd", "au"}, {kAudioFormatLinearPCM, kAudioFormatULaw, kAudioFormatALaw},
         kNeXTLayouts, true},
        {kAudioFileCAFType, "CAF", {"caf"},
         {kAudioFormatLinearPCM, kAudioFormatMPEG4AAC, kAudioFormatAppleLossless, kAudioFormatAppleIMA4,
          kAudioFormatULaw, kAudioFormatALaw},
         kCAFLayouts, true},
        {kAudioFileM4AType, "Apple MPEG-4 Audio", {"m4a"}, {kAudioFormatMPEG4AAC, kAudioFormatAppleLossless}, {}, true},
        {kAudioFileMPEG4Type, "MPEG-4 Audio", {"mp4"}, {kAudioFormatMPEG4AAC}, {}, true},
        {kAudioFileAAC_ADTSType, "AAC ADTS", {"aac", "adts"}, {kAudioFormatMPEG4AAC}, {}, true},
        {kAudioFileMP3Type, "MPEG Layer 3", {"mp3"}, {kAudioFormatMPEGLayer3}, {}, false},
        {kAudioFileQuickTimeMovieType, "QuickTime Movie", {"mov"},
         {kAudioFormatLinearPCM, kAudioFormatMPEG4AAC, kAudioFormatAppleLossless, kAudioFormatAppleIMA4}, kAIFCLayouts,
         false},
    };
    return types;
}

const TypeInfo* findType(AudioFileTypeID type)
{
    for (const TypeInfo& info : knownTypes()) {
        if (info.type == type)
            return &info;
    }
    return nullptr;
}

// The description a format takes in a type before rate and channels are chosen.
AudioStreamBasicDescription templateDescription(AudioFormatID format, AudioFormatFlags flags, UInt32 bits)
{
    AudioStreamBasicDescription d;
    d.mFormatID = format;
    d.mFormatFlags = flags;
    d.mBitsPerChannel = bits;
    if (format == kAudioFormatLinearPCM)
        d.mFramesPerPacket = 1;
    else
        completeDescription(&d);
    return d;
}

std::vector<AudioStreamBasicDescription> descriptionsOf(const TypeInfo& type, AudioFormatID format)
{
    std::vector<AudioStreamBasicDescription> list;
    switch (format) {
    case kAudioFormatLinearPCM:
        for (const PCMLayout& layout : type.pcmLayouts)
            list.push_back(templateDescription(format, layout.flags, layout.bits));
        break;
    case kAudioFormatAppleLossless:
        list.push_back(templateDescription(format, kAppleLosslessFormatFlag_16BitSourceData, 0));
        list.push_back(templateDescription(format, kAppleLosslessFormatFlag_24BitSourceData, 0));
        break;
    default:
        list.push_back(templateDescription(format, 0, 0));
        break;
    }
    return list;
}

// An in-memory, seekable place for trial headers.
struct MemorySink {
    std::vector<uint8_t> bytes;
    int64_t position = 0;

    static int write(void* opaque, uint8_t* data, int size)
    {
        auto* sink = static_cast<MemorySink*>(opaque);
        const size_t end = size_t(sink->position) + size_t(size);
        if (sink->bytes.size() < end)
            sink->bytes.resize(end);
        std::copy(data, data + size, sink->bytes.begin() + sink->position);
        sink->position = int64_t(end);
        return size;
    }
    static int64_t seek(void* opaque, int64_t offset, int whence)
    {
        auto* sink = static_cast<MemorySink*>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return int64_t(sink->bytes.size());
        case SEEK_SET: sink->position = offset; break;
        case SEEK_CUR: sink->position += offset; break;
        case SEEK_END: sink->position = int64_t(sink->bytes.size()) + offset; break;
        default: return -1;
        }
        return sink->position;
    }
};

// The magic cookie an encoder of the format makes, for trial headers that need one.
QByteArray trialCookie(AudioFormatID format)
{
    const AVCodec* codec = codecs::encoderForFormat(format);
    if (!codec || !codec->sample_fmts)
        return {};
    codecs::CodecContext encoder(avcodec_alloc_context3(codec));
    if (!encoder)
        return {};
    encoder->sample_rate = 44100;
    encoder->sample_fmt = codec->sample_fmts[0];
    encoder->time_base = AVRational{1, 44100};
    av_channel_layout_default(&encoder->ch_layout, 2);
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0 || encoder->extradata_size <= 0)
        return {};
    return QByteArray(reinterpret_cast<const char*>(encoder->extradata), encoder->extradata_size);
}

// Whether this FFmpeg really writes the type with a stream of the description: a header
// written into memory decides.
bool muxerWrites(AudioFileTypeID type, const AudioStreamBasicDescription& description,
                 const std::map<AudioFormatID, QByteArray>& cookies)
{
    AudioStreamBasicDescription probe = description;
    probe.mSampleRate = 44100;
    probe.mChannelsPerFrame = 2;
    if (completeDescription(&probe) != noErr)
        return false;
    OSStatus status = noErr;
    AVFormatContext* context = codecs::newMuxer(type, probe, nullptr, &status);
    if (!context)
        return false;
    const auto cookie = cookies.find(probe.mFormatID);
    codecs::setStreamCookie(context->streams[0], cookie != cookies.end() ? cookie->second : QByteArray());
    MemorySink sink;
    constexpr int kBufferSize = 4096;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    AVIOContext* io = avio_alloc_context(buffer, kBufferSize, 1, &sink, nullptr, MemorySink::write, MemorySink::seek);
    bool writes = false;
    if (io) {
        context->pb = io;
        context->flags |= AVFMT_FLAG_CUSTOM_IO;
        writes = avformat_write_header(context, nullptr) >= 0;
        if (writes)
            av_write_trailer(context);
        av_freep(&io->buffer);
        avio_context_free(&io);
    } else {
        av_free(buffer);
    }
    avformat_free_context(context);
    return writes;
}

bool hasEncoder(AudioFormatID format)
{
    return format == kAudioFormatLinearPCM || codecs::encoderForFormat(format) != nullptr;
}

// What this machine can write, per type: the descriptions its muxer takes for each format
// that has an encoder.
struct Capabilities {
    std::vector<AudioFileTypeID> writable;
    std::vector<AudioFormatID> encodable;
    std::map<std::pair<AudioFileTypeID, AudioFormatID>, std::vector<AudioStreamBasicDescription>> descriptions;
    std::vector<AudioFileTypeID> writableAtAll;
};

const Capabilities& capabilities()
{
    static Capabilities caps;
    static std::once_flag once;
    std::call_once(once, [] {
        codecs::initializeLibraries();
        // Refused trials are answers, not errors to log.
        const int logLevel = av_log_get_level();
        av_log_set_level(AV_LOG_QUIET);
        for (AudioFormatID format : {kAudioFormatLinearPCM, kAudioFormatMPEG4AAC, kAudioFormatAppleLossless,
                                     kAudioFormatAppleIMA4, kAudioFormatMPEGLayer3}) {
            if (hasEncoder(format))
                caps.encodable.push_back(format);
        }
        std::map<AudioFormatID, QByteArray> cookies;
        for (AudioFormatID format : caps.encodable)
            cookies[format] = trialCookie(format);
        for (const TypeInfo& type : knownTypes()) {
            bool writesSomething = false;
            for (AudioFormatID format : type.formats) {
                std::vector<AudioStreamBasicDescription> kept;
                for (const AudioStreamBasicDescription& d : descriptionsOf(type, format)) {
                    if (muxerWrites(type.type, d, cookies))
                        kept.push_back(d);
                }
                if (!kept.empty() && hasEncoder(format))
                    writesSomething = true;
                if (!kept.empty())
                    caps.descriptions[{type.type, format}] = std::move(kept);
            }
            if (writesSomething) {
                caps.writableAtAll.push_back(type.type);
                if (type.standard)
                    caps.writable.push_back(type.type);
            }
        }
        av_log_set_level(logLevel);
    });
    return caps;
}

std::vector<AudioValueRange> codecSampleRates(const AVCodec* codec)
{
    std::vector<AudioValueRange> ranges;
    if (codec && codec->supported_samplerates) {
        for (const int* rate = codec->supported_samplerates; *rate; ++rate)
            ranges.push_back({double(*rate), double(*rate)});
        std::sort(ranges.begin(), ranges.end(),
                  [](const AudioValueRange& a, const AudioValueRange& b) { return a.mMinimum < b.mMinimum; });
    }
    return ranges;
}

const std::vector<double> kAACBitRates = {32000,  40000,  48000,  56000,  64000,  72000,  80000,  96000,  112000,
                                          128000, 144000, 160000, 192000, 224000, 256000, 288000, 320000};
const std::vector<double> kMP3BitRatesMPEG1 = {32000,  40000,  48000,  56000,  64000,  80000,  96000,
                                               112000, 128000, 160000, 192000, 224000, 256000, 320000};
const std::vector<double> kMP3BitRatesMPEG2 = {8000,  16000, 24000, 32000,  40000,  48000,  56000,
                                               64000, 80000, 96000, 112000, 128000, 144000, 160000};

} // namespace

const std::vector<AudioFileTypeID>& writableFileTypes() { return capabilities().writable; }

bool canWriteFileType(AudioFileTypeID fileType)
{
    const auto& all = capabilities().writableAtAll;
    return std::find(all.begin(), all.end(), fileType) != all.end();
}

OSStatus fileTypeName(AudioFileTypeID fileType, QString* name)
{
    const TypeInfo* info = findType(fileType);
    if (!info)
        return kAudioFileUnsupportedFileTypeError;
    *name = QString::fromUtf8(info->name);
    return noErr;
}

OSStatus extensionsForFileType(AudioFileTypeID fileType, QStringList* extensions)
{
    const TypeInfo* info = findType(fileType);
    if (!info)
        return kAudioFileUnsupportedFileTypeError;
    *extensions = info->extensions;
    return noErr;
}

OSStatus formatIDsForFileType(AudioFileTypeID fileType, std::vector<AudioFormatID>* formats)
{
    const TypeInfo* info = findType(fileType);
    if (!info)
        return kAudioFileUnsupportedFileTypeError;
    *formats = info->formats;
    return noErr;
}

OSStatus availableStreamDescriptions(AudioFileTypeID fileType, AudioFormatID formatID,
                                     std::vector<AudioStreamBasicDescription>* descriptions)
{
    if (!findType(fileType))
        return kAudioFileUnsupportedFileTypeError;
    const auto& map = capabilities().descriptions;
    const auto found = map.find({fileType, formatID});
    if (found == map.end())
        return kAudioFileUnsupportedDataFormatError;
    *descriptions = found->second;
    return noErr;
}

const std::vector<AudioFormatID>& encodeFormatIDs() { return capabilities().encodable; }

OSStatus encodersForFormat(AudioFormatID formatID, std::vector<EncoderDescription>* encoders)
{
    const auto& formats = encodeFormatIDs();
    if (std::find(formats.begin(), formats.end(), formatID) == formats.end())
        return kAudioFormatUnsupportedDataFormatError;
    EncoderDescription encoder;
    encoder.subtype = formatID;
    *encoders = {encoder};
    return noErr;
}

OSStatus formatName(const AudioStreamBasicDescription& description, QString* name)
{
    switch (description.mFormatID) {
    case kAudioFormatLinearPCM: *name = QStringLiteral("Linear PCM"); return noErr;
    case kAudioFormatMPEG4AAC: *name = QStringLiteral("AAC"); return noErr;
    case kAudioFormatAppleLossless: *name = QStringLiteral("Apple Lossless"); return noErr;
    case kAudioFormatAppleIMA4: *name = QStringLiteral("IMA 4:1"); return noErr;
    case kAudioFormatMPEGLayer3: *name = QStringLiteral("MPEG Layer 3"); return noErr;
    case kAudioFormatULaw: *name = QStringLiteral("\u00B5Law 2:1"); return noErr;
    case kAudioFormatALaw: *name = QStringLiteral("aLaw 2:1"); return noErr;
    default: return kAudioFormatUnsupportedDataFormatError;
    }
}

OSStatus availableEncodeSampleRates(AudioFormatID formatID, std::vector<AudioValueRange>* rates)
{
    switch (formatID) {
    case kAudioFormatLinearPCM:
    case kAudioFormatAppleIMA4:
        if (!hasEncoder(formatID))
            break;
        *rates = {{0, 0}};
        return noErr;
    case kAudioFormatAppleLossless:
        if (!hasEncoder(formatID))
            break;
        *rates = {{8000, 192000}};
        return noErr;
    case kAudioFormatMPEG4AAC:
    case kAudioFormatMPEGLayer3:
        if (const AVCodec* codec = codecs::encoderForFormat(formatID)) {
            *rates = codecSampleRates(codec);
            return noErr;
        }
        break;
    default:
        break;
    }
    return kAudioFormatUnsupportedPropertyError;
}

OSStatus availableEncodeBitRates(AudioFormatID formatID, std::vector<AudioValueRange>* rates)
{
    if (!codecs::encoderForFormat(formatID))
        return kAudioFormatUnsupportedPropertyError;
    if (formatID == kAudioFormatMPEG4AAC) {
        rates->clear();
        for (double rate : kAACBitRates)
            rates->push_back({rate, rate});
        return noErr;
    }
    if (formatID == kAudioFormatMPEGLayer3) {
        std::vector<double> all = kMP3BitRatesMPEG1;
        all.insert(all.end(), kMP3BitRatesMPEG2.begin(), kMP3BitRatesMPEG2.end());
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        rates->clear();
        for (double rate : all)
            rates->push_back({rate, rate});
        return noErr;
    }
    return kAudioFormatUnsupportedPropertyError;
}

OSStatus applicableEncodeBitRates(AudioFormatID formatID, Float64 sampleRate, UInt32 channels,
                                  std::vector<AudioValueRange>* rates)
{
    if (!codecs::encoderForFormat(formatID))
        return kAudioFormatUnsupportedPropertyError;
    const UInt32 count = std::max<UInt32>(channels, 1);
    rates->clear();
    if (formatID == kAudioFormatMPEG4AAC) {
        // Between 16 and 160 kbit/s per channel, and at most 6 bits per sample.
        for (double rate : kAACBitRates) {
            const bool perChannel = rate >= 16000.0 * count && rate <= 160000.0 * count;
            const bool perSample = sampleRate <= 0 || rate <= 6.0 * sampleRate * count;
            if (perChannel && perSample)
                rates->push_back({rate, rate});
        }
        return noErr;
    }
    if (formatID == kAudioFormatMPEGLayer3) {
        const auto& list = sampleRate >= 32000 || sampleRate <= 0 ? kMP3BitRatesMPEG1 : kMP3BitRatesMPEG2;
        for (double rate : list) {
            if (sampleRate > 0 && sampleRate <= 12000 && rate > 64000)
                continue;
            rates->push_back({rate, rate});
        }
        return noErr;
    }
    return kAudioFormatUnsupportedPropertyError;
}

OSStatus availableEncodeNumberChannels(const AudioStreamBasicDescription& description, std::vector<UInt32>* counts)
{
    switch (description.mFormatID) {
    case kAudioFormatLinearPCM:
        *counts = {kAudioAnyChannelCount};
        return noErr;
    case kAudioFormatMPEG4AAC:
    case kAudioFormatAppleLossless:
        if (!codecs::encoderForFormat(description.mFormatID))
            break;
        *counts = {1, 2, 3, 4, 5, 6, 7, 8};
        return noErr;
    case kAudioFormatMPEGLayer3:
    case kAudioFormatAppleIMA4:
        if (!codecs::encoderForFormat(description.mFormatID))
            break;
        *counts = {1, 2};
        return noErr;
    default:
        break;
    }
    return kAudioFormatUnsupportedPropertyError;
}

OSStatus completeDescription(AudioStreamBasicDescription* d)
{
    const UInt32 channels = d->mChannelsPerFrame;
    switch (d->mFormatID) {
    case kAudioFormatLinearPCM: {
        if (d->mBitsPerChannel == 0 || channels == 0)
            return kAudioFormatUnsupportedDataFormatError;
        const bool nonInterleaved = d->mFormatFlags & kAudioFormatFlagIsNonInterleaved;
        UInt32 sampleBytes = (d->mBitsPerChannel + 7) / 8;
        if (sampleBytes == 3 && !(d->mFormatFlags & kAudioFormatFlagIsPacked))
            sampleBytes = 4;
        d->mFramesPerPacket = 1;
        d->mBytesPerFrame = d->mBytesPerPacket = sampleBytes * (nonInterleaved ? 1 : channels);
        return noErr;
    }
    case kAudioFormatMPEG4AAC:
        d->mFramesPerPacket = 1024;
        d->mBytesPerPacket = d->mBytesPerFrame = d->mBitsPerChannel = 0;
        return noErr;
    case kAudioFormatAppleLossless:
        d->mFramesPerPacket = 4096;
        d->mBytesPerPacket = d->mBytesPerFrame = d->mBitsPerChannel = 0;
        return noErr;
    case kAudioFormatMPEGLayer3:
        d->mFramesPerPacket = (d->mSampleRate > 0 && d->mSampleRate < 32000) ? 576 : 1152;
        d->mBytesPerPacket = d->mBytesPerFrame = d->mBitsPerChannel = 0;
        d->mFormatFlags = 0;
        return noErr;
    case kAudioFormatAppleIMA4:
        d->mFramesPerPacket = 64;
        d->mBytesPerPacket = 34 * channels;
        d->mBytesPerFrame = d->mBitsPerChannel = 0;
        d->mFormatFlags = 0;
        return noErr;
    case kAudioFormatULaw:
    case kAudioFormatALaw:
        d->mFramesPerPacket = 1;
        d->mBytesPerPacket = d->mBytesPerFrame = channels;
        d->mBitsPerChannel = 8;
        d->mFormatFlags = 0;
        return noErr;
    default:
        return kAudioFormatUnsupportedDataFormatError;
    }
}

OSStatus isVariableBitRate(const AudioStreamBasicDescription& description, bool* variable)
{
    switch (description.mFormatID) {
    case kAudioFormatMPEG4AAC:
    case kAudioFormatAppleLossless:
    case kAudioFormatMPEGLayer3:
        *variable = true;
        return noErr;
    case kAudioFormatLinearPCM:
    case kAudioFormatAppleIMA4:
    case kAudioFormatULaw:
    case kAudioFormatALaw:
        *variable = false;
        return noErr;
    default:
        return kAudioFormatUnsupportedDataFormatError;
    }
}

OSStatus isExternallyFramed(const AudioStreamBasicDescription& description, bool* framed)
{
    return isVariableBitRate(description, framed);
}

} // namespace AudioFormatCatalog
