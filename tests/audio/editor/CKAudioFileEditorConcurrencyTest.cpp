// The board feed across threads: a render thread pulls all the time while the control
// thread rewinds, restarts, rereads the head, starts and stops caching and turns the cache
// off and on. The render never waits, and what it plays is always whole runs of the sound.
#include "audio/editor/CKAudioFileEditor.h"

#include "EditorFixtures.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace clipdeck::test;

TEST(CKAudioFileEditorConcurrency, controlCallsWhileTheRenderThreadPulls)
{
    TempFolder folder;
    constexpr long long kFrames = 60000;
    auto feed = CKAudioFileEditor::initWithPath(writeRampFile(folder.file("ramp.wav"), kFrames), false);
    ASSERT_TRUE(feed);
    RunOutNotices notices;
    feed->setDelegate(&notices);
    feed->setUseCache(true);
    feed->updateCachedAudio();
    feed->restartPlaybackAndContinue();
    feed->prepareForPlayback();

    std::atomic<bool> running{true};
    std::atomic<long long> slices{0};
    std::atomic<long long> brokenSlices{0};
    std::thread render([&] {
        std::vector<float> left(512), right(512);
        while (running.load()) {
            renderSlice(*feed, left, right);
            // Inside a slice the sound runs on frame by frame, or starts again from its
            // beginning (a rewind), or stops (silence).
            for (UInt32 i = 1; i < 512; ++i) {
                if (left[i] == 0.0f)
                    continue;
                const long long previous = left[i - 1] == 0.0f ? -1 : rampFrame(left[i - 1]);
                const long long frame = rampFrame(left[i]);
                const bool runsOn = previous < 0 || frame == previous + 1 || frame == previous + 2 || frame == 1;
                if (!runsOn)
                    ++brokenSlices;
            }
            ++slices;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });

    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    for (int round = 0; std::chrono::steady_clock::now() < until; ++round) {
        switch (round % 6) {
        case 0:
            feed->restartPlaybackAndContinue();
            feed->prepareForPlayback();
            break;
        case 1:
            feed->setForceLoop(round % 12 == 1);
            feed->restartPlaybackAtBeginning();
            feed->setCurrentlyCaching(true);
            break;
        case 2:
            feed->updateCachedAudio();
            break;
        case 3:
            feed->setCurrentlyCaching(false);
            break;
        case 4:
            feed->setUseCache(false);
            feed->setUseCache(true);
            feed->updateCachedAudio();
            break;
        default:
            feed->setStopping(true);
            feed->restartPlaybackAndContinue();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(7));
    }
    running = false;
    render.join();
    feed->setDelegate(nullptr);
    EXPECT_GT(slices.load(), 100);
    EXPECT_EQ(brokenSlices.load(), 0);
}
