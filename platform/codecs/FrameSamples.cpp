#include "platform/codecs/FrameSamples.h"

#include "platform/codecs/SampleConversion.h"

#include <cstring>

namespace codecs {

namespace {

template <typename Sample, typename Convert>
void unpackTyped(const AVFrame* frame, int first, int count, float* const* destination, int channels,
                 size_t destinationFrame, Convert convert)
{
    const int frameChannels = frame->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame->format));
    for (int c = 0; c < channels && c < frameChannels; ++c) {
        float* out = destination[c] + destinationFrame;
        if (planar) {
            const Sample* in = reinterpret_cast<const Sample*>(frame->extended_data[c]) + first;
            for (int i = 0; i < count; ++i)
                out[i] = convert(in[i]);
        } else {
            const Sample* in = reinterpret_cast<const Sample*>(frame->extended_data[0]) + size_t(first) * frameChannels + c;
            for (int i = 0; i < count; ++i)
                out[i] = convert(in[size_t(i) * frameChannels]);
        }
    }
}

template <typename Sample, typename Convert>
void packTyped(const float* const* source, size_t sourceFrame, AVFrame* frame, Convert convert)
{
    const int channels = frame->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame->format));
    for (int c = 0; c < channels; ++c) {
        const float* in = source[c] + sourceFrame;
        if (planar) {
            Sample* out = reinterpret_cast<Sample*>(frame->extended_data[c]);
            for (int i = 0; i < frame->nb_samples; ++i)
                out[i] = convert(in[i]);
        } else {
            Sample* out = reinterpret_cast<Sample*>(frame->extended_data[0]) + c;
            for (int i = 0; i < frame->nb_samples; ++i)
                out[size_t(i) * channels] = convert(in[i]);
        }
    }
}

} // namespace

void unpackFrame(const AVFrame* frame, int first, int count, float* const* destination, int channels,
                 size_t destinationFrame)
{
    switch (av_get_packed_sample_fmt(AVSampleFormat(frame->format))) {
    case AV_SAMPLE_FMT_FLT:
        if (av_sample_fmt_is_planar(AVSampleFormat(frame->format))) {
            for (int c = 0; c < channels && c < frame->ch_layout.nb_channels; ++c)
                std::memcpy(destination[c] + destinationFrame,
                            reinterpret_cast<const float*>(frame->extended_data[c]) + first, size_t(count) * sizeof(float));
            return;
        }
        unpackTyped<float>(frame, first, count, destination, channels, destinationFrame, [](float v) { return v; });
        return;
    case AV_SAMPLE_FMT_DBL:
        unpackTyped<double>(frame, first, count, destination, channels, destinationFrame,
                            [](double v) { return float(v); });
        return;
    case AV_SAMPLE_FMT_U8:
        unpackTyped<uint8_t>(frame, first, count, destination, channels, destinationFrame,
                             [](uint8_t v) { return floatFromInt(int(v) - 128, 8); });
        return;
    case AV_SAMPLE_FMT_S16:
        unpackTyped<int16_t>(frame, first, count, destination, channels, destinationFrame,
                             [](int16_t v) { return float(v) * (1.0f / 32768.0f); });
        return;
    case AV_SAMPLE_FMT_S32:
        unpackTyped<int32_t>(frame, first, count, destination, channels, destinationFrame,
                             [](int32_t v) { return floatFromInt(v, 32); });
        return;
    case AV_SAMPLE_FMT_S64:
        unpackTyped<int64_t>(frame, first, count, destination, channels, destinationFrame,
                             [](int64_t v) { return float(double(v) / 9223372036854775808.0); });
        return;
    default:
        for (int c = 0; c < channels; ++c)
            std::memset(destination[c] + destinationFrame, 0, size_t(count) * sizeof(float));
        return;
    }
}

void packFrame(const float* const* source, size_t sourceFrame, AVFrame* frame, int bitsPerSample)
{
    switch (av_get_packed_sample_fmt(AVSampleFormat(frame->format))) {
    case AV_SAMPLE_FMT_FLT:
        packTyped<float>(source, sourceFrame, frame, [](float v) { return v; });
        return;
    case AV_SAMPLE_FMT_S16:
        packTyped<int16_t>(source, sourceFrame, frame, [](float v) { return int16_t(intFromFloat(v, 16)); });
        return;
    case AV_SAMPLE_FMT_S32: {
        const int bits = (bitsPerSample > 0 && bitsPerSample < 32) ? bitsPerSample : 32;
        const int shift = 32 - bits;
        packTyped<int32_t>(source, sourceFrame, frame, [bits, shift](float v) {
            return int32_t(uint32_t(intFromFloat(v, UInt32(bits))) << shift);
        });
        return;
    }
    default:
        return;
    }
}

} // namespace codecs
