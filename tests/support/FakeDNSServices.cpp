#include "support/FakeDNSServices.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>

namespace clipdeck::test {

struct FakeDNSServices::State {
    std::vector<std::pair<const void*, Record>> standing;
    int publications = 0;
    bool failing = false;
};

namespace {

class FakePublisher final : public DNSServicePublisher {
public:
    explicit FakePublisher(std::shared_ptr<FakeDNSServices::State> state) : state_(std::move(state)) {}
    ~FakePublisher() override { withdraw(); }

    void publish(const QString& type, const QString& name, uint16_t port) override
    {
        withdraw();
        beginPublishing(type, name, port);
        ++state_->publications;
        const bool fails = state_->failing;
        const QString published = name.isEmpty() ? FakeDNSServices::kHostName : name;
        QMetaObject::invokeMethod(
            &context_,
            [this, fails, published, generation = ++generation_] {
                if (generation != generation_)
                    return;
                if (fails) {
                    reportFailed(Error(ErrorDomain, -1, "The service could not be published.", "failing on purpose"));
                    return;
                }
                state_->standing.push_back({this, {this->type(), published, this->port()}});
                reportPublished(published);
            },
            Qt::QueuedConnection);
    }

    void stop() override
    {
        withdraw();
        didStop();
    }

private:
    void withdraw()
    {
        ++generation_;
        auto& standing = state_->standing;
        standing.erase(std::remove_if(standing.begin(), standing.end(), [this](const auto& r) { return r.first == this; }),
                       standing.end());
    }

    std::shared_ptr<FakeDNSServices::State> state_;
    uint64_t generation_ = 0;
    QObject context_;
};

} // namespace

FakeDNSServices::FakeDNSServices() : state_(std::make_shared<State>())
{
    DNSServicePublisher::setFactory([state = state_] { return std::make_unique<FakePublisher>(state); });
}

FakeDNSServices::~FakeDNSServices()
{
    DNSServicePublisher::setFactory({});
}

std::vector<FakeDNSServices::Record> FakeDNSServices::standing() const
{
    std::vector<Record> records;
    for (const auto& entry : state_->standing)
        records.push_back(entry.second);
    return records;
}

int FakeDNSServices::publications() const
{
    return state_->publications;
}

void FakeDNSServices::setFailing(bool failing)
{
    state_->failing = failing;
}

} // namespace clipdeck::test
