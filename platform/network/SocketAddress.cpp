#include "platform/network/SocketAddress.h"

#include <QtGlobal>

#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

static_assert(socketaddress::kIPv4Family == AF_INET && socketaddress::kIPv6Family == AF_INET6);
static_assert(socketaddress::kIPv4Size == sizeof(sockaddr_in) && socketaddress::kIPv6Size == sizeof(sockaddr_in6));

namespace socketaddress {
namespace {

QByteArray record(const void* bytes, int size)
{
    return QByteArray(static_cast<const char*>(bytes), size);
}

QByteArray makeIPv4(in_addr_t address, uint16_t port)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    in.sin_addr.s_addr = htonl(address);
    return record(&in, sizeof in);
}

QByteArray makeIPv6(const in6_addr& address, uint16_t port)
{
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(port);
    in6.sin6_addr = address;
    return record(&in6, sizeof in6);
}

QByteArray addressOf(int descriptor, int family, bool peer)
{
    sockaddr_storage storage{};
    socklen_t length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    const int result = peer ? getpeername(descriptor, reinterpret_cast<sockaddr*>(&storage), &length)
                            : getsockname(descriptor, reinterpret_cast<sockaddr*>(&storage), &length);
    if (result != 0 || (storage.ss_family != AF_INET && storage.ss_family != AF_INET6))
        return {};
    return record(&storage, storage.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
}

} // namespace

QByteArray ipv4Any(uint16_t port) { return makeIPv4(INADDR_ANY, port); }
QByteArray ipv4Loopback(uint16_t port) { return makeIPv4(INADDR_LOOPBACK, port); }
QByteArray ipv6Any(uint16_t port) { return makeIPv6(in6addr_any, port); }
QByteArray ipv6Loopback(uint16_t port) { return makeIPv6(in6addr_loopback, port); }

int family(const QByteArray& address)
{
    if (address.size() < int(sizeof(sa_family_t)))
        return 0;
    sa_family_t family = 0;
    std::memcpy(&family, address.constData(), sizeof family);
    return family;
}

uint16_t port(const QByteArray& address)
{
    sockaddr_in6 in6{};
    switch (family(address)) {
    case AF_INET:
        if (address.size() < int(sizeof(sockaddr_in)))
            return 0;
        std::memcpy(&in6, address.constData(), sizeof(sockaddr_in));
        return ntohs(reinterpret_cast<sockaddr_in*>(&in6)->sin_port);
    case AF_INET6:
        if (address.size() < int(sizeof(sockaddr_in6)))
            return 0;
        std::memcpy(&in6, address.constData(), sizeof in6);
        return ntohs(in6.sin6_port);
    default:
        return 0;
    }
}

void setPort(QByteArray& address, uint16_t port)
{
    const uint16_t networkPort = htons(port);
    // The port lies at the same offset in both records.
    static_assert(offsetof(sockaddr_in, sin_port) == offsetof(sockaddr_in6, sin6_port));
    if (const int f = family(address); (f == AF_INET || f == AF_INET6) && address.size() >= int(sizeof(sockaddr_in)))
        std::memcpy(address.data() + offsetof(sockaddr_in, sin_port), &networkPort, sizeof networkPort);
}

std::optional<QString> host(const QByteArray& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    const char* converted = nullptr;
    const int f = family(address);
    if (f == AF_INET && address.size() >= int(sizeof(sockaddr_in))) {
        sockaddr_in in{};
        std::memcpy(&in, address.constData(), sizeof in);
        converted = inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    } else if (f == AF_INET6 && address.size() >= int(sizeof(sockaddr_in6))) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address.constData(), sizeof in6);
        converted = inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    }
    if (!converted) {
        qWarning("Cannot convert %s address to string.", f == AF_INET6 ? "IPv6" : f == AF_INET ? "IPv4" : "a socket");
        return std::nullopt;
    }
    return QString::fromLatin1(text);
}

QByteArray localAddress(int descriptor, int family) { return addressOf(descriptor, family, false); }
QByteArray peerAddress(int descriptor, int family) { return addressOf(descriptor, family, true); }

int resolveLocalInterface(const QString& interface, uint16_t port, QByteArray* ipv4, QByteArray* ipv6)
{
    const QByteArray name = interface.toUtf8();
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const QByteArray service = QByteArray::number(port);
    addrinfo* results = nullptr;
    const int status = getaddrinfo(name.constData(), service.constData(), &hints, &results);
    bool found = false;
    const auto keep = [&](const sockaddr* address) {
        if (address->sa_family == AF_INET && ipv4->isEmpty()) {
            *ipv4 = record(address, sizeof(sockaddr_in));
            setPort(*ipv4, port);
            found = true;
        } else if (address->sa_family == AF_INET6 && ipv6->isEmpty()) {
            *ipv6 = record(address, sizeof(sockaddr_in6));
            setPort(*ipv6, port);
            found = true;
        }
    };
    if (status == 0) {
        for (const addrinfo* result = results; result; result = result->ai_next)
            keep(result->ai_addr);
        freeaddrinfo(results);
        return 0;
    }
    if (status != EAI_NONAME)
        return status;
    // Not an address: the name of one of our interfaces, else nothing.
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return EAI_SYSTEM;
    for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next)
        if (entry->ifa_addr && name == entry->ifa_name)
            keep(entry->ifa_addr);
    freeifaddrs(interfaces);
    return found ? 0 : EAI_NONAME;
}

} // namespace socketaddress
