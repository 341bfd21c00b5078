#include "clipdeck/ZEPMIDIClient.h"

#include "clipdeck/ZEPMIDIPacketDecoder.h"
#include "platform/UserDefaults.h"
#include "platform/midi/MIDIInputPort.h"
#include "platform/midi/MIDISetupMonitor.h"
#include "platform/midi/MIDISystem.h"

#include <algorithm>

namespace {

std::atomic<const ZEPMIDIClient*> g_eventLockOwner{nullptr};
ZEPMIDIClient* g_sharedClient = nullptr;

} // namespace

ZEPMIDIClient* ZEPMIDIClient::sharedMIDIClient()
{
    if (g_sharedClient)
        return g_sharedClient;
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    if (defaults.objectForKey("MIDIEnabled").isValid() && !defaults.boolForKey("MIDIEnabled"))
        return nullptr;
    g_sharedClient = new ZEPMIDIClient("Clipdeck");
    return g_sharedClient;
}

void ZEPMIDIClient::disposeSharedMIDIClient()
{
    delete g_sharedClient;
    g_sharedClient = nullptr;
}

ZEPMIDIClient::ZEPMIDIClient(const QString& name) : clientName_(name)
{
    setNeedsRelisten();
}

ZEPMIDIClient::~ZEPMIDIClient()
{
    setupMonitor_.reset();
    inPort_.reset(); // joins the MIDI thread
    unlockEvents();
}

void ZEPMIDIClient::setNeedsRelisten()
{
    if (needsRelisten_)
        return;
    needsRelisten_ = true;
    listenToAllSources();
}

void ZEPMIDIClient::setupMIDIClient()
{
    if (!inPort_) {
        inPort_ = std::make_unique<MIDIInputPort>(clientName_, "Input port",
                                                  [this](const uint8_t* bytes, size_t length, const QString&) {
                                                      if (auto event = ZEPMIDIActionFromPacket(bytes, length, this))
                                                          MIDIActionReceived(event);
                                                  });
    }
    if (!setupMonitor_)
        setupMonitor_ = std::make_unique<MIDISetupMonitor>([this] { setNeedsRelisten(); });
}

void ZEPMIDIClient::listenToAllSources()
{
    if (!needsRelisten_)
        return;
    needsRelisten_ = false;
    setupMIDIClient();
    const auto sources = MIDISystem::shared().sources();
    QStringList present;
    for (const auto& source : sources) {
        connectSource(source.uid);
        present << source.uid;
    }
    // Ports are known by name, not by number: a vanished source's connection is dropped
    // rather than left for whatever port comes to take its number.
    for (const QString& uid : inPort_->connectedSources()) {
        if (!present.contains(uid))
            inPort_->disconnectSource(uid);
    }
    changeValue("numberOfDevices", numberOfDevices_, unsigned(sources.size()));
}

void ZEPMIDIClient::listenToSourceAtIndex(unsigned index)
{
    setupMIDIClient();
    const auto sources = MIDISystem::shared().sources();
    if (index < sources.size())
        connectSource(sources[index].uid);
}

bool ZEPMIDIClient::connectSource(const QString& uid)
{
    return inPort_->connectSource(uid);
}

QStringList ZEPMIDIClient::destinationConnections() const
{
    return inPort_ ? inPort_->connectedSources() : QStringList();
}

int ZEPMIDIClient::connectionsMade() const
{
    return inPort_ ? inPort_->connectionsMade() : 0;
}

// Listeners

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::add(std::vector<ListenerPtr>& list, ListenerPtr listener)
{
    if (!listener)
        return nullptr;
    listener->markRegistered();
    std::lock_guard lock(listenersMutex_);
    list.push_back(listener);
    return listener;
}

void ZEPMIDIClient::remove(std::vector<ListenerPtr>& list, const ListenerPtr& listener)
{
    bool stillRegistered = false;
    {
        std::lock_guard lock(listenersMutex_);
        auto it = std::find(list.begin(), list.end(), listener);
        if (it == list.end())
            return;
        list.erase(it);
        stillRegistered = std::count(listenerArray_.begin(), listenerArray_.end(), listener) != 0 ||
                          std::count(learningListenerArray_.begin(), learningListenerArray_.end(), listener) != 0;
    }
    // Outside the lock: this waits for a call of the listener in progress on the MIDI thread,
    // which may itself register or remove listeners.
    if (!stillRegistered)
        listener->invalidate();
}

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::addListener(ListenerPtr listener)
{
    return add(listenerArray_, std::move(listener));
}

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::addListener(QObject* target, Action action, int32_t channel,
                                                      int32_t eventType, uint16_t buttonID, Delivery delivery)
{
    return add(listenerArray_, std::make_shared<ZEPMIDIListener>(target, std::move(action), channel, eventType,
                                                                 buttonID, this, delivery));
}

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::addListener(QObject* target, Action action, int32_t channel,
                                                      int32_t eventType, Delivery delivery)
{
    return addListener(target, std::move(action), channel, eventType, ZEPMIDIAction::kAnyButton, delivery);
}

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::addListener(QObject* target, Action action, int32_t channel,
                                                      Delivery delivery)
{
    return addListener(target, std::move(action), channel, ZEPMIDIAction::kAllEvents, ZEPMIDIAction::kAnyButton,
                       delivery);
}

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::addListenerForEventType(QObject* target, Action action, int32_t eventType,
                                                                  Delivery delivery)
{
    return addListener(target, std::move(action), ZEPMIDIAction::kAnyChannel, eventType, ZEPMIDIAction::kAnyButton,
                       delivery);
}

ZEPMIDIClient::SysExListenerPtr ZEPMIDIClient::addListenerForTargetType(QObject* target,
                                                                        CKSysExListener::SysExAction action,
                                                                        int32_t targetType)
{
    return std::static_pointer_cast<CKSysExListener>(
        addListener(std::make_shared<CKSysExListener>(target, std::move(action), targetType, this)));
}

ZEPMIDIClient::SysExListenerPtr ZEPMIDIClient::addListenerForTriggerUUID(QObject* target,
                                                                         CKSysExListener::SysExAction action,
                                                                         const QString& uuid)
{
    return std::static_pointer_cast<CKSysExListener>(
        addListener(std::make_shared<CKSysExListener>(target, std::move(action), uuid, this)));
}

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::addLearningListener(ListenerPtr listener)
{
    return add(learningListenerArray_, std::move(listener));
}

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::addLearningListener(QObject* target, Action action, int32_t channel,
                                                              int32_t eventType, uint16_t buttonID, Delivery delivery)
{
    return add(learningListenerArray_, std::make_shared<ZEPMIDIListener>(target, std::move(action), channel,
                                                                         eventType, buttonID, this, delivery));
}

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::addLearningListener(QObject* target, Action action, int32_t channel,
                                                              int32_t eventType, Delivery delivery)
{
    return addLearningListener(target, std::move(action), channel, eventType, ZEPMIDIAction::kAnyButton, delivery);
}

void ZEPMIDIClient::removeListener(const ListenerPtr& listener)
{
    remove(listenerArray_, listener);
}

void ZEPMIDIClient::removeLearningListener(const ListenerPtr& listener)
{
    remove(learningListenerArray_, listener);
}

ZEPMIDIClient::ListenerPtr ZEPMIDIClient::listenerForChannel(int32_t channel, uint16_t buttonID) const
{
    std::lock_guard lock(listenersMutex_);
    for (const auto& listener : listenerArray_) {
        if (listener->desiredChannel() == channel && listener->desiredButtonID() == buttonID)
            return listener;
    }
    return nullptr;
}

// The event lock

bool ZEPMIDIClient::lockEvents()
{
    const ZEPMIDIClient* expected = nullptr;
    return g_eventLockOwner.compare_exchange_strong(expected, this);
}

bool ZEPMIDIClient::unlockEvents()
{
    const ZEPMIDIClient* expected = this;
    return g_eventLockOwner.compare_exchange_strong(expected, nullptr);
}

// Dispatch

void ZEPMIDIClient::MIDIActionReceived(const std::shared_ptr<const ZEPMIDIAction>& event)
{
    if (!event)
        return;
    std::vector<ListenerPtr> listeners;
    {
        std::lock_guard lock(listenersMutex_);
        if (!g_eventLockOwner.load())
            listeners = listenerArray_;
        else if (learning_.load())
            listeners = learningListenerArray_;
        else
            return; // a learn holds the lock but has stopped listening: nobody hears the event
    }
    // Every listener whose filter matches fires; none stops the others.
    for (const auto& listener : listeners)
        listener->fireIfMatchesAction(event);
}
