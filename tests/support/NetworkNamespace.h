#pragma once
// Moves the test's main thread into a network namespace of its own, with only the loopback
// interface (up), for as long as the object lives: sockets and name lookups made meanwhile
// (also on threads started meanwhile) can reach nothing outside this process's namespace,
// and no query leaves the machine. Needs root (CAP_SYS_ADMIN).

#include <QString>

// In a test body: in CI (CI=true) a namespace that cannot be made is a failure; elsewhere
// (not root) the test skips.
#define REQUIRE_NETWORK_NAMESPACE(ns)                                                                           \
    do {                                                                                                         \
        if (!(ns).isActive()) {                                                                                  \
            if (qgetenv("CI") == "true")                                                                         \
                FAIL() << "no network namespace: " << (ns).error().toStdString();                               \
            GTEST_SKIP() << "no network namespace (needs root): " << (ns).error().toStdString();                \
        }                                                                                                        \
    } while (false)

namespace clipdeck::test {

class NetworkNamespace {
public:
    NetworkNamespace();
    // Returns the thread to the namespace it came from.
    ~NetworkNamespace();
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    // False when the namespace could not be made; error() says why.
    bool isActive() const { return active_; }
    QString error() const { return error_; }

private:
    int original_ = -1;
    bool active_ = false;
    QString error_;
};

} // namespace clipdeck::test
