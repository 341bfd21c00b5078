#pragma once
// A serial queue of work on a thread of its own, in place of the platform's operation
// queues limited to one operation at a time: operations run one after another, in the
// order they were added, on the queue's worker thread.
//
// Cancelling an operation that has not begun drops it (its main() never runs); one that
// runs is only told, and stops when it next looks at isCancelled(). A suspended queue
// finishes the operation it runs and starts no other until it is resumed.
//
// Threads: every method may be called from any thread but the worker's own, except
// addOperation(), cancelAllOperations() and setSuspended(), which the running operation may
// call too. An exception that escapes an operation's main() is swallowed: operations report
// their own failures. Destroying the queue cancels what is left, waits for the running
// operation and ends the thread.

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class Operation {
public:
    virtual ~Operation() = default;

    // The work, on the queue's thread.
    virtual void main() = 0;

    void cancel() { cancelled_.store(true); }
    bool isCancelled() const { return cancelled_.load(); }

private:
    std::atomic<bool> cancelled_{false};
};

class OperationQueue {
public:
    // name: the worker thread's name (the first 15 bytes). A suspended queue holds its
    // operations until setSuspended(false).
    explicit OperationQueue(const QString& name, bool suspended = false);
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void addOperation(std::shared_ptr<Operation> operation);
    void addOperationWithBlock(std::function<void()> block);

    void setSuspended(bool suspended);
    bool isSuspended() const;

    // Drops every waiting operation and cancels the running one.
    void cancelAllOperations();
    // Returns once no operation waits or runs. While the queue is suspended with operations
    // waiting, that is never: resume or cancel them first.
    void waitUntilAllOperationsAreFinished();
    // Operations waiting or running.
    size_t operationCount() const;

    // 0.0 to 1.0, normal at 0.5 (the default). Below normal the worker yields to the other
    // threads by up to five steps of niceness; above it stays normal, so no helper thread
    // ever competes with the audio thread. Applied before each operation.
    void setThreadPriority(float priority) { priority_.store(priority); }

private:
    void run();
    void applyThreadPriority();

    mutable std::mutex mutex_;
    std::condition_variable wake_;     // the worker: work arrived, resumed or stopping
    std::condition_variable finished_; // waiters: an operation ended or was dropped
    std::deque<std::shared_ptr<Operation>> waiting_;
    std::shared_ptr<Operation> running_;
    bool suspended_;
    bool stopping_ = false;
    std::atomic<float> priority_{0.5f};
    float appliedPriority_ = 0.5f;
    QString name_;
    std::thread thread_;
};
