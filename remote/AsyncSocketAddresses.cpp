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

QByteArray AsyncSocket::addressFrom(const NativeSocket* socket, int native, int family, bool peer) const
{
    if (socket)
        return peer ? socket->copyPeerAddress() : socket->copyAddress();
    if (native >= 0)
        return peer ? socketaddress::peerAddress(native, family) : socketaddress::localAddress(native, family);
    return {};
}

QString AsyncSocket::hostFrom(const NativeSocket* socket, int native, bool peer) const
{
    const int family = socket ? socket->family() : socketaddress::kIPv4Family;
    const QByteArray address = addressFrom(socket, native, family, peer);
    if (address.isEmpty())
        return {};
    return socketaddress::host(address).value_or(QString());
}

uint16_t AsyncSocket::portFrom(const NativeSocket* socket, int native, bool peer) const
{
    const int family = socket ? socket->family() : socketaddress::kIPv4Family;
    return socketaddress::port(addressFrom(socket, native, family, peer));
}

QString AsyncSocket::connectedHost() const
{
    if (theSocket4)
        return hostFrom(theSocket4.get(), -1, true);
    if (theSocket6)
        return hostFrom(theSocket6.get(), -1, true);
    if (theNativeSocket4 >= 0)
        return connectedHost4();
    return theNativeSocket6 >= 0 ? connectedHost6() : QString();
}

uint16_t AsyncSocket::connectedPort() const
{
    if (theSocket4)
        return portFrom(theSocket4.get(), -1, true);
    if (theSocket6)
        return portFrom(theSocket6.get(), -1, true);
    if (theNativeSocket4 >= 0)
        return connectedPort4();
    return theNativeSocket6 >= 0 ? connectedPort6() : 0;
}

QString AsyncSocket::localHost() const
{
    if (theSocket4)
        return hostFrom(theSocket4.get(), -1, false);
    if (theSocket6)
        return hostFrom(theSocket6.get(), -1, false);
    if (theNativeSocket4 >= 0)
        return localHost4();
    return theNativeSocket6 >= 0 ? localHost6() : QString();
}

uint16_t AsyncSocket::localPort() const
{
    if (theSocket4)
        return portFrom(theSocket4.get(), -1, false);
    if (theSocket6)
        return portFrom(theSocket6.get(), -1, false);
    if (theNativeSocket4 >= 0)
        return localPort4();
    return theNativeSocket6 >= 0 ? localPort6() : 0;
}

// The family forms: the socket of that family, else that family's descriptor with a record
// of that family's size.
namespace {
int familyDescriptor(const NativeSocket* socket, int native)
{
    return socket ? socket->native() : native;
}
} // namespace

QString AsyncSocket::connectedHost4() const
{
    const QByteArray address =
        socketaddress::peerAddress(familyDescriptor(theSocket4.get(), theNativeSocket4), socketaddress::kIPv4Family);
    return address.isEmpty() ? QString() : socketaddress::host(address).value_or(QString());
}

QString AsyncSocket::connectedHost6() const
{
    const QByteArray address =
        socketaddress::peerAddress(familyDescriptor(theSocket6.get(), theNativeSocket6), socketaddress::kIPv6Family);
    return address.isEmpty() ? QString() : socketaddress::host(address).value_or(QString());
}

uint16_t AsyncSocket::connectedPort4() const
{
    return socketaddress::port(
        socketaddress::peerAddress(familyDescriptor(theSocket4.get(), theNativeSocket4), socketaddress::kIPv4Family));
}

uint16_t AsyncSocket::connectedPort6() const
{
    return socketaddress::port(
        socketaddress::peerAddress(familyDescriptor(theSocket6.get(), theNativeSocket6), socketaddress::kIPv6Family));
}

QString AsyncSocket::localHost4() const
{
    const QByteArray address =
        socketaddress::localAddress(familyDescriptor(theSocket4.get(), theNativeSocket4), socketaddress::kIPv4Family);
    return address.isEmpty() ? QString() : socketaddress::host(address).value_or(QString());
}

QString AsyncSocket::localHost6() const
{
    const QByteArray address =
        socketaddress::localAddress(familyDescriptor(theSocket6.get(), theNativeSocket6), socketaddress::kIPv6Family);
    return address.isEmpty() ? QString() : socketaddress::host(address).value_or(QString());
}

uint16_t AsyncSocket::localPort4() const
{
    return socketaddress::port(
        socketaddress::localAddress(familyDescriptor(theSocket4.get(), theNativeSocket4), socketaddress::kIPv4Family));
}

uint16_t AsyncSocket::localPort6() const
{
    return socketaddress::port(
        socketaddress::localAddress(familyDescriptor(theSocket6.get(), theNativeSocket6), socketaddress::kIPv6Family));
}

QByteArray AsyncSocket::connectedAddress() const
{
    if (theSocket4 || theSocket6)
        return (theSocket4 ? theSocket4 : theSocket6)->copyPeerAddress();
    if (theNativeSocket4 >= 0)
        return socketaddress::peerAddress(theNativeSocket4, socketaddress::kIPv4Family);
    return theNativeSocket6 >= 0 ? socketaddress::peerAddress(theNativeSocket6, socketaddress::kIPv6Family) : QByteArray();
}

QByteArray AsyncSocket::localAddress() const
{
    if (theSocket4 || theSocket6)
        return (theSocket4 ? theSocket4 : theSocket6)->copyAddress();
    if (theNativeSocket4 >= 0)
        return socketaddress::localAddress(theNativeSocket4, socketaddress::kIPv4Family);
    return theNativeSocket6 >= 0 ? socketaddress::localAddress(theNativeSocket6, socketaddress::kIPv6Family) : QByteArray();
}

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
