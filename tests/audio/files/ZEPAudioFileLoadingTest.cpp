// Files open and count on a loading thread: the reader comes back at once, loading, the main
// thread goes on, and the delegate hears once, on the main thread, when the count is known.
#include "audio/files/ZEPAudioFile.h"
#include "audio/files/ZEPMovie.h"
#include "audio/files/ZEPMovieDelegate.h"

#include "platform/MainThread.h"
#include "platform/codecs/AudioFixtures.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace clipdeck::test;

namespace {

struct LoadingDelegate : ZEPMovieDelegate {
    void movieDidFinishLoading(ZEPAudioFile* file) override
    {
        ++finished;
        told = file;
        onMainThread = onMainThread && mainthread::isMainThread();
        if (onFinished)
            onFinished();
    }
    int finished = 0;
    ZEPAudioFile* told = nullptr;
    bool onMainThread = true;
    std::function<void()> onFinished;
};

// An hour of MP3 without an index: 360 ten-second pieces, one stream of frames. Answers the
// frames the reader counts in it.
SInt64 writeAnHourOfMP3(TempFolder& folder, const QString& path)
{
    const QString piece = folder.file("piece.mp3");
    if (!makeFixture(piece, twoToneSource(), 10 * 44100, 2, {"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0"}))
        return -1;
    QFile in(piece);
    QFile out(path);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return -1;
    const QByteArray bytes = in.readAll();
    for (int i = 0; i < 360; ++i)
        out.write(bytes);
    const std::unique_ptr<ZEPAudioFile> counted = ZEPAudioFile::initWithPath(piece, 0, false);
    return counted ? 360 * counted->packetCount() : -1;
}

constexpr int kLongLoadTimeoutMs = 300000;

} // namespace

// Opening an hour of MP3 comes back at once, loading; a timer on the main thread keeps firing
// while the frames are counted; the loaded callback comes once, on the main thread, with the
// whole count. A reader destroyed while it loads gives its loading up and tells nobody.
TEST(ZEPAudioFileLoading, aLongMP3OpensAtOnceWhileTheMainThreadKeepsAnswering)
{
    TempFolder folder;
    const QString hour = folder.file("hour.mp3");
    const SInt64 frames = writeAnHourOfMP3(folder, hour);
    ASSERT_GT(frames, SInt64(60) * 60 * 44100);

    std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(hour);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->isLoading());
    EXPECT_FALSE(file->canPlay());
    EXPECT_EQ(file->packetCount(), 0);
    LoadingDelegate delegate;
    int ticks = 0;
    int ticksWhenLoaded = -1;
    delegate.onFinished = [&] { ticksWhenLoaded = ticks; };
    file->setDelegate(&delegate);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);

    ASSERT_TRUE(waitUntil([&] { return delegate.finished > 0; }, kLongLoadTimeoutMs));
    timer.stop();
    EXPECT_GE(ticksWhenLoaded, 3);
    EXPECT_EQ(delegate.told, file.get());
    EXPECT_TRUE(delegate.onMainThread);
    EXPECT_FALSE(file->isLoading());
    EXPECT_TRUE(file->canPlay());
    EXPECT_EQ(file->loadStatus(), noErr);
    EXPECT_EQ(file->packetCount(), frames);
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(delegate.finished, 1);

    // It reads, to its last frame.
    std::vector<float> left(2000), right(2000);
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, 2000 * 4, left.data()};
    list.mBuffers[1] = {1, 2000 * 4, right.data()};
    EXPECT_EQ(file->setLocationPackets(frames - 1000), noErr);
    UInt32 packets = 2000;
    EXPECT_EQ(file->readPackets(&packets, list.list(), nullptr), noErr);
    EXPECT_EQ(packets, 1000u);

    LoadingDelegate abandoned;
    std::unique_ptr<ZEPAudioFile> gone = ZEPAudioFile::initWithPath(hour);
    gone->setDelegate(&abandoned);
    gone.reset();
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(abandoned.finished, 0);
}

// A file that does not open ends its loading all the same: the delegate hears once, and the
// reader cannot play and says why.
TEST(ZEPAudioFileLoading, aFileThatDoesNotOpenFinishesLoadingWithItsError)
{
    TempFolder folder;
    for (const char* name : {"notes.wav", "notes.mp3"}) {
        SCOPED_TRACE(name);
        QFile text(folder.file(name));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("not a sound, only words");
        text.close();
        std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(folder.file(name));
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->isLoading());
        LoadingDelegate delegate;
        file->setDelegate(&delegate);
        ASSERT_TRUE(waitUntil([&] { return delegate.finished > 0; }));
        clipdeck::test::settleEventLoop();
        EXPECT_EQ(delegate.finished, 1);
        EXPECT_FALSE(file->isLoading());
        EXPECT_FALSE(file->canPlay());
        EXPECT_NE(file->loadStatus(), noErr);
        EXPECT_EQ(file->packetCount(), 0);
    }
}

// A thread that needs the file at once waits for it and reads it there; the delegate still
// hears once, on the main thread.
TEST(ZEPAudioFileLoading, aThreadThatWaitsForTheLoadReadsAtOnce)
{
    TempFolder folder;
    const QString path = folder.file("a.flac");
    ASSERT_TRUE(makeFixture(path, twoToneSource(), 44100, 2, {"-c:a", "flac"}));
    std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(path);
    LoadingDelegate delegate;
    file->setDelegate(&delegate);
    OSStatus loaded = -1;
    UInt32 packets = 0;
    std::thread reader([&] {
        loaded = file->waitUntilLoaded();
        std::vector<float> left(50000), right(50000);
        StackAudioBufferList<2> list;
        list.mBuffers[0] = {1, 50000 * 4, left.data()};
        list.mBuffers[1] = {1, 50000 * 4, right.data()};
        packets = 50000;
        file->readPackets(&packets, list.list(), nullptr);
    });
    reader.join();
    EXPECT_EQ(loaded, noErr);
    EXPECT_EQ(packets, 44100u);
    ASSERT_TRUE(waitUntil([&] { return delegate.finished > 0; }));
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(delegate.finished, 1);
}
