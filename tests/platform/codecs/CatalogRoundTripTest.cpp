#include "platform/codecs/AudioConverter.h"
#include "platform/codecs/AudioFileReader.h"
#include "platform/codecs/AudioFormatCatalog.h"
#include "platform/codecs/AudioPacketWriter.h"

#include "platform/codecs/AudioFixtures.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <ostream>

using namespace clipdeck::test;

namespace {

constexpr size_t kFrames = 44137;

struct Source {
    const StereoAudio* audio;
    size_t position = 0;
};

OSStatus provide(AudioConverter*, UInt32* packets, AudioBufferList* data, AudioStreamPacketDescription**, void* user)
{
    auto* source = static_cast<Source*>(user);
    const UInt32 count = UInt32(std::min<size_t>(*packets, source->audio->frames() - source->position));
    data->mBuffers[0].mData = const_cast<float*>(source->audio->left.data() + source->position);
    data->mBuffers[1].mData = const_cast<float*>(source->audio->right.data() + source->position);
    data->mBuffers[0].mDataByteSize = data->mBuffers[1].mDataByteSize = count * 4;
    source->position += count;
    *packets = count;
    return noErr;
}

AudioStreamBasicDescription floatInput()
{
    AudioStreamBasicDescription d;
    d.mSampleRate = 44100;
    d.mFormatID = kAudioFormatLinearPCM;
    d.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    d.mBytesPerPacket = d.mBytesPerFrame = 4;
    d.mFramesPerPacket = 1;
    d.mChannelsPerFrame = 2;
    d.mBitsPerChannel = 32;
    return d;
}

// Encodes the audio into a new file of the type and format, as the conversion thread does:
// fill, write, priming information, close.
OSStatus encode(const StereoAudio& audio, const QString& path, AudioFileTypeID type,
                AudioStreamBasicDescription format)
{
    format.mSampleRate = 44100;
    format.mChannelsPerFrame = 2;
    if (AudioFormatCatalog::completeDescription(&format) != noErr)
        return -1;
    std::unique_ptr<AudioConverter> converter;
    OSStatus status = AudioConverter::create(floatInput(), format, &converter);
    if (status != noErr)
        return status;
    UInt32 size = sizeof(format);
    converter->getProperty(kAudioConverterCurrentOutputStreamDescription, &size, &format);
    std::unique_ptr<AudioPacketWriter> writer;
    if ((status = AudioPacketWriter::create(path, type, format, true, &writer)) != noErr)
        return status;
    UInt32 cookieSize = 0;
    if (converter->getPropertyInfo(kAudioConverterCompressionMagicCookie, &cookieSize, nullptr) == noErr) {
        std::vector<UInt8> cookie(cookieSize);
        converter->getProperty(kAudioConverterCompressionMagicCookie, &cookieSize, cookie.data());
        writer->setMagicCookie(cookie.data(), cookieSize);
    }
    std::vector<UInt8> buffer(65536);
    std::vector<AudioStreamPacketDescription> descriptions(4096);
    Source source{&audio};
    for (;;) {
        StackAudioBufferList<1> list;
        list.mBuffers[0] = {2, UInt32(buffer.size()), buffer.data()};
        UInt32 packets = UInt32(descriptions.size());
        if ((status = converter->fillComplexBuffer(provide, &source, &packets, list.list(), descriptions.data())))
            return status;
        if (packets == 0)
            break;
        const bool variable = format.mBytesPerPacket == 0;
        if ((status = writer->writePackets(list.mBuffers[0].mDataByteSize, variable ? descriptions.data() : nullptr,
                                           writer->packetCount(), &packets, buffer.data())))
            return status;
    }
    AudioConverterPrimeInfo prime;
    size = sizeof(prime);
    converter->getProperty(kAudioConverterPrimeInfo, &size, &prime);
    AudioFilePacketTableInfo table;
    writer->getPacketTableInfo(&table);
    const SInt64 total = table.mNumberValidFrames + table.mPrimingFrames + table.mRemainderFrames;
    table = {total - prime.leadingFrames - prime.trailingFrames, SInt32(prime.leadingFrames), SInt32(prime.trailingFrames)};
    writer->setPacketTableInfo(table); // types without a place for it keep what they have
    return writer->close();
}

struct Entry {
    AudioFileTypeID type;
    AudioStreamBasicDescription format;
    std::string name;
};

void PrintTo(const Entry& entry, std::ostream* out) { *out << entry.name; }

// A four-character code as letters and digits, for test names.
std::string codeText(UInt32 code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((code >> shift) & 0xFF);
        text += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return text;
}

std::vector<Entry> catalogueEntries()
{
    std::vector<AudioFileTypeID> types = AudioFormatCatalog::writableFileTypes();
    for (AudioFileTypeID extra : {kAudioFileMP3Type, kAudioFileQuickTimeMovieType}) {
        if (AudioFormatCatalog::canWriteFileType(extra))
            types.push_back(extra);
    }
    std::vector<Entry> entries;
    for (AudioFileTypeID type : types) {
        std::vector<AudioFormatID> formats;
        AudioFormatCatalog::formatIDsForFileType(type, &formats);
        for (AudioFormatID format : formats) {
            const auto& encodable = AudioFormatCatalog::encodeFormatIDs();
            if (std::find(encodable.begin(), encodable.end(), format) == encodable.end())
                continue;
            std::vector<AudioStreamBasicDescription> descriptions;
            AudioFormatCatalog::availableStreamDescriptions(type, format, &descriptions);
            for (const AudioStreamBasicDescription& d : descriptions) {
                const std::string name = codeText(type) + "_" + codeText(format) + "_flags" +
                                         std::to_string(d.mFormatFlags) + "_bits" + std::to_string(d.mBitsPerChannel);
                entries.push_back({type, d, name});
            }
        }
    }
    return entries;
}

class CatalogueEntry : public ::testing::TestWithParam<Entry> {};

} // namespace

// Everything the catalogue lists can be written, is read back at its length, and sounds
// as it went in: linear PCM and Apple Lossless to the bit (8-bit to its step), the lossy
// formats closely.
TEST_P(CatalogueEntry, writesAndReadsBack)
{
    const Entry& entry = GetParam();
    TempFolder folder;
    QStringList extensions;
    AudioFormatCatalog::extensionsForFileType(entry.type, &extensions);
    const QString path = folder.file("sound." + extensions.value(0));
    const StereoAudio audio = sixteenBitTones(kFrames);
    ASSERT_EQ(encode(audio, path, entry.type, entry.format), noErr);

    std::unique_ptr<AudioFileReader> reader;
    ASSERT_EQ(AudioFileReader::open(path, &reader), noErr);
    EXPECT_EQ(reader->dataFormat().mFormatID, entry.format.mFormatID);
    const StereoAudio back = readToEnd(*reader);
    const bool ima = entry.format.mFormatID == kAudioFormatAppleIMA4;
    if (ima && entry.type != kAudioFileQuickTimeMovieType) // nowhere to keep the padding of the last block
        EXPECT_EQ(back.frames(), (kFrames + 63) / 64 * 64);
    else
        ASSERT_EQ(back.frames(), kFrames);

    const AudioFormatID id = entry.format.mFormatID;
    if (id == kAudioFormatLinearPCM && entry.format.mBitsPerChannel == 8) {
        for (size_t i = 0; i < kFrames; ++i)
            ASSERT_NEAR(back.left[i], audio.left[i], 1.0 / 128) << i;
    } else if (id == kAudioFormatLinearPCM || id == kAudioFormatAppleLossless) {
        EXPECT_EQ(back.left, audio.left);
        EXPECT_EQ(back.right, audio.right);
    } else {
        EXPECT_GT(correlation(back.left, audio.left), 0.99);
        EXPECT_GT(correlation(back.right, audio.right), 0.99);
    }
    const ProbedStream probed = probeAudio(path);
    EXPECT_EQ(probed.sampleRate, 44100);
    EXPECT_EQ(probed.channels, 2);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CatalogueEntry, ::testing::ValuesIn(catalogueEntries()),
                         [](const ::testing::TestParamInfo<Entry>& info) { return info.param.name; });
