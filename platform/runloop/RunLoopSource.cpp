#include "platform/runloop/RunLoopSource.h"

#include "platform/runloop/RunLoop.h"

#include <QSocketNotifier>

RunLoopSource::RunLoopSource(Handler handler) : handler_(std::move(handler)) {}

RunLoopSource::~RunLoopSource()
{
    if (RunLoop* loop = runLoop())
        loop->removeSourceFromAllModes(*this);
    dropNotifiers();
}

void RunLoopSource::setDescriptor(int descriptor)
{
    if (descriptor == descriptor_)
        return;
    dropNotifiers();
    descriptor_ = descriptor;
    updateSharedWatch();
}

void RunLoopSource::setInterest(int events)
{
    events &= Readable | Writable;
    if (events == interest_)
        return;
    interest_ = events;
    updateSharedWatch();
}

void RunLoopSource::signal()
{
    if (signalled_)
        return;
    signalled_ = true;
    updateSharedWatch();
}

void RunLoopSource::updateSharedWatch()
{
    const bool shared = runLoop() && inSharedMode();
    const bool watching = shared && descriptor_ >= 0;
    const auto watch = [this, watching](QSocketNotifier*& notifier, QSocketNotifier::Type type, Event event) {
        const bool wanted = watching && (interest_ & event);
        if (wanted && !notifier) {
            notifier = new QSocketNotifier(descriptor_, type);
            RunLoop* loop = runLoop();
            const uint64_t serial = serial_;
            QObject::connect(notifier, &QSocketNotifier::activated, notifier, [loop, serial, event] {
                // Found again by serial: the source may have gone or moved since.
                RunLoopSource* source = loop->sourceWithSerial(serial);
                if (source && source->inSharedMode() && (source->interest_ & event))
                    source->dispatch(event);
            });
        }
        if (notifier && notifier->isEnabled() != wanted)
            notifier->setEnabled(wanted);
    };
    // A notifier belongs to the loop it was made for.
    if (!shared)
        dropNotifiers();
    watch(readNotifier_, QSocketNotifier::Read, Readable);
    watch(writeNotifier_, QSocketNotifier::Write, Writable);
    if (shared && signalled_ && !signalPosted_) {
        signalPosted_ = true;
        runLoop()->postSignalled(serial_);
    }
}

void RunLoopSource::dropNotifiers()
{
    for (QSocketNotifier** notifier : {&readNotifier_, &writeNotifier_}) {
        if (!*notifier)
            continue;
        // This may run inside the notifier's own activation: let the loop delete it.
        (*notifier)->setEnabled(false);
        QObject::disconnect(*notifier, nullptr, nullptr, nullptr);
        (*notifier)->deleteLater();
        *notifier = nullptr;
    }
}

void RunLoopSource::dispatch(int events)
{
    if (signalled_) {
        signalled_ = false;
        events |= Signalled;
    }
    if (!events)
        return;
    // The handler may destroy this source: call a copy and touch nothing after.
    const Handler handler = handler_;
    handler(events);
}
