#include "platform/network/HostLookup.h"

#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

struct HostLookup::Answer {
    std::mutex lock;
    bool finished = false;
    int status = 0;
    std::vector<QByteArray> addresses;
    int eventDescriptor = -1;

    ~Answer()
    {
        if (eventDescriptor >= 0)
            ::close(eventDescriptor);
    }
};

HostLookup::HostLookup() = default;
HostLookup::~HostLookup() = default;

std::shared_ptr<HostLookup> HostLookup::start(const QString& host, uint16_t port)
{
    std::shared_ptr<HostLookup> lookup(new HostLookup);
    lookup->answer_ = std::make_shared<Answer>();
    lookup->answer_->eventDescriptor = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (lookup->answer_->eventDescriptor < 0)
        return nullptr;
    lookup->eventDescriptor_ = lookup->answer_->eventDescriptor;

    // The thread owns the answer with us, so the descriptor outlives its last write.
    std::shared_ptr<Answer> answer = lookup->answer_;
    QByteArray name = host.toUtf8();
    QByteArray service = QByteArray::number(port);
    try {
        std::thread([answer, name, service] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_protocol = IPPROTO_TCP;
            hints.ai_flags = AI_NUMERICSERV;
            addrinfo* results = nullptr;
            const int status = getaddrinfo(name.constData(), service.constData(), &hints, &results);
            std::vector<QByteArray> addresses;
            if (status == 0) {
                for (const addrinfo* result = results; result; result = result->ai_next)
                    if (result->ai_family == AF_INET || result->ai_family == AF_INET6)
                        addresses.emplace_back(reinterpret_cast<const char*>(result->ai_addr), int(result->ai_addrlen));
                freeaddrinfo(results);
            }
            {
                std::lock_guard<std::mutex> guard(answer->lock);
                answer->status = status;
                answer->addresses = std::move(addresses);
                answer->finished = true;
            }
            const uint64_t one = 1;
            (void)!::write(answer->eventDescriptor, &one, sizeof one);
        }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    return lookup;
}

bool HostLookup::isFinished() const
{
    std::lock_guard<std::mutex> guard(answer_->lock);
    return answer_->finished;
}

int HostLookup::status() const
{
    std::lock_guard<std::mutex> guard(answer_->lock);
    return answer_->status;
}

std::vector<QByteArray> HostLookup::addresses() const
{
    std::lock_guard<std::mutex> guard(answer_->lock);
    return answer_->addresses;
}
