#pragma once
// The drawer's master controls pane: master gain and pan sliders, the left and right level
// meters, Pause All and Duck. It drives the playback controller and follows it; it does no
// audio work of its own.
//
//  - Meters: while playback runs and is not paused, a repeating 0.05 s Timer reads the
//    output player's levels (lock-free values) into the meters; a pause or the end of
//    playback zeroes them and stops the poll.
//  - Gain: the slider writes the master gain; moved while ducked it ends the ducking at
//    once (no fade back), so the gain stays where the slider put it. A gain or pan set
//    elsewhere (keys, remote, MIDI) ends ducking the same way.
//  - Pan: the slider shows the controller's pan negated. Near the centre (|p| < 0.1) the pan
//    sticks at 0 until five wheel steps in one direction, less than 1 s apart, push it to
//    +-0.1.
//  - Duck toggles the controller's ducking, whose fade the controller runs.
//
// Main thread only.

#include "platform/TimeSource.h"

#include <QWidget>

class CKButton;
class CKDrawerSlider;
class CKPlaybackController;
class QWheelEvent;
class ZEPAudioMeter;

class CKMasterControlsViewController : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 214;
    static constexpr double kLevelInterval = 0.05;
    static constexpr float kPanDeadZone = 0.1f;
    static constexpr int kScrollStepsToLeaveCentre = 5;
    static constexpr double kScrollStepGap = 1.0;

    explicit CKMasterControlsViewController(QWidget* parent = nullptr);
    ~CKMasterControlsViewController() override;

    CKDrawerSlider* gainSlider() const { return mGainSlider; }
    CKDrawerSlider* panSlider() const { return mPanSlider; }
    ZEPAudioMeter* leftMeter() const { return mLeftMeter; }
    ZEPAudioMeter* rightMeter() const { return mRightMeter; }
    CKButton* duckAudioButton() const { return mDuckAudioButton; }
    CKButton* pauseAllButton() const { return mPauseAllButton; }

    // Actions of the controls.
    void updateSliderGain();
    void updatePan();
    void duckVolume();
    void pauseAllSounds();
    void muteVolume() { setOutputGain(0); }
    void maxVolume() { setOutputGain(1.0f); }

    // The pan slider's value p, snapped by the centre's dead zone; wheel is the wheel step
    // that moved it (null: the mouse), timed by TimeSource.
    float snappedPan(float p, const QWheelEvent* wheel);

    // The playback controller's master values (the pan with its sign inverted).
    float outputGain() const;
    void setOutputGain(float gain);
    float outputPan() const;
    void setOutputPan(float pan);
    bool paused() const;
    void setPaused(bool paused);
    bool ducked() const;
    void setDucked(bool ducked);

    bool isPlaybackRunning() const { return mPlaybackRunning; }
    bool isPolling() const { return mUpdateProgressTimer.isActive(); }

    void playbackStarted();
    void playbackStopped();
    void updateProgressAndLevels();
    void updateDuckingButton();
    void updatePauseAllButton();
    void updateSliders();
    void updatePausingState();

private:
    void startProgressUpdates();
    void stopProgressUpdates();
    void zeroMeters();
    CKPlaybackController* controller() const;

    ZEPAudioMeter* mLeftMeter;
    ZEPAudioMeter* mRightMeter;
    CKDrawerSlider* mGainSlider;
    CKDrawerSlider* mPanSlider;
    CKButton* mDuckAudioButton;
    CKButton* mPauseAllButton;
    Timer mUpdateProgressTimer;
    bool mPlaybackRunning = false;
    double mLastScrollPanTimeStamp = 0;
    int mScrollWheelEventCount = 0;
    float mScrollWheelDirection = 0;
    bool isLocalVolumeChange = false;
};
