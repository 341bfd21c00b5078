#pragma once
// The main thread's run loop with modes, in place of the platform's run loops: descriptor
// sources, one-shot timers and deferred calls, each scheduled in a set of named modes.
//
// Two modes are shared with the program's Qt event loop, NSDefaultRunLoopMode and
// NSRunLoopCommonModes. What is scheduled in either is served by Qt's loop wherever it runs:
// the main loop, menus, modal dialogs, QEventLoop::exec, QCoreApplication::processEvents.
// (The two are one here: Qt has no tracking mode that would tell them apart.)
// Every other name is a private mode. What is scheduled in a private mode runs there only
// while runMode(name, deadline) runs: a nested loop on the calling thread that polls that
// mode's descriptors, fires its timers and runs its deferred calls, and nothing else. It
// processes no Qt event, so the user interface, Qt timers and everything scheduled only in
// the shared modes wait until it returns.
//
// Time: timer times and deadlines are seconds on TimeSource::currentTime()'s clock. In the
// shared modes a timer rides on a platform Timer of the current time source (a test's
// ManualTimeSource fires it when advanced); in a private mode runMode fires it once that
// clock has reached its time. A manual clock moves only when the test moves it, so under
// one a deadline ahead of the clock is reached by advancing the clock, never by waiting:
// tests run a private mode with a deadline at or before the clock's time (one pass) or
// until a source is handled.
//
// Threads: there is one loop, the main thread's. Everything here, including the handlers
// of sources, timers and deferred calls, runs on the main thread.

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <list>
#include <vector>

class RunLoopSource;
class RunLoopTimer;

// The mode of ordinary work (shared with Qt's loop).
inline const QString NSDefaultRunLoopMode = QStringLiteral("RunLoopDefaultMode");
// The modes served in menus and modal dialogs too (shared with Qt's loop, like the default).
inline const QString NSRunLoopCommonModes = QStringLiteral("RunLoopCommonModes");

class RunLoop {
public:
    // The main thread's loop.
    static RunLoop& main();
    // The calling thread's loop: main() on the main thread, null elsewhere.
    static RunLoop* current();
    // True when called on this loop's thread.
    bool isCurrent() const;

    // True for the two modes that Qt's loop serves.
    static bool isSharedMode(const QString& mode);

    // Schedules an item in one more mode (nothing when it is there already). An item is
    // scheduled in one loop at a time: remove it from every mode of one loop before adding
    // it to another. Items leave their loop by themselves when destroyed.
    void addSource(RunLoopSource& source, const QString& mode);
    void removeSource(RunLoopSource& source, const QString& mode);
    void addTimer(RunLoopTimer& timer, const QString& mode);
    void removeTimer(RunLoopTimer& timer, const QString& mode);

    // Deferred calls, in place of performing a selector after a delay of 0: call runs once,
    // on a later pass of the loop in any of modes (never inside this call). target and
    // selector only name the call, for cancelling; target is never dereferenced.
    void perform(const void* target, int selector, std::function<void()> call, const QStringList& modes);
    // Cancels every pending call aimed at target, or only those of one selector.
    void cancelPerforms(const void* target);
    void cancelPerforms(const void* target, int selector);
    // Pending deferred calls aimed at target.
    int pendingPerforms(const void* target) const;

    // Runs the loop in one private mode until a source has been handled or the clock has
    // reached deadline (answers true), or until nothing is scheduled in the mode any more
    // (answers false, at once when nothing is scheduled there on entry). Each pass fires the
    // mode's due timers, runs the deferred calls pending at its start, then waits on the
    // mode's descriptors. Timers and deferred calls alone never end the run.
    // Throws std::logic_error for a shared mode: Qt's loop serves those.
    bool runMode(const QString& mode, double deadline);

    // True when a source, timer or deferred call is scheduled in mode.
    bool hasWorkInMode(const QString& mode) const;

    RunLoop();
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

private:
    friend class RunLoopSource;
    friend class RunLoopTimer;

    struct Perform {
        uint64_t id;
        const void* target;
        int selector;
        QStringList modes;
        std::function<void()> call;
    };

    void removeSourceFromAllModes(RunLoopSource& source);
    void removeTimerFromAllModes(RunLoopTimer& timer);
    template <class Item>
    void addItem(std::vector<Item*>& items, Item& item, const QString& mode);
    template <class Item>
    void removeItem(std::vector<Item*>& items, Item& item, const QString& mode);
    template <class Item>
    void removeItemFromAllModes(std::vector<Item*>& items, Item& item);
    RunLoopSource* sourceWithSerial(uint64_t serial) const;
    RunLoopTimer* timerWithSerial(uint64_t serial) const;
    // Queues a Qt call that dispatches a signalled source, found again by its serial.
    void postSignalled(uint64_t serial);
    void runPerform(uint64_t id);

    void fireDueTimers(const QString& mode, double now);
    void runPendingPerforms(const QString& mode);
    // Waits up to wait seconds on the mode's descriptors and dispatches what is ready;
    // answers whether a source was handled.
    bool pollSources(const QString& mode, double wait);

    QObject context_; // posted Qt calls of this loop die with it
    std::vector<RunLoopSource*> sources_;
    std::vector<RunLoopTimer*> timers_;
    std::list<Perform> performs_;
    uint64_t nextPerformId_ = 1;
};
