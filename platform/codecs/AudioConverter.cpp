#include "platform/codecs/AudioConverter.h"

#include "platform/codecs/AudioFormatCatalog.h"
#include "platform/codecs/FFmpegFormats.h"
#include "platform/codecs/FrameSamples.h"
#include "platform/codecs/SampleConversion.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

namespace {

enum class Kind { PCM, Encode, Decode };

// Planar float frames waiting between the stages of a conversion.
class PlanarQueue {
public:
    void setChannels(UInt32 channels) { mChannels.assign(channels, {}); mOffset = 0; }
    UInt32 channels() const { return UInt32(mChannels.size()); }
    size_t size() const { return mChannels.empty() ? 0 : mChannels[0].size() - mOffset; }
    void clear()
    {
        for (auto& channel : mChannels)
            channel.clear();
        mOffset = 0;
    }
    // Room for count more frames at the end; answers where they start.
    std::vector<float*> grow(size_t count)
    {
        compact();
        std::vector<float*> pointers;
        for (auto& channel : mChannels) {
            channel.resize(channel.size() + count);
            pointers.push_back(channel.data() + channel.size() - count);
        }
        return pointers;
    }
    void shrink(size_t count)
    {
        for (auto& channel : mChannels)
            channel.resize(channel.size() - std::min(count, channel.size() - mOffset));
    }
    std::vector<const float*> front() const
    {
        std::vector<const float*> pointers;
        for (const auto& channel : mChannels)
            pointers.push_back(channel.data() + mOffset);
        return pointers;
    }
    void consume(size_t count) { mOffset += std::min(count, size()); }

private:
    void compact()
    {
        if (mOffset == 0)
            return;
        for (auto& channel : mChannels)
            channel.erase(channel.begin(), channel.begin() + std::ptrdiff_t(mOffset));
        mOffset = 0;
    }
    std::vector<std::vector<float>> mChannels;
    size_t mOffset = 0;
};

struct EncodedPacket {
    std::vector<UInt8> data;
    UInt32 frames = 0;
};

bool isPCM(const AudioStreamBasicDescription& d) { return d.mFormatID == kAudioFormatLinearPCM; }

template <typename T>
OSStatus readValue(UInt32 size, const void* data, T* value)
{
    if (size < sizeof(T) || !data)
        return kAudioConverterErr_BadPropertySizeError;
    std::memcpy(value, data, sizeof(T));
    return noErr;
}

bool rateInRanges(Float64 rate, const std::vector<AudioValueRange>& ranges)
{
    for (const AudioValueRange& range : ranges) {
        if ((range.mMinimum == 0 && range.mMaximum == 0) || (rate >= range.mMinimum && rate <= range.mMaximum))
            return true;
    }
    return false;
}

} // namespace

struct AudioConverter::State {
    Kind kind = Kind::PCM;
    AudioStreamBasicDescription in, out;
    UInt32 bitRate = 0;
    UInt32 quality = kAudioConverterQuality_High;
    UInt32 rateConverterQuality = kAudioConverterQuality_High;
    std::vector<SInt32> channelMap;
    AudioConverterPrimeInfo decoderPrime;
    std::vector<UInt8> cookie;

    const AVCodec* codec = nullptr;
    codecs::CodecContext encoder;
    codecs::CodecContext decoder;
    int encoderBits = 32;
    codecs::Resampler resampler;
    codecs::Packet packet;
    codecs::Frame frame;

    PlanarQueue ready;
    std::deque<EncodedPacket> packets;
    bool inputEnded = false;
    bool flushed = false;
    SInt64 framesIntoEncoder = 0;
    SInt64 framesOutOfEncoder = 0;
    SInt64 leadingToDrop = 0;
    std::vector<std::vector<float>> mapped;
    std::vector<std::vector<float>> decoded;

    OSStatus openEncoder();
    OSStatus openDecoder();
    OSStatus openResampler();
    void clearBuffers();
    void append(const float* const* source, UInt32 sourceChannels, size_t frames);
    void appendAtOutputRate(const float* const* source, size_t frames);
    void flushResampler();
    void takeDecodedFrames();
    void endInput();
    OSStatus encodeReady(bool final);
    void receivePackets();
    OSStatus pullInput(AudioConverterComplexInputDataProc proc, void* userData, AudioConverter* self, size_t wanted);
    UInt32 maximumOutputPacketSize() const;
    UInt32 maximumInputPacketSize() const;
    UInt32 framesPerEncoderFrame() const
    {
        return encoder && encoder->frame_size > 0 ? UInt32(encoder->frame_size) : 4096;
    }
};

AudioConverter::AudioConverter() : d(std::make_unique<State>()) {}

AudioConverter::~AudioConverter() = default;

OSStatus AudioConverter::create(const AudioStreamBasicDescription& source,
                                const AudioStreamBasicDescription& destination,
                                std::unique_ptr<AudioConverter>* converter)
{
    codecs::initializeLibraries();
    converter->reset();
    std::unique_ptr<AudioConverter> made(new AudioConverter);
    State& s = *made->d;
    s.in = source;
    s.out = destination;
    if (s.in.mSampleRate == 0)
        s.in.mSampleRate = s.out.mSampleRate;
    if (s.out.mSampleRate == 0)
        s.out.mSampleRate = s.in.mSampleRate;
    if (s.in.mChannelsPerFrame == 0)
        s.in.mChannelsPerFrame = s.out.mChannelsPerFrame;
    if (s.out.mChannelsPerFrame == 0)
        s.out.mChannelsPerFrame = s.in.mChannelsPerFrame;
    if (s.in.mSampleRate <= 0 || s.out.mSampleRate <= 0 || s.in.mChannelsPerFrame == 0 ||
        s.out.mChannelsPerFrame == 0 || s.in.mChannelsPerFrame > 64 || s.out.mChannelsPerFrame > 64)
        return kAudioConverterErr_FormatNotSupported;
    if (AudioFormatCatalog::completeDescription(&s.in) != noErr ||
        AudioFormatCatalog::completeDescription(&s.out) != noErr)
        return kAudioConverterErr_FormatNotSupported;

    codecs::SampleEncoding encoding;
    if (isPCM(s.in) && isPCM(s.out)) {
        s.kind = Kind::PCM;
        if (!codecs::SampleEncoding::fromDescription(s.in, &encoding) ||
            !codecs::SampleEncoding::fromDescription(s.out, &encoding))
            return kAudioConverterErr_FormatNotSupported;
    } else if (isPCM(s.in)) {
        s.kind = Kind::Encode;
        if (!codecs::SampleEncoding::fromDescription(s.in, &encoding))
            return kAudioConverterErr_FormatNotSupported;
        s.codec = codecs::encoderForFormat(s.out.mFormatID);
        std::vector<AudioValueRange> rates;
        std::vector<UInt32> channels;
        if (!s.codec || AudioFormatCatalog::availableEncodeSampleRates(s.out.mFormatID, &rates) != noErr ||
            !rateInRanges(s.out.mSampleRate, rates) ||
            AudioFormatCatalog::availableEncodeNumberChannels(s.out, &channels) != noErr ||
            std::find(channels.begin(), channels.end(), s.out.mChannelsPerFrame) == channels.end())
            return kAudioConverterErr_FormatNotSupported;
        if (s.out.mFormatID == kAudioFormatAppleLossless) {
            // 20 and 32-bit sources are kept in 24 bits.
            if (s.out.mFormatFlags < kAppleLosslessFormatFlag_16BitSourceData ||
                s.out.mFormatFlags > kAppleLosslessFormatFlag_32BitSourceData)
                s.out.mFormatFlags = kAppleLosslessFormatFlag_16BitSourceData;
            if (s.out.mFormatFlags != kAppleLosslessFormatFlag_16BitSourceData)
                s.out.mFormatFlags = kAppleLosslessFormatFlag_24BitSourceData;
        }
    } else if (isPCM(s.out)) {
        s.kind = Kind::Decode;
        if (!codecs::SampleEncoding::fromDescription(s.out, &encoding))
            return kAudioConverterErr_FormatNotSupported;
        const AVCodecID id = codecs::codecIDForDescription(s.in);
        s.codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
        if (!s.codec)
            return kAudioConverterErr_FormatNotSupported;
    } else {
        return kAudioConverterErr_FormatNotSupported;
    }

    s.channelMap.resize(s.out.mChannelsPerFrame);
    for (UInt32 c = 0; c < s.out.mChannelsPerFrame; ++c)
        s.channelMap[c] = c < s.in.mChannelsPerFrame ? SInt32(c) : -1;
    s.packet.reset(av_packet_alloc());
    s.frame.reset(av_frame_alloc());
    if (!s.packet || !s.frame)
        return kAudio_MemFullError;
    s.ready.setChannels(s.out.mChannelsPerFrame);
    OSStatus status = s.openResampler();
    if (status == noErr && s.kind == Kind::Encode)
        status = s.openEncoder();
    if (status != noErr)
        return status;
    *converter = std::move(made);
    return noErr;
}

OSStatus AudioConverter::State::openResampler()
{
    resampler.reset();
    const Float64 sourceRate = in.mSampleRate;
    if (sourceRate == out.mSampleRate)
        return noErr;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, int(out.mChannelsPerFrame));
    SwrContext* context = nullptr;
    int error = swr_alloc_set_opts2(&context, &layout, AV_SAMPLE_FMT_FLTP, int(out.mSampleRate), &layout,
                                    AV_SAMPLE_FMT_FLTP, int(sourceRate), 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (error < 0)
        return kAudioConverterErr_FormatNotSupported;
    // Longer filters for the better qualities.
    av_opt_set_int(context, "filter_size", rateConverterQuality >= kAudioConverterQuality_High ? 64 : 16, 0);
    error = swr_init(context);
    if (error < 0) {
        swr_free(&context);
        return kAudioConverterErr_FormatNotSupported;
    }
    resampler.reset(context);
    return noErr;
}

OSStatus AudioConverter::State::openEncoder()
{
    encoder.reset(avcodec_alloc_context3(codec));
    if (!encoder)
        return kAudio_MemFullError;
    AVCodecContext* c = encoder.get();
    c->sample_rate = int(out.mSampleRate);
    av_channel_layout_default(&c->ch_layout, int(out.mChannelsPerFrame));
    c->time_base = AVRational{1, c->sample_rate};
    // The first sample format of the encoder that this layer packs, 24-bit Apple Lossless
    // in 32-bit words.
    const bool wants24 = out.mFormatID == kAudioFormatAppleLossless &&
                         out.mFormatFlags != kAppleLosslessFormatFlag_16BitSourceData;
    c->sample_fmt = AV_SAMPLE_FMT_NONE;
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
        const AVSampleFormat packed = av_get_packed_sample_fmt(*f);
        const bool usable = packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_S16 || packed == AV_SAMPLE_FMT_S32;
        if (!usable || (out.mFormatID == kAudioFormatAppleLossless && (packed == AV_SAMPLE_FMT_S32) != wants24))
            continue;
        c->sample_fmt = *f;
        break;
    }
    if (c->sample_fmt == AV_SAMPLE_FMT_NONE)
        return kAudioConverterErr_FormatNotSupported;
    encoderBits = wants24 ? 24 : 32;
    if (wants24)
        c->bits_per_raw_sample = 24;

    if (out.mFormatID == kAudioFormatMPEG4AAC || out.mFormatID == kAudioFormatMPEGLayer3) {
        std::vector<AudioValueRange> rates;
        AudioFormatCatalog::applicableEncodeBitRates(out.mFormatID, out.mSampleRate, out.mChannelsPerFrame, &rates);
        UInt32 rate = bitRate;
        if (rate == 0 && !rates.empty()) {
            // 64 kbit/s per channel, or what the codec takes nearest below.
            rate = UInt32(rates.front().mMaximum);
            for (const AudioValueRange& r : rates) {
                if (r.mMaximum <= 64000.0 * out.mChannelsPerFrame)
                    rate = UInt32(r.mMaximum);
            }
        }
        c->bit_rate = rate;
        bitRate = rate;
    }
    switch (out.mFormatID) {
    case kAudioFormatMPEG4AAC:
        av_opt_set(c->priv_data, "aac_coder", quality >= kAudioConverterQuality_Medium ? "twoloop" : "fast", 0);
        // Noise substitution draws on a random generator whose state a seek cannot
        // restore; without it decoding is the same wherever it starts.
        av_opt_set_int(c->priv_data, "aac_pns", 0, 0);
        break;
    case kAudioFormatAppleLossless:
        c->compression_level = int(std::min<UInt32>(quality, 127) * 2 / 127);
        break;
    case kAudioFormatMPEGLayer3:
        c->compression_level = 9 - int(std::min<UInt32>(quality, 127) * 9 / 127);
        break;
    default:
        break;
    }
    const int error = avcodec_open2(c, codec, nullptr);
    if (error < 0) {
        encoder.reset();
        return error == AVERROR(ENOMEM) ? kAudio_MemFullError : kAudioCodecUnsupportedFormatError;
    }
    return noErr;
}

OSStatus AudioConverter::State::openDecoder()
{
    decoder.reset(avcodec_alloc_context3(codec));
    if (!decoder)
        return kAudio_MemFullError;
    AVCodecContext* c = decoder.get();
    c->sample_rate = int(in.mSampleRate);
    av_channel_layout_default(&c->ch_layout, int(in.mChannelsPerFrame));
    if (in.mBytesPerPacket)
        c->block_align = int(in.mBytesPerPacket);
    if (in.mFormatID == kAudioFormatAppleIMA4)
        c->bits_per_coded_sample = 4;
    if (!cookie.empty()) {
        c->extradata = static_cast<uint8_t*>(av_mallocz(cookie.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!c->extradata)
            return kAudio_MemFullError;
        std::memcpy(c->extradata, cookie.data(), cookie.size());
        c->extradata_size = int(cookie.size());
    }
    c->pkt_timebase = AVRational{1, c->sample_rate};
    c->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    const int error = avcodec_open2(c, codec, nullptr);
    if (error < 0) {
        decoder.reset();
        return error == AVERROR(ENOMEM) ? kAudio_MemFullError : kAudioConverterErr_FormatNotSupported;
    }
    return noErr;
}

void AudioConverter::State::clearBuffers()
{
    ready.clear();
    packets.clear();
    inputEnded = flushed = false;
    framesIntoEncoder = framesOutOfEncoder = 0;
    leadingToDrop = kind == Kind::Decode ? decoderPrime.leadingFrames : 0;
}

OSStatus AudioConverter::reset()
{
    d->clearBuffers();
    if (d->decoder)
        avcodec_flush_buffers(d->decoder.get());
    OSStatus status = d->openResampler();
    // Encoders keep their delay line across a flush only if asked to; a fresh one is clean.
    if (status == noErr && d->kind == Kind::Encode)
        status = d->openEncoder();
    return status;
}

void AudioConverter::State::appendAtOutputRate(const float* const* source, size_t frames)
{
    if (!resampler) {
        std::vector<float*> target = ready.grow(frames);
        for (UInt32 c = 0; c < ready.channels(); ++c)
            std::memcpy(target[c], source[c], frames * sizeof(float));
        return;
    }
    const int room = swr_get_out_samples(resampler.get(), int(frames));
    std::vector<float*> target = ready.grow(size_t(std::max(room, 0)));
    const int produced = swr_convert(resampler.get(), reinterpret_cast<uint8_t**>(target.data()), room,
                                     reinterpret_cast<const uint8_t**>(const_cast<const float**>(source)), int(frames));
    ready.shrink(size_t(room - std::max(produced, 0)));
}

void AudioConverter::State::flushResampler()
{
    if (!resampler)
        return;
    const int room = swr_get_out_samples(resampler.get(), 0);
    if (room <= 0)
        return;
    std::vector<float*> target = ready.grow(size_t(room));
    const int produced =
        swr_convert(resampler.get(), reinterpret_cast<uint8_t**>(target.data()), room, nullptr, 0);
    ready.shrink(size_t(room - std::max(produced, 0)));
}

// Input channels to output channels by the channel map, then to the output rate.
void AudioConverter::State::append(const float* const* source, UInt32 sourceChannels, size_t frames)
{
    const UInt32 channels = out.mChannelsPerFrame;
    mapped.resize(channels);
    std::vector<const float*> pointers(channels);
    for (UInt32 c = 0; c < channels; ++c) {
        const SInt32 from = channelMap[c];
        if (from >= 0 && UInt32(from) < sourceChannels) {
            pointers[c] = source[from];
        } else {
            mapped[c].assign(frames, 0.0f);
            pointers[c] = mapped[c].data();
        }
    }
    appendAtOutputRate(pointers.data(), frames);
}

void AudioConverter::State::takeDecodedFrames()
{
    while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
        const int channels = frame->ch_layout.nb_channels;
        int first = 0;
        int count = frame->nb_samples;
        const int drop = int(std::min<SInt64>(leadingToDrop, count));
        leadingToDrop -= drop;
        first += drop;
        count -= drop;
        if (count > 0 && channels > 0) {
            decoded.resize(size_t(channels));
            std::vector<float*> pointers(static_cast<size_t>(channels));
            for (int c = 0; c < channels; ++c) {
                decoded[size_t(c)].resize(size_t(count));
                pointers[size_t(c)] = decoded[size_t(c)].data();
            }
            codecs::unpackFrame(frame.get(), first, count, pointers.data(), channels, 0);
            append(pointers.data(), UInt32(channels), size_t(count));
        }
        av_frame_unref(frame.get());
    }
}

void AudioConverter::State::endInput()
{
    inputEnded = true;
    if (kind == Kind::Decode && decoder) {
        avcodec_send_packet(decoder.get(), nullptr);
        takeDecodedFrames();
    }
    flushResampler();
    if (kind == Kind::Decode)
        ready.shrink(decoderPrime.trailingFrames);
}

void AudioConverter::State::receivePackets()
{
    while (avcodec_receive_packet(encoder.get(), packet.get()) == 0) {
        EncodedPacket encoded;
        encoded.data.assign(packet->data, packet->data + packet->size);
        // Apple Lossless packets hold what was put in (the last one is short); the other
        // codecs always decode to whole frames.
        const bool lossless = out.mFormatID == kAudioFormatAppleLossless;
        encoded.frames = (lossless && packet->duration > 0) ? UInt32(packet->duration) : framesPerEncoderFrame();
        framesOutOfEncoder += encoded.frames;
        packets.push_back(std::move(encoded));
        av_packet_unref(packet.get());
    }
}

// Feeds whole encoder frames from the ready queue; with final, also the rest (padded with
// silence for encoders that need whole frames) and then drains the encoder.
OSStatus AudioConverter::State::encodeReady(bool final)
{
    const size_t frameSize = framesPerEncoderFrame();
    const bool smallLastFrame = codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
    while (ready.size() >= frameSize || (final && ready.size() > 0)) {
        const size_t count = std::min(ready.size(), frameSize);
        const size_t samples = (count < frameSize && !smallLastFrame) ? frameSize : count;
        AVFrame* f = frame.get();
        f->nb_samples = int(samples);
        f->format = encoder->sample_fmt;
        av_channel_layout_copy(&f->ch_layout, &encoder->ch_layout);
        f->sample_rate = encoder->sample_rate;
        if (av_frame_get_buffer(f, 0) < 0)
            return kAudio_MemFullError;
        std::vector<const float*> source = ready.front();
        if (samples > count) {
            // Whole frames only: the tail is padded with silence.
            mapped.resize(source.size());
            for (size_t c = 0; c < source.size(); ++c) {
                mapped[c].assign(samples, 0.0f);
                std::memcpy(mapped[c].data(), source[c], count * sizeof(float));
                source[c] = mapped[c].data();
            }
        }
        codecs::packFrame(source.data(), 0, f, encoderBits);
        f->pts = framesIntoEncoder;
        ready.consume(count);
        framesIntoEncoder += SInt64(count);
        const int error = avcodec_send_frame(encoder.get(), f);
        av_frame_unref(f);
        if (error < 0)
            return codecs::statusFromAVError(error);
        receivePackets();
    }
    if (final && !flushed) {
        avcodec_send_frame(encoder.get(), nullptr);
        receivePackets();
        flushed = true;
    }
    return noErr;
}

OSStatus AudioConverter::State::pullInput(AudioConverterComplexInputDataProc proc, void* userData,
                                          AudioConverter* self, size_t wanted)
{
    if (kind == Kind::Decode) {
        if (!decoder) {
            const OSStatus status = openDecoder();
            if (status != noErr)
                return status;
        }
        const UInt32 framesPerPacket = std::max<UInt32>(in.mFramesPerPacket, 1);
        UInt32 count = UInt32(std::clamp<size_t>(wanted / framesPerPacket, 1, 64));
        StackAudioBufferList<1> list;
        list.mBuffers[0].mNumberChannels = in.mChannelsPerFrame;
        AudioStreamPacketDescription* descriptions = nullptr;
        const OSStatus status = proc(self, &count, list.list(), &descriptions, userData);
        if (count == 0) {
            if (status == noErr)
                endInput();
            return status;
        }
        const UInt8* base = static_cast<const UInt8*>(list.mBuffers[0].mData);
        const UInt32 bytes = list.mBuffers[0].mDataByteSize;
        if (!base || (!descriptions && in.mBytesPerPacket == 0))
            return kAudio_ParamError;
        for (UInt32 i = 0; i < count; ++i) {
            const SInt64 start = descriptions ? descriptions[i].mStartOffset : SInt64(i) * in.mBytesPerPacket;
            const UInt32 size = descriptions ? descriptions[i].mDataByteSize : in.mBytesPerPacket;
            if (start < 0 || UInt64(start) + size > bytes)
                break;
            if (av_new_packet(packet.get(), int(size)) < 0)
                return kAudio_MemFullError;
            std::memcpy(packet->data, base + start, size);
            const int sent = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            if (sent < 0 && sent != AVERROR_INVALIDDATA)
                return codecs::statusFromAVError(sent);
            takeDecodedFrames();
        }
        return status;
    }

    // Linear PCM input.
    const bool nonInterleaved = in.mFormatFlags & kAudioFormatFlagIsNonInterleaved;
    const UInt32 buffers = nonInterleaved ? in.mChannelsPerFrame : 1;
    UInt32 count = UInt32(std::clamp<size_t>(wanted, 1, 4096));
    StackAudioBufferList<64> list;
    list.mNumberBuffers = buffers;
    for (UInt32 b = 0; b < buffers; ++b) {
        list.mBuffers[b].mNumberChannels = nonInterleaved ? 1 : in.mChannelsPerFrame;
        list.mBuffers[b].mDataByteSize = count * in.mBytesPerFrame;
        list.mBuffers[b].mData = nullptr;
    }
    const OSStatus status = proc(self, &count, list.list(), nullptr, userData);
    if (count == 0) {
        if (status == noErr)
            endInput();
        return status;
    }
    for (UInt32 b = 0; b < buffers; ++b) {
        if (!list.mBuffers[b].mData)
            return kAudio_ParamError;
        count = std::min(count, list.mBuffers[b].mDataByteSize / in.mBytesPerFrame);
    }
    decoded.resize(in.mChannelsPerFrame);
    std::vector<float*> pointers(in.mChannelsPerFrame);
    for (UInt32 c = 0; c < in.mChannelsPerFrame; ++c) {
        decoded[c].resize(count);
        pointers[c] = decoded[c].data();
    }
    codecs::unpackPCM(in, list.list(), 0, count, pointers.data(), in.mChannelsPerFrame, 0);
    append(pointers.data(), in.mChannelsPerFrame, count);
    return status;
}

OSStatus AudioConverter::fillComplexBuffer(AudioConverterComplexInputDataProc inputProc, void* userData,
                                           UInt32* ioOutputDataPacketSize, AudioBufferList* outOutputData,
                                           AudioStreamPacketDescription* outPacketDescription)
{
    State& s = *d;
    if (!ioOutputDataPacketSize || !outOutputData || outOutputData->mNumberBuffers == 0 ||
        !outOutputData->mBuffers[0].mData)
        return kAudio_ParamError;
    const UInt32 wanted = *ioOutputDataPacketSize;
    *ioOutputDataPacketSize = 0;

    if (s.kind != Kind::Encode) {
        const bool nonInterleaved = s.out.mFormatFlags & kAudioFormatFlagIsNonInterleaved;
        const UInt32 buffers = nonInterleaved ? s.out.mChannelsPerFrame : 1;
        if (outOutputData->mNumberBuffers < buffers)
            return kAudio_ParamError;
        UInt32 capacity = wanted;
        for (UInt32 b = 0; b < buffers; ++b)
            capacity = std::min(capacity, outOutputData->mBuffers[b].mDataByteSize / s.out.mBytesPerFrame);
        OSStatus status = noErr;
        // A decoder holds back the frames it drops at the end until the input has ended.
        auto deliverable = [&] {
            const size_t held = (s.kind == Kind::Decode && !s.inputEnded) ? s.decoderPrime.trailingFrames : 0;
            return s.ready.size() > held ? s.ready.size() - held : 0;
        };
        while (deliverable() < capacity && !s.inputEnded && status == noErr)
            status = s.pullInput(inputProc, userData, this, capacity - deliverable());
        const UInt32 count = UInt32(std::min<size_t>(capacity, deliverable()));
        std::vector<const float*> source = s.ready.front();
        codecs::packPCM(s.out, source.data(), s.ready.channels(), 0, count, outOutputData, 0);
        s.ready.consume(count);
        for (UInt32 b = 0; b < buffers; ++b)
            outOutputData->mBuffers[b].mDataByteSize = count * s.out.mBytesPerFrame;
        *ioOutputDataPacketSize = count;
        return status;
    }

    const bool variable = s.out.mBytesPerPacket == 0;
    if (variable && !outPacketDescription)
        return kAudio_ParamError;
    const UInt32 capacity = outOutputData->mBuffers[0].mDataByteSize;
    UInt8* target = static_cast<UInt8*>(outOutputData->mBuffers[0].mData);
    UInt32 given = 0;
    UInt32 offset = 0;
    OSStatus status = noErr;
    while (given < wanted) {
        if (s.packets.empty()) {
            if (s.flushed)
                break;
            const size_t frameSize = s.framesPerEncoderFrame();
            if (s.ready.size() >= frameSize || s.inputEnded)
                status = s.encodeReady(s.inputEnded);
            else
                status = s.pullInput(inputProc, userData, this, frameSize - s.ready.size());
            if (status != noErr)
                break;
            continue;
        }
        const EncodedPacket& p = s.packets.front();
        if (offset + p.data.size() > capacity) {
            if (given == 0)
                status = kAudioConverterErr_InvalidOutputSize;
            break;
        }
        std::memcpy(target + offset, p.data.data(), p.data.size());
        if (outPacketDescription) {
            AudioStreamPacketDescription& description = outPacketDescription[given];
            description.mStartOffset = offset;
            description.mDataByteSize = UInt32(p.data.size());
            description.mVariableFramesInPacket = p.frames != s.out.mFramesPerPacket ? p.frames : 0;
        }
        offset += UInt32(p.data.size());
        ++given;
        s.packets.pop_front();
    }
    outOutputData->mBuffers[0].mDataByteSize = offset;
    *ioOutputDataPacketSize = given;
    return status;
}

UInt32 AudioConverter::State::maximumOutputPacketSize() const
{
    const UInt32 channels = out.mChannelsPerFrame;
    switch (out.mFormatID) {
    case kAudioFormatMPEG4AAC:
        return 768 * channels; // 6144 bits per channel and frame
    case kAudioFormatAppleLossless:
        return out.mFramesPerPacket * channels * (encoderBits == 24 ? 3 : 2) + 64;
    case kAudioFormatMPEGLayer3:
        return 2881; // a 160 kbit/s frame at 8 kHz, the largest there is
    default:
        return out.mBytesPerPacket;
    }
}

UInt32 AudioConverter::State::maximumInputPacketSize() const
{
    if (in.mBytesPerPacket)
        return in.mBytesPerPacket;
    const UInt32 channels = in.mChannelsPerFrame;
    switch (in.mFormatID) {
    case kAudioFormatMPEG4AAC:
        return 768 * channels;
    case kAudioFormatAppleLossless:
        return in.mFramesPerPacket * channels * 4 + 64;
    default:
        return 2881;
    }
}

OSStatus AudioConverter::getPropertyInfo(AudioConverterPropertyID property, UInt32* size, bool* writable)
{
    const State& s = *d;
    bool canWrite = false;
    UInt32 bytes = 0;
    std::vector<AudioValueRange> ranges;
    switch (property) {
    case kAudioConverterCurrentInputStreamDescription:
    case kAudioConverterCurrentOutputStreamDescription:
        bytes = sizeof(AudioStreamBasicDescription);
        break;
    case kAudioConverterEncodeBitRate:
        if (s.kind != Kind::Encode || (s.out.mFormatID != kAudioFormatMPEG4AAC && s.out.mFormatID != kAudioFormatMPEGLayer3))
            return kAudioConverterErr_PropertyNotSupported;
        bytes = sizeof(UInt32);
        canWrite = true;
        break;
    case kAudioConverterCodecQuality:
        if (s.kind != Kind::Encode || s.out.mFormatID == kAudioFormatAppleIMA4)
            return kAudioConverterErr_PropertyNotSupported;
        bytes = sizeof(UInt32);
        canWrite = true;
        break;
    case kAudioConverterSampleRateConverterQuality:
        bytes = sizeof(UInt32);
        canWrite = true;
        break;
    case kAudioConverterPrimeInfo:
        bytes = sizeof(AudioConverterPrimeInfo);
        canWrite = s.kind == Kind::Decode;
        break;
    case kAudioConverterPropertyMinimumInputBufferSize:
    case kAudioConverterPropertyMinimumOutputBufferSize:
    case kAudioConverterPropertyMaximumInputPacketSize:
    case kAudioConverterPropertyMaximumOutputPacketSize:
        bytes = sizeof(UInt32);
        break;
    case kAudioConverterCompressionMagicCookie:
        if (s.kind != Kind::Encode || !s.encoder || s.encoder->extradata_size <= 0)
            return kAudioConverterErr_PropertyNotSupported;
        bytes = UInt32(s.encoder->extradata_size);
        break;
    case kAudioConverterDecompressionMagicCookie:
        if (s.kind != Kind::Decode)
            return kAudioConverterErr_PropertyNotSupported;
        bytes = UInt32(s.cookie.size());
        canWrite = true;
        break;
    case kAudioConverterChannelMap:
        bytes = UInt32(s.channelMap.size() * sizeof(SInt32));
        canWrite = true;
        break;
    case kAudioConverterApplicableEncodeSampleRates:
        if (s.kind != Kind::Encode || AudioFormatCatalog::availableEncodeSampleRates(s.out.mFormatID, &ranges) != noErr)
            return kAudioConverterErr_PropertyNotSupported;
        bytes = UInt32(ranges.size() * sizeof(AudioValueRange));
        break;
    case kAudioConverterAvailableEncodeBitRates:
        if (s.kind != Kind::Encode || AudioFormatCatalog::availableEncodeBitRates(s.out.mFormatID, &ranges) != noErr)
            return kAudioConverterErr_PropertyNotSupported;
        bytes = UInt32(ranges.size() * sizeof(AudioValueRange));
        break;
    case kAudioConverterApplicableEncodeBitRates:
        if (s.kind != Kind::Encode ||
            AudioFormatCatalog::applicableEncodeBitRates(s.out.mFormatID, s.out.mSampleRate, s.out.mChannelsPerFrame,
                                                         &ranges) != noErr)
            return kAudioConverterErr_PropertyNotSupported;
        bytes = UInt32(ranges.size() * sizeof(AudioValueRange));
        break;
    default:
        return kAudioConverterErr_PropertyNotSupported;
    }
    if (size)
        *size = bytes;
    if (writable)
        *writable = canWrite;
    return noErr;
}

OSStatus AudioConverter::getProperty(AudioConverterPropertyID property, UInt32* ioSize, void* data)
{
    State& s = *d;
    UInt32 size = 0;
    OSStatus status = getPropertyInfo(property, &size, nullptr);
    if (status != noErr)
        return status;
    if (!ioSize || *ioSize < size || (!data && size > 0))
        return kAudioConverterErr_BadPropertySizeError;
    auto put = [&](const void* value, UInt32 bytes) {
        if (bytes)
            std::memcpy(data, value, bytes);
        *ioSize = bytes;
        return noErr;
    };
    auto putValue = [&](UInt32 value) { return put(&value, sizeof(value)); };
    std::vector<AudioValueRange> ranges;
    switch (property) {
    case kAudioConverterCurrentInputStreamDescription:
        return put(&s.in, size);
    case kAudioConverterCurrentOutputStreamDescription:
        return put(&s.out, size);
    case kAudioConverterEncodeBitRate:
        return putValue(s.bitRate);
    case kAudioConverterCodecQuality:
        return putValue(s.quality);
    case kAudioConverterSampleRateConverterQuality:
        return putValue(s.rateConverterQuality);
    case kAudioConverterPrimeInfo: {
        AudioConverterPrimeInfo info = s.decoderPrime;
        if (s.kind == Kind::Encode) {
            info.leadingFrames = s.encoder ? UInt32(std::max(0, s.encoder->initial_padding)) : 0;
            const SInt64 trailing = s.framesOutOfEncoder - info.leadingFrames - s.framesIntoEncoder;
            info.trailingFrames = s.flushed ? UInt32(std::max<SInt64>(0, trailing)) : 0;
        } else if (s.kind == Kind::PCM) {
            info = AudioConverterPrimeInfo{};
        }
        return put(&info, size);
    }
    case kAudioConverterPropertyMinimumInputBufferSize:
        return putValue(isPCM(s.in) ? s.in.mBytesPerFrame : s.maximumInputPacketSize());
    case kAudioConverterPropertyMinimumOutputBufferSize:
        return putValue(isPCM(s.out) ? s.out.mBytesPerFrame : s.maximumOutputPacketSize());
    case kAudioConverterPropertyMaximumInputPacketSize:
        return putValue(s.maximumInputPacketSize());
    case kAudioConverterPropertyMaximumOutputPacketSize:
        return putValue(isPCM(s.out) ? s.out.mBytesPerPacket : s.maximumOutputPacketSize());
    case kAudioConverterCompressionMagicCookie:
        return put(s.encoder->extradata, size);
    case kAudioConverterDecompressionMagicCookie:
        return put(s.cookie.data(), size);
    case kAudioConverterChannelMap:
        return put(s.channelMap.data(), size);
    case kAudioConverterApplicableEncodeSampleRates:
        AudioFormatCatalog::availableEncodeSampleRates(s.out.mFormatID, &ranges);
        return put(ranges.data(), size);
    case kAudioConverterAvailableEncodeBitRates:
        AudioFormatCatalog::availableEncodeBitRates(s.out.mFormatID, &ranges);
        return put(ranges.data(), size);
    case kAudioConverterApplicableEncodeBitRates:
        AudioFormatCatalog::applicableEncodeBitRates(s.out.mFormatID, s.out.mSampleRate, s.out.mChannelsPerFrame,
                                                     &ranges);
        return put(ranges.data(), size);
    default:
        return kAudioConverterErr_PropertyNotSupported;
    }
}

OSStatus AudioConverter::setProperty(AudioConverterPropertyID property, UInt32 size, const void* data)
{
    State& s = *d;
    bool writable = false;
    OSStatus status = getPropertyInfo(property, nullptr, &writable);
    if (status != noErr)
        return status;
    if (!writable)
        return kAudioConverterErr_PropertyNotSupported;
    switch (property) {
    case kAudioConverterEncodeBitRate: {
        UInt32 rate = 0;
        if ((status = readValue(size, data, &rate)) != noErr)
            return status;
        std::vector<AudioValueRange> rates;
        AudioFormatCatalog::applicableEncodeBitRates(s.out.mFormatID, s.out.mSampleRate, s.out.mChannelsPerFrame,
                                                     &rates);
        const bool offered = std::any_of(rates.begin(), rates.end(),
                                         [rate](const AudioValueRange& r) { return rate >= r.mMinimum && rate <= r.mMaximum; });
        if (!offered)
            return kAudioCodecUnsupportedFormatError;
        const UInt32 previous = s.bitRate;
        s.bitRate = rate;
        if ((status = s.openEncoder()) != noErr) {
            s.bitRate = previous;
            s.openEncoder();
        }
        s.clearBuffers();
        return status;
    }
    case kAudioConverterCodecQuality: {
        UInt32 quality = 0;
        if ((status = readValue(size, data, &quality)) != noErr)
            return status;
        s.quality = std::min<UInt32>(quality, kAudioConverterQuality_Max);
        s.clearBuffers();
        return s.openEncoder();
    }
    case kAudioConverterSampleRateConverterQuality: {
        UInt32 quality = 0;
        if ((status = readValue(size, data, &quality)) != noErr)
            return status;
        s.rateConverterQuality = std::min<UInt32>(quality, kAudioConverterQuality_Max);
        return s.openResampler();
    }
    case kAudioConverterPrimeInfo:
        if ((status = readValue(size, data, &s.decoderPrime)) != noErr)
            return status;
        s.leadingToDrop = s.decoderPrime.leadingFrames;
        return noErr;
    case kAudioConverterDecompressionMagicCookie:
        s.cookie.assign(static_cast<const UInt8*>(data), static_cast<const UInt8*>(data) + (data ? size : 0));
        s.clearBuffers();
        return s.openDecoder();
    case kAudioConverterChannelMap: {
        if (size != s.channelMap.size() * sizeof(SInt32) || !data)
            return kAudioConverterErr_BadPropertySizeError;
        std::vector<SInt32> map(s.channelMap.size());
        std::memcpy(map.data(), data, size);
        for (SInt32 entry : map) {
            if (entry >= SInt32(s.in.mChannelsPerFrame))
                return kAudio_ParamError;
        }
        s.channelMap = map;
        return noErr;
    }
    default:
        return kAudioConverterErr_PropertyNotSupported;
    }
}
