#pragma once
// Test support of board playback: a board and a window for the sounds to live on, a cell
// that records what it is told, a log of notifications, sounds made from files written at
// test time, and a JACK server of the test's own with the playback controller on it and a
// recorder of what it plays.

#include "clipdeck/CKPlaybackHost.h"
#include "clipdeck/CKSoundCell.h"
#include "clipdeck/CKSoundParent.h"
#include "clipdeck/CKSoundSource.h"

#include "support/JackTestServer.h"
#include "support/TestEnvironment.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

class CKPlaybackController;

namespace clipdeck::test {

// A board that counts its save requests and knows no cells.
class TestBoard : public CKSoundParent {
public:
    void setNeedsSave() override { ++saves; }
    std::size_t indexOfSound(const CKSoundSource*) const override { return kNotFound; }
    void deleteSoundAtIndex(std::size_t) override {}
    int saves = 0;
};

// The window: which board it shows, the toggles held, the errors shown.
class TestHost : public CKPlaybackHost {
public:
    TestHost() { CKPlaybackHost::install(this); }
    ~TestHost() override { CKPlaybackHost::install(nullptr); }
    const CKSoundParent* selectedClipdeck() const override { return shown; }
    bool isTogglingLooping() const override { return looping; }
    bool isTogglingStopOnLift() const override { return stopOnLift; }
    bool isTogglingRestartOnPress() const override { return restartOnPress; }
    void presentError(const Error& error) override { errors.push_back(error); }

    const CKSoundParent* shown = nullptr;
    bool looping = false, stopOnLift = false, restartOnPress = false;
    std::vector<Error> errors;
};

// A cell that writes down the calls it gets, by name.
class RecordingCell : public CKSoundCell {
public:
    void soundDidPlay(CKSoundSource*) override { calls << "play"; }
    void soundDidPause(CKSoundSource*) override { calls << "pause"; }
    void soundWillFade(CKSoundSource*) override { calls << "fade"; }
    void soundDidStop(CKSoundSource*) override { calls << "stop"; }
    void setPercentFinished(float percent) override { lastPercent = percent; }
    QStringList calls;
    float lastPercent = -1;
};

// Writes down the playback notifications in the order they come, with whether each came
// on the main thread.
class NotificationLog {
public:
    NotificationLog();
    ~NotificationLog();
    QStringList names;
    bool allOnMainThread = true;
    int count(const QString& name) const { return int(names.count(name)); }
};

// Sounds for the tests, written as 32-bit float WAVE files into a folder of the test.
class SoundFiles {
public:
    // A sound of `frames` frames holding left and right on every frame.
    QString constant(float left, float right, long long frames);
    // The ramp of the edit model's tests (frame k: (k + 1) / 2^24 left, the negative right).
    QString ramp(long long frames);
    QString folder() const { return folder_.path(); }

private:
    TempFolder folder_;
    int count_ = 0;
};

// A sound on a board the host shows, with its feed loaded from path and a recording cell.
// The cell goes with this object; the sound may live on in the controller's list.
struct TestSound {
    TestSound() = default;
    TestSound(TestSound&&) = default;
    TestSound& operator=(TestSound&&) = default;
    ~TestSound()
    {
        if (sound)
            sound->setCellLayer(nullptr);
    }
    std::shared_ptr<CKSoundSource> sound;
    std::unique_ptr<RecordingCell> cell;
};
TestSound makeSound(const QString& path, TestBoard* board);

// The audio a recorder captured from index `from` on: whether it has a stretch of `frames`
// frames where both channels hold (within tolerance) the values given, and where the first
// one begins (-1 when none).
long long findSteadyLevel(const JackRecorder& recorder, size_t from, float left, float right, size_t frames,
                          float tolerance = 1e-6f);

// A JACK server of the test's own with the shared playback controller playing on it, a
// recorder connected to its output, a host, a board the host shows, and sound files. The
// test fails (with CI=true set) or is skipped when jackd cannot start here. At the end every
// sound stops and the output stops before the server goes.
class PlaybackOnDevice : public ::testing::Test {
protected:
    explicit PlaybackOnDevice(unsigned period = 256) : server(44100, period) {}
    void SetUp() override;
    void TearDown() override;

    // Starts recording the output (the recorder keeps `seconds` of it).
    void record(double seconds = 20);
    // Waits until the recorder holds `frames` more frames than now.
    bool recordMore(size_t frames);

    JackTestServer server;
    TestHost host;
    TestBoard board;
    SoundFiles files;
    CKPlaybackController* controller = nullptr;
    std::unique_ptr<JackRecorder> recorder;
};

} // namespace clipdeck::test
