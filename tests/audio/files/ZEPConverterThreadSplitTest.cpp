// Pausing and stopping the conversion thread while it splits files: the thread asks the
// main thread for new files and waits, so every interleaving of a pause, a stop and that
// wait must end. An endless source with the smallest byte limit splits all the time.
#include "audio/files/ZEPConverterThread.h"

#include "ConverterThreadFixtures.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

class ConverterThreadSplitTest : public testing::Test {
protected:
    void SetUp() override
    {
        thread = ZEPConverterThread::initWithEncoders({floatWaveEncoder()}, {floatWaveWriter(folder.file("first.wav"))},
                                                      {&source}, true);
        ASSERT_TRUE(thread);
        thread->setDelegate(&delegate);
        delegate.thread = thread.get();
        thread->setMaxEncodeAmount(32768); // 4096 frames a file
        thread->setAllowsSplit(true);
        ASSERT_EQ(thread->start(), noErr);
    }
    // Lets the thread run into its first split and wait there: the main thread does not
    // serve it. The split comes right after the first 4096 frames.
    void letTheThreadWaitForFiles()
    {
        for (int waited = 0; source.delivered() <= 4096 && waited < 10000; ++waited)
            QThread::msleep(1);
        QThread::msleep(50);
    }
    bool endedOnce()
    {
        waitUntil([&] { return delegate.finishedCalls > 0; }, 10000);
        waitUntil([] { return false; }, 50);
        return delegate.finishedCalls == 1 && !thread->isRunning();
    }

    TempFolder folder;
    PatternSource source;
    RecordingThreadDelegate delegate{folder.file("part")};
    std::unique_ptr<ZEPConverterThread> thread;
};

} // namespace

TEST_F(ConverterThreadSplitTest, aStopWhileTheThreadWaitsForFilesEndsIt)
{
    thread->resumeConversion();
    letTheThreadWaitForFiles();
    ASSERT_GT(source.delivered(), 4096);
    thread->stopConversion();
    EXPECT_TRUE(endedOnce());
    // The request the thread left behind is not served.
    EXPECT_EQ(delegate.requests, 0);
}

TEST_F(ConverterThreadSplitTest, aPauseWhileTheThreadWaitsForFilesReturnsAndHoldsTheNextCycle)
{
    thread->resumeConversion();
    letTheThreadWaitForFiles();
    thread->pauseConversion();
    // The files are made; the paused thread then takes no more audio.
    ASSERT_TRUE(waitUntil([&] { return delegate.requests == 1; }, 10000));
    waitUntil([] { return false; }, 50);
    const long long delivered = source.delivered();
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(source.delivered(), delivered);
    thread->resumeConversion();
    ASSERT_TRUE(waitUntil([&] { return delegate.requests >= 3; }, 10000));
    thread->stopConversion();
    EXPECT_TRUE(endedOnce());
}

// The delegate itself stops the conversion while it makes the next files.
TEST_F(ConverterThreadSplitTest, aStopFromInsideTheRequestForFilesEndsIt)
{
    delegate.whileMakingFiles = [](ZEPConverterThread* converterThread) { converterThread->stopConversion(); };
    thread->resumeConversion();
    ASSERT_TRUE(waitUntil([&] { return delegate.requests == 1; }, 10000));
    EXPECT_TRUE(endedOnce());
    // The files made meanwhile exist, and the delegate heard of them.
    EXPECT_EQ(delegate.addedPaths.size(), 1);
}

TEST_F(ConverterThreadSplitTest, pausesAndStopsDuringSplitsNeverDeadlock)
{
    thread->resumeConversion();
    for (int i = 0; i < 200; ++i) {
        thread->pauseConversion();
        if (i % 3 == 0)
            QCoreApplication::processEvents();
        thread->resumeConversion();
        if (i % 2 == 0)
            QCoreApplication::processEvents();
        else
            QThread::usleep(200);
    }
    // Still converting after all that: it asks for its next files (a loaded machine may not
    // have got that far during the loop itself).
    EXPECT_TRUE(waitUntil([&] { return delegate.requests > 0; }, 30000));
    thread->pauseConversion();
    thread->stopConversion();
    EXPECT_TRUE(endedOnce());

    // Again and again, with fresh threads stopped at random moments of their splits.
    for (int round = 0; round < 20; ++round) {
        PatternSource endless;
        RecordingThreadDelegate roundDelegate(folder.file(QStringLiteral("round%1-").arg(round)));
        std::unique_ptr<ZEPConverterThread> roundThread = ZEPConverterThread::initWithEncoders(
            {floatWaveEncoder()}, {floatWaveWriter(folder.file(QStringLiteral("round%1.wav").arg(round)))},
            {&endless}, true);
        ASSERT_TRUE(roundThread);
        roundThread->setDelegate(&roundDelegate);
        roundThread->setMaxEncodeAmount(32768);
        roundThread->setAllowsSplit(true);
        ASSERT_EQ(roundThread->start(), noErr);
        roundThread->resumeConversion();
        for (int i = 0; i < round; ++i) {
            QCoreApplication::processEvents();
            roundThread->pauseConversion();
            roundThread->resumeConversion();
        }
        QThread::usleep(100 * round);
        roundThread->stopConversion();
        ASSERT_TRUE(waitUntil([&] { return roundDelegate.finishedCalls == 1; }, 10000)) << round;
    }
}
