#pragma once
// The program's one MIDI client: it listens to every MIDI source of the machine (hardware
// ports, other programs' ports, and virtual sources inside the process such as the remote's
// network MIDI session), turns each packet that arrives into one event (ZEPMIDIPacketDecoder.h)
// and hands it to the registered listeners whose filters it passes.
//
// Sources: every source present is connected when the client is made; the list is checked
// again about once a second (MIDISetupMonitor), and after each change sources that appeared
// are connected (those already connected stay as they are) and those that vanished dropped.
// numberOfDevices counts the sources (observable key "numberOfDevices").
//
// Listeners: ordinary listeners hear every event, in the order they were registered, while
// no learn holds the event lock. While the lock is held (lockEvents(), by any client of the
// process) and learning() is set, only the learning listeners hear events; with the lock held
// and learning() clear, nobody does. A listener registered while an event is dispatched hears
// the next event, not that one; a listener removed returns from removeListener() knowing its
// action will never run again (ZEPMIDIListener.h).
//
// Threads: made, used and destroyed on the main thread, but for these: events are dispatched
// on the client's MIDI thread (one thread for every source); MIDIActionReceived() is that
// dispatch (tests and the packet path call it); listener registration and removal, the event
// lock and learning() may be used from any thread. The listener lists are copied under their
// lock and walked without it, so no lock is held while an action runs or waits. Destroying the
// client joins its MIDI thread.

#include "clipdeck/CKSysExListener.h"
#include "clipdeck/ZEPMIDIListener.h"
#include "platform/ObservableObject.h"

#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class MIDIInputPort;
class MIDISetupMonitor;

class ZEPMIDIClient : public ObservableObject {
    Q_OBJECT
    Q_PROPERTY(unsigned numberOfDevices READ numberOfDevices)
public:
    using ListenerPtr = std::shared_ptr<ZEPMIDIListener>;
    using SysExListenerPtr = std::shared_ptr<CKSysExListener>;
    using Action = ZEPMIDIListener::Action;
    using Delivery = ZEPMIDIListener::Delivery;

    // The shared client "Clipdeck", made on first call, unless the user default "MIDIEnabled"
    // is stored as false: then nothing (and nothing is made) until it allows it. Once made it
    // stays, whatever "MIDIEnabled" says later.
    static ZEPMIDIClient* sharedMIDIClient();
    // Destroys the shared client (at shut-down, and in tests); objects that kept it must have
    // let it go.
    static void disposeSharedMIDIClient();

    // A client named name (the name our ports carry in the MIDI system); connects every
    // source at once.
    explicit ZEPMIDIClient(const QString& name);
    ~ZEPMIDIClient() override;

    QString clientName() const { return clientName_; }
    unsigned numberOfDevices() const { return numberOfDevices_; }

    // Connects every source present when a relisten is due (after the client was made or the
    // set-up changed), drops connections to vanished sources and publishes numberOfDevices;
    // otherwise nothing.
    void listenToAllSources();
    // Connects the source now at that index of MIDISystem::sources() unless it is connected.
    void listenToSourceAtIndex(unsigned index);
    // The uids of the connected sources.
    QStringList destinationConnections() const;
    // Connections made since the client was made.
    int connectionsMade() const;

    // Registration. Each form returns the listener, which the caller keeps to remove it.
    ListenerPtr addListener(ListenerPtr listener);
    ListenerPtr addListener(QObject* target, Action action, int32_t channel, int32_t eventType, uint16_t buttonID,
                            Delivery delivery = Delivery::MIDIThread);
    ListenerPtr addListener(QObject* target, Action action, int32_t channel, int32_t eventType,
                            Delivery delivery = Delivery::MIDIThread);
    ListenerPtr addListener(QObject* target, Action action, int32_t channel, Delivery delivery = Delivery::MIDIThread);
    ListenerPtr addListenerForEventType(QObject* target, Action action, int32_t eventType,
                                        Delivery delivery = Delivery::MIDIThread);
    // System-exclusive listeners (CKSysExListener.h): one command, or one sound's uuid.
    SysExListenerPtr addListenerForTargetType(QObject* target, CKSysExListener::SysExAction action,
                                              int32_t targetType);
    SysExListenerPtr addListenerForTriggerUUID(QObject* target, CKSysExListener::SysExAction action,
                                               const QString& uuid);
    // Learning listeners hear events only while a learn holds the event lock.
    ListenerPtr addLearningListener(ListenerPtr listener);
    ListenerPtr addLearningListener(QObject* target, Action action, int32_t channel, int32_t eventType,
                                    uint16_t buttonID, Delivery delivery = Delivery::MIDIThread);
    ListenerPtr addLearningListener(QObject* target, Action action, int32_t channel, int32_t eventType,
                                    Delivery delivery = Delivery::MIDIThread);
    // Remove the first registration of listener (none: nothing).
    void removeListener(const ListenerPtr& listener);
    void removeLearningListener(const ListenerPtr& listener);

    // The first ordinary listener whose channel and button are exactly these (wildcards
    // compared as plain values, event kind ignored), or nothing.
    ListenerPtr listenerForChannel(int32_t channel, uint16_t buttonID) const;

    // The process-wide event lock: lockEvents() makes this client its owner unless some client
    // owns it (false); unlockEvents() frees it when this client owns it (else false).
    bool lockEvents();
    bool unlockEvents();
    bool learning() const { return learning_.load(); }
    void setLearning(bool learning) { learning_.store(learning); }

    // Dispatches one event to the listeners (the MIDI thread does this for every packet).
    void MIDIActionReceived(const std::shared_ptr<const ZEPMIDIAction>& event);

private:
    void setNeedsRelisten();
    void setupMIDIClient();
    bool connectSource(const QString& uid);
    ListenerPtr add(std::vector<ListenerPtr>& list, ListenerPtr listener);
    void remove(std::vector<ListenerPtr>& list, const ListenerPtr& listener);

    const QString clientName_;
    unsigned numberOfDevices_ = 0;
    bool needsRelisten_ = false;
    std::unique_ptr<MIDIInputPort> inPort_;
    std::unique_ptr<MIDISetupMonitor> setupMonitor_;

    mutable std::mutex listenersMutex_;
    std::vector<ListenerPtr> listenerArray_;
    std::vector<ListenerPtr> learningListenerArray_;
    std::atomic<bool> learning_{false};
};
