#include "support/AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool t_counting = false;
thread_local int t_allocations = 0;

void* allocate(std::size_t size) noexcept
{
    if (t_counting)
        ++t_allocations;
    return std::malloc(size ? size : 1);
}
} // namespace

void* operator new(std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace clipdeck::test {

AllocationCounter::AllocationCounter()
{
    t_allocations = 0;
    t_counting = true;
}

AllocationCounter::~AllocationCounter() { t_counting = false; }

int AllocationCounter::count() const { return t_allocations; }

} // namespace clipdeck::test
