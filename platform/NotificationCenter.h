#pragma once
// Notifications, in place of the platform's notification centre: named by the system's
// strings, sent by an object (any pointer, compared by identity), carrying a user-info map.
//
// post() delivers synchronously on the poster's thread, to the observers in the order they
// were added. postOnMainThread() queues the delivery for the main thread. Observers may be
// added and removed from any thread, including from inside a delivery: an observer removed
// during a delivery is not called again, even by that same delivery.

#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct Notification {
    QString name;
    const void* object = nullptr;
    QVariantMap userInfo;
};

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    // The process-wide centre.
    static NotificationCenter& defaultCenter();

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // Calls handler for each notification called name (any name when empty) sent by object
    // (any sender when null). observer identifies the registration for removal.
    void addObserver(const void* observer, const QString& name, const void* object, Handler handler);

    // Removes every registration of observer.
    void removeObserver(const void* observer);
    // Removes the registrations of observer for name (any when empty) and object (any when null).
    void removeObserver(const void* observer, const QString& name, const void* object);

    void post(const QString& name, const void* object = nullptr, const QVariantMap& userInfo = {});
    void post(const Notification& notification);
    // Posts on the main thread; callable from any thread except a render callback.
    void postOnMainThread(const QString& name, const void* object = nullptr, const QVariantMap& userInfo = {});

private:
    struct Registration {
        const void* observer;
        QString name;
        const void* object;
        Handler handler;
        std::atomic<bool> active{true};
    };

    std::mutex mutex_;
    std::vector<std::shared_ptr<Registration>> registrations_;
};
