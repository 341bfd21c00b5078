// The render guard's interposers. Each replaces a C library call for the whole test program
// and forwards it to the next definition (the sanitizer's interceptor, or the C library's),
// found once with dlsym(RTLD_NEXT). While the calling thread is armed, the call is recorded
// first. Recording allocates nothing and takes no lock: counters are atomics, the kinds go
// into a fixed ring of string literals, and the first stack is taken with backtrace() (made
// ready before any thread is armed).
#include "support/RenderGuard.h"

#include "platform/devices/AudioDeviceStream.h"
#include "support/AllocationCounter.h"

#include <QStringList>

#include <atomic>
#include <cxxabi.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/eventfd.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

namespace {

// Every new and delete goes through malloc and free only where the program's operator new is
// the allocation counter's (the sanitizers' own never call malloc): this reference links it.
[[gnu::used]] int (clipdeck::test::AllocationCounter::*const kLinkTheCountingNew)() const = &clipdeck::test::AllocationCounter::count;

// Thread state lives in initial-exec TLS, which never allocates.
#define GUARD_TLS __attribute__((tls_model("initial-exec"))) thread_local
GUARD_TLS int t_armed = 0;
GUARD_TLS int t_inside = 0; // inside the guard's own work: calls pass straight through

using Kind = clipdeck::test::RenderGuard::Kind;
std::atomic<uint64_t> g_violations{0};
std::atomic<uint64_t> g_violationsOfKind[5];
std::atomic<uint64_t> g_wakes{0};
constexpr uint64_t kKindSlots = 64;
std::atomic<const char*> g_kinds[kKindSlots];
std::atomic<bool> g_stackWanted{false};
constexpr int kStackFrames = 24;
void* g_stack[kStackFrames];
std::atomic<int> g_stackDepth{0};
std::atomic<uint64_t> g_deviceSlices{0};

void record(Kind kind, const char* call)
{
    ++t_inside;
    g_violationsOfKind[int(kind)].fetch_add(1);
    const uint64_t number = g_violations.fetch_add(1);
    g_kinds[number % kKindSlots].store(call);
    if (g_stackWanted.exchange(false))
        g_stackDepth.store(backtrace(g_stack, kStackFrames));
    --t_inside;
}

inline bool watched() { return t_armed > 0 && t_inside == 0; }

inline void violation(Kind kind, const char* call)
{
    if (watched())
        record(kind, call);
}

inline void wake()
{
    if (watched())
        g_wakes.fetch_add(1);
}

// dlsym may allocate while it looks a symbol up: those allocations come from a small arena
// of our own, and freeing them does nothing.
GUARD_TLS int t_resolving = 0;
alignas(64) unsigned char g_arena[256 * 1024];
std::atomic<size_t> g_arenaUsed{0};

void* arenaAllocate(size_t size)
{
    const size_t rounded = (size + 63) & ~size_t(63);
    const size_t at = g_arenaUsed.fetch_add(rounded);
    return at + rounded <= sizeof g_arena ? g_arena + at : nullptr;
}

bool inArena(const void* pointer)
{
    return pointer >= static_cast<const void*>(g_arena) && pointer < static_cast<const void*>(g_arena + sizeof g_arena);
}

void* resolve(const char* name, std::atomic<void*>& slot)
{
    void* function = slot.load(std::memory_order_acquire);
    if (!function) {
        ++t_resolving;
        function = dlsym(RTLD_NEXT, name);
        --t_resolving;
        if (!function) {
            std::fprintf(stderr, "render guard: no next definition of %s\n", name);
            std::abort();
        }
        slot.store(function, std::memory_order_release);
    }
    return function;
}

} // namespace

// The next definition of a function, typed as the function itself.
#define NEXT(name)                                                                                                     \
    ([]() {                                                                                                            \
        static std::atomic<void*> slot{nullptr};                                                                      \
        return reinterpret_cast<decltype(&::name)>(resolve(#name, slot));                                              \
    }())

extern "C" {

// Memory ----------------------------------------------------------------------------------

void* malloc(size_t size) noexcept
{
    if (t_resolving)
        return arenaAllocate(size);
    violation(Kind::Memory, "malloc");
    return NEXT(malloc)(size);
}

void* calloc(size_t count, size_t size) noexcept
{
    if (t_resolving)
        return arenaAllocate(count * size); // the arena starts zeroed and is never reused
    violation(Kind::Memory, "calloc");
    return NEXT(calloc)(count, size);
}

void* realloc(void* pointer, size_t size) noexcept
{
    if (inArena(pointer) || t_resolving) {
        void* moved = t_resolving ? arenaAllocate(size) : NEXT(malloc)(size);
        if (moved && pointer)
            std::memcpy(moved, pointer, size); // the arena is larger than any copy reads
        return moved;
    }
    violation(Kind::Memory, "realloc");
    return NEXT(realloc)(pointer, size);
}

void free(void* pointer) noexcept
{
    if (!pointer || inArena(pointer) || t_resolving)
        return; // what dlsym frees while we look a symbol up is let go
    violation(Kind::Memory, "free");
    NEXT(free)(pointer);
}

int posix_memalign(void** out, size_t alignment, size_t size) noexcept
{
    violation(Kind::Memory, "posix_memalign");
    return NEXT(posix_memalign)(out, alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept
{
    violation(Kind::Memory, "aligned_alloc");
    return NEXT(aligned_alloc)(alignment, size);
}

void* memalign(size_t alignment, size_t size) noexcept
{
    violation(Kind::Memory, "memalign");
    return NEXT(memalign)(alignment, size);
}

// Waiting ---------------------------------------------------------------------------------

int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept
{
    violation(Kind::Lock, "pthread_mutex_lock");
    return NEXT(pthread_mutex_lock)(mutex);
}

int pthread_mutex_timedlock(pthread_mutex_t* mutex, const struct timespec* deadline) noexcept
{
    violation(Kind::Lock, "pthread_mutex_timedlock");
    return NEXT(pthread_mutex_timedlock)(mutex, deadline);
}

int pthread_rwlock_rdlock(pthread_rwlock_t* lock) noexcept
{
    violation(Kind::Lock, "pthread_rwlock_rdlock");
    return NEXT(pthread_rwlock_rdlock)(lock);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock) noexcept
{
    violation(Kind::Lock, "pthread_rwlock_wrlock");
    return NEXT(pthread_rwlock_wrlock)(lock);
}

int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex)
{
    violation(Kind::Wait, "pthread_cond_wait");
    return NEXT(pthread_cond_wait)(condition, mutex);
}

int pthread_cond_timedwait(pthread_cond_t* condition, pthread_mutex_t* mutex, const struct timespec* deadline)
{
    violation(Kind::Wait, "pthread_cond_timedwait");
    return NEXT(pthread_cond_timedwait)(condition, mutex, deadline);
}

int pthread_cond_clockwait(pthread_cond_t* condition, pthread_mutex_t* mutex, clockid_t clock,
                           const struct timespec* deadline)
{
    violation(Kind::Wait, "pthread_cond_clockwait");
    return NEXT(pthread_cond_clockwait)(condition, mutex, clock, deadline);
}

int pthread_join(pthread_t thread, void** result)
{
    violation(Kind::Wait, "pthread_join");
    return NEXT(pthread_join)(thread, result);
}

int sem_wait(sem_t* semaphore)
{
    violation(Kind::Wait, "sem_wait");
    return NEXT(sem_wait)(semaphore);
}

int sem_timedwait(sem_t* semaphore, const struct timespec* deadline)
{
    violation(Kind::Wait, "sem_timedwait");
    return NEXT(sem_timedwait)(semaphore, deadline);
}

int sem_clockwait(sem_t* semaphore, clockid_t clock, const struct timespec* deadline)
{
    violation(Kind::Wait, "sem_clockwait");
    return NEXT(sem_clockwait)(semaphore, clock, deadline);
}

int nanosleep(const struct timespec* duration, struct timespec* left)
{
    violation(Kind::Wait, "nanosleep");
    return NEXT(nanosleep)(duration, left);
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* duration, struct timespec* left)
{
    violation(Kind::Wait, "clock_nanosleep");
    return NEXT(clock_nanosleep)(clock, flags, duration, left);
}

int usleep(useconds_t microseconds)
{
    violation(Kind::Wait, "usleep");
    return NEXT(usleep)(microseconds);
}

int sched_yield() noexcept
{
    violation(Kind::Wait, "sched_yield");
    return NEXT(sched_yield)();
}

// Wakes -----------------------------------------------------------------------------------

int sem_post(sem_t* semaphore) noexcept
{
    wake();
    return NEXT(sem_post)(semaphore);
}

int pthread_cond_signal(pthread_cond_t* condition) noexcept
{
    wake();
    return NEXT(pthread_cond_signal)(condition);
}

int pthread_cond_broadcast(pthread_cond_t* condition) noexcept
{
    wake();
    return NEXT(pthread_cond_broadcast)(condition);
}

int eventfd_write(int file, eventfd_t value)
{
    wake();
    return NEXT(eventfd_write)(file, value);
}

// Files -----------------------------------------------------------------------------------

// The mode argument open() takes with O_CREAT or O_TMPFILE.
#define OPEN_MODE(flags, last)                                                                                        \
    mode_t mode = 0;                                                                                                   \
    if ((flags) & (O_CREAT | O_TMPFILE)) {                                                                            \
        va_list arguments;                                                                                             \
        va_start(arguments, last);                                                                                     \
        mode = va_arg(arguments, mode_t);                                                                              \
        va_end(arguments);                                                                                             \
    }

int open(const char* path, int flags, ...)
{
    violation(Kind::File, "open");
    OPEN_MODE(flags, flags)
    return NEXT(open)(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    violation(Kind::File, "open64");
    OPEN_MODE(flags, flags)
    return NEXT(open64)(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...)
{
    violation(Kind::File, "openat");
    OPEN_MODE(flags, flags)
    return NEXT(openat)(folder, path, flags, mode);
}

FILE* fopen(const char* path, const char* mode)
{
    violation(Kind::File, "fopen");
    return NEXT(fopen)(path, mode);
}

ssize_t read(int file, void* data, size_t size)
{
    violation(Kind::File, "read");
    return NEXT(read)(file, data, size);
}

ssize_t pread(int file, void* data, size_t size, off_t offset)
{
    violation(Kind::File, "pread");
    return NEXT(pread)(file, data, size, offset);
}

ssize_t pread64(int file, void* data, size_t size, off64_t offset)
{
    violation(Kind::File, "pread64");
    return NEXT(pread64)(file, data, size, offset);
}

ssize_t readv(int file, const struct iovec* parts, int count)
{
    violation(Kind::File, "readv");
    return NEXT(readv)(file, parts, count);
}

size_t fread(void* data, size_t size, size_t count, FILE* stream)
{
    violation(Kind::File, "fread");
    return NEXT(fread)(data, size, count, stream);
}

ssize_t write(int file, const void* data, size_t size)
{
    violation(Kind::File, "write");
    return NEXT(write)(file, data, size);
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* stream)
{
    violation(Kind::File, "fwrite");
    return NEXT(fwrite)(data, size, count, stream);
}

} // extern "C"

// Exceptions ------------------------------------------------------------------------------

namespace __cxxabiv1 {
extern "C" void __cxa_throw(void* object, std::type_info* type, void(_GLIBCXX_CDTOR_CALLABI* destroy)(void*))
{
    violation(Kind::Throw, "throw");
    using Throw = void (*)(void*, std::type_info*, void(_GLIBCXX_CDTOR_CALLABI*)(void*));
    static std::atomic<void*> slot{nullptr};
    reinterpret_cast<Throw>(resolve("__cxa_throw", slot))(object, type, destroy);
    __builtin_unreachable();
}
} // namespace __cxxabiv1

namespace clipdeck::test {

namespace {

void beginSlice()
{
    g_deviceSlices.fetch_add(1, std::memory_order_relaxed);
    RenderGuard::arm();
}

void endSlice() { RenderGuard::disarm(); }

const AudioDeviceSliceObserver kSliceWatcher{&beginSlice, &endSlice};

} // namespace

RenderGuard::RenderGuard() : mViolationsAtStart(g_violations.load()), mWakesAtStart(g_wakes.load())
{
    for (int k = 0; k < kKinds; ++k)
        mKindsAtStart[k] = g_violationsOfKind[k].load();
    // backtrace() loads its unwinder on first use, which allocates: not on an armed thread.
    void* warmUp[2];
    backtrace(warmUp, 2);
    g_stackDepth.store(0);
    g_stackWanted.store(true);
}

uint64_t RenderGuard::violations() const { return g_violations.load() - mViolationsAtStart; }

uint64_t RenderGuard::violations(Kind kind) const
{
    return g_violationsOfKind[int(kind)].load() - mKindsAtStart[int(kind)];
}

uint64_t RenderGuard::wakes() const { return g_wakes.load() - mWakesAtStart; }

QString RenderGuard::report() const
{
    const uint64_t end = g_violations.load();
    if (end == mViolationsAtStart)
        return {};
    QStringList kinds;
    for (uint64_t n = mViolationsAtStart; n < end && n < mViolationsAtStart + kKindSlots; ++n) {
        const char* kind = g_kinds[n % kKindSlots].load();
        kinds.append(QString::fromLatin1(kind ? kind : "?"));
    }
    QString text = QStringLiteral("%1 violation(s): %2").arg(end - mViolationsAtStart).arg(kinds.join(", "));
    const int depth = g_stackDepth.load();
    if (depth > 0) {
        text += QStringLiteral("\nfirst at:");
        char** symbols = backtrace_symbols(g_stack, depth);
        for (int i = 0; i < depth; ++i)
            text += QStringLiteral("\n  ") + (symbols ? QString::fromLocal8Bit(symbols[i]) : QString::number(quintptr(g_stack[i]), 16));
        std::free(symbols);
    }
    return text;
}

void RenderGuard::arm() { ++t_armed; }

void RenderGuard::disarm()
{
    if (t_armed > 0)
        --t_armed;
}

bool RenderGuard::isArmed() { return t_armed > 0; }

void RenderGuard::watchDeviceSlices(bool watch) { AudioDeviceStream::setSliceObserver(watch ? &kSliceWatcher : nullptr); }

uint64_t RenderGuard::deviceSlices() { return g_deviceSlices.load(); }

} // namespace clipdeck::test
