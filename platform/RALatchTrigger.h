#pragma once
// A wake-up latch that holds at most one pending wake-up, in place of a kernel port with a
// message queue of one: any number of signal() calls between two wait() calls cost one
// wake-up, and a signal() that comes before the wait() is not lost. Built on an eventfd
// counter, which wait() reads back to zero.
//
// Threads: signal() from any thread, never blocking (one write system call); wait() from
// one thread at a time, sleeping in the kernel until a signal is pending.
//
// The kernel's refusals raise NSInternalInconsistencyException ("RALatchTrigger: could not
// allocate event descriptor: %x", "... send failed with code %x", "... receive failed with
// code %x", the errno in hexadecimal).

class RALatchTrigger {
public:
    RALatchTrigger();
    ~RALatchTrigger();
    RALatchTrigger(const RALatchTrigger&) = delete;
    RALatchTrigger& operator=(const RALatchTrigger&) = delete;

    // Makes a wake-up pending (when one is already pending, nothing changes).
    void signal();
    // Sleeps until a wake-up is pending, and takes it.
    void wait();

private:
    int mDescriptor = -1;
};
