#pragma once
// A run-loop source, in place of the platform's socket and stream sources: a descriptor
// watched for reading and/or writing, and a signal that asks for one dispatch on a later
// pass. While the source is scheduled in a shared mode Qt's loop watches it (QSocketNotifier);
// in a private mode RunLoop::runMode polls it.
//
// Level-triggered: a descriptor that stays readable is dispatched on every pass while
// Readable is in the interest, so an owner that cannot act on an event takes the event out
// of the interest until it can.
//
// Threads: main thread only. The handler may destroy the source, reschedule it or change its
// descriptor; the loop touches nothing of a source after its handler returns.

#include "platform/runloop/RunLoopItem.h"

#include <functional>

class QSocketNotifier;

class RunLoopSource final : public RunLoopItem {
public:
    enum Event { Readable = 1, Writable = 2, Signalled = 4 };
    // Called with the events that are ready (an OR of Event).
    using Handler = std::function<void(int events)>;

    explicit RunLoopSource(Handler handler);
    // Leaves its loop; touches no descriptor (closing it is the owner's affair, after this).
    ~RunLoopSource();
    RunLoopSource(const RunLoopSource&) = delete;
    RunLoopSource& operator=(const RunLoopSource&) = delete;

    // The descriptor watched, -1 for none. Set -1 before closing a watched descriptor.
    void setDescriptor(int descriptor);
    int descriptor() const { return descriptor_; }
    // The events waited for: Readable, Writable, both or none.
    void setInterest(int events);
    int interest() const { return interest_; }

    // Asks for one dispatch with Signalled on a later pass of a loop that runs one of the
    // source's modes. Signalling a signalled source does nothing more.
    void signal();
    bool isSignalled() const { return signalled_; }

private:
    friend class RunLoop;

    void scheduleChanged() override { updateSharedWatch(); }
    // Brings the Qt notifiers and posted signal in line with descriptor, interest and modes.
    void updateSharedWatch();
    void dropNotifiers();
    void dispatch(int events);

    Handler handler_;
    int descriptor_ = -1;
    int interest_ = 0;
    bool signalled_ = false;
    bool signalPosted_ = false;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
};
