#pragma once
// For the trigger tests: packets of the system-exclusive command protocol, and a recorder of
// the calls that MIDI and key listeners make.

#include "clipdeck/CKSysExAction.h"

#include <QByteArray>
#include <QString>
#include "platform/MainThread.h"
#include <QUuid>

#include <cstring>
#include <mutex>
#include <ostream>
#include <vector>

// Readable failure messages for the strings the tests compare.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

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

} // namespace clipdeck::test
