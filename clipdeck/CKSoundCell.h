#pragma once
// The cell of the board window that shows a sound, as the sound and the playback controller
// see it: they tell it each change of the sound's play state and progress. The window's
// cell layer implements it; every call is optional. The sound does not own its cell: the
// window sets and clears the reference. Main thread.

#include <QString>

class CKSoundSource;

class CKSoundCell {
public:
    virtual ~CKSoundCell() = default;

    // The sound started, restarted or was resumed (sender: the sound, or null).
    virtual void soundDidPlay(CKSoundSource*) {}
    // The sound was paused on its own.
    virtual void soundDidPause(CKSoundSource*) {}
    // A fade-out of the sound began.
    virtual void soundWillFade(CKSoundSource*) {}
    // The sound stopped (its last start finished).
    virtual void soundDidStop(CKSoundSource*) {}
    // The share of the sound played, 0..1 (every progress tick while it plays).
    virtual void setPercentFinished(float) {}
    // The play state changed in a way the cell draws (a stop that was not announced).
    virtual void updateOverlayLayer() {}
    // The computer key that fires the sound, for the key cap: its caption and key code.
    virtual void setKeyCharacter(const QString&, quint16) {}
    // The sound the cell shows (given again when its name changed, to refresh the label).
    virtual void setSoundSource(CKSoundSource*) {}
    // The progress bar's colour follows the sound's state (an import shows its progress).
    virtual void updateProgressBarColor() {}
};
