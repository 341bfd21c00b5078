#include "platform/RealtimeMessageTarget.h"

#include "platform/MainThread.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace {

// Objects alive now, with the serial number each was made with: a message carries both, so
// one for a destroyed object (even one whose address was reused) is recognised and dropped.
std::mutex g_liveMutex;
std::unordered_map<const RealtimeMessageTarget*, uint64_t>& liveTargets()
{
    static std::unordered_map<const RealtimeMessageTarget*, uint64_t> targets;
    return targets;
}
std::atomic<uint64_t> g_nextSerial{1};

constexpr int kMessageBits = 16;

} // namespace

RealtimeMessageTarget::RealtimeMessageTarget() : serial_(g_nextSerial.fetch_add(1))
{
    std::lock_guard lock(g_liveMutex);
    liveTargets()[this] = serial_;
}

RealtimeMessageTarget::~RealtimeMessageTarget()
{
    std::lock_guard lock(g_liveMutex);
    liveTargets().erase(this);
}

bool RealtimeMessageTarget::sendRealtimeMessage(uint16_t message)
{
    const auto packed = intptr_t((serial_ << kMessageBits) | message);
    return mainthread::postRealtime(&RealtimeMessageTarget::deliver, this, packed);
}

void RealtimeMessageTarget::deliver(void* target, intptr_t serialAndMessage)
{
    auto* object = static_cast<RealtimeMessageTarget*>(target);
    const uint64_t serial = uint64_t(serialAndMessage) >> kMessageBits;
    {
        std::lock_guard lock(g_liveMutex);
        auto it = liveTargets().find(object);
        if (it == liveTargets().end() || it->second != serial)
            return;
    }
    object->handleRealtimeMessage(uint16_t(serialAndMessage & 0xFFFF));
}
