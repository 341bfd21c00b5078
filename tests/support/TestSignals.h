#pragma once
// Known test signals whose every sample can be told from its frame index.

#include <cmath>

namespace clipdeck::test {

// A pattern that does not repeat for a million frames (23 s at 44100 Hz), with distinct
// float values, so a recording can be lined up with it unambiguously: sample k is
// ((k x 7919) mod 1000003) / 1000003 - 0.5.
constexpr long long kPatternModulus = 1000003;

inline float patternSample(long long frame)
{
    return float((frame * 7919) % kPatternModulus) / float(kPatternModulus) - 0.5f;
}

// The frame (modulo the pattern's length) a pattern sample belongs to; -1 when the value
// is not one of the pattern's.
inline long long patternFrame(float sample)
{
    const long long value = std::llround((double(sample) + 0.5) * double(kPatternModulus));
    if (value < 0 || value >= kPatternModulus)
        return -1;
    // 7919 x 7919' = 1 (mod 1000003), found once by the extended Euclidean algorithm.
    static const long long inverse = [] {
        long long a = 7919, m = kPatternModulus, x0 = 0, x1 = 1;
        while (a > 1) {
            const long long q = a / m;
            long long t = m;
            m = a % m;
            a = t;
            t = x0;
            x0 = x1 - q * x0;
            x1 = t;
        }
        return (x1 % kPatternModulus + kPatternModulus) % kPatternModulus;
    }();
    const long long frame = value * inverse % kPatternModulus;
    return patternSample(frame) == sample ? frame : -1;
}

// A sine of amplitude 0.5 at frequency Hz, for sampleRate.
inline float sineSample(double frequency, long long frame, double sampleRate = 44100.0)
{
    return float(0.5 * std::sin(2.0 * M_PI * frequency * double(frame) / sampleRate));
}

// Frequency (Hz) between low and high, in steps of 1 Hz, where the spectrum of samples
// peaks: a direct Fourier sum, robust to the odd dropped block.
double spectralPeak(const float* samples, size_t count, double sampleRate, double low, double high);

} // namespace clipdeck::test
