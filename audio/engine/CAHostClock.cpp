#include "audio/engine/CAHostClock.h"

#include <time.h>

namespace CAHostClock {
namespace {
// The time base: nanoseconds = ticks / denominator x numerator.
constexpr Float64 kNumerator = 1.0;
constexpr Float64 kDenominator = 1.0;
} // namespace

UInt64 GetCurrentTime()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return UInt64(now.tv_sec) * 1000000000ull + UInt64(now.tv_nsec);
}

UInt64 ConvertToNanos(UInt64 hostTime) { return UInt64(Float64(hostTime) / kDenominator * kNumerator); }

UInt64 ConvertFromNanos(UInt64 nanos) { return UInt64(Float64(nanos) / kNumerator * kDenominator); }

UInt64 GetCurrentTimeInNanos() { return ConvertToNanos(GetCurrentTime()); }

Float64 GetFrequency() { return kDenominator / kNumerator * 1000000000.0; }

} // namespace CAHostClock
