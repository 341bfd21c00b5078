#pragma once
// The DNS-SD publisher on the Avahi daemon (DNSServicePublisher.h has the contract): one
// client connection to the daemon over the system D-Bus (DBUS_SYSTEM_BUS_ADDRESS when set)
// and one entry group holding the service, on every interface and protocol the daemon
// serves, in its default domain.
//
// No daemon (or no bus) fails the publication with the library's reason; a name taken on the
// network moves on to Avahi's alternative name and publishes again; a daemon that goes away
// later fails the publication.
//
// Threads: main thread only (the client runs on Qt's loop through AvahiQtPoll).

#include "platform/dnssd/DNSServicePublisher.h"

#include <QObject>

#include <memory>

class AvahiQtPoll;
struct AvahiClient;
struct AvahiEntryGroup;

class AvahiServicePublisher final : public DNSServicePublisher {
public:
    AvahiServicePublisher();
    ~AvahiServicePublisher() override;

    void publish(const QString& type, const QString& name, uint16_t port) override;
    void stop() override;

private:
    struct Callbacks;
    friend struct Callbacks;

    void addService(AvahiClient* client);
    void freeConnection();
    // Reports from the event loop, dropped when the publication ended or changed meanwhile.
    void queuePublished(const QString& name);
    void queueFailed(int avahiError);

    std::unique_ptr<AvahiQtPoll> poll_;
    AvahiClient* client_ = nullptr;
    AvahiEntryGroup* group_ = nullptr;
    QByteArray serviceName_; // the name being registered (alternatives replace it)
    uint64_t generation_ = 0;
    QObject context_; // queued reports die with the publisher
};
