#include "support/RTPMIDITestPeer.h"

#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace clipdeck::test {
namespace {

void put(RTPMIDITestPeer::Bytes& out, uint64_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
}

RTPMIDITestPeer::Bytes header(const char* command)
{
    return {0xFF, 0xFF, uint8_t(command[0]), uint8_t(command[1])};
}

sockaddr_storage loopback(int family, uint16_t port, socklen_t* length)
{
    sockaddr_storage address{};
    if (family == AF_INET6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_addr = in6addr_loopback;
        in6.sin6_port = htons(port);
        *length = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(address);
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        in.sin_port = htons(port);
        *length = sizeof in;
    }
    return address;
}

} // namespace

RTPMIDITestPeer::RTPMIDITestPeer(uint32_t ssrc, int family) : family_(family), ssrc_(ssrc)
{
    for (int& descriptor : sockets_) {
        descriptor = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        socklen_t length = 0;
        const sockaddr_storage address = loopback(family, 0, &length);
        if (descriptor >= 0 && ::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
            ::close(descriptor);
            descriptor = -1;
        }
    }
}

RTPMIDITestPeer::~RTPMIDITestPeer()
{
    for (int descriptor : sockets_) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
}

void RTPMIDITestPeer::send(Channel channel, const Bytes& datagram)
{
    socklen_t length = 0;
    const sockaddr_storage to = loopback(family_, uint16_t(sessionPort_ + channel), &length);
    ::sendto(sockets_[channel], datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), length);
}

std::optional<RTPMIDITestPeer::Bytes> RTPMIDITestPeer::receive(Channel channel, int timeoutMs)
{
    pollfd ready{sockets_[channel], POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0)
        return std::nullopt;
    Bytes datagram(65536);
    const ssize_t length = ::recv(sockets_[channel], datagram.data(), datagram.size(), MSG_DONTWAIT);
    if (length < 0)
        return std::nullopt;
    datagram.resize(size_t(length));
    return datagram;
}

std::optional<RTPMIDITestPeer::Bytes> RTPMIDITestPeer::receiveCommand(Channel channel, const char* command,
                                                                      int timeoutMs)
{
    for (;;) {
        auto datagram = receive(channel, timeoutMs);
        if (!datagram)
            return std::nullopt;
        if (datagram->size() >= 4 && (*datagram)[0] == 0xFF && (*datagram)[1] == 0xFF &&
            (*datagram)[2] == uint8_t(command[0]) && (*datagram)[3] == uint8_t(command[1]))
            return datagram;
    }
}

bool RTPMIDITestPeer::join(uint32_t token, const std::string& name)
{
    for (Channel channel : {Control, Data}) {
        send(channel, invitation(token, ssrc_, name));
        const auto answer = receiveCommand(channel, "OK");
        if (!answer || field(*answer, 8, 4) != token)
            return false;
    }
    return true;
}

void RTPMIDITestPeer::leave(uint32_t token)
{
    send(Control, bye(token, ssrc_));
}

RTPMIDITestPeer::Bytes RTPMIDITestPeer::invitation(uint32_t token, uint32_t ssrc, const std::string& name,
                                                   uint32_t version)
{
    Bytes message = header("IN");
    put(message, version, 4);
    put(message, token, 4);
    put(message, ssrc, 4);
    message.insert(message.end(), name.begin(), name.end());
    message.push_back(0);
    return message;
}

RTPMIDITestPeer::Bytes RTPMIDITestPeer::bye(uint32_t token, uint32_t ssrc)
{
    Bytes message = header("BY");
    put(message, 2, 4);
    put(message, token, 4);
    put(message, ssrc, 4);
    return message;
}

RTPMIDITestPeer::Bytes RTPMIDITestPeer::clockSync(uint32_t ssrc, uint8_t count, uint64_t first, uint64_t second,
                                                  uint64_t third)
{
    Bytes message = header("CK");
    put(message, ssrc, 4);
    put(message, count, 1);
    put(message, 0, 3);
    put(message, first, 8);
    put(message, second, 8);
    put(message, third, 8);
    return message;
}

RTPMIDITestPeer::Bytes RTPMIDITestPeer::midi(const Bytes& list, uint8_t flags, const Bytes& journal)
{
    const Bytes datagram = rtpMIDI(ssrc_, sequence_++, timestamp_, list, flags, journal);
    timestamp_ += 10;
    return datagram;
}

RTPMIDITestPeer::Bytes RTPMIDITestPeer::rtpMIDI(uint32_t ssrc, uint16_t sequence, uint32_t timestamp,
                                                const Bytes& list, uint8_t flags, const Bytes& journal)
{
    Bytes datagram{0x80, 0x61}; // version 2; payload type 97
    put(datagram, sequence, 2);
    put(datagram, timestamp, 4);
    put(datagram, ssrc, 4);
    if (list.size() > 15) // B: a 12-bit length
        put(datagram, 0x8000 | (uint16_t(flags & 0x70) << 8) | (list.size() & 0x0FFF), 2);
    else
        datagram.push_back(uint8_t((flags & 0x70) | list.size()));
    datagram.insert(datagram.end(), list.begin(), list.end());
    datagram.insert(datagram.end(), journal.begin(), journal.end());
    return datagram;
}

uint64_t RTPMIDITestPeer::field(const Bytes& datagram, size_t offset, size_t bytes)
{
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i)
        value = (value << 8) | (offset + i < datagram.size() ? datagram[offset + i] : 0);
    return value;
}

} // namespace clipdeck::test
