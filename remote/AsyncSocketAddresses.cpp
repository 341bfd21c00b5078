// AsyncSocket: connection state, the addresses of both ends, stream errors, the debugging
// description and the common separators.
#include "remote/AsyncSocket.h"

#include "platform/network/NativeSocket.h"
#include "platform/network/SocketAddress.h"
#include "platform/network/SocketStream.h"

#include <netdb.h>

// --- state

bool AsyncSocket::isDisconnected() const
{
    return theNativeSocket4 < 0 && theNativeSocket6 < 0 && !theSocket4 && !theSocket6 && !theReadStream && !theWriteStream;
}

bool AsyncSocket::isConnected() const
{
    if (!theReadStream || !theWriteStream)
        return false;
    const StreamStatus read = theReadStream->status();
    const StreamStatus write = theWriteStream->status();
    return (read == StreamStatus::Open || read == StreamStatus::Reading || read == StreamStatus::Error)
        && (write == StreamStatus::Open || write == StreamStatus::Writing || write == StreamStatus::Error);
}

bool AsyncSocket::isIPv4() const
{
    return theNativeSocket4 >= 0 || theSocket4;
}

bool AsyncSocket::isIPv6() const
{
    return theNativeSocket6 >= 0 || theSocket6;
}

// --- addresses

namespace {
QString hostText(const QByteArray& address)
{
    return address.isEmpty() ? QString() : socketaddress::host(address).value_or(QString());
}
} // namespace

QByteArray AsyncSocket::familyAddress(int family, bool peer) const
{
    const bool ipv4 = family == socketaddress::kIPv4Family;
    const NativeSocket* socket = ipv4 ? theSocket4.get() : theSocket6.get();
    const int native = socket ? socket->native() : (ipv4 ? theNativeSocket4 : theNativeSocket6);
    if (native < 0)
        return {};
    return peer ? socketaddress::peerAddress(native, family) : socketaddress::localAddress(native, family);
}

QByteArray AsyncSocket::endAddress(bool peer) const
{
    // The first present of: the IPv4 socket, the IPv6 socket, the IPv4 descriptor, the IPv6 one.
    if (theSocket4 || (!theSocket6 && theNativeSocket4 >= 0))
        return familyAddress(socketaddress::kIPv4Family, peer);
    if (theSocket6 || theNativeSocket6 >= 0)
        return familyAddress(socketaddress::kIPv6Family, peer);
    return {};
}

QString AsyncSocket::connectedHost() const { return hostText(endAddress(true)); }
uint16_t AsyncSocket::connectedPort() const { return socketaddress::port(endAddress(true)); }
QString AsyncSocket::localHost() const { return hostText(endAddress(false)); }
uint16_t AsyncSocket::localPort() const { return socketaddress::port(endAddress(false)); }
QByteArray AsyncSocket::connectedAddress() const { return endAddress(true); }
QByteArray AsyncSocket::localAddress() const { return endAddress(false); }

QString AsyncSocket::connectedHost4() const { return hostText(familyAddress(socketaddress::kIPv4Family, true)); }
QString AsyncSocket::connectedHost6() const { return hostText(familyAddress(socketaddress::kIPv6Family, true)); }
uint16_t AsyncSocket::connectedPort4() const { return socketaddress::port(familyAddress(socketaddress::kIPv4Family, true)); }
uint16_t AsyncSocket::connectedPort6() const { return socketaddress::port(familyAddress(socketaddress::kIPv6Family, true)); }
QString AsyncSocket::localHost4() const { return hostText(familyAddress(socketaddress::kIPv4Family, false)); }
QString AsyncSocket::localHost6() const { return hostText(familyAddress(socketaddress::kIPv6Family, false)); }
uint16_t AsyncSocket::localPort4() const { return socketaddress::port(familyAddress(socketaddress::kIPv4Family, false)); }
uint16_t AsyncSocket::localPort6() const { return socketaddress::port(familyAddress(socketaddress::kIPv6Family, false)); }

// --- stream errors

Error AsyncSocket::errorFromCFStreamError(StreamError err)
{
    if (err.domain == 0 && err.code == 0)
        return Error();
    QString domain;
    QString description;
    switch (err.domain) {
    case kCFStreamErrorDomainPOSIX: domain = Error::POSIXDomain; break;
    case kCFStreamErrorDomainMacOSStatus: domain = Error::OSStatusDomain; break;
    case kCFStreamErrorDomainMach: domain = QStringLiteral("NSMachErrorDomain"); break;
    case kCFStreamErrorDomainNetDB:
        domain = QStringLiteral("kCFStreamErrorDomainNetDB");
        description = QString::fromLatin1(gai_strerror(err.code));
        break;
    case kCFStreamErrorDomainNetServices: domain = QStringLiteral("kCFStreamErrorDomainNetServices"); break;
    case kCFStreamErrorDomainSOCKS: domain = QStringLiteral("kCFStreamErrorDomainSOCKS"); break;
    case kCFStreamErrorDomainSystemConfiguration: domain = QStringLiteral("kCFStreamErrorDomainSystemConfiguration"); break;
    case kCFStreamErrorDomainSSL: domain = QStringLiteral("kCFStreamErrorDomainSSL"); break;
    default: domain = QStringLiteral("CFStreamError (unlisted domain)"); break;
    }
    return Error(domain, err.code, description);
}

Error AsyncSocket::getStreamError() const
{
    if (theReadStream && theReadStream->error().code != 0)
        return errorFromCFStreamError(theReadStream->error());
    if (theWriteStream && theWriteStream->error().code != 0)
        return errorFromCFStreamError(theWriteStream->error());
    return Error();
}

// --- description

namespace {
const char* statusName(const SocketStream* stream)
{
    static const char* const names[] = {"not open", "opening", "open", "reading", "writing", "at end", "closed", "has error"};
    return names[stream ? int(stream->status()) : 0];
}
} // namespace

QString AsyncSocket::description() const
{
    QString text = QString::asprintf("<AsyncSocket %p", static_cast<const void*>(this));
    const auto ends = [&](bool local) -> QString {
        const bool v4 = isIPv4();
        const bool v6 = isIPv6();
        if (v4 && v6)
            return QStringLiteral("%1/%2 %3")
                .arg(local ? localHost4() : connectedHost4(), local ? localHost6() : connectedHost6())
                .arg(local ? localPort() : connectedPort());
        if (v4)
            return QStringLiteral("%1 %2").arg(local ? localHost4() : connectedHost4()).arg(local ? localPort4() : connectedPort4());
        if (v6)
            return QStringLiteral("%1 %2").arg(local ? localHost6() : connectedHost6()).arg(local ? localPort6() : connectedPort6());
        return QStringLiteral("nowhere");
    };
    text += QStringLiteral(" local %1 remote %2 ").arg(ends(true), ends(false));
    text += QStringLiteral("has queued %1 reads %2 writes, ").arg(theReadQueue.size()).arg(theWriteQueue.size());

    if (!theCurrentRead || theCurrentRead->isSpecial()) {
        text += QStringLiteral("no current read, ");
    } else {
        const auto& packet = static_cast<const AsyncReadPacket&>(*theCurrentRead);
        int percent = 0;
        if (packet.buffer->size() > 0)
            percent = packet.readLength > 0 ? int(double(packet.bytesDone) / packet.readLength * 100.0) : 100;
        text += QStringLiteral("currently read %1 bytes (%2% done), ").arg(packet.buffer->size()).arg(percent);
    }
    if (!theCurrentWrite || theCurrentWrite->isSpecial()) {
        text += QStringLiteral("no current write, ");
    } else {
        const auto& packet = static_cast<const AsyncWritePacket&>(*theCurrentWrite);
        const int percent = packet.buffer.size() > 0 ? int(double(packet.bytesDone) / packet.buffer.size() * 100.0) : 0;
        text += QStringLiteral("currently written %1 (%2%), ").arg(packet.buffer.size()).arg(percent);
    }
    text += QString::asprintf("read stream %p %s, ", static_cast<const void*>(theReadStream.get()), statusName(theReadStream.get()));
    text += QString::asprintf("write stream %p %s", static_cast<const void*>(theWriteStream.get()), statusName(theWriteStream.get()));

    if (has(kDisconnectAfterReads) && has(kDisconnectAfterWrites))
        text += QStringLiteral(", will disconnect after reads & writes");
    else if (has(kDisconnectAfterReads))
        text += QStringLiteral(", will disconnect after reads");
    else if (has(kDisconnectAfterWrites))
        text += QStringLiteral(", will disconnect after writes");
    if (!isConnected())
        text += QStringLiteral(", not connected");
    text += QLatin1Char('>');
    return text;
}

// --- separators

QByteArray AsyncSocket::CRLFData() { return QByteArray("\x0D\x0A", 2); }
QByteArray AsyncSocket::CRData() { return QByteArray("\x0D", 1); }
QByteArray AsyncSocket::LFData() { return QByteArray("\x0A", 1); }
QByteArray AsyncSocket::ZeroData() { return QByteArray(1, '\0'); }
