#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct ListDeleter {
    void operator()(AudioBufferList* list) const { ZEPDisposeAudioBufferList(list); }
};
using ListPtr = std::unique_ptr<AudioBufferList, ListDeleter>;

Float32* channel(AudioBufferList* list, UInt32 buffer) { return static_cast<Float32*>(list->mBuffers[buffer].mData); }

} // namespace

TEST(BufferList, ShapeFollowsTheDescription)
{
    AudioStreamBasicDescription nonInterleaved, interleaved;
    ZEPCanonicalFloatASBD(&nonInterleaved, 2, true);
    ZEPCanonicalFloatASBD(&interleaved, 2, false);
    const struct {
        const char* name;
        AudioStreamBasicDescription format;
        UInt32 frames, buffers, channelsPerBuffer, bytes;
        bool hasData;
    } cases[] = {
        {"non-interleaved stereo", nonInterleaved, 512, 2, 1, 2048, true},
        {"interleaved stereo", interleaved, 512, 1, 2, 4096, true},
        {"no frames", nonInterleaved, 0, 2, 1, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ListPtr list(ZEPCreateAudioBufferListForASBD(c.format, c.frames));
        ASSERT_TRUE(list);
        ASSERT_EQ(list->mNumberBuffers, c.buffers);
        for (UInt32 i = 0; i < c.buffers; ++i) {
            EXPECT_EQ(list->mBuffers[i].mNumberChannels, c.channelsPerBuffer);
            EXPECT_EQ(list->mBuffers[i].mDataByteSize, c.bytes);
            EXPECT_EQ(list->mBuffers[i].mData != nullptr, c.hasData);
            if (c.hasData) {
                EXPECT_EQ(reinterpret_cast<uintptr_t>(list->mBuffers[i].mData) % 4096, 0u);
            }
        }
    }
}

TEST(BufferList, ChannelLookupWalksTheBuffers)
{
    ListPtr list(ZEPCreateAudioBufferList(2, 64));
    list->mBuffers[0].mNumberChannels = 2; // a stereo buffer, then a mono one
    EXPECT_EQ(ZEPAudioBufferListTotalChannels(list.get()), 3u);
    const struct {
        UInt32 channel;
        bool found;
        UInt32 buffer, place;
    } cases[] = {{0, true, 0, 0}, {1, true, 0, 1}, {2, true, 1, 0}, {3, false, 0, 0}};
    for (const auto& c : cases) {
        UInt32 buffer = 99, place = 99;
        EXPECT_EQ(ZEPAudioBufferListFindChannel(list.get(), c.channel, buffer, place), c.found) << c.channel;
        if (c.found) {
            EXPECT_EQ(buffer, c.buffer);
            EXPECT_EQ(place, c.place);
        }
    }
}

TEST(BufferList, InterleavingRoundTripsAndMixingHelpersWorkPerBuffer)
{
    constexpr UInt32 frames = 8;
    ListPtr planar(ZEPCreateAudioBufferList(2, frames * 4));
    for (UInt32 i = 0; i < frames; ++i) {
        channel(planar.get(), 0)[i] = Float32(i);
        channel(planar.get(), 1)[i] = -Float32(i);
    }
    ListPtr packed(ZEPCreateAudioBufferList(1, frames * 8));
    ZEPInterleaveAudioBufferList(planar.get(), packed.get());
    EXPECT_EQ(channel(packed.get(), 0)[6], 3.0f);
    EXPECT_EQ(channel(packed.get(), 0)[7], -3.0f);

    ListPtr back(ZEPCreateAudioBufferList(2, frames * 4));
    ZEPDeinterleaveAudioBufferList(packed.get(), back.get());
    for (UInt32 b = 0; b < 2; ++b)
        for (UInt32 i = 0; i < frames; ++i)
            EXPECT_EQ(channel(back.get(), b)[i], channel(planar.get(), b)[i]);

    ListPtr mixed(ZEPCreateAudioBufferList(2, frames * 4));
    ZEPScaleAndAddAudioBufferLists(0.5f, planar.get(), back.get(), mixed.get());
    EXPECT_EQ(channel(mixed.get(), 0)[4], 6.0f);  // 4 x 0.5 + 4
    ZEPAccumulateAudioBufferList(planar.get(), mixed.get());
    EXPECT_EQ(channel(mixed.get(), 1)[4], -10.0f); // -6 + -4
    ZEPClipAudioBufferList(-1.0f, 1.0f, mixed.get(), mixed.get());
    EXPECT_EQ(channel(mixed.get(), 0)[4], 1.0f);
    EXPECT_EQ(channel(mixed.get(), 1)[4], -1.0f);

    EXPECT_TRUE(ZEPAudioBufferListHasNonSilence(mixed.get()));
    ZEPZeroAudioBufferList(mixed.get());
    EXPECT_FALSE(ZEPAudioBufferListHasNonSilence(mixed.get()));
}

TEST(BufferList, DeinterleavesByWidthAndCopiesChannels)
{
    ListPtr source(ZEPCreateAudioBufferList(1, 8));
    auto* words = static_cast<UInt16*>(source->mBuffers[0].mData);
    for (UInt16 k = 0; k < 4; ++k)
        words[k] = UInt16(100 + k);
    ListPtr destination(ZEPCreateAudioBufferList(2, 4));
    ZEPDeinterleaveAudioBufferListWithWidth(source.get(), destination.get(), 16);
    const auto* left = static_cast<UInt16*>(destination->mBuffers[0].mData);
    const auto* right = static_cast<UInt16*>(destination->mBuffers[1].mData);
    EXPECT_EQ(left[0], 100);
    EXPECT_EQ(right[0], 101);
    EXPECT_EQ(left[1], 102);
    EXPECT_EQ(right[1], 103);
    ZEPDeinterleaveAudioBufferListWithWidth(source.get(), destination.get(), 12); // unknown width: nothing
    EXPECT_EQ(left[0], 100);

    // Channel 1 of an interleaved stereo list into the second mono buffer.
    ListPtr stereo(ZEPCreateAudioBufferList(1, 4 * 8));
    stereo->mBuffers[0].mNumberChannels = 2;
    for (int i = 0; i < 8; ++i)
        channel(stereo.get(), 0)[i] = Float32(i);
    ListPtr mono(ZEPCreateAudioBufferList(2, 4 * 4));
    ZEPCopyAudioBufferListChannels(stereo.get(), 1, mono.get(), 1);
    EXPECT_EQ(channel(mono.get(), 1)[0], 1.0f);
    EXPECT_EQ(channel(mono.get(), 1)[3], 7.0f);
    EXPECT_EQ(channel(mono.get(), 0)[3], 0.0f);
}
