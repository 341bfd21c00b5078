// Boards survive a crash while they save: a program that saves them in a loop is killed with
// SIGKILL at random moments, 200 times, and after each kill every board folder still loads
// with every sound and its audio.
#include "BoardTestSupport.h"
#include "platform/FoundationExtensions.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <thread>

using namespace clipdeck::test;

namespace {

constexpr int kBoards = 3;
constexpr int kSoundsPerBoard = 8;
constexpr int kKills = 200;

struct StoredSound {
    QString uuid;
    QByteArray audio;
};

QString readProcFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()).trimmed() : QStringLiteral("?");
}

// What a process that does not answer is doing: per thread its state, the kernel function it
// sleeps in and the processor time it has had (user and system ticks), and the machine's load;
// a starved process has had little time, a stuck one sleeps in one place, a spinning one runs.
QString describeProcess(qint64 pid)
{
    QString text = QStringLiteral("load %1").arg(readProcFile(QStringLiteral("/proc/loadavg")));
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString stat = readProcFile(tasks + "/" + tid + "/stat");
        // Fields after the command's closing parenthesis: state is the first, utime the 12th.
        const QStringList fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        text += QStringLiteral("\nthread %1 %2: state %3, in %4, %5+%6 ticks")
                    .arg(tid, readProcFile(tasks + "/" + tid + "/comm"), fields.value(0),
                         readProcFile(tasks + "/" + tid + "/wchan"), fields.value(11), fields.value(12));
    }
    return text;
}

} // namespace

TEST(BoardSaveCrash, everyBoardLoadsWholeAfterTheSavingProgramIsKilledAtRandomMoments)
{
    BoardsFolder folder;
    std::vector<std::vector<StoredSound>> stored(kBoards);
    for (int b = 0; b < kBoards; ++b) {
        QStringList sounds;
        for (int s = 0; s < kSoundsPerBoard; ++s) {
            const StoredSound sound{stringWithNewUUID(), QStringLiteral("audio %1 %2").arg(b).arg(s).toUtf8()};
            sounds << QStringLiteral("%1|sound %2|%3|Cache/%3-sound%2.m4a").arg(s).arg(s).arg(sound.uuid);
            stored[size_t(b)].push_back(sound);
        }
        folder.writeBoard(std::size_t(b), contentsXML(QStringLiteral("board %1").arg(b), sounds));
        for (int s = 0; s < kSoundsPerBoard; ++s) {
            const StoredSound& sound = stored[size_t(b)][size_t(s)];
            BoardsFolder::touch(CKClipdeck::pathForBundleAtIndex(std::size_t(b)) +
                                    QStringLiteral("/Cache/%1-sound%2.m4a").arg(sound.uuid).arg(s),
                                sound.audio);
        }
    }

    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayMicroseconds(0, 20000);
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess saver;
        saver.setProgram(QStringLiteral(BOARD_SAVE_LOOP_PROGRAM));
        saver.start();
        ASSERT_TRUE(saver.waitForStarted()) << qPrintable(saver.errorString());
        if (!saver.waitForReadyRead(60000)) {
            const QString state = describeProcess(saver.processId());
            ::kill(pid_t(saver.processId()), SIGKILL);
            saver.waitForFinished(60000);
            FAIL() << "round " << kill << ": the saving program said nothing in a minute\n"
                   << qPrintable(state) << "\nits errors: " << saver.readAllStandardError().toStdString();
        }
        ASSERT_EQ(saver.readLine().trimmed(), "ready");
        // A random moment of the save loop.
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
        ::kill(pid_t(saver.processId()), SIGKILL);
        ASSERT_TRUE(saver.waitForFinished(60000));
        ASSERT_EQ(saver.exitStatus(), QProcess::CrashExit) << "round " << kill;

        QList<Error> failures;
        const QList<std::shared_ptr<CKClipdeck>> boards = CKClipdeck::loadAllClipdecks(&failures);
        ASSERT_TRUE(failures.isEmpty()) << "round " << kill << ": " << qPrintable(failures.first().localizedFailureReason);
        ASSERT_EQ(boards.size(), kBoards) << "round " << kill;
        for (int b = 0; b < kBoards; ++b) {
            const std::shared_ptr<CKClipdeck>& board = boards[b];
            ASSERT_EQ(board->numberOfSounds(), std::size_t(kSoundsPerBoard)) << "round " << kill << ", board " << b;
            for (const StoredSound& expected : stored[size_t(b)]) {
                const auto found = std::find_if(board->sounds().begin(), board->sounds().end(), [&expected](const auto& sound) {
                    return sound && sound->uuid() == expected.uuid;
                });
                ASSERT_NE(found, board->sounds().end()) << "round " << kill << ": a sound was lost";
                QFile audio(static_cast<CKSoundCachedFileSource*>(found->get())->fullCachePath());
                ASSERT_TRUE(audio.open(QIODevice::ReadOnly)) << "round " << kill << ": its audio was lost";
                ASSERT_EQ(audio.readAll(), expected.audio);
            }
        }
    }
}
