#include "clipdeck/CKSysExListener.h"

#include <QUuid>

#include <cstring>

CKSysExListener::CKSysExListener(QObject* target, SysExAction action, int32_t targetType, ZEPMIDIClient* client)
    : ZEPMIDIListener(target, {}, ZEPMIDIAction::kAnyChannel, ZEPMIDIAction::kAllEvents, ZEPMIDIAction::kAnyButton,
                      client, Delivery::MainThread),
      sysExAction_(std::move(action)),
      targetType_(targetType)
{
}

CKSysExListener::CKSysExListener(QObject* target, SysExAction action, const QString& triggerUUID,
                                 ZEPMIDIClient* client)
    : CKSysExListener(target, std::move(action), CKSysExAction::kSoundCommand, client)
{
    const QUuid uuid = QUuid::fromString(triggerUUID.trimmed());
    // A sound always passes its own well-formed uuid; anything else must not turn into the
    // all-zero uuid, which would hear the commands meant for nobody.
    hearsNothing_ = uuid.isNull();
    const QByteArray bytes = uuid.toRfc4122();
    std::memcpy(uuidBytes_.data(), bytes.constData(), uuidBytes_.size());
}

bool CKSysExListener::fireIfMatchesAction(const std::shared_ptr<const ZEPMIDIAction>& event)
{
    auto command = std::dynamic_pointer_cast<const CKSysExAction>(event);
    if (!command || hearsNothing_ || !sysExAction_ || !target())
        return false;
    if (!command->matchesTargetType(targetType_, targetType_ == CKSysExAction::kSoundCommand ? &uuidBytes_ : nullptr))
        return false;
    return deliver([this, command] { sysExAction_(*command); });
}
