#pragma once
// Publishes one service by DNS-SD (multicast DNS on the local network), in place of the
// platform's network service publishing: a service type, a name and a port go out as one
// record set in the default domain, until stop() or the publisher's end withdraws them.
//
// publish(type, name, port):
// - type is "_service._proto" ("_apple-midi._udp", "_zep-clipdeck._tcp"); a trailing dot, as
//   some callers write types, is dropped.
// - name is the service's name; empty means the machine's host name. When another service of
//   that type already uses the name on the network, the publisher takes the next alternative
//   ("Name #2", "Name #3"...) by itself.
// - The outcome comes later, never inside publish(): the published handler with the name the
//   service really carries (the host name or an alternative where those apply), or the failed
//   handler with an Error (no DNS-SD daemon, a refused record, the daemon gone). A publication
//   that has succeeded can still fail later when the daemon goes away (nothing retries: the
//   owner may publish again), and is reported published again, under its new name, when a
//   later collision on the network moves it to an alternative.
// - Publishing again while a publication stands replaces it (the old one is withdrawn first).
// stop() withdraws the record set and forgets the publication; no handler runs after it for
// that publication. Destroying the publisher stops it.
//
// The publisher used is made by create(): the Avahi one (AvahiServicePublisher.h) unless a
// test installed a factory of its own (setFactory()), such as a fake that needs no daemon.
//
// Threads: main thread only. Handlers run on the main thread, from Qt's event loop (so they
// wait while a private run-loop mode runs); a handler may stop or destroy the publisher.

#include "platform/Error.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class DNSServicePublisher {
public:
    // The domain of the errors the failed handler gets; the code is the DNS-SD layer's own
    // (an Avahi error number for the Avahi publisher).
    static inline const QString ErrorDomain = QStringLiteral("DNSServiceErrorDomain");

    enum class State { Stopped, Publishing, Published, Failed };
    using PublishedHandler = std::function<void(const QString& publishedName)>;
    using FailedHandler = std::function<void(const Error& error)>;
    using Factory = std::function<std::unique_ptr<DNSServicePublisher>()>;

    // A new, stopped publisher from the installed factory (the Avahi one by default).
    static std::unique_ptr<DNSServicePublisher> create();
    // Installs the factory create() uses from now on; an empty one puts the Avahi one back.
    static void setFactory(Factory factory);

    virtual ~DNSServicePublisher() = default;

    void setPublishedHandler(PublishedHandler handler) { publishedHandler_ = std::move(handler); }
    void setFailedHandler(FailedHandler handler) { failedHandler_ = std::move(handler); }

    virtual void publish(const QString& type, const QString& name, uint16_t port) = 0;
    virtual void stop() = 0;

    State state() const { return state_; }
    // The type, name and port asked for by the last publish() (the type without a trailing dot).
    QString type() const { return type_; }
    QString requestedName() const { return requestedName_; }
    uint16_t port() const { return port_; }
    // The name the service carries once published; empty before.
    QString publishedName() const { return publishedName_; }

    // "_apple-midi._udp." -> "_apple-midi._udp".
    static QString normalizedType(const QString& type);

protected:
    DNSServicePublisher() = default;
    // For implementations: record the request, and report outcomes (they update state() and
    // call the handler; call them from the event loop only, never inside publish()).
    void beginPublishing(const QString& type, const QString& name, uint16_t port);
    void didStop();
    void reportPublished(const QString& name);
    void reportFailed(const Error& error);

private:
    State state_ = State::Stopped;
    QString type_;
    QString requestedName_;
    uint16_t port_ = 0;
    QString publishedName_;
    PublishedHandler publishedHandler_;
    FailedHandler failedHandler_;
};
