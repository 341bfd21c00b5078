#include "platform/netmidi/RTPMIDIResponder.h"

#include "platform/TimeSource.h"
#include "platform/netmidi/RTPMIDISessionMessage.h"

#include <QRandomGenerator>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum Channel { Control = 0, Data = 1 };

constexpr size_t kLargestDatagram = 65536;
// Datagrams read from one socket before the others get their turn.
constexpr int kReadsPerWake = 64;

struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;

    int family() const { return address.ss_family; }

    bool sameHost(const Endpoint& other) const
    {
        if (family() != other.family())
            return false;
        if (family() == AF_INET)
            return reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr ==
                   reinterpret_cast<const sockaddr_in&>(other.address).sin_addr.s_addr;
        return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr,
                           &reinterpret_cast<const sockaddr_in6&>(other.address).sin6_addr, sizeof(in6_addr)) == 0;
    }

    bool operator==(const Endpoint& other) const
    {
        if (!sameHost(other))
            return false;
        return family() == AF_INET ? reinterpret_cast<const sockaddr_in&>(address).sin_port ==
                                         reinterpret_cast<const sockaddr_in&>(other.address).sin_port
                                   : reinterpret_cast<const sockaddr_in6&>(address).sin6_port ==
                                         reinterpret_cast<const sockaddr_in6&>(other.address).sin6_port;
    }

    QByteArray record() const { return QByteArray(reinterpret_cast<const char*>(&address), int(length)); }
};

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// A non-blocking UDP socket bound to port on every address of family; -1 with errno set.
int bindUDP(int family, uint16_t port)
{
    const int descriptor = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return -1;
    int bound = -1;
    if (family == AF_INET6) {
        const int only = 1; // IPv4 has sockets of its own on the same port
        ::setsockopt(descriptor, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_addr = in6addr_any;
        any.sin6_port = htons(port);
        bound = ::bind(descriptor, reinterpret_cast<sockaddr*>(&any), sizeof any);
    } else {
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        any.sin_port = htons(port);
        bound = ::bind(descriptor, reinterpret_cast<sockaddr*>(&any), sizeof any);
    }
    if (bound != 0) {
        const int saved = errno;
        ::close(descriptor);
        errno = saved;
        return -1;
    }
    return descriptor;
}

uint16_t boundPort(int descriptor)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                               : reinterpret_cast<sockaddr_in&>(address).sin_port);
}

} // namespace

struct RTPMIDIResponder::Session {
    struct Member {
        uint32_t ssrc = 0;
        uint32_t token = 0;
        QString name;
        Endpoint control;
        Endpoint data;
        bool joinedData = false;
        double lastHeard = 0;
        double lastFeedback = -1e300;
        bool feedbackDue = false;
        uint16_t lastSequence = 0;
        RTPMIDIDatagramDecoder decoder;
    };

    // sockets[family index][channel]: family index 0 IPv4, 1 IPv6; -1 where missing.
    int sockets[2][2] = {{-1, -1}, {-1, -1}};
    std::vector<std::unique_ptr<Member>> members;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kLargestDatagram);
    RTPMIDIResponder* owner = nullptr;

    ~Session()
    {
        for (auto& family : sockets) {
            for (int& descriptor : family) {
                if (descriptor >= 0)
                    ::close(descriptor);
                descriptor = -1;
            }
        }
    }

    int socketFor(int family, Channel channel) const { return sockets[family == AF_INET6 ? 1 : 0][channel]; }

    void send(int family, Channel channel, const Endpoint& to, const RTPMIDISessionMessage& message)
    {
        const int descriptor = socketFor(family, channel);
        if (descriptor < 0)
            return;
        const std::vector<uint8_t> datagram = message.encode();
        // A full send buffer loses the message, as the network may: never wait here.
        ::sendto(descriptor, datagram.data(), datagram.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&to.address), to.length);
    }

    QByteArray ourName() const { return owner->networkName_.toUtf8(); }

    Member* find(uint32_t ssrc)
    {
        for (auto& member : members) {
            if (member->ssrc == ssrc)
                return member.get();
        }
        return nullptr;
    }

    void remove(uint32_t ssrc)
    {
        members.erase(std::remove_if(members.begin(), members.end(), [ssrc](const auto& m) { return m->ssrc == ssrc; }),
                      members.end());
        publish();
    }

    void publish()
    {
        std::vector<Participant> snapshot;
        for (const auto& member : members)
            snapshot.push_back({member->ssrc, member->name, member->control.record(),
                                member->joinedData ? member->data.record() : QByteArray()});
        std::lock_guard lock(owner->snapshotMutex_);
        owner->snapshot_ = std::move(snapshot);
    }

    void answer(Channel channel, const Endpoint& from, RTPMIDISessionMessage::Command command, uint32_t token)
    {
        send(from.family(), channel, from, RTPMIDISessionMessage::exchange(command, token, owner->ssrc_, ourName()));
    }

    void handleInvitation(Channel channel, const RTPMIDISessionMessage& message, const Endpoint& from, double now)
    {
        if (message.version != RTPMIDISessionMessage::kProtocolVersion) {
            answer(channel, from, RTPMIDISessionMessage::Refuse, message.token);
            return;
        }
        Member* member = find(message.ssrc);
        if (channel == Data) {
            if (!member || !member->control.sameHost(from)) {
                answer(channel, from, RTPMIDISessionMessage::Refuse, message.token);
                return;
            }
            member->data = from;
            member->joinedData = true;
            member->decoder.reset();
        } else if (member) {
            if (!member->control.sameHost(from)) { // an SSRC that another host holds
                answer(channel, from, RTPMIDISessionMessage::Refuse, message.token);
                return;
            }
            member->control = from;
            member->joinedData = false;
            member->decoder.reset();
        } else {
            if (owner->joinPolicy_.load() != kJoinPolicyAnyone || members.size() >= kMaxParticipants) {
                answer(channel, from, RTPMIDISessionMessage::Refuse, message.token);
                return;
            }
            members.push_back(std::make_unique<Member>());
            member = members.back().get();
            member->ssrc = message.ssrc;
            member->control = from;
        }
        member->token = message.token;
        member->name = QString::fromUtf8(message.name);
        member->lastHeard = now;
        answer(channel, from, RTPMIDISessionMessage::Accept, message.token);
        publish();
    }

    // The participant that sent a datagram from from, or null.
    Member* sender(uint32_t ssrc, const Endpoint& from)
    {
        Member* member = find(ssrc);
        return member && member->control.sameHost(from) ? member : nullptr;
    }

    void handleSessionMessage(Channel channel, const RTPMIDISessionMessage& message, const Endpoint& from, double now)
    {
        switch (message.command) {
        case RTPMIDISessionMessage::Invitation:
            handleInvitation(channel, message, from, now);
            return;
        case RTPMIDISessionMessage::Bye:
            if (sender(message.ssrc, from))
                remove(message.ssrc);
            return;
        case RTPMIDISessionMessage::ClockSync:
            if (Member* member = sender(message.ssrc, from)) {
                member->lastHeard = now;
                if (message.count == 0)
                    send(from.family(), channel, from,
                         RTPMIDISessionMessage::clockSync(owner->ssrc_, 1, message.stamps[0], clockStamp(now), 0));
            }
            return;
        case RTPMIDISessionMessage::ReceiverFeedback:
            if (Member* member = sender(message.ssrc, from))
                member->lastHeard = now;
            return;
        case RTPMIDISessionMessage::Accept:
        case RTPMIDISessionMessage::Refuse:
            return; // we invite nobody
        }
    }

    void handleMIDI(const uint8_t* datagram, size_t length, const Endpoint& from, double now)
    {
        RTPMIDIDatagramDecoder::Header header;
        Member* member = nullptr;
        if (RTPMIDIDatagramDecoder::readHeader(datagram, length, &header)) {
            member = find(header.ssrc);
            if (member && !(member->joinedData && member->data == from))
                member = nullptr;
        }
        if (!member) {
            owner->refused_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        member->lastHeard = now;
        const auto result = member->decoder.decode(datagram, length, owner->deliver_);
        (result == RTPMIDIDatagramDecoder::Result::Decoded ? owner->decoded_ : owner->refused_)
            .fetch_add(1, std::memory_order_relaxed);
        if (result != RTPMIDIDatagramDecoder::Result::Stale) {
            member->lastSequence = header.sequence;
            member->feedbackDue = true;
            sendFeedbackIfDue(*member, now);
        }
    }

    void sendFeedbackIfDue(Member& member, double now)
    {
        if (!member.feedbackDue || now - member.lastFeedback < kFeedbackInterval)
            return;
        member.feedbackDue = false;
        member.lastFeedback = now;
        send(member.control.family(), Control, member.control,
             RTPMIDISessionMessage::receiverFeedback(owner->ssrc_, member.lastSequence));
    }

    void handleDatagram(Channel channel, const uint8_t* datagram, size_t length, const Endpoint& from, double now)
    {
        if (RTPMIDISessionMessage::isSessionDatagram(datagram, length)) {
            if (const auto message = RTPMIDISessionMessage::parse(datagram, length))
                handleSessionMessage(channel, *message, from, now);
            else
                owner->refused_.fetch_add(1, std::memory_order_relaxed);
        } else if (channel == Data) {
            handleMIDI(datagram, length, from, now);
        } else {
            owner->refused_.fetch_add(1, std::memory_order_relaxed);
        }
    }

    // Silent participants go; feedback that came due goes out. Answers the seconds until
    // something is due again.
    double keepUp(double now)
    {
        const size_t before = members.size();
        members.erase(std::remove_if(members.begin(), members.end(),
                                     [now](const auto& m) { return now - m->lastHeard > kSilenceLimit; }),
                      members.end());
        if (members.size() != before)
            publish();
        double next = 1.0;
        for (auto& member : members) {
            sendFeedbackIfDue(*member, now);
            if (member->feedbackDue)
                next = std::min(next, std::max(0.001, member->lastFeedback + kFeedbackInterval - now));
        }
        return next;
    }

    void sayGoodbye()
    {
        for (const auto& member : members) {
            send(member->control.family(), Control, member->control,
                 RTPMIDISessionMessage::exchange(RTPMIDISessionMessage::Bye, member->token, owner->ssrc_));
        }
        members.clear();
        publish();
    }

    static uint64_t clockStamp(double now) { return uint64_t(std::llround(std::max(now, 0.0) * 10000.0)); }
};

RTPMIDIResponder::RTPMIDIResponder(const QString& networkName, uint32_t joinPolicy, MessageHandler deliver)
    : networkName_(networkName.isEmpty() ? QSysInfo::machineHostName() : networkName),
      deliver_(std::move(deliver)),
      joinPolicy_(joinPolicy)
{
    do
        ssrc_ = QRandomGenerator::system()->generate();
    while (ssrc_ == 0);
}

RTPMIDIResponder::~RTPMIDIResponder()
{
    stop();
}

bool RTPMIDIResponder::start(uint16_t port, QString* error)
{
    if (running_)
        return true;
    std::unique_ptr<Session> session;
    QString failure;
    // The system picks a free control port; the data port above it may be taken, and an
    // IPv6 pair may collide where the IPv4 one did not: then try another pair.
    const int attempts = port ? 1 : 32;
    bool bound = false;
    for (int attempt = 0; attempt < attempts && !bound; ++attempt) {
        session = std::make_unique<Session>();
        session->owner = this;
        auto& s = session->sockets;
        s[0][Control] = bindUDP(AF_INET, port);
        if (s[0][Control] < 0) {
            failure = systemError("binding the control port");
            continue;
        }
        const uint16_t control = boundPort(s[0][Control]);
        if (control == 0 || control == 65535) {
            failure = QStringLiteral("no data port above control port %1").arg(control);
            continue;
        }
        s[0][Data] = bindUDP(AF_INET, uint16_t(control + 1));
        if (s[0][Data] < 0) {
            failure = systemError("binding the data port");
            continue;
        }
        s[1][Control] = bindUDP(AF_INET6, control);
        if (s[1][Control] < 0 && errno != EAFNOSUPPORT && errno != EADDRNOTAVAIL) {
            failure = systemError("binding the IPv6 control port");
            continue;
        }
        if (s[1][Control] >= 0) {
            s[1][Data] = bindUDP(AF_INET6, uint16_t(control + 1));
            if (s[1][Data] < 0) {
                failure = systemError("binding the IPv6 data port");
                continue;
            }
        }
        port_ = control;
        bound = true;
    }
    if (!bound) {
        if (error)
            *error = failure;
        return false;
    }
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) {
        if (error)
            *error = systemError("eventfd");
        port_ = 0;
        return false;
    }
    session_ = std::move(session);
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void RTPMIDIResponder::stop()
{
    if (!running_)
        return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
    thread_.join();
    session_.reset(); // closes the ports
    ::close(wake_);
    wake_ = -1;
    port_ = 0;
    running_ = false;
}

std::vector<RTPMIDIResponder::Participant> RTPMIDIResponder::participants() const
{
    std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

void RTPMIDIResponder::run()
{
    Session& session = *session_;
    pollfd watched[5];
    Channel channels[5];
    nfds_t count = 0;
    for (auto& family : session.sockets) {
        for (int channel = Control; channel <= Data; ++channel) {
            if (family[channel] >= 0) {
                watched[count] = {family[channel], POLLIN, 0};
                channels[count++] = Channel(channel);
            }
        }
    }
    watched[count] = {wake_, POLLIN, 0};
    const nfds_t wakeIndex = count++;

    double wait = 1.0;
    for (;;) {
        const int ready = ::poll(watched, count, int(std::ceil(wait * 1000.0)));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break; // cannot happen with valid descriptors; the goodbye below still goes out
        }
        if (watched[wakeIndex].revents & POLLIN)
            break; // stop()
        for (nfds_t i = 0; i < wakeIndex; ++i) {
            if (!(watched[i].revents & POLLIN))
                continue;
            for (int read = 0; read < kReadsPerWake; ++read) {
                Endpoint from;
                from.length = sizeof from.address;
                const ssize_t length = ::recvfrom(watched[i].fd, session.buffer.data(), session.buffer.size(), 0,
                                                  reinterpret_cast<sockaddr*>(&from.address), &from.length);
                if (length < 0)
                    break; // drained (or an error the next poll reports again)
                session.handleDatagram(channels[i], session.buffer.data(), size_t(length), from,
                                       TimeSource::currentTime());
            }
        }
        wait = session.keepUp(TimeSource::currentTime());
    }
    session.sayGoodbye();
}
