#include "clipdeck/ZEPMIDIListener.h"

#include "platform/MainThread.h"

ZEPMIDIListener::ZEPMIDIListener(QObject* target, Action action, int32_t desiredChannel, int32_t desiredEventType,
                                 uint16_t desiredButtonID, ZEPMIDIClient* client, Delivery delivery)
    : target_(target),
      action_(std::move(action)),
      desiredChannel_(desiredChannel),
      desiredEventType_(desiredEventType),
      desiredButtonID_(desiredButtonID),
      client_(client),
      delivery_(delivery)
{
}

bool ZEPMIDIListener::fireIfMatchesAction(const std::shared_ptr<const ZEPMIDIAction>& event)
{
    if (!event || !action_ || target_.isNull())
        return false;
    if (!event->matchesChannel(desiredChannel_, desiredEventType_, desiredButtonID_, client_))
        return false;
    return deliver([this, event] { action_(*event); });
}

bool ZEPMIDIListener::deliver(std::function<void()> call)
{
    if (delivery_ == Delivery::MainThread) {
        if (!canFire())
            return false;
        // The listener travels with the call, so it outlives it; the checks are made again on
        // the main thread, where the target and the removals live.
        mainthread::post([self = shared_from_this(), call = std::move(call)] {
            std::lock_guard guard(self->callGuard_);
            if (self->canFire())
                call();
        });
        return true;
    }
    std::lock_guard guard(callGuard_);
    if (!canFire())
        return false;
    call();
    return true;
}

void ZEPMIDIListener::invalidate()
{
    std::lock_guard guard(callGuard_);
    registered_.store(false);
}

QString ZEPMIDIListener::description() const
{
    return QString::asprintf("<%s %p (ch: %i, bt: %i, exclusive: %i)>", className(), static_cast<const void*>(this),
                             int(desiredChannel_), int(desiredButtonID_), int(exclusive()));
}
