// Run-loop modes: a socket with a private mode runs alone while that mode runs.
#include "SocketTestSupport.h"

#include "platform/TimeSource.h"
#include "platform/runloop/RunLoop.h"
#include "platform/network/SocketStream.h"
#include "platform/runloop/RunLoopTimer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using clipdeck::test::waitUntil;
using namespace sockettest;

namespace {
const QString kPrivateMode = QStringLiteral("CKSynchronousWrite");
} // namespace

TEST(AsyncSocketModes, APrivateModeRunsOneSocketWhileEverythingElseWaits)
{
    Listener listener;
    std::unique_ptr<Peer> peerA;
    std::unique_ptr<Peer> peerB;
    const auto a = listener.connect(peerA);
    const auto b = listener.connect(peerB);
    ASSERT_TRUE(a && b);
    RecordingDelegate delegateA;
    RecordingDelegate delegateB;
    a->setDelegate(&delegateA);
    b->setDelegate(&delegateB);
    EXPECT_EQ(a->runLoopModes(), QStringList({NSRunLoopCommonModes})) << "an accepted socket takes the listener's modes";

    // Work for everyone else: a common-mode timer due now and a read the second socket could serve.
    bool timerFired = false;
    RunLoopTimer timer(0, [&] { timerFired = true; });
    RunLoop::main().addTimer(timer, NSRunLoopCommonModes);
    b->readDataWithTimeout(-1, 1);
    peerB->send("for b");

    ASSERT_TRUE(a->addRunLoopMode(kPrivateMode));
    a->writeData("closing words", -1, 10);
    const double deadline = TimeSource::currentTime() + 10;
    while (delegateA.count("wrote 10") == 0 && RunLoop::main().runMode(kPrivateMode, deadline)) {
    }
    EXPECT_EQ(delegateA.events, QStringList({"wrote 10"}));
    EXPECT_TRUE(delegateB.events.isEmpty());
    EXPECT_FALSE(timerFired);
    ASSERT_TRUE(waitUntil([&] { return peerA->readAvailable() || peerA->received() == "closing words"; }));
    EXPECT_EQ(peerA->received(), "closing words");

    // Out of the mode, the socket no longer runs there.
    ASSERT_TRUE(a->removeRunLoopMode(kPrivateMode));
    a->writeData("later", -1, 11);
    EXPECT_FALSE(RunLoop::main().runMode(kPrivateMode, TimeSource::currentTime() + 10));
    EXPECT_EQ(delegateA.count("wrote 11"), 0);

    // The shared modes catch up.
    ASSERT_TRUE(waitUntil([&] { return timerFired && delegateB.count("read 1") == 1 && delegateA.count("wrote 11") == 1; }));
    a->setDelegate(nullptr);
    b->setDelegate(nullptr);
}

TEST(AsyncSocketModes, ModeListChangesAnswerAsTheyShould)
{
    RecordingDelegate delegate;
    const auto socket = AsyncSocket::create(&delegate);
    EXPECT_EQ(socket->runLoopModes(), QStringList({NSDefaultRunLoopMode}));
    EXPECT_FALSE(socket->setRunLoopModes({}));
    EXPECT_TRUE(socket->setRunLoopModes({NSDefaultRunLoopMode}));
    EXPECT_FALSE(socket->removeRunLoopMode(NSDefaultRunLoopMode)) << "the last mode stays";
    EXPECT_TRUE(socket->removeRunLoopMode("absent"));
    EXPECT_FALSE(socket->addRunLoopMode(QString()));
    EXPECT_TRUE(socket->addRunLoopMode(kPrivateMode));
    EXPECT_TRUE(socket->addRunLoopMode(kPrivateMode));
    EXPECT_EQ(socket->runLoopModes(), QStringList({NSDefaultRunLoopMode, kPrivateMode}));
    EXPECT_TRUE(socket->removeRunLoopMode(NSDefaultRunLoopMode));
    EXPECT_EQ(socket->runLoopModes(), QStringList({kPrivateMode}));
    EXPECT_FALSE(socket->moveToRunLoop(nullptr));
}

TEST(AsyncSocketModes, AListenerInAPrivateModeAcceptsOnlyWhileItRuns)
{
    RecordingDelegate delegate;
    const auto listener = AsyncSocket::create(&delegate);
    ASSERT_TRUE(listener->setRunLoopModes({kPrivateMode}));
    ASSERT_TRUE(listener->acceptOnPort(0));
    Peer peer("127.0.0.1", listener->localPort());
    ASSERT_TRUE(peer.isConnected());
    settle();
    EXPECT_TRUE(delegate.events.isEmpty()) << "Qt's loop does not serve a private mode";
    const double deadline = TimeSource::currentTime() + 10;
    while (delegate.count("connect ") == 0 && RunLoop::main().runMode(kPrivateMode, deadline)) {
    }
    EXPECT_EQ(delegate.events.value(0), "accept");
    EXPECT_EQ(delegate.count("connect 127.0.0.1"), 1);
    for (const auto& accepted : delegate.accepted)
        accepted->setDelegate(nullptr);
    listener->setDelegate(nullptr);
}

TEST(AsyncSocketModes, ASocketMovedToAnotherRunLoopGoesOnThere)
{
    Connection connection;
    ASSERT_TRUE(connection.socket);
    AsyncSocket& socket = *connection.socket;
    RunLoop other;
    socket.readDataToData(AsyncSocket::LFData(), -1, 1);
    ASSERT_TRUE(socket.moveToRunLoop(&other));
    EXPECT_TRUE(socket.moveToRunLoop(&other));
    EXPECT_EQ(connection.socket->getCFReadStream()->nativeHandle() >= 0, true);
    connection.peer->send("line\n");
    ASSERT_TRUE(waitUntil([&] { return connection.delegate.count("read 1") == 1; }));
    EXPECT_EQ(connection.delegate.events, QStringList({"read 1 6c696e650a"}));
    ASSERT_TRUE(socket.moveToRunLoop(&RunLoop::main()));
}
