#include "platform/NotificationCenter.h"

#include "platform/MainThread.h"

#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter()
{
    // Kept for the whole process (never destroyed): threads that post, such as the device
    // poller, may still run while static objects are destroyed at exit.
    static auto* center = new NotificationCenter;
    return *center;
}

void NotificationCenter::addObserver(const void* observer, const QString& name, const void* object, Handler handler)
{
    auto registration = std::make_shared<Registration>();
    registration->observer = observer;
    registration->name = name;
    registration->object = object;
    registration->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    registrations_.push_back(std::move(registration));
}

void NotificationCenter::removeObserver(const void* observer)
{
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& r) {
        if (r->observer != observer)
            return false;
        r->active.store(false);
        return true;
    });
}

void NotificationCenter::removeObserver(const void* observer, const QString& name, const void* object)
{
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& r) {
        const bool matches = r->observer == observer && (name.isEmpty() || r->name == name) &&
                             (!object || r->object == object);
        if (matches)
            r->active.store(false);
        return matches;
    });
}

void NotificationCenter::post(const QString& name, const void* object, const QVariantMap& userInfo)
{
    post(Notification{name, object, userInfo});
}

void NotificationCenter::post(const Notification& notification)
{
    // Deliver from a snapshot, outside the lock, so handlers may add and remove observers.
    std::vector<std::shared_ptr<Registration>> receivers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : registrations_) {
            if ((r->name.isEmpty() || r->name == notification.name) && (!r->object || r->object == notification.object))
                receivers.push_back(r);
        }
    }
    for (const auto& r : receivers) {
        if (r->active.load())
            r->handler(notification);
    }
}

void NotificationCenter::postOnMainThread(const QString& name, const void* object, const QVariantMap& userInfo)
{
    mainthread::post([this, notification = Notification{name, object, userInfo}] { post(notification); });
}
