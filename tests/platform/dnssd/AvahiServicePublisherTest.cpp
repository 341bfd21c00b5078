// Publishing by DNS-SD on an Avahi daemon of the test's own (in a network namespace of its
// own, on the test's own bus): what a browser resolves, the host name for an empty name, the
// alternative name after a collision, withdrawal, and failure without a daemon.
#include "platform/dnssd/AvahiServicePublisher.h"

#include "support/AvahiTestDaemon.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

const QString kType = QStringLiteral("_clipdeck-test._tcp");

// Writes down what a publisher reports.
struct Outcome {
    explicit Outcome(DNSServicePublisher& publisher)
    {
        publisher.setPublishedHandler([this](const QString& name) { published << name; });
        publisher.setFailedHandler([this](const Error& error) { failures.push_back(error); });
    }
    QStringList published;
    std::vector<Error> failures;
};

} // namespace

TEST(AvahiServicePublisher, APublishedServiceResolvesToItsPortUntilStopped)
{
    AvahiTestDaemon daemon;
    REQUIRE_AVAHI_DAEMON(daemon);
    AvahiBrowser browser(kType);
    AvahiServicePublisher publisher;
    Outcome outcome(publisher);

    publisher.publish(kType + ".", "Studio Session", 5004); // the trailing dot is dropped
    EXPECT_EQ(publisher.state(), DNSServicePublisher::State::Publishing);
    EXPECT_TRUE(outcome.published.isEmpty()) << "nothing is reported inside the call";
    ASSERT_TRUE(waitUntil([&] { return !outcome.published.isEmpty() || !outcome.failures.empty(); }, 20000));
    EXPECT_EQ(outcome.published, QStringList{"Studio Session"});
    EXPECT_EQ(publisher.publishedName(), "Studio Session");
    EXPECT_EQ(publisher.type(), kType);
    ASSERT_TRUE(waitUntil([&] { return browser.resolved("Studio Session").has_value(); }, 20000));
    EXPECT_EQ(browser.resolved("Studio Session")->port, 5004);

    publisher.stop();
    EXPECT_EQ(publisher.state(), DNSServicePublisher::State::Stopped);
    EXPECT_TRUE(waitUntil([&] { return browser.removed("Studio Session"); }, 20000));
    EXPECT_EQ(outcome.published.size(), 1);
}

TEST(AvahiServicePublisher, AnEmptyNameIsTheHostNameAndATakenNameMovesToAnAlternative)
{
    AvahiTestDaemon daemon;
    REQUIRE_AVAHI_DAEMON(daemon);
    AvahiBrowser browser(kType);
    AvahiServicePublisher host, first, second;
    Outcome hostOutcome(host), firstOutcome(first), secondOutcome(second);

    host.publish(kType, "", 7000);
    first.publish(kType, "Clash", 7001);
    ASSERT_TRUE(waitUntil([&] { return !firstOutcome.published.isEmpty(); }, 20000));
    second.publish(kType, "Clash", 7002);
    ASSERT_TRUE(waitUntil(
        [&] { return !hostOutcome.published.isEmpty() && !secondOutcome.published.isEmpty(); }, 20000));

    const QString hostName = daemon.hostName().section('.', 0, 0); // "vm.local" -> "vm"
    EXPECT_EQ(hostOutcome.published, QStringList{hostName});
    EXPECT_EQ(secondOutcome.published, QStringList{"Clash #2"});
    ASSERT_TRUE(waitUntil([&] { return browser.resolved(hostName) && browser.resolved("Clash #2"); }, 20000));
    EXPECT_EQ(browser.resolved(hostName)->port, 7000);
    EXPECT_EQ(browser.resolved("Clash")->port, 7001);
    EXPECT_EQ(browser.resolved("Clash #2")->port, 7002);
}

TEST(AvahiServicePublisher, WithoutADaemonThePublicationFailsWithTheReason)
{
    // No daemon, and no bus where this test process's system bus would be.
    AvahiServicePublisher publisher;
    Outcome outcome(publisher);
    publisher.publish(kType, "Nobody Hears", 5004);
    EXPECT_TRUE(outcome.failures.empty()) << "nothing is reported inside the call";
    ASSERT_TRUE(waitUntil([&] { return !outcome.failures.empty(); }));
    EXPECT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].domain, DNSServicePublisher::ErrorDomain);
    EXPECT_NE(outcome.failures[0].code, 0);
    EXPECT_FALSE(outcome.failures[0].localizedFailureReason.isEmpty());
    EXPECT_EQ(publisher.state(), DNSServicePublisher::State::Failed);
    EXPECT_TRUE(outcome.published.isEmpty());
}
