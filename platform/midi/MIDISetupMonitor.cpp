#include "platform/midi/MIDISetupMonitor.h"

#include "platform/TimeSource.h"
#include "platform/midi/MIDISystem.h"

MIDISetupMonitor::MIDISetupMonitor(std::function<void()> onChange, double interval)
    : onChange_(std::move(onChange)), timer_(std::make_unique<Timer>()), known_(currentSources())
{
    timer_->setAction([this] { checkNow(); });
    timer_->start(interval, true);
}

MIDISetupMonitor::~MIDISetupMonitor() = default;

bool MIDISetupMonitor::checkNow()
{
    QStringList sources = currentSources();
    if (sources == known_)
        return false;
    known_ = std::move(sources);
    if (onChange_)
        onChange_();
    return true;
}

QStringList MIDISetupMonitor::currentSources()
{
    QStringList uids;
    for (const auto& source : MIDISystem::shared().sources())
        uids << source.uid;
    return uids;
}
