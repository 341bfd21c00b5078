#pragma once
// One remote known to the server controller, filed under the address text of its socket.
// Times (lastSeen, checksum failures) are seconds on TimeSource's monotonic clock.
//
// Main thread; a plain value.

#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

class CKClientEntry {
public:
    CKClientEntry(QString address, QString name, QString identifier)
        : theAddress(std::move(address)), theName(std::move(name)), theIdentifier(std::move(identifier))
    {
        theChecksumFailureDates.reserve(3);
    }

    // The peer address of the remote's socket (AsyncSocket::connectedHost).
    const QString& address() const { return theAddress; }
    void setAddress(const QString& address) { theAddress = address; }
    // The host name the remote reported ("ClientHostName").
    const QString& name() const { return theName; }
    void setName(const QString& name) { theName = name; }
    // The remote's identifier ("ClientIdentifier"): what the whitelist stores.
    const QString& identifier() const { return theIdentifier; }
    void setIdentifier(const QString& identifier) { theIdentifier = identifier; }
    // The number the remote showed while asking to pair; invalid when it came in by the
    // whitelist.
    const QVariant& passcode() const { return thePasscode; }
    void setPasscode(const QVariant& passcode) { thePasscode = passcode; }
    // When the remote last proved alive; nothing until it is paired.
    std::optional<double> lastSeen() const { return theLastSeen; }
    void setLastSeen(std::optional<double> lastSeen) { theLastSeen = lastSeen; }
    // Times of its recent checksum failures, oldest first.
    std::vector<double>& checksumFailureDates() { return theChecksumFailureDates; }
    const std::vector<double>& checksumFailureDates() const { return theChecksumFailureDates; }
    void setChecksumFailureDates(std::vector<double> dates) { theChecksumFailureDates = std::move(dates); }

private:
    QString theAddress;
    QString theName;
    QString theIdentifier;
    QVariant thePasscode;
    std::optional<double> theLastSeen;
    std::vector<double> theChecksumFailureDates;
};
