#pragma once
// Runs the Avahi client library on Qt's event loop: an AvahiPoll whose descriptor watches are
// QSocketNotifiers and whose time-outs are QTimers (the library has no adapter for Qt 6).
//
// The time-outs are the client library's own, given as instants of the wall clock the
// library reads; they are library internals (message dispatch, D-Bus reply time-outs), not
// timed behaviour of the program, so they ride on plain precise QTimers rather than on the
// program's TimeSource.
//
// Watches and time-outs may be freed or changed from inside their own callbacks (the
// library does): the adapter never deletes an object whose callback is still running.
//
// Threads: main thread only (the thread that made the poll runs every callback). Free every
// client made on the poll before the poll.

#include <QObject>

struct AvahiPoll;

class AvahiQtPoll {
public:
    AvahiQtPoll();
    ~AvahiQtPoll();
    AvahiQtPoll(const AvahiQtPoll&) = delete;
    AvahiQtPoll& operator=(const AvahiQtPoll&) = delete;

    // The poll to hand to avahi_client_new().
    const AvahiPoll* poll() const;

    // Watches and time-outs now alive (for tests).
    int liveWatches() const { return liveWatches_; }
    int liveTimeouts() const { return liveTimeouts_; }

private:
    struct Table;
    friend struct AvahiWatch;
    friend struct AvahiTimeout;
    Table* table_;
    int liveWatches_ = 0;
    int liveTimeouts_ = 0;
};
