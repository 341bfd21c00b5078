#pragma once
// A trigger on MIDI input: a target and an action, called for each event that passes the
// listener's filter on channel, event kind and button (ZEPMIDIAction.h gives the codes and
// wildcards). Sounds, the playback controller and the learn controller register listeners on
// the MIDI client (ZEPMIDIClient.h), which returns them shared; the registering object keeps
// its listener and removes it before it goes away.
//
// The target is held weakly (QPointer): it is the object the action works on, it decides
// whether the listener may fire (a listener whose target is gone fires no more), and it names
// the owner in descriptions. The action is any callable; it receives the event.
//
// Delivery: a listener calls its action on the MIDI thread (MIDIThread) or hands the call to
// the main thread without waiting (MainThread; calls keep the order of the events). An action
// on the MIDI thread must be short and must never wait for the main thread: the main thread
// may be waiting for the MIDI thread (a removal waits for a call in progress, closing the
// MIDI client joins the MIDI thread).
//
// Removal: once the client has removed the listener (invalidate()), the action never runs
// again, not even for an event already being dispatched or already handed to the main
// thread; a removal from another thread waits for a call in progress on the MIDI thread.
//
// Threads: made and registered on the main thread; fireIfMatchesAction() on the MIDI thread;
// the filter fields never change; exclusive may be set from any thread.

#include "clipdeck/ZEPMIDIAction.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class ZEPMIDIListener : public std::enable_shared_from_this<ZEPMIDIListener> {
public:
    using Action = std::function<void(const ZEPMIDIAction& event)>;
    enum class Delivery { MIDIThread, MainThread };

    ZEPMIDIListener(QObject* target, Action action, int32_t desiredChannel, int32_t desiredEventType,
                    uint16_t desiredButtonID, ZEPMIDIClient* client, Delivery delivery = Delivery::MIDIThread);
    virtual ~ZEPMIDIListener() = default;
    ZEPMIDIListener(const ZEPMIDIListener&) = delete;
    ZEPMIDIListener& operator=(const ZEPMIDIListener&) = delete;

    // Calls the action with the event (on the listener's delivery thread) when the target
    // exists, the action is set, the listener is registered and the event passes the filter
    // for this listener's client. Answers whether it did (or handed the call on).
    virtual bool fireIfMatchesAction(const std::shared_ptr<const ZEPMIDIAction>& event);

    QObject* target() const { return target_.data(); }
    int32_t desiredChannel() const { return desiredChannel_; }
    int32_t desiredEventType() const { return desiredEventType_; }
    uint16_t desiredButtonID() const { return desiredButtonID_; }
    ZEPMIDIClient* client() const { return client_; }
    Delivery delivery() const { return delivery_; }

    // An exclusive listener's button can never be learned by a learn controller.
    bool exclusive() const { return exclusive_.load(); }
    void setExclusive(bool exclusive) { exclusive_.store(exclusive); }

    // "<ZEPMIDIListener 0x... (ch: 0, bt: 60, exclusive: 0)>"
    virtual QString description() const;

    // Called by the client when the listener has left its last list: no call of the action
    // starts afterwards, and one in progress on another thread has returned when it returns.
    void invalidate();
    // Called by the client when the listener is registered (again).
    void markRegistered() { registered_.store(true); }
    bool isRegistered() const { return registered_.load(); }

protected:
    // Runs call on the listener's delivery thread, under the rules above; false when the
    // listener could not fire now (removed, target gone).
    bool deliver(std::function<void()> call);
    virtual const char* className() const { return "ZEPMIDIListener"; }

private:
    bool canFire() const { return registered_.load() && !target_.isNull(); }

    const QPointer<QObject> target_;
    const Action action_;
    const int32_t desiredChannel_;
    const int32_t desiredEventType_;
    const uint16_t desiredButtonID_;
    ZEPMIDIClient* const client_;
    const Delivery delivery_;
    std::atomic<bool> exclusive_{false};
    std::atomic<bool> registered_{true};
    // Held while the action runs: a removal waits for it; recursive because an action may
    // remove its own listener.
    std::recursive_mutex callGuard_;
};
