#pragma once
// Socket address records as bytes, in place of the platform's address data: a Linux
// sockaddr_in (16 bytes, family 2) or sockaddr_in6 (28 bytes, family 10), port in network
// byte order. Plain functions over those bytes and over descriptors.
//
// Threads: any. Nothing here waits on the network.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace socketaddress {

constexpr int kIPv4Family = 2;  // AF_INET
constexpr int kIPv6Family = 10; // AF_INET6
constexpr int kIPv4Size = 16;
constexpr int kIPv6Size = 28;

QByteArray ipv4Any(uint16_t port);
QByteArray ipv4Loopback(uint16_t port);
QByteArray ipv6Any(uint16_t port);
QByteArray ipv6Loopback(uint16_t port);

// The family of a record (0 when it is too short to hold one).
int family(const QByteArray& address);
// The port in host byte order (0 for a record of no known family).
uint16_t port(const QByteArray& address);
void setPort(QByteArray& address, uint16_t port);
// The numeric text of the address ("127.0.0.1", "::1"); nothing, and a log line, when the
// record cannot be converted.
std::optional<QString> host(const QByteArray& address);

// The descriptor's own (local) or peer's address, asked for with the record size of family;
// empty when the call fails.
QByteArray localAddress(int descriptor, int family);
QByteArray peerAddress(int descriptor, int family);

// Finds the addresses of a local interface for listening, without a name lookup on the
// network: a numeric address ("192.0.2.7", "fe80::1%eth0") or the name of one of this
// machine's interfaces ("lo", "eth0"). Stores the first IPv4 and the first IPv6 address
// found (each with port) and answers 0, or answers a getaddrinfo() code (EAI_NONAME when the
// text names no local address).
int resolveLocalInterface(const QString& interface, uint16_t port, QByteArray* ipv4, QByteArray* ipv6);

} // namespace socketaddress
