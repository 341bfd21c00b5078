#pragma once
// Notices MIDI sources that come and go, in place of the MIDI services' "set-up changed"
// notification: the list of sources (MIDISystem) is read again about once a second and,
// when it differs from the list read before, onChange runs.
//
// Threads: main thread. The checks run on a main-thread Timer of the current TimeSource
// (tests move a ManualTimeSource to run them).

#include <QStringList>

#include <functional>
#include <memory>

class Timer;

class MIDISetupMonitor {
public:
    // Reads the list once now (without calling onChange) and starts checking every interval
    // seconds.
    explicit MIDISetupMonitor(std::function<void()> onChange, double interval = 1.0);
    ~MIDISetupMonitor();

    // Reads the list now; calls onChange (and answers true) when it changed.
    bool checkNow();

    QStringList knownSources() const { return known_; }

private:
    static QStringList currentSources();
    std::function<void()> onChange_;
    std::unique_ptr<Timer> timer_;
    QStringList known_;
};
