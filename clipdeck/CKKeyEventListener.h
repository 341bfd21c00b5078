#pragma once
// A trigger on a computer key: a target and an action, registered with the key dispatcher
// (CKKeyEventDispatch.h) for a virtual key code and an event type (key down or key up).
// Sounds register one for key down (play) and one for key up (the release); the key caps of
// the grid register their own.
//
// The target is held weakly: a listener whose target is gone, or that has been removed,
// does nothing when its call comes.
//
// Threads: main thread.

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>

class CKKeyEventListener {
public:
    using Action = std::function<void()>;
    enum EventType : int32_t { kKeyDown = 10, kKeyUp = 11 };

    // key is kept as processed by CKKeyEventDispatch::processString().
    CKKeyEventListener(QObject* target, Action action, const QString& key, uint16_t keyCode, int32_t eventType);

    QObject* target() const { return target_.data(); }
    // The key's character, for descriptions only: matching goes by key code and type.
    QString key() const { return key_; }
    uint16_t keyCode() const { return keyCode_; }
    int32_t eventType() const { return eventType_; }

    // Calls the action when the target still exists and the listener is registered.
    void call();

    // "<CKKeyEventListener 0x...> key: q keyCode: 12 eventType: 10 target: 0x... action: set"
    QString description() const;

    // The dispatcher's bookkeeping.
    bool isRegistered() const { return registered_; }
    void setRegistered(bool registered) { registered_ = registered; }

private:
    const QPointer<QObject> target_;
    const Action action_;
    const QString key_;
    const uint16_t keyCode_;
    const int32_t eventType_;
    bool registered_ = false;
};
