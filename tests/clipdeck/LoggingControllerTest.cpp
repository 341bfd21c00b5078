// The playback log driven by its defaults and the sound notifications: when files are made
// and where, what a line holds, and that stopping writes out every line and closes the file.
#include "clipdeck/CKLoggingController.h"
#include "clipdeck/CKSoundSource.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace clipdeck::test;

namespace {

const QString kDate = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} [+-]\d{4})";

class PlaybackLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousMask_ = umask(022);
        defaults.setObject(QUrl::fromLocalFile(folder.file("Logs/Clipdeck") + "/").toString(),
                           CKLoggingController::PathKey);
        sound->setName("Intro");
    }
    void TearDown() override { umask(previousMask_); }

    QStringList logFiles(const QString& where) const
    {
        return QDir(where).entryList({"Clipdeck *.txt"}, QDir::Files, QDir::Name);
    }
    QString logFolder() const { return folder.file("Logs/Clipdeck"); }
    QStringList lines(const QString& path) const
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList all = QString::fromUtf8(file.readAll()).split('\n');
        EXPECT_EQ(all.last(), ""); // every line ends with its newline
        all.removeLast();
        return all;
    }
    void post(const QString& name) { NotificationCenter::defaultCenter().post(name, sound.get()); }

    TempFolder folder;
    UserDefaults defaults{folder.file("defaults.plist")};
    std::shared_ptr<CKSoundSource> sound = std::make_shared<CKSoundSource>();

private:
    mode_t previousMask_ = 0;
};

} // namespace

TEST_F(PlaybackLog, noFileUntilLoggingIsTurnedOnThenOneNamedByThatMomentInAFolderMadeForIt)
{
    CKLoggingController log(&defaults);
    post(CKSoundSource::BeganPlayingNotification);
    EXPECT_FALSE(QFileInfo::exists(logFolder()));
    EXPECT_FALSE(log.isLogging());

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    defaults.setBool(true, CKLoggingController::EnabledKey);
    ASSERT_EQ(logFiles(logFolder()).size(), 1);
    const QString name = logFiles(logFolder()).first();
    EXPECT_TRUE(QRegularExpression("^Clipdeck " + kDate + R"(\.txt$)").match(name).hasMatch()) << name.toStdString();
    const QDateTime named = QDateTime::fromString(name.mid(9, 19), "yyyy-MM-dd HH:mm:ss");
    EXPECT_GE(named, before.addMSecs(-before.time().msec()));
    EXPECT_LE(named, QDateTime::currentDateTime());
    EXPECT_EQ(QFileInfo(log.logFilePath()).fileName(), name);
    EXPECT_EQ(QFile::permissions(log.logFilePath()),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup |
                  QFile::ReadOther); // 0644
}

TEST_F(PlaybackLog, eachSoundEventIsALineInOrderWithTheSoundsNameWhole)
{
    CKLoggingController log(&defaults);
    defaults.setBool(true, CKLoggingController::EnabledKey);
    post(CKSoundSource::BeganPlayingNotification);
    post(CKSoundSource::LoopedNotification);
    post(CKSoundSource::LoopedNotification);
    post(CKSoundSource::FinishedPlayingNotification);
    sound->setName(QString::fromUtf8("Überraschung ♪ – 幕"));
    post(CKSoundSource::BeganPlayingNotification);
    const QString path = log.logFilePath();
    log.stopLogging();

    const QStringList written = lines(path);
    const QStringList messages{"Started playing: Intro", "Sound looped1: Intro", "Sound looped1: Intro",
                               "Finished playing: Intro", QString::fromUtf8("Started playing: Überraschung ♪ – 幕")};
    ASSERT_EQ(written.size(), messages.size());
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const QRegularExpressionMatch match =
            QRegularExpression("^(" + kDate + ") - (.*)$").match(written[i]);
        ASSERT_TRUE(match.hasMatch()) << written[i].toStdString();
        EXPECT_EQ(match.captured(2), messages[i]);
    }
}

TEST_F(PlaybackLog, stoppingWritesOutEveryQueuedLineAndClosesTheFile)
{
    CKLoggingController log(&defaults);
    defaults.setBool(true, CKLoggingController::EnabledKey);
    const QString path = log.logFilePath();
    for (int i = 0; i < 5000; ++i)
        post(CKSoundSource::BeganPlayingNotification);
    defaults.setBool(false, CKLoggingController::EnabledKey);
    EXPECT_FALSE(log.isLogging());
    EXPECT_EQ(lines(path).size(), 5000);
    // No descriptor of this process is left on the file.
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System))
        EXPECT_NE(fd.symLinkTarget(), path);
    post(CKSoundSource::FinishedPlayingNotification); // off: nothing more
    EXPECT_EQ(lines(path).size(), 5000);
}

TEST_F(PlaybackLog, eachStartBeginsAFileAndANewFolderTakesEffectOnlyWhileLogging)
{
    CKLoggingController log(&defaults);
    defaults.setBool(true, CKLoggingController::EnabledKey);
    const QString first = log.logFilePath();
    defaults.setBool(false, CKLoggingController::EnabledKey);
    // File names go by the second: the next start must come in a later one.
    const QString second = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss");
    ASSERT_TRUE(waitUntil([&] { return QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss") != second; }, 3000));
    defaults.setBool(true, CKLoggingController::EnabledKey);
    EXPECT_NE(log.logFilePath(), first);
    EXPECT_EQ(logFiles(logFolder()).size(), 2);

    // A new folder while logging: the next line goes to a new file there.
    const QString elsewhere = folder.file("Elsewhere");
    defaults.setObject(QUrl::fromLocalFile(elsewhere).toString(), CKLoggingController::PathKey);
    post(CKSoundSource::BeganPlayingNotification);
    ASSERT_EQ(logFiles(elsewhere).size(), 1);
    EXPECT_EQ(QFileInfo(log.logFilePath()).path(), elsewhere);

    // While logging is off, a new folder makes no file.
    defaults.setBool(false, CKLoggingController::EnabledKey);
    defaults.setObject(folder.file("Quiet"), CKLoggingController::PathKey); // a plain path does too
    EXPECT_FALSE(QFileInfo::exists(folder.file("Quiet")));
    defaults.setBool(true, CKLoggingController::EnabledKey);
    EXPECT_EQ(logFiles(folder.file("Quiet")).size(), 1);
}

TEST_F(PlaybackLog, aFolderThatCannotBeMadeLogsNothingAndHurtsNothing)
{
    QFile blocker(folder.file("Logs"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    defaults.setBool(true, CKLoggingController::EnabledKey);
    CKLoggingController log(&defaults);
    EXPECT_TRUE(log.logFilePath().isEmpty());
    post(CKSoundSource::BeganPlayingNotification);
    log.stopLogging();
}
