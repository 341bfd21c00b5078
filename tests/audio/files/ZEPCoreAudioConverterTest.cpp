#include "audio/files/ZEPCoreAudioConverter.h"

#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Expected {
    UInt32 fileType;
    AudioFormatID format;
    AudioFormatFlags flags;
    UInt32 bytesPerPacket, framesPerPacket, bytesPerFrame, bits;
};

class PreservedBits : public ::testing::Test {
protected:
    void TearDown() override
    {
        UserDefaults::standardUserDefaults().removeObjectForKey("LosslessPreservedBits");
        UserDefaults::standardUserDefaults().removeObjectForKey("AppleLosslessPreservedBits");
    }
};

// Mono float in, stereo 16-bit out.
AudioStreamBasicDescription monoFloat()
{
    AudioStreamBasicDescription d = ZEPAudioConverter::defaultInputDescription();
    d.mChannelsPerFrame = 1;
    return d;
}

class Ramp : public ZEPAudioConverterDataSource {
public:
    std::vector<float> samples;
    size_t position = 0;
    OSStatus converter(ZEPAudioConverter*, UInt32* packets, AudioBufferList* list, AudioStreamPacketDescription**) override
    {
        const UInt32 count = UInt32(std::min<size_t>(*packets, samples.size() - position));
        list->mBuffers[0].mData = samples.data() + position;
        list->mBuffers[0].mDataByteSize = count * 4;
        position += count;
        *packets = count;
        return noErr;
    }
};

} // namespace

TEST(ZEPCoreAudioConverter, defaultOutputDescriptionsByFileType)
{
    const Expected table[] = {
        {kAudioFileWAVEType, kAudioFormatLinearPCM, 12, 4, 1, 4, 16},
        {kAudioFileAIFFType, kAudioFormatLinearPCM, 14, 8, 1, 8, 32},
        {kAudioFileNextType, kAudioFormatLinearPCM, 14, 8, 1, 8, 32},
        {kAudioFileSoundDesigner2Type, kAudioFormatLinearPCM, 14, 8, 1, 8, 32},
        {kAudioFileAIFCType, kAudioFormatAppleIMA4, 0, 68, 64, 0, 0},
        {kAudioFileM4AType, kAudioFormatMPEG4AAC, 0, 0, 1024, 0, 0},
        {kAudioFileMPEG4Type, kAudioFormatMPEG4AAC, 0, 0, 1024, 0, 0},
        {kAudioFileAAC_ADTSType, kAudioFormatMPEG4AAC, 0, 0, 1024, 0, 0},
        {kAudioFileQuickTimeMovieType, kAudioFormatMPEG4AAC, 0, 0, 1024, 0, 0},
        {kAudioFileCAFType, kAudioFormatAppleLossless, 1, 0, 4096, 0, 0},
        {kAudioFileMP3Type, kAudioFormatMPEGLayer3, 0, 0, 1152, 0, 0},
    };
    for (const Expected& e : table) {
        AudioStreamBasicDescription d;
        ASSERT_EQ(ZEPCoreAudioConverter::defaultOutputDescription(&d, e.fileType), noErr) << e.fileType;
        EXPECT_EQ(d.mSampleRate, 44100.0) << e.fileType;
        EXPECT_EQ(d.mChannelsPerFrame, 2u) << e.fileType;
        EXPECT_EQ(d.mFormatID, e.format) << e.fileType;
        EXPECT_EQ(d.mFormatFlags, e.flags) << e.fileType;
        EXPECT_EQ(d.mBytesPerPacket, e.bytesPerPacket) << e.fileType;
        EXPECT_EQ(d.mFramesPerPacket, e.framesPerPacket) << e.fileType;
        EXPECT_EQ(d.mBytesPerFrame, e.bytesPerFrame) << e.fileType;
        EXPECT_EQ(d.mBitsPerChannel, e.bits) << e.fileType;
        EXPECT_EQ(d.mReserved, 0u);
    }
    AudioStreamBasicDescription d;
    EXPECT_EQ(ZEPCoreAudioConverter::defaultOutputDescription(&d, FourCC("none")), kAudioFileUnsupportedFileTypeError);
    EXPECT_EQ(d.mFormatID, kAudioFormatLinearPCM); // left at the starting description
}

// The default CAF description keeps the source bits the "LosslessPreservedBits" default
// names; a converter made for Apple Lossless reads "AppleLosslessPreservedBits" instead.
TEST_F(PreservedBits, followTheirDefaults)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const struct {
        QVariant value;
        AudioFormatFlags flags;
    } table[] = {{24, 3}, {32, 4}, {20, 2}, {16, 1}, {18, 1}, {QVariant(), 1}, {QStringLiteral("24"), 1}};
    for (const auto& row : table) {
        defaults.setObject(row.value, "LosslessPreservedBits");
        AudioStreamBasicDescription d;
        ASSERT_EQ(ZEPCoreAudioConverter::defaultOutputDescription(&d, kAudioFileCAFType), noErr);
        EXPECT_EQ(d.mFormatFlags, row.flags) << row.value.toString().toStdString();
    }
    defaults.removeObjectForKey("LosslessPreservedBits");

    // 20 and 24-bit sources are both kept in 24 bits by this encoder.
    const struct {
        QVariant value;
        AudioFormatFlags flags;
    } converterTable[] = {{24, 3}, {QStringLiteral("24"), 3}, {20, 3}, {QVariant(), 1}, {QStringLiteral("x"), 1}};
    for (const auto& row : converterTable) {
        defaults.setObject(row.value, "AppleLosslessPreservedBits");
        std::unique_ptr<ZEPCoreAudioConverter> converter = ZEPCoreAudioConverter::initWithFileType(kAudioFileCAFType);
        ASSERT_TRUE(converter);
        AudioStreamBasicDescription output;
        ASSERT_EQ(converter->getOutputDescription(&output), noErr);
        EXPECT_EQ(output.mFormatFlags, row.flags) << row.value.toString().toStdString();
    }
}

TEST(ZEPCoreAudioConverter, audiobooksEncodeAsMPEG4Audio)
{
    std::unique_ptr<ZEPCoreAudioConverter> converter = ZEPCoreAudioConverter::initWithFileType(kAudioFileM4BType);
    ASSERT_TRUE(converter);
    EXPECT_EQ(converter->fileType(), kAudioFileM4AType);
    EXPECT_EQ(converter->outputDescription()->mFormatID, kAudioFormatMPEG4AAC);
}

// A bit rate the codec does not offer, or none, becomes the highest it offers.
TEST(ZEPCoreAudioConverter, snapsBitRatesToTheHighestOffered)
{
    std::unique_ptr<ZEPCoreAudioConverter> converter = ZEPCoreAudioConverter::initWithFileType(kAudioFileM4AType);
    ASSERT_TRUE(converter);
    const QVariantList applicable = *converter->applicableBitRates();
    ASSERT_FALSE(applicable.isEmpty());
    const UInt32 highest = UInt32(applicable.last().toLongLong());
    EXPECT_EQ(highest, 320000u);
    for (UInt32 asked : {UInt32(128000), UInt32(123456), UInt32(0)}) {
        converter->setBitRate(asked);
        UInt32 bitRate = 0;
        ASSERT_EQ(converter->getBitRate(&bitRate), noErr);
        EXPECT_EQ(bitRate, asked == 128000 ? 128000u : highest) << asked;
    }
}

// A description the platform refuses leaves the old one working, and the setter answers 0.
TEST(ZEPCoreAudioConverter, keepsThePreviousOutputWhenANewOneIsRefused)
{
    std::unique_ptr<ZEPCoreAudioConverter> converter = ZEPCoreAudioConverter::initWithFileType(kAudioFileM4AType);
    ASSERT_TRUE(converter);
    AudioStreamBasicDescription refused = *converter->outputDescription();
    refused.mSampleRate = 12345;
    EXPECT_EQ(converter->setOutputDescription(&refused), noErr);
    EXPECT_EQ(converter->outputDescription()->mSampleRate, 44100.0);
    AudioStreamBasicDescription output;
    ASSERT_EQ(converter->getOutputDescription(&output), noErr);
    EXPECT_EQ(output.mSampleRate, 44100.0);

    AudioStreamBasicDescription taken = output;
    taken.mSampleRate = 48000;
    EXPECT_EQ(converter->setOutputDescription(&taken), noErr);
    EXPECT_EQ(converter->outputDescription()->mSampleRate, 48000.0);
}

TEST(ZEPCoreAudioConverter, sampleRateListsFromRanges)
{
    auto rates = [](std::vector<AudioValueRange> ranges) {
        std::vector<double> list;
        for (const QVariant& rate : ZEPCoreAudioConverter::sampleRatesFromRanges(ranges))
            list.push_back(rate.toDouble());
        return list;
    };
    EXPECT_EQ(rates({{8000, 48000}}), (std::vector<double>{8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000}));
    EXPECT_EQ(rates({{0, 0}}).size(), 12u);
    EXPECT_EQ(rates({{7000, 10000}}), (std::vector<double>{8000, 7000, 10000}));
    EXPECT_EQ(rates({{48000, 48000}, {22050, 22050}, {48000, 48000}}), (std::vector<double>{22050, 48000}));
}

// A mono input puts its one channel into every output channel.
TEST(ZEPCoreAudioConverter, monoInputFeedsEveryOutputChannel)
{
    AudioStreamBasicDescription output;
    ASSERT_EQ(ZEPCoreAudioConverter::defaultOutputDescription(&output, kAudioFileWAVEType), noErr);
    std::unique_ptr<ZEPCoreAudioConverter> converter =
        ZEPCoreAudioConverter::initWithInputDescription(monoFloat(), output, 0, 0);
    ASSERT_TRUE(converter);
    Ramp source;
    for (int i = 0; i < 1000; ++i)
        source.samples.push_back(float(i - 500) / 1024.0f);
    converter->setDataSource(&source);
    std::vector<SInt16> interleaved(2000);
    StackAudioBufferList<1> list;
    list.mBuffers[0] = {2, UInt32(interleaved.size() * 2), interleaved.data()};
    UInt32 packets = 1000;
    ASSERT_EQ(converter->fillComplexBuffer(list.list(), nullptr, &packets), noErr);
    ASSERT_EQ(packets, 1000u);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(interleaved[2 * i], interleaved[2 * i + 1]) << i;
        ASSERT_EQ(interleaved[2 * i], SInt16((i - 500) * 32)) << i;
    }
}

// The inverse converter decodes what the encoder made.
TEST(ZEPCoreAudioConverter, inverseConverterDecodesTheEncoderOutput)
{
    std::unique_ptr<ZEPCoreAudioConverter> encoder = ZEPCoreAudioConverter::initWithFileType(kAudioFileCAFType);
    ASSERT_TRUE(encoder);
    Ramp mono;
    for (int i = 0; i < 20000; ++i)
        mono.samples.push_back(std::round(8000.0f * std::sin(float(i) * 0.05f)) / 32768.0f);
    std::vector<float> right = mono.samples;
    struct Stereo : ZEPAudioConverterDataSource {
        Ramp* left;
        std::vector<float>* right;
        OSStatus converter(ZEPAudioConverter* c, UInt32* packets, AudioBufferList* list,
                           AudioStreamPacketDescription** d) override
        {
            const size_t at = left->position;
            const OSStatus status = left->converter(c, packets, list, d);
            list->mBuffers[1].mData = right->data() + at;
            list->mBuffers[1].mDataByteSize = *packets * 4;
            return status;
        }
    } stereo;
    stereo.left = &mono;
    stereo.right = &right;
    ASSERT_EQ(encoder->getReadyToEncode(), noErr);
    encoder->setDataSource(&stereo);
    std::vector<UInt8> encoded(1 << 20);
    std::vector<AudioStreamPacketDescription> descriptions(64);
    StackAudioBufferList<1> list;
    list.mBuffers[0] = {2, UInt32(encoded.size()), encoded.data()};
    UInt32 packets = 64;
    ASSERT_EQ(encoder->fillComplexBuffer(list.list(), descriptions.data(), &packets), noErr);
    ASSERT_EQ(packets, 5u); // four whole packets of 4096 frames and a short one

    std::unique_ptr<ZEPAudioConverter> decoder = encoder->inverseConverter();
    ASSERT_TRUE(decoder);
    struct Packets : ZEPAudioConverterDataSource {
        UInt8* data;
        UInt32 bytes;
        AudioStreamPacketDescription* descriptions;
        UInt32 count;
        bool given = false;
        OSStatus converter(ZEPAudioConverter*, UInt32* packets, AudioBufferList* list,
                           AudioStreamPacketDescription** d) override
        {
            *packets = given ? 0 : count;
            list->mBuffers[0].mData = data;
            list->mBuffers[0].mDataByteSize = bytes;
            *d = descriptions;
            given = true;
            return noErr;
        }
    } input;
    input.data = encoded.data();
    input.bytes = list.mBuffers[0].mDataByteSize;
    input.descriptions = descriptions.data();
    input.count = packets;
    decoder->setDataSource(&input);
    std::vector<float> left(30000), back(30000);
    StackAudioBufferList<2> output;
    output.mBuffers[0] = {1, UInt32(left.size() * 4), left.data()};
    output.mBuffers[1] = {1, UInt32(back.size() * 4), back.data()};
    UInt32 frames = 30000;
    ASSERT_EQ(decoder->fillComplexBuffer(output.list(), nullptr, &frames), noErr);
    ASSERT_EQ(frames, 20000u);
    left.resize(frames);
    EXPECT_EQ(left, mono.samples);
}
