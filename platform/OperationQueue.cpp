#include "platform/OperationQueue.h"

#include <cmath>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

class BlockOperation : public Operation {
public:
    explicit BlockOperation(std::function<void()> block) : block_(std::move(block)) {}
    void main() override { block_(); }

private:
    std::function<void()> block_;
};

} // namespace

OperationQueue::OperationQueue(const QString& name, bool suspended) : suspended_(suspended), name_(name)
{
    thread_ = std::thread([this] { run(); });
}

OperationQueue::~OperationQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.clear();
        if (running_)
            running_->cancel();
    }
    wake_.notify_all();
    finished_.notify_all();
    thread_.join();
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation)
{
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(operation));
    }
    wake_.notify_all();
}

void OperationQueue::addOperationWithBlock(std::function<void()> block)
{
    addOperation(std::make_shared<BlockOperation>(std::move(block)));
}

void OperationQueue::setSuspended(bool suspended)
{
    {
        std::lock_guard lock(mutex_);
        suspended_ = suspended;
    }
    wake_.notify_all();
}

bool OperationQueue::isSuspended() const
{
    std::lock_guard lock(mutex_);
    return suspended_;
}

void OperationQueue::cancelAllOperations()
{
    {
        std::lock_guard lock(mutex_);
        for (const auto& operation : waiting_)
            operation->cancel();
        waiting_.clear();
        if (running_)
            running_->cancel();
    }
    finished_.notify_all();
}

void OperationQueue::waitUntilAllOperationsAreFinished()
{
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return (waiting_.empty() && !running_) || stopping_; });
}

size_t OperationQueue::operationCount() const
{
    std::lock_guard lock(mutex_);
    return waiting_.size() + (running_ ? 1 : 0);
}

void OperationQueue::run()
{
    pthread_setname_np(pthread_self(), name_.toUtf8().left(15).constData());
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || (!suspended_ && !waiting_.empty()); });
        if (stopping_)
            return;
        running_ = std::move(waiting_.front());
        waiting_.pop_front();
        const std::shared_ptr<Operation> operation = running_;
        lock.unlock();
        applyThreadPriority();
        if (!operation->isCancelled()) {
            try {
                operation->main();
            } catch (...) {
                // Operations report their own failures; the queue goes on.
            }
        }
        lock.lock();
        running_.reset();
        finished_.notify_all();
    }
}

void OperationQueue::applyThreadPriority()
{
    const float priority = priority_.load();
    if (priority == appliedPriority_)
        return;
    appliedPriority_ = priority;
    const int niceness = priority < 0.5f ? int(std::lround((0.5 - priority) * 10.0)) : 0;
    setpriority(PRIO_PROCESS, id_t(gettid()), niceness);
}
