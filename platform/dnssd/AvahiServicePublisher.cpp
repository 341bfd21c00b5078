#include "platform/dnssd/AvahiServicePublisher.h"

#include "platform/dnssd/AvahiQtPoll.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <QMetaObject>

struct AvahiServicePublisher::Callbacks {
    static void client(AvahiClient* client, AvahiClientState state, void* context)
    {
        auto* self = static_cast<AvahiServicePublisher*>(context);
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            self->addService(client);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            // The daemon is (re)establishing its host name: the records go out again once it
            // runs.
            if (self->group_)
                avahi_entry_group_reset(self->group_);
            break;
        case AVAHI_CLIENT_FAILURE:
            self->queueFailed(avahi_client_errno(client));
            break;
        case AVAHI_CLIENT_CONNECTING:
            break;
        }
    }

    static void group(AvahiEntryGroup* group, AvahiEntryGroupState state, void* context)
    {
        auto* self = static_cast<AvahiServicePublisher*>(context);
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            self->queuePublished(QString::fromUtf8(self->serviceName_));
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            self->serviceName_ = nextAlternative(self->serviceName_);
            avahi_entry_group_reset(group);
            self->addService(avahi_entry_group_get_client(group));
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            self->queueFailed(avahi_client_errno(avahi_entry_group_get_client(group)));
            break;
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
        case AVAHI_ENTRY_GROUP_REGISTERING:
            break;
        }
    }

    static QByteArray nextAlternative(const QByteArray& name)
    {
        char* alternative = avahi_alternative_service_name(name.constData());
        const QByteArray result(alternative);
        avahi_free(alternative);
        return result;
    }
};

AvahiServicePublisher::AvahiServicePublisher() = default;

AvahiServicePublisher::~AvahiServicePublisher()
{
    freeConnection();
}

void AvahiServicePublisher::publish(const QString& type, const QString& name, uint16_t port)
{
    freeConnection();
    beginPublishing(type, name, port);
    serviceName_ = name.toUtf8();
    if (!poll_)
        poll_ = std::make_unique<AvahiQtPoll>();
    int error = 0;
    // The state callback may run inside this call already (and add the service).
    client_ = avahi_client_new(poll_->poll(), AvahiClientFlags(0), &Callbacks::client, this, &error);
    if (!client_)
        queueFailed(error);
}

void AvahiServicePublisher::stop()
{
    freeConnection();
    didStop();
}

void AvahiServicePublisher::freeConnection()
{
    ++generation_; // reports still queued belong to the publication that ends here
    if (group_) {
        avahi_entry_group_free(group_); // withdraws the records
        group_ = nullptr;
    }
    if (client_) {
        avahi_client_free(client_);
        client_ = nullptr;
    }
}

void AvahiServicePublisher::addService(AvahiClient* client)
{
    if (serviceName_.isEmpty())
        serviceName_ = avahi_client_get_host_name(client);
    if (!group_) {
        group_ = avahi_entry_group_new(client, &Callbacks::group, this);
        if (!group_) {
            queueFailed(avahi_client_errno(client));
            return;
        }
    }
    if (!avahi_entry_group_is_empty(group_))
        return;
    const QByteArray serviceType = type().toUtf8();
    int result = AVAHI_ERR_COLLISION;
    // A name this daemon already holds for the type collides at once: take the alternatives.
    for (int attempt = 0; attempt < 100 && result == AVAHI_ERR_COLLISION; ++attempt) {
        result = avahi_entry_group_add_service(group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                                               serviceName_.constData(), serviceType.constData(), nullptr, nullptr,
                                               port(), nullptr);
        if (result == AVAHI_ERR_COLLISION)
            serviceName_ = Callbacks::nextAlternative(serviceName_);
    }
    if (result >= 0)
        result = avahi_entry_group_commit(group_);
    if (result < 0)
        queueFailed(result);
}

void AvahiServicePublisher::queuePublished(const QString& name)
{
    QMetaObject::invokeMethod(
        &context_,
        [this, name, generation = generation_] {
            if (generation == generation_)
                reportPublished(name);
        },
        Qt::QueuedConnection);
}

void AvahiServicePublisher::queueFailed(int avahiError)
{
    const uint64_t generation = generation_;
    QMetaObject::invokeMethod(
        &context_,
        [this, avahiError, generation] {
            if (generation != generation_)
                return;
            // The publication is over: let go of the connection, keep the failed state.
            freeConnection();
            reportFailed(Error(ErrorDomain, avahiError, QStringLiteral("The service could not be published."),
                               QString::fromUtf8(avahi_strerror(avahiError))));
        },
        Qt::QueuedConnection);
}
