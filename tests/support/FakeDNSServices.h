#pragma once
// DNS-SD publishing without a daemon, for unit tests: while an object of this class lives,
// DNSServicePublisher::create() makes fakes that keep their records here. A fake answers a
// publication on the next pass of the event loop, as a daemon would: published under the
// name asked for ("Test Host" for an empty one), or failed when the test asked for that.
//
// Threads: main thread.

#include "platform/dnssd/DNSServicePublisher.h"

#include <memory>
#include <vector>

namespace clipdeck::test {

class FakeDNSServices {
public:
    static inline const QString kHostName = QStringLiteral("Test Host");

    struct Record {
        QString type;
        QString name;
        uint16_t port = 0;
        bool operator==(const Record& other) const = default;
    };

    FakeDNSServices();
    // Puts the ordinary publisher back; fakes still alive keep working.
    ~FakeDNSServices();
    FakeDNSServices(const FakeDNSServices&) = delete;
    FakeDNSServices& operator=(const FakeDNSServices&) = delete;

    // The records published now, in the order they were published.
    std::vector<Record> standing() const;
    // Publications asked for so far.
    int publications() const;
    // From now on publications fail (or succeed again).
    void setFailing(bool failing);

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace clipdeck::test
