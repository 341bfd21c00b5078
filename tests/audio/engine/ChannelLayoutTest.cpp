#include "audio/engine/CAAudioChannelLayout.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

TEST(ChannelLayout, CountsChannelsByTagBitmapOrDescriptions)
{
    AudioChannelLayout* bitmap = CAAudioChannelLayout::CreateLayout(0);
    bitmap->mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelBitmap;
    bitmap->mChannelBitmap = 0b1011;
    const struct {
        const char* name;
        CAAudioChannelLayout layout;
        UInt32 channels;
    } cases[] = {
        {"bitmap 0b1011", CAAudioChannelLayout(bitmap), 3},
        {"stereo tag", CAAudioChannelLayout(AudioChannelLayoutTag(0x650002)), 2},
        {"five channels by count", CAAudioChannelLayout(5, false), 5},
        {"three channels by count", CAAudioChannelLayout(3, false), 3},
        {"twelve channels by count", CAAudioChannelLayout(12, true), 12},
    };
    CAAudioChannelLayout::FreeLayout(bitmap);
    for (const auto& c : cases)
        EXPECT_EQ(c.layout.NumberChannels(), c.channels) << c.name;

    EXPECT_EQ(CAAudioChannelLayout(2, true).Tag(), 0x6A0002u);
    EXPECT_EQ(CAAudioChannelLayout(3, false).Layout().mChannelDescriptions[2].mChannelLabel, kAudioChannelLabel_Unknown);
}

TEST(ChannelLayout, CopiesShareAndCompareByContent)
{
    CAAudioChannelLayout original(4, false);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                CAAudioChannelLayout copy(original);
                EXPECT_EQ(&copy.Layout(), &original.Layout());
            }
        });
    for (auto& thread : threads)
        thread.join();

    CAAudioChannelLayout same(4, false);
    EXPECT_TRUE(same == original); // different blocks, same bytes
    same = AudioChannelLayoutTag(0x650002);
    EXPECT_FALSE(same == original);

    std::ostringstream text;
    CAAudioChannelLayout(2, false).Print(text);
    EXPECT_EQ(text.str(), "\tTag=0x650002, Num Chan Descs=0\n");
}
