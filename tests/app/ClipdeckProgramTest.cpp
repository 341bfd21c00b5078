// The program itself, started as a user starts it, each run with a home of its own: on a
// display of its own (Xvfb) with a JACK server, without any sound device, twice at once.
#include "app/CKSingleInstance.h"

#include "platform/UserDefaults.h"
#include "platform/ui/ZEPSplashScreen.h"
#include "support/JackTestServer.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using namespace clipdeck::test;

namespace {

const QString kProgram = QStringLiteral(CLIPDECK_PROGRAM);
const QString kCannotPlay = QStringLiteral("Clipdeck cannot play sound.");

// A display of the test's own, under a number it names: Xvfb then takes that number's lock
// before it makes a socket, and a number another server holds makes it end at once. (Left
// to pick a free number itself, Xvfb tries numbers from 0 up, and displays of suites run
// side by side on one machine became unreachable while another suite's server started.)
// Each program tries numbers from its own place in a range no other server here uses.
// The server does not reset when its last client leaves: the test's probes (xwininfo) come
// and go, and a reset drops a client that connected while it ran, before it was answered
// (the program then found no display).
class XvfbDisplay {
public:
    XvfbDisplay()
    {
        const int first = 200 + int(getpid() % 600);
        for (int attempt = 0; attempt < 20 && name_.isEmpty(); ++attempt) {
            const QByteArray number = QByteArray::number(first + attempt);
            server_.start(QStringLiteral("Xvfb"), {":" + QString::fromLatin1(number), "-displayfd", "1", "-screen", "0",
                                                   "1280x1024x24", "-nolisten", "tcp", "-noreset"});
            waitUntil([&] { return server_.canReadLine() || server_.state() == QProcess::NotRunning; }, 20000);
            if (server_.readLine().trimmed() == number)
                name_ = QStringLiteral(":") + QString::fromLatin1(number);
            if (name_.isEmpty() || !waitUntil([&] { return answers(); }, 10000)) {
                name_.clear();
                stop();
            }
        }
    }
    ~XvfbDisplay() { stop(); }
    QString name() const { return name_; }

    // The titles of the windows on the display.
    QStringList windowTitles() const
    {
        QProcess tree;
        tree.start(QStringLiteral("xwininfo"), {"-display", name_, "-root", "-tree"});
        tree.waitForFinished(5000);
        QStringList titles;
        for (const QString& line : QString::fromUtf8(tree.readAllStandardOutput()).split('\n')) {
            const qsizetype open = line.indexOf('"'), close = line.indexOf('"', open + 1);
            if (open >= 0 && close > open)
                titles << line.mid(open + 1, close - open - 1);
        }
        return titles;
    }

private:
    bool answers() const
    {
        QProcess root;
        root.start(QStringLiteral("xwininfo"), {"-display", name_, "-root"});
        return root.waitForFinished(5000) && root.exitStatus() == QProcess::NormalExit && root.exitCode() == 0;
    }
    void stop()
    {
        if (server_.state() == QProcess::NotRunning)
            return;
        server_.terminate();
        // A server still setting up can miss the signal: it is killed instead.
        if (!server_.waitForFinished(5000)) {
            server_.kill();
            server_.waitForFinished(5000);
        }
    }

    QProcess server_;
    QString name_;
};

// A start of the program with a home (and so boards and defaults) of its own.
class ProgramRun {
public:
    explicit ProgramRun(const QString& home) : home_(home)
    {
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert("HOME", home);
        environment_.insert("XDG_CONFIG_HOME", home + "/.config");
        environment_.insert("XDG_DATA_HOME", home + "/.local/share");
        environment_.insert("XDG_STATE_HOME", home + "/.local/state");
        environment_.insert("XDG_CACHE_HOME", home + "/.cache");
        environment_.insert("JACK_NO_START_SERVER", "1");
        // The splash screen has been closed once: it does not hold the window back.
        defaults().setBool(true, ZEPSplashScreen::OnStartupKey);
        defaults().synchronize();
    }

    void setVariable(const QString& name, const QString& value) { environment_.insert(name, value); }
    UserDefaults& defaults()
    {
        if (!defaults_)
            defaults_ = std::make_unique<UserDefaults>(home_ + "/.config/Clipdeck/com.corvanesw.clipdeck.plist");
        return *defaults_;
    }
    // The defaults as the program left them.
    UserDefaults storedDefaults() const
    {
        return UserDefaults(home_ + "/.config/Clipdeck/com.corvanesw.clipdeck.plist");
    }
    QString boardsFolder() const { return home_ + "/.local/share/Clipdeck"; }

    QProcess& start(const QStringList& arguments = {})
    {
        process_.setProcessEnvironment(environment_);
        process_.setWorkingDirectory(home_);
        process_.start(kProgram, arguments);
        process_.waitForStarted(10000);
        return process_;
    }
    QProcess& process() { return process_; }
    QString errors()
    {
        errors_ += QString::fromUtf8(process_.readAllStandardError());
        return errors_;
    }
    // Sends the signal and waits for the program to end.
    bool endWith(int signalNumber)
    {
        ::kill(pid_t(process_.processId()), signalNumber);
        return waitUntil([&] { return process_.state() == QProcess::NotRunning; }, 30000);
    }

private:
    QString home_;
    QProcessEnvironment environment_;
    std::unique_ptr<UserDefaults> defaults_;
    QProcess process_;
    QString errors_;
};

} // namespace

TEST(ClipdeckProgram, ShowsItsWindowOnTheDisplayAndEndsWithStatusZeroOnEachTerminationSignal)
{
    JackTestServer server;
    REQUIRE_JACK_SERVER(server);
    XvfbDisplay display;
    ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not start";
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        TempFolder home;
        ProgramRun run(home.path());
        run.setVariable("DISPLAY", display.name());
        run.setVariable("QT_QPA_PLATFORM", "xcb");
        run.start();
        ASSERT_TRUE(waitUntil([&] { return display.windowTitles().contains("Clipdeck - My Clipdeck"); }, 60000))
            << run.errors().toStdString();
        const QString boards = home.file(".local/share/Clipdeck");
        if (signalNumber == SIGTERM) {
            // A board folder named to a second start opens in the first, as a copy.
            const QString tour = home.file("Tour.clipdeck");
            QDir().mkpath(tour);
            QFile document(tour + "/Contents.xml");
            ASSERT_TRUE(document.open(QIODevice::WriteOnly));
            document.write(R"(<clipdeck formatVersion="2" name="Tour"><rows>4</rows><columns>8</columns>)"
                           R"(<sounds prerendered="false"/></clipdeck>)");
            document.close();
            ProgramRun second(home.path());
            second.setVariable("DISPLAY", display.name());
            second.setVariable("QT_QPA_PLATFORM", "xcb");
            second.start({tour});
            ASSERT_TRUE(waitUntil([&] { return display.windowTitles().contains("Clipdeck - Tour"); }, 60000))
                << run.errors().toStdString();
            EXPECT_TRUE(QFileInfo::exists(boards + "/1.clipdeck/Contents.xml"));
        }
        ASSERT_TRUE(run.endWith(signalNumber));
        // The first board was written, at the latest when the program ended.
        EXPECT_TRUE(QFileInfo::exists(boards + "/0.clipdeck/Contents.xml"));
        EXPECT_EQ(run.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.process().exitCode(), 0) << run.errors().toStdString();
        // The output ran on the JACK server: nothing to complain about.
        EXPECT_FALSE(run.errors().contains(kCannotPlay)) << run.errors().toStdString();
        const UserDefaults stored = run.storedDefaults();
        EXPECT_EQ(stored.stringForKey("lastVersionRun"), QStringLiteral(CLIPDECK_VERSION));
        EXPECT_EQ(stored.integerForKey("selectedClipdeckIndex"), signalNumber == SIGTERM ? 1 : 0);
    }
}

TEST(ClipdeckProgram, StartsWithoutAnySoundDeviceAndSaysSoOnce)
{
    QFile cards("/proc/asound/cards");
    if (cards.open(QIODevice::ReadOnly)) {
        const QByteArray list = cards.readAll().trimmed();
        if (!list.isEmpty() && !list.contains("no soundcards"))
            GTEST_SKIP() << "this machine has sound cards";
    }
    TempFolder home;
    ProgramRun run(home.path());
    run.setVariable("QT_QPA_PLATFORM", "offscreen");
    run.setVariable("JACK_DEFAULT_SERVER", QStringLiteral("clipdeck-nobody-%1").arg(QCoreApplication::applicationPid()));
    run.setVariable("PULSE_SERVER", "unix:" + home.file("no-pulse-here"));
    run.start();
    ASSERT_TRUE(waitUntil([&] { return run.errors().contains(kCannotPlay); }, 60000)) << run.errors().toStdString();
    // Started: a second start reaches it.
    ProgramRun second(home.path());
    second.setVariable("QT_QPA_PLATFORM", "offscreen");
    second.start();
    ASSERT_TRUE(waitUntil([&] { return second.process().state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(second.process().exitCode(), 0) << second.errors().toStdString();
    ASSERT_TRUE(run.endWith(SIGTERM));
    EXPECT_EQ(run.process().exitCode(), 0);
    EXPECT_EQ(run.errors().count(kCannotPlay), 1) << run.errors().toStdString();
}

TEST(CKSingleInstance, ASecondStartHandsItsPathsToTheFirstMadeAbsoluteAndEndsWithStatusZero)
{
    TempFolder home;
    CKSingleInstance first(home.path() + "/.local/share/Clipdeck");
    ASSERT_EQ(first.claimOrHandOver({}), CKSingleInstance::Primary);
    QSignalSpy received(&first, &CKSingleInstance::pathsReceived);

    // Garbage on the socket changes nothing.
    QLocalSocket stranger;
    stranger.connectToServer(first.serverName());
    ASSERT_TRUE(stranger.waitForConnected(5000));
    stranger.write("\xff\xff\xff\xff garbage");
    stranger.flush();
    settleEventLoop();
    stranger.disconnectFromServer();

    ProgramRun second(home.path());
    second.setVariable("QT_QPA_PLATFORM", "offscreen");
    second.start({"Opening Night.ckzip", "/srv/shows/Act 1.clipdeck"});
    ASSERT_TRUE(waitUntil([&] { return second.process().state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(second.process().exitCode(), 0) << second.errors().toStdString();
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received.at(0).at(0).toStringList(),
              (QStringList{home.file("Opening Night.ckzip"), "/srv/shows/Act 1.clipdeck"}));
}

TEST(CKSingleInstance, TheLockOfAProgramThatCrashedIsTakenOver)
{
    TempFolder home;
    ProgramRun crashing(home.path());
    crashing.setVariable("QT_QPA_PLATFORM", "offscreen");
    crashing.start();
    const QString folder = crashing.boardsFolder();
    CKSingleInstance instance(folder);
    // Once it listens it holds the lock.
    ASSERT_TRUE(waitUntil(
        [&] {
            QLocalSocket probe;
            probe.connectToServer(instance.serverName());
            return probe.waitForConnected(100);
        },
        60000));
    ASSERT_TRUE(crashing.endWith(SIGKILL));
    EXPECT_TRUE(QFile::exists(instance.lockFilePath()));
    EXPECT_EQ(instance.claimOrHandOver({}), CKSingleInstance::Primary);
}
