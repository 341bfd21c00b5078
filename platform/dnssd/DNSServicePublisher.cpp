#include "platform/dnssd/DNSServicePublisher.h"

#include "platform/dnssd/AvahiServicePublisher.h"

namespace {

DNSServicePublisher::Factory& installedFactory()
{
    static DNSServicePublisher::Factory factory;
    return factory;
}

} // namespace

std::unique_ptr<DNSServicePublisher> DNSServicePublisher::create()
{
    if (const Factory& factory = installedFactory())
        return factory();
    return std::make_unique<AvahiServicePublisher>();
}

void DNSServicePublisher::setFactory(Factory factory)
{
    installedFactory() = std::move(factory);
}

QString DNSServicePublisher::normalizedType(const QString& type)
{
    return type.endsWith('.') ? type.chopped(1) : type;
}

void DNSServicePublisher::beginPublishing(const QString& type, const QString& name, uint16_t port)
{
    type_ = normalizedType(type);
    requestedName_ = name;
    port_ = port;
    publishedName_.clear();
    state_ = State::Publishing;
}

void DNSServicePublisher::didStop()
{
    publishedName_.clear();
    state_ = State::Stopped;
}

void DNSServicePublisher::reportPublished(const QString& name)
{
    publishedName_ = name;
    state_ = State::Published;
    // A copy: the handler may replace the handlers or destroy the publisher.
    if (PublishedHandler handler = publishedHandler_)
        handler(name);
}

void DNSServicePublisher::reportFailed(const Error& error)
{
    publishedName_.clear();
    state_ = State::Failed;
    if (FailedHandler handler = failedHandler_)
        handler(error);
}
