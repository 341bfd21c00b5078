// The remote service as others find it: published on an Avahi daemon of the test's own (in a
// network namespace of its own), under a new name when another service holds the first; and,
// with no daemon, one error and no port left open.
#include "ErrorCountingHost.h"
#include "RemoteTestClient.h"

#include "clipdeck/CKClipdeckHost.h"
#include "platform/UserDefaults.h"
#include "platform/dnssd/DNSServicePublisher.h"
#include "remote/CKRemoteServer.h"
#include "remote/CKServerController.h"
#include "support/AvahiTestDaemon.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

TEST(ServerControllerPublishing, theServiceShowsItsPortAndAClashGetsANewName)
{
    AvahiTestDaemon daemon;
    REQUIRE_AVAHI_DAEMON(daemon);
    AvahiBrowser browser(QStringLiteral("_zep-clipdeck._tcp"));
    TempFolder folder;
    UserDefaults preferences(folder.file(QStringLiteral("preferences.plist")));

    // Another service already carries the host's name.
    const std::unique_ptr<DNSServicePublisher> other = DNSServicePublisher::create();
    other->publish(QStringLiteral("_zep-clipdeck._tcp"), QString(), 9);
    ASSERT_TRUE(waitUntil([&] { return other->state() == DNSServicePublisher::State::Published; }, 20000));

    CKServerController controller;
    controller.setListeningInterface(QStringLiteral("localhost"));
    controller.setPreferences(&preferences);
    controller.setRemoteEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return controller.isEnabled(); }, 20000));
    EXPECT_FALSE(controller.serviceName().isEmpty());
    EXPECT_NE(controller.serviceName(), other->publishedName());
    ASSERT_TRUE(waitUntil([&] { return browser.resolved(controller.serviceName()).has_value(); }, 20000));
    EXPECT_EQ(browser.resolved(controller.serviceName())->port, controller.server()->port());

    const QString name = controller.serviceName();
    controller.setRemoteEnabled(false);
    EXPECT_TRUE(waitUntil([&] { return browser.removed(name); }, 20000));
}

TEST(ServerControllerPublishing, withoutADaemonSaysSoOnceAndLeavesNoPortOpen)
{
    ErrorCountingHost host;
    TempFolder folder;
    UserDefaults preferences(folder.file(QStringLiteral("preferences.plist")));
    CKServerController controller;
    controller.setListeningInterface(QStringLiteral("localhost"));
    controller.setPreferences(&preferences);
    controller.setRemoteEnabled(true);
    ASSERT_NE(controller.server(), nullptr);
    const uint16_t port = controller.server()->port();
    ASSERT_TRUE(waitUntil([&] { return controller.server() == nullptr; }, 20000));
    EXPECT_EQ(host.errors, QStringList{"Clipdeck Remote"});
    EXPECT_FALSE(controller.isEnabled());
    EXPECT_FALSE(remotetest::RemoteTestClient("127.0.0.1", port).isConnected());
}

} // namespace
