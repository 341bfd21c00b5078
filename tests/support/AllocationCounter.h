#pragma once
// Counts the allocations made through operator new on the calling thread while an
// AllocationCounter lives on it: how tests show that a render path allocates nothing.
// Linking this in replaces the program's operator new with a counting one.

namespace clipdeck::test {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    // Allocations on this thread since construction.
    int count() const;
};

} // namespace clipdeck::test
