#pragma once
// A unit of work for RAOperationQueue: the queue's worker thread calls run() once. Subclasses
// say what runs; the queue holds each operation (shared) from its push until it has run,
// or until the queue goes without running it.
//
// run() is called on the queue's worker thread; an exception it lets out ends the program,
// as an uncaught exception on any thread does, so an operation handles its own failures.

#include <memory>

class RAOperation {
public:
    virtual ~RAOperation() = default;
    virtual void run() = 0;
};

using RAOperationRef = std::shared_ptr<RAOperation>;
