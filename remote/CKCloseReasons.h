#pragma once
// The texts a remote shows when this end closes its connection ("CloseConnectionReason"),
// translated once. Remotes show them as they are, so the English texts stay word for word.
//
// Main thread (translation reads the application's translators).

#include <QString>

struct CKCloseReasons {
    QString kCKReasonServerQuit;       // the service was switched off or the program quits
    QString kCKReasonServerTimeout;    // a paired remote was silent too long
    QString kCKReasonServerDeauth;     // the user deauthorised every remote
    QString kCKReasonNetworkFail;      // three checksum failures within 60 s
    QString kCKReasonIncompatible;     // a connect request of another protocol version
    // Texts of the remote's end, never sent from here.
    QString kCKReasonClientQuit;
    QString kCKReasonClientBackground;
    QString kCKReasonClientTimeout;
    QString kCKReasonCancelConnection;
    QString kCKReasonMIDIServiceFail;
    QString kCKReasonReconnectFail;
    QString kCKReasonConnectFail;      // no text

    // The texts in the current language.
    static CKCloseReasons localized();
};
