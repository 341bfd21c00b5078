#pragma once
// Host time: ticks of the monotonic clock, and their conversion to nanoseconds. On this
// platform one tick is one nanosecond; the conversions are kept all the same, so that code
// that takes host times never assumes the unit. Any thread; allocation-free.

#include "platform/CoreAudioTypes.h"

namespace CAHostClock {

UInt64 GetCurrentTime();          // host ticks now
UInt64 GetCurrentTimeInNanos();   // nanoseconds now
UInt64 ConvertToNanos(UInt64 hostTime);
UInt64 ConvertFromNanos(UInt64 nanos);
Float64 GetFrequency();           // host ticks per second

} // namespace CAHostClock
