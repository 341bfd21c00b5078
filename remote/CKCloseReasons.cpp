#include "remote/CKCloseReasons.h"

#include <QCoreApplication>

CKCloseReasons CKCloseReasons::localized()
{
    const auto tr = [](const char* text) { return QCoreApplication::translate("CKSyncController", text); };
    CKCloseReasons reasons;
    reasons.kCKReasonServerQuit = tr("Clipdeck for Mac has quit.");
    reasons.kCKReasonServerTimeout = tr("Clipdeck for Mac has lost connection to Remote.");
    reasons.kCKReasonServerDeauth = tr("Clipdeck for Mac deauthorized this Remote.");
    reasons.kCKReasonNetworkFail = tr("Remote detected network connectivity issues and has quit.");
    reasons.kCKReasonIncompatible = tr("Clipdeck for Mac is incompatible with this version of Remote.\n\n"
                                       "Please update both applications to the lastest version.");
    reasons.kCKReasonClientQuit = tr("Remote quit by user.");
    reasons.kCKReasonClientBackground = tr("Remote was backgrounded.");
    reasons.kCKReasonClientTimeout = tr("Remote lost connection to Clipdeck for Mac.");
    reasons.kCKReasonCancelConnection = tr("Remote cancelled its request to connect");
    reasons.kCKReasonMIDIServiceFail = tr("Unable to connect to MIDI service on Clipdeck for Mac.");
    reasons.kCKReasonReconnectFail = tr("Unable to connect to the last Remote session.");
    return reasons;
}
