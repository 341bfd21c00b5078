#include "PlaybackTestSupport.h"

#include "audio/editor/EditorFixtures.h"
#include "clipdeck/CKPlaybackController.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/devices/AudioHardware.h"

#include <cmath>

namespace clipdeck::test {

NotificationLog::NotificationLog()
{
    for (const QString& name :
         {CKPlaybackController::StartedNotification, CKPlaybackController::StoppedNotification,
          CKSoundSource::BeganPlayingNotification, CKSoundSource::FinishedPlayingNotification,
          CKSoundSource::LoopedNotification}) {
        NotificationCenter::defaultCenter().addObserver(this, name, nullptr, [this](const Notification& note) {
            names << note.name;
            allOnMainThread = allOnMainThread && mainthread::isMainThread();
        });
    }
}

NotificationLog::~NotificationLog() { NotificationCenter::defaultCenter().removeObserver(this); }

QString SoundFiles::constant(float left, float right, long long frames)
{
    return writeSoundFile(folder_.file(QStringLiteral("constant%1.wav").arg(count_++)), frames,
                          [left](long long) { return left; }, [right](long long) { return right; });
}

QString SoundFiles::ramp(long long frames)
{
    return writeRampFile(folder_.file(QStringLiteral("ramp%1.wav").arg(count_++)), frames);
}

TestSound makeSound(const QString& path, TestBoard* board)
{
    TestSound made;
    made.sound = std::make_shared<CKSoundSource>();
    made.cell = std::make_unique<RecordingCell>();
    made.sound->setParentClipdeck(board);
    made.sound->setCellLayer(made.cell.get());
    EXPECT_TRUE(made.sound->buildEditorWithPath(path));
    EXPECT_TRUE(made.sound->isEditorLoaded());
    return made;
}

long long findSteadyLevel(const JackRecorder& recorder, size_t from, float left, float right, size_t frames,
                          float tolerance)
{
    const std::vector<float>& l = recorder.channel(0);
    const std::vector<float>& r = recorder.channel(1);
    const size_t count = recorder.frames();
    size_t run = 0;
    for (size_t i = from; i < count; ++i) {
        const bool matches = std::fabs(l[i] - left) <= tolerance && std::fabs(r[i] - right) <= tolerance;
        run = matches ? run + 1 : 0;
        if (run == frames)
            return (long long)(i + 1 - frames);
    }
    return -1;
}

void PlaybackOnDevice::SetUp()
{
    REQUIRE_JACK_SERVER(server);
    AudioHardware::shared().refresh();
    host.shown = &board;
    UserDefaults::standardUserDefaults().registerDefaults(
        {{"fadeOutDuration", 0.0}, {"duckingDuration", 1.0}, {"duckingVolume", double(0.33f)}});
    // A controller made by an earlier test of this process played on that test's server.
    static bool madeBefore = false;
    controller = CKPlaybackController::sharedPlaybackController();
    if (madeBefore) {
        controller->outputAudioPlayer()->stop();
        controller->outputAudioPlayer()->play();
    }
    madeBefore = true;
    ASSERT_TRUE(controller->outputAudioPlayer()->isRunning())
        << controller->outputAudioPlayer()->lastErrorText().toStdString();
}

void PlaybackOnDevice::TearDown()
{
    if (!controller)
        return;
    controller->setPaused(false);
    controller->stopAllSounds(true);
    for (const auto& sound : controller->playingSounds())
        sound->stopImmediately();
    EXPECT_TRUE(waitUntil([&] { return controller->numberOfPlayingSounds() == 0; }));
    controller->outputAudioPlayer()->stop();
    recorder.reset();
}

void PlaybackOnDevice::record(double seconds)
{
    recorder = std::make_unique<JackRecorder>("Clipdeck", size_t(seconds * 44100));
    ASSERT_TRUE(recorder->connect());
}

bool PlaybackOnDevice::recordMore(size_t frames)
{
    const size_t target = recorder->frames() + frames;
    return waitUntil([&] { return recorder->frames() >= target; }, 10000);
}

} // namespace clipdeck::test
