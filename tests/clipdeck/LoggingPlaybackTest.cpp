// The playback log of a sound really played on a JACK server of the test's own: pressed,
// restarted twice while it plays, and left to run out.
#include "clipdeck/CKLoggingController.h"
#include "clipdeck/CKPlaybackController.h"

#include "PlaybackTestSupport.h"
#include "platform/UserDefaults.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <gtest/gtest.h>

using namespace clipdeck::test;

TEST_F(PlaybackOnDevice, aPlayedSoundLogsItsStartTwoLoopsAndItsFinishInOrder)
{
    REQUIRE_JACK_SERVER(server);
    TempFolder logs;
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setObject(QUrl::fromLocalFile(logs.file("Logs")).toString(), CKLoggingController::PathKey);
    defaults.setBool(true, CKLoggingController::EnabledKey);
    CKLoggingController log;
    const QString path = log.logFilePath();
    ASSERT_FALSE(path.isEmpty());

    record();
    TestSound intro = makeSound(files.constant(0.25f, 0.25f, 11025), &board);
    intro.sound->setName("Intro");
    intro.sound->setRestartOnPress(true);
    NotificationLog played;
    intro.sound->play();
    intro.sound->play(); // restarts: a loop
    intro.sound->play();
    ASSERT_TRUE(waitUntil([&] { return played.count(CKSoundSource::FinishedPlayingNotification) == 1; }, 10000));
    EXPECT_GE(findSteadyLevel(*recorder, 0, 0.25f, 0.25f, 2048, 1e-3f), 0); // it was heard

    log.stopLogging();
    defaults.removeObjectForKey(CKLoggingController::EnabledKey);
    defaults.removeObjectForKey(CKLoggingController::PathKey);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QStringList messages;
    for (const QString& line : lines)
        messages << line.section(" - ", 1);
    EXPECT_EQ(messages, (QStringList{"Started playing: Intro", "Sound looped1: Intro", "Sound looped1: Intro",
                                     "Finished playing: Intro"}));
    for (const QString& line : lines)
        EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d{4} - )").match(line).hasMatch());
}
