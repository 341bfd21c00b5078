// The preview converter: the edit model's audio encoded with export settings and decoded
// again, mono settings mixed down first, "nothing yet" passed through, the end of the input
// reaching the caller.
#include "audio/files/ZEPPreviewConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr long long kFrames = 44100;

// A stereo signal served the way the edit model serves it: the buffers are pointed at the
// source's own memory. It can be told to have nothing yet for a while.
class StereoSource : public ZEPAudioConverterDataSource {
public:
    StereoSource(std::function<float(long long)> leftSignal, std::function<float(long long)> rightSignal)
    {
        for (long long k = 0; k < kFrames; ++k) {
            left.push_back(leftSignal(k));
            right.push_back(rightSignal(k));
        }
    }
    OSStatus converter(ZEPAudioConverter* converter, UInt32* packets, AudioBufferList* list,
                       AudioStreamPacketDescription**) override
    {
        askedBy = converter;
        if (dryPulls > 0) {
            --dryPulls;
            *packets = 0;
            return kZEPAudioSourceNoDataYet;
        }
        const UInt32 count = UInt32(std::min<size_t>(*packets, left.size() - position));
        list->mBuffers[0].mData = left.data() + position;
        list->mBuffers[1].mData = right.data() + position;
        list->mBuffers[0].mDataByteSize = list->mBuffers[1].mDataByteSize = count * 4;
        position += count;
        *packets = count;
        return noErr;
    }
    std::vector<float> left, right;
    size_t position = 0;
    int dryPulls = 0;
    ZEPAudioConverter* askedBy = nullptr;
};

AudioStreamBasicDescription trackFormat()
{
    return ZEPAudioConverter::defaultInputDescription();
}

AudioStreamBasicDescription defaultDescription(UInt32 fileType, UInt32 channels)
{
    AudioStreamBasicDescription description;
    EXPECT_EQ(ZEPAudioConverter::defaultOutputDescription(&description, fileType), noErr);
    description.mChannelsPerFrame = channels;
    return description;
}

// Everything the preview renders, in slices of 512 frames, until it ends or gives up.
struct Rendered {
    std::vector<float> left, right;
    std::vector<OSStatus> statuses;
};
Rendered renderAll(ZEPPreviewConverter& preview, size_t maxSlices = 400)
{
    Rendered out;
    std::vector<float> l(512), r(512);
    for (size_t slice = 0; slice < maxSlices; ++slice) {
        StackAudioBufferList<2> list;
        list.mBuffers[0] = {1, 512 * 4, l.data()};
        list.mBuffers[1] = {1, 512 * 4, r.data()};
        UInt32 frames = 512;
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status = preview.renderFrames(&frames, list.list(), &flags, nullptr, nullptr);
        out.statuses.push_back(status);
        out.left.insert(out.left.end(), l.begin(), l.begin() + frames);
        out.right.insert(out.right.end(), r.begin(), r.begin() + frames);
        if (status == noErr && frames == 0)
            break;
    }
    return out;
}

double rms(const std::vector<float>& samples, size_t from, size_t count)
{
    double sum = 0;
    for (size_t i = from; i < from + count; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(count));
}

} // namespace

TEST(ZEPPreviewConverter, monoAACOfAStereoEditIsTheMeanOnBothChannels)
{
    // 0.6 on the left and 0.2 on the right of one sine: the mean is a sine of 0.4.
    StereoSource source([](long long k) { return float(0.6 * std::sin(2 * M_PI * 441.0 * k / 44100.0)); },
                        [](long long k) { return float(0.2 * std::sin(2 * M_PI * 441.0 * k / 44100.0)); });
    OSStatus status = -1;
    auto preview = ZEPPreviewConverter::initWithPreviewAudioDescription(defaultDescription(kAudioFileM4AType, 1),
                                                                         64000, 127, trackFormat(), &status);
    ASSERT_TRUE(preview) << status;
    EXPECT_TRUE(preview->needsMonofication());
    preview->setDataSource(&source);
    const Rendered out = renderAll(*preview);
    EXPECT_EQ(source.askedBy, preview->encoder()); // the encoder stands for the preview
    ASSERT_GT(out.left.size(), size_t(30000));
    EXPECT_EQ(out.left, out.right);
    EXPECT_NEAR(rms(out.left, 5000, 20000), 0.4 / std::sqrt(2.0), 0.02);
}

TEST(ZEPPreviewConverter, losslessStereoComesBackAsItWentIn)
{
    // Values a 16-bit lossless encoder keeps exactly.
    StereoSource source([](long long k) { return float((k % 2000) - 1000) / 32768.0f; },
                        [](long long k) { return float(1000 - (k % 1500)) / 32768.0f; });
    auto preview = ZEPPreviewConverter::initWithPreviewAudioDescription(defaultDescription(kAudioFileCAFType, 2), 0,
                                                                         127, trackFormat());
    ASSERT_TRUE(preview);
    EXPECT_FALSE(preview->needsMonofication());
    preview->setDataSource(&source);
    const Rendered out = renderAll(*preview);
    ASSERT_EQ(out.left.size(), size_t(kFrames)); // the end of the input ends the output
    EXPECT_EQ(out.left, source.left);
    EXPECT_EQ(out.right, source.right);
}

TEST(ZEPPreviewConverter, theEncodersInputPassesNothingYetThrough)
{
    StereoSource source([](long long) { return 0.25f; }, [](long long) { return -0.25f; });
    auto preview = ZEPPreviewConverter::initWithPreviewAudioDescription(defaultDescription(kAudioFileCAFType, 2), 0,
                                                                         127, trackFormat());
    ASSERT_TRUE(preview);
    preview->setDataSource(&source);
    source.dryPulls = 1;
    std::vector<float> l(256), r(256);
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, 256 * 4, l.data()};
    list.mBuffers[1] = {1, 256 * 4, r.data()};
    UInt32 frames = 256;
    EXPECT_EQ(preview->converter(preview->encoder(), &frames, list.list(), nullptr), kZEPAudioSourceNoDataYet);
    EXPECT_EQ(frames, 0u);
    frames = 256;
    EXPECT_EQ(preview->converter(preview->encoder(), &frames, list.list(), nullptr), noErr);
    EXPECT_EQ(frames, 256u);
    EXPECT_EQ(static_cast<float*>(list.mBuffers[1].mData)[255], -0.25f);
}

TEST(ZEPPreviewConverter, aFailingReadEndsTheInputInsteadOfFailing)
{
    struct Failing : ZEPAudioConverterDataSource {
        OSStatus converter(ZEPAudioConverter*, UInt32* packets, AudioBufferList*,
                           AudioStreamPacketDescription**) override
        {
            *packets = 7;
            return kAudio_ParamError;
        }
    } failing;
    auto preview = ZEPPreviewConverter::initWithPreviewAudioDescription(defaultDescription(kAudioFileM4AType, 2),
                                                                         128000, 127, trackFormat());
    ASSERT_TRUE(preview);
    preview->setDataSource(&failing);
    std::vector<float> l(256), r(256);
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, 256 * 4, l.data()};
    list.mBuffers[1] = {1, 256 * 4, r.data()};
    UInt32 frames = 256;
    EXPECT_EQ(preview->converter(preview->encoder(), &frames, list.list(), nullptr), noErr);
    EXPECT_EQ(frames, 0u);
    EXPECT_EQ(list.mBuffers[0].mDataByteSize, 0u);
}

TEST(ZEPPreviewConverter, monoMP3IsNotMixedDownHere)
{
    auto preview = ZEPPreviewConverter::initWithPreviewAudioDescription(defaultDescription(kAudioFileMP3Type, 1),
                                                                         128000, 127, trackFormat());
    if (!preview)
        GTEST_SKIP() << "no MP3 encoder here";
    EXPECT_FALSE(preview->needsMonofication());
    AudioStreamBasicDescription input;
    ASSERT_EQ(preview->encoder()->getInputDescription(&input), noErr);
    EXPECT_EQ(input.mChannelsPerFrame, 2u);
}
