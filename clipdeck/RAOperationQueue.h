#pragma once
// A small operation queue with one worker thread and two priorities, whose producers never
// take a lock: operations are pushed onto lock-free lists and the worker takes them off in
// the order they came, high priority first, and runs them one at a time. A latch that holds
// at most one pending wake-up (platform/RALatchTrigger.h) lets the worker sleep while there
// is nothing to do.
//
// Order: operations of one priority run in the order of their pushes; a high-priority
// operation pushed before the worker chooses its next operation runs before any further
// normal one. Never two at once: a worker started by a resume waits until the worker it
// replaces has ended.
//
// Suspending ends the worker thread once the operation it runs (if any) has finished;
// operations pushed meanwhile wait, and those the worker had already taken off the lists
// are handed back, in order, to the next worker. Resuming starts a new worker, which runs
// them first. The program uses one such queue: the sounds' cache queue
// (CKSoundCachedFileSource::cacheOperationQueue()).
//
// Threads: addOperation() and addHighPriorityOperation() from any thread, never blocking
// (a compare-and-swap loop and one small allocation; a signal unless suspended).
// setSuspended() from any thread (calls are serialised among themselves). The destructor
// waits for a running operation to finish and drops every operation not yet run.

#include "clipdeck/RAOperation.h"

#include <memory>

class RAOperationQueueImpl;

class RAOperationQueue {
public:
    // Running: the worker starts at once.
    RAOperationQueue();
    ~RAOperationQueue();
    RAOperationQueue(const RAOperationQueue&) = delete;
    RAOperationQueue& operator=(const RAOperationQueue&) = delete;

    void addOperation(RAOperationRef operation);
    void addHighPriorityOperation(RAOperationRef operation);
    // Setting the value the queue has already does nothing.
    void setSuspended(bool suspended);
    bool isSuspended() const;

private:
    std::unique_ptr<RAOperationQueueImpl> mImpl;
};
