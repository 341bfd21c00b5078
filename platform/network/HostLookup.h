#pragma once
// A host-name lookup (getaddrinfo) run on a thread of its own, so the main loop never waits
// on the network. The answer is kept here and announced on an event descriptor, which a
// run-loop source watches for Readable: it is delivered in whatever mode that source runs.
//
// Threads: start() and the queries are made on one thread (the main thread); the lookup's
// own thread touches only the shared answer, under a lock. Dropping the last reference
// abandons the lookup: its thread finishes by itself and its answer goes unread.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class HostLookup {
public:
    // Starts looking up host for TCP connections to port, any family. Answers null when no
    // thread can be started.
    static std::shared_ptr<HostLookup> start(const QString& host, uint16_t port);
    ~HostLookup();

    // Readable once the answer is in (and stays readable).
    int readyDescriptor() const { return eventDescriptor_; }
    bool isFinished() const;
    // getaddrinfo()'s code (0: addresses found); meaningful once finished.
    int status() const;
    // The addresses found, in the resolver's order, as socket address records.
    std::vector<QByteArray> addresses() const;

    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

private:
    struct Answer;
    HostLookup();

    int eventDescriptor_ = -1;
    std::shared_ptr<Answer> answer_;
};
