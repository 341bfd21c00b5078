#include "clipdeck/RAOperationQueue.h"

#include "platform/RALatchTrigger.h"

#include <atomic>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

namespace {

// One cell of a list: the next cell and the operation it holds.
struct RAAtomicListNode {
    RAAtomicListNode* next = nullptr;
    RAOperationRef operation;
};

// A list shared by the producers and the worker: producers push onto its head with
// compare-and-swap, the worker takes the whole chain at once (newest first).
class SharedList {
public:
    void push(RAAtomicListNode* node)
    {
        RAAtomicListNode* head = mHead.load(std::memory_order_relaxed);
        do {
            node->next = head;
        } while (!mHead.compare_exchange_weak(head, node, std::memory_order_acq_rel, std::memory_order_relaxed));
    }
    RAAtomicListNode* steal() { return mHead.exchange(nullptr, std::memory_order_acq_rel); }

private:
    std::atomic<RAAtomicListNode*> mHead{nullptr};
};

RAAtomicListNode* reversed(RAAtomicListNode* chain)
{
    RAAtomicListNode* result = nullptr;
    while (chain) {
        RAAtomicListNode* next = chain->next;
        chain->next = result;
        result = chain;
        chain = next;
    }
    return result;
}

void freeChain(RAAtomicListNode* chain)
{
    while (chain) {
        RAAtomicListNode* next = chain->next;
        delete chain;
        chain = next;
    }
}

// The worker's own list, oldest first, refilled from a shared list when it runs dry.
struct PrivateList {
    RAAtomicListNode* first = nullptr;

    RAOperationRef pop()
    {
        RAAtomicListNode* node = first;
        if (!node)
            return nullptr;
        first = node->next;
        RAOperationRef operation = std::move(node->operation);
        delete node;
        return operation;
    }
};

} // namespace

class RAOperationQueueImpl {
public:
    RAOperationQueueImpl() { setupThread(); }

    ~RAOperationQueueImpl()
    {
        stop();
        if (mThread.joinable())
            mThread.join();
        freeChain(mLeftoverNormal);
        freeChain(mLeftoverHigh);
        freeChain(mOperationList.steal());
        freeChain(mHighPriorityOperationList.steal());
    }

    void addOperation(RAOperationRef operation) { add(std::move(operation), mOperationList); }
    void addHighPriorityOperation(RAOperationRef operation) { add(std::move(operation), mHighPriorityOperationList); }

    void setSuspended(bool suspended)
    {
        std::lock_guard lock(mControlMutex);
        if (suspended == mSuspended.load())
            return;
        mSuspended.store(suspended);
        if (suspended) {
            stop();
        } else {
            setupThread();
            mTrigger.signal();
        }
    }

    bool isSuspended() const { return mSuspended.load(); }

private:
    void add(RAOperationRef operation, SharedList& list)
    {
        list.push(new RAAtomicListNode{nullptr, std::move(operation)});
        if (!mSuspended.load(std::memory_order_acquire))
            mTrigger.signal();
    }

    void stop()
    {
        mThread.request_stop();
        mTrigger.signal();
    }

    // The new worker first waits for the one it replaces, so that operations never overlap
    // and it can take over what that one had taken off the lists.
    void setupThread()
    {
        mThread = std::jthread(
            [this](std::stop_token stopToken, std::jthread previous) {
                if (previous.joinable())
                    previous.join();
                workThread(stopToken);
            },
            std::move(mThread));
    }

    void workThread(const std::stop_token& stopToken)
    {
        if (stopToken.stop_requested())
            return;
        PrivateList normal{std::exchange(mLeftoverNormal, nullptr)};
        PrivateList high{std::exchange(mLeftoverHigh, nullptr)};
        // A first pass without waiting: operations handed over or pushed before this worker
        // started may have had their wake-up taken by the worker before it.
        bool ranSomething = true;
        while (!stopToken.stop_requested()) {
            if (!ranSomething) {
                mTrigger.wait();
                if (stopToken.stop_requested())
                    break;
            }
            ranSomething = runOperation(high, mHighPriorityOperationList, stopToken) ||
                           runOperation(normal, mOperationList, stopToken);
        }
        // Handed back, in order, to the next worker.
        mLeftoverNormal = normal.first;
        mLeftoverHigh = high.first;
    }

    // Runs the oldest operation unless the worker was stopped meanwhile: an operation added
    // after a suspension was taken off the shared list after the stop was asked for, and
    // waits, in order, for the next worker.
    static bool runOperation(PrivateList& list, SharedList& source, const std::stop_token& stopToken)
    {
        if (!list.first)
            list.first = reversed(source.steal());
        if (!list.first || stopToken.stop_requested())
            return false;
        list.pop()->run();
        return true;
    }

    RALatchTrigger mTrigger;
    SharedList mOperationList;
    SharedList mHighPriorityOperationList;
    std::atomic<bool> mSuspended{false};
    std::mutex mControlMutex;
    std::jthread mThread;
    // What the last worker had taken off the shared lists and not run, oldest first; only a
    // worker (after the previous one has ended) or the destructor (after the last) touches it.
    RAAtomicListNode* mLeftoverNormal = nullptr;
    RAAtomicListNode* mLeftoverHigh = nullptr;
};

RAOperationQueue::RAOperationQueue() : mImpl(std::make_unique<RAOperationQueueImpl>()) {}

RAOperationQueue::~RAOperationQueue() = default;

void RAOperationQueue::addOperation(RAOperationRef operation) { mImpl->addOperation(std::move(operation)); }

void RAOperationQueue::addHighPriorityOperation(RAOperationRef operation)
{
    mImpl->addHighPriorityOperation(std::move(operation));
}

void RAOperationQueue::setSuspended(bool suspended) { mImpl->setSuspended(suspended); }

bool RAOperationQueue::isSuspended() const { return mImpl->isSuspended(); }
