#pragma once
// A listener for the program's system-exclusive commands (CKSysExAction.h): either for one
// command (pause, duck, stop all, master volume) or for the sound commands aimed at one
// sound's uuid. Ordinary MIDI events never reach it.
//
// A matching command is handed to the main thread and the MIDI thread goes on at once: the
// action runs there, in the order the commands arrived, unless the listener was removed (or
// its target went) in the meantime. The MIDI thread never waits for the main thread, which
// may itself be waiting for the MIDI thread (closing a port joins it).
//
// Who registers what (through ZEPMIDIClient::addListenerForTargetType() and
// addListenerForTriggerUUID()): the playback controller, command 1 (pause when
// toggleValue() is not 0, resume when it is), 2 (ducked = toggleValue()), 3 (stop all
// sounds) and 10 (master volume = volume()); each sound, one listener for its uuid, whose
// action carries out triggerAction() (0 stop, 1 nothing, 2 press, 10 set the volume).

#include "clipdeck/CKSysExAction.h"
#include "clipdeck/ZEPMIDIListener.h"

class CKSysExListener : public ZEPMIDIListener {
public:
    using SysExAction = std::function<void(const CKSysExAction& command)>;

    // A listener for one command; for command 0 it hears only sound commands for the all-zero uuid.
    CKSysExListener(QObject* target, SysExAction action, int32_t targetType, ZEPMIDIClient* client);
    // A listener for the sound commands whose uuid is the one of this uuid string (braces
    // optional, any case). A string that is no uuid gives a listener that hears nothing.
    CKSysExListener(QObject* target, SysExAction action, const QString& triggerUUID, ZEPMIDIClient* client);

    bool fireIfMatchesAction(const std::shared_ptr<const ZEPMIDIAction>& event) override;

    int32_t targetType() const { return targetType_; }
    const CKSysExAction::UUIDBytes& uuidBytes() const { return uuidBytes_; }

protected:
    const char* className() const override { return "CKSysExListener"; }

private:
    const SysExAction sysExAction_;
    int32_t targetType_ = 0;
    CKSysExAction::UUIDBytes uuidBytes_{};
    bool hearsNothing_ = false;
};
