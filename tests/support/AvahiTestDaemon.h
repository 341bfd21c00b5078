#pragma once
// A DNS-SD daemon of the test's own, for tests of publishing: avahi-daemon in a network
// namespace of its own with only the loopback interface up (IPv4 only, no wide-area), so
// nothing it announces leaves the machine, on the test process's own system bus (the one
// DBUS_SYSTEM_BUS_ADDRESS names, see TestEnvironment.h), which it starts when none runs
// there. The daemon also runs in a mount namespace of its own with a private /run, so the
// daemons of test processes run side by side never meet: neither their pid files, nor
// their buses, nor their networks. Both processes are stopped by their process ids when the
// object goes (and die with the test process if it crashes).
//
// AvahiBrowser follows what the daemon announces for one service type (avahi-browse), for
// tests to check what resolves and what has gone.
//
// Threads: main thread (the browser reads on Qt's event loop: use waitUntil).

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QProcess;

// In a test body: when the daemon did not come up, fails the test on CI (CI=true), where it
// must run, and skips it elsewhere.
#define REQUIRE_AVAHI_DAEMON(daemon)                                                                           \
    do {                                                                                                       \
        if (!(daemon).running()) {                                                                             \
            if (qgetenv("CI") == "true")                                                                       \
                FAIL() << "avahi-daemon could not start: " << (daemon).error().toStdString();                 \
            GTEST_SKIP() << "avahi-daemon could not start here: " << (daemon).error().toStdString();          \
        }                                                                                                      \
    } while (0)

namespace clipdeck::test {

class AvahiTestDaemon {
public:
    AvahiTestDaemon();
    ~AvahiTestDaemon();
    AvahiTestDaemon(const AvahiTestDaemon&) = delete;
    AvahiTestDaemon& operator=(const AvahiTestDaemon&) = delete;

    bool running() const { return running_; }
    // Why it did not come up, with the daemon's own output.
    QString error() const { return error_; }
    // The host name the daemon announces ("vm.local").
    QString hostName() const { return hostName_; }

private:
    // The path of a file of the daemon's folder written with text; empty (and error_ set)
    // when it cannot be written.
    QString writeConfig(const QString& name, const QByteArray& text);
    bool startBus(const QString& socketPath);
    bool startDaemon();

    std::unique_ptr<QProcess> bus_;
    std::unique_ptr<QProcess> daemon_;
    QString folder_;
    QString hostName_;
    QString error_;
    bool running_ = false;
};

class AvahiBrowser {
public:
    struct Service {
        QString name;
        QString hostName;
        QString address;
        uint16_t port = 0;
    };

    // Starts browsing (and resolving) type, e.g. "_apple-midi._udp".
    explicit AvahiBrowser(const QString& type);
    ~AvahiBrowser();
    AvahiBrowser(const AvahiBrowser&) = delete;
    AvahiBrowser& operator=(const AvahiBrowser&) = delete;

    // The service called name as last resolved, unless it has gone since.
    std::optional<Service> resolved(const QString& name);
    // Whether the service called name was announced and has gone since.
    bool removed(const QString& name);

private:
    void readLines();

    std::unique_ptr<QProcess> process_;
    QByteArray pending_;
    std::vector<std::pair<QString, std::optional<Service>>> events_; // name, resolved or gone
};

} // namespace clipdeck::test
