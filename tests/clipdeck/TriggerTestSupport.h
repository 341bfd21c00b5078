#pragma once
// For the trigger tests: packets of the system-exclusive command protocol, a recorder of the
// calls that MIDI and key listeners make, a MIDI device made ready to play, and a window that
// hands its key events to the key dispatcher.

#include "clipdeck/CKKeyEventDispatch.h"
#include "clipdeck/CKSysExAction.h"
#include "clipdeck/ZEPMIDIClient.h"
#include "platform/MainThread.h"

#include "support/JackTestServer.h"
#include "support/MIDITestSender.h"
#include "support/QStringPrinter.h"
#include "support/TestEnvironment.h"

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <ostream>
#include <vector>


namespace clipdeck::test {

// F0 00 6F 6F, data, F7.
inline std::vector<uint8_t> sysEx(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> packet{0xF0, 0x00, 0x6F, 0x6F};
    packet.insert(packet.end(), data.begin(), data.end());
    packet.push_back(0xF7);
    return packet;
}

inline CKSysExAction::UUIDBytes uuidBytes(const QString& uuid)
{
    CKSysExAction::UUIDBytes bytes{};
    std::memcpy(bytes.data(), QUuid::fromString(uuid).toRfc4122().constData(), bytes.size());
    return bytes;
}

// A sound command for uuid: command 0, the uuid in base64, then tail (trigger action and
// its data).
inline std::vector<uint8_t> soundCommand(const QString& uuid, const std::vector<uint8_t>& tail)
{
    const QByteArray text = QUuid::fromString(uuid).toRfc4122().toBase64();
    std::vector<uint8_t> data{0x00};
    data.insert(data.end(), text.begin(), text.end());
    data.insert(data.end(), tail.begin(), tail.end());
    return sysEx(data);
}

// What listener actions saw: a name per call and whether it ran on the main thread.
class CallLog {
public:
    void record(const QString& what)
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(what);
        onMainThread_.push_back(mainthread::isMainThread());
    }
    std::vector<QString> calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    size_t count() const
    {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        calls_.clear();
        onMainThread_.clear();
    }
    std::vector<bool> onMainThread() const
    {
        std::lock_guard lock(mutex_);
        return onMainThread_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<QString> calls_;
    std::vector<bool> onMainThread_;
};

// A JACK connection takes effect at a cycle boundary some time after jack_connect() returns:
// what a device sends in between is lost, as it would be on any MIDI cable plugged in a moment
// too late. Sends a probe (channel 16, note 126) until the client hears one; everything sent
// after it then arrives.
inline bool awaitLiveConnection(ZEPMIDIClient& client, MIDITestSender& device)
{
    std::atomic<int> heard{0};
    QObject probe;
    auto listener = client.addListener(&probe, [&](const ZEPMIDIAction&) { ++heard; }, 15,
                                       ZEPMIDIAction::kNoteDownEvent, 126);
    bool live = false;
    for (int attempt = 0; attempt < 50 && !live; ++attempt) {
        device.send({0x9F, 126, 1});
        live = waitUntil([&] { return heard.load() > 0; }, 200);
    }
    client.removeListener(listener);
    return live;
}

// One server cycle carries a JACK MIDI event from the sender's port to the client's: a
// cycle the client is late for (a late cycle, an xrun, on a loaded machine) loses what was
// sent in it, as it would on stage. Sends message until heard() holds: again only when it
// has not been heard a second after it was sent and the server has had a late cycle since.
// False once 20 s pass without it.
inline bool sendUntilHeard(MIDITestSender& device, const JackXrunCounter& xruns, const std::vector<uint8_t>& message,
                           const std::function<bool()>& heard)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < giveUp) {
        const int xrunsBefore = xruns.xruns();
        const auto sent = std::chrono::steady_clock::now();
        if (!device.send(message))
            return false;
        bool lost = false;
        waitUntil([&] {
            lost = !heard() && std::chrono::steady_clock::now() - sent > std::chrono::seconds(1) &&
                   xruns.xruns() > xrunsBefore;
            return lost || heard() || std::chrono::steady_clock::now() > giveUp;
        });
        if (!lost)
            return heard();
    }
    return false;
}

// What the board window does with its events.
class BoardWindowStandIn : public QWidget {
protected:
    bool event(QEvent* event) override
    {
        return CKKeyEventDispatch::sharedDispatcher().handleWindowEvent(event) || QWidget::event(event);
    }
};

} // namespace clipdeck::test
