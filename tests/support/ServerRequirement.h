#pragma once
// Tests that need a server of their own (a JACK server, the Avahi daemon) skip when it
// cannot start on this machine, but fail when the environment says CI=true: a CI run never
// passes by skipping what it was meant to test.
//
//     JackTestServer server;
//     CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
//
// Use it where a test body or SetUp() may return (it returns from the function).

#include <gtest/gtest.h>

namespace clipdeck::test {

// CI is set to "true" (any case) in the environment.
bool runningUnderContinuousIntegration();

} // namespace clipdeck::test

#define CLIPDECK_REQUIRE_SERVER(running, serverName)                                                                   \
    if (running) {                                                                                                     \
    } else if (::clipdeck::test::runningUnderContinuousIntegration())                                                  \
        GTEST_FAIL() << serverName << " could not start, and CI=true does not let a test skip for that";              \
    else                                                                                                               \
        GTEST_SKIP() << serverName << " could not start here"
