#include "support/TestSignals.h"

#include <cstddef>

namespace clipdeck::test {

double spectralPeak(const float* samples, size_t count, double sampleRate, double low, double high)
{
    double best = low, bestPower = -1;
    for (double frequency = low; frequency <= high; frequency += 1.0) {
        double re = 0, im = 0;
        const double step = 2.0 * M_PI * frequency / sampleRate;
        for (size_t i = 0; i < count; ++i) {
            re += samples[i] * std::cos(step * double(i));
            im += samples[i] * std::sin(step * double(i));
        }
        const double power = re * re + im * im;
        if (power > bestPower) {
            bestPower = power;
            best = frequency;
        }
    }
    return best;
}

} // namespace clipdeck::test
