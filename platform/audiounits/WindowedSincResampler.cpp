#include "platform/audiounits/WindowedSincResampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Four floats the compiler keeps in one vector register wherever the target has them.
typedef float Float4 __attribute__((vector_size(16)));

// Cut-off as a share of the lower of the two Nyquist frequencies: the kernel's transition
// band lies just below it.
constexpr double kCutoff = 0.97;
// Kaiser window shape: about 75 dB of stop-band attenuation.
constexpr double kKaiserBeta = 7.5;

double besselI0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < 1e-12 * sum)
            break;
    }
    return sum;
}

} // namespace

WindowedSincResampler::WindowedSincResampler(int channels, long maxInputFrames)
    : mChannels(std::max(channels, 1)),
      mHistory(long(std::ceil(kZeroCrossings / (kMinimumRatio * kCutoff))) + 2),
      mCapacity(2 * mHistory + std::max(maxInputFrames, 1L))
{
    mTable.resize(size_t(kZeroCrossings) * kPhases + 2);
    const double norm = besselI0(kKaiserBeta);
    for (size_t i = 0; i < mTable.size(); ++i) {
        const double x = double(i) / kPhases;
        if (x >= kZeroCrossings) {
            mTable[i] = 0.0f;
            continue;
        }
        const double sinc = x == 0.0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
        const double w = x / kZeroCrossings;
        const double window = besselI0(kKaiserBeta * std::sqrt(1.0 - w * w)) / norm;
        mTable[i] = float(sinc * window);
    }
    mBuffer.assign(size_t(mCapacity) * mChannels, 0.0f);
    mWeights.assign(size_t(2 * mHistory + 2), 0.0f);
    mPhaseTable.assign(size_t(kTablePhases + 1) * kMaxTableTaps, 0.0f);
    reset();
}

void WindowedSincResampler::reset()
{
    std::fill(mBuffer.begin(), mBuffer.end(), 0.0f);
    mFrames = mHistory;
    mIndex = mHistory;
    mFraction = 0.0;
    mStarted = false;
    mTableScale = 0;
}

float WindowedSincResampler::kernel(double x) const
{
    const double index = std::fabs(x) * kPhases;
    const auto i = size_t(index);
    if (i + 1 >= mTable.size())
        return 0.0f;
    const float frac = float(index - double(i));
    return mTable[i] + (mTable[i + 1] - mTable[i]) * frac;
}

void WindowedSincResampler::buildPhaseTable(double scale, long halfWidth)
{
    const long taps = 2 * halfWidth;
    // Rows are packed at the filter's own width: the render reads two neighbouring rows a
    // frame from a table that then stays small enough to stay in the cache beside the rest
    // of the board's render.
    for (int phase = 0; phase <= kTablePhases; ++phase) {
        float* row = mPhaseTable.data() + size_t(phase) * size_t(taps);
        const double fraction = double(phase) / kTablePhases;
        float sum = 0.0f;
        for (long k = 0; k < taps; ++k) {
            row[k] = kernel((double(k - halfWidth + 1) - fraction) * scale);
            sum += row[k];
        }
        const float gain = sum != 0.0f ? 1.0f / sum : 0.0f;
        for (long k = 0; k < taps; ++k)
            row[k] *= gain;
    }
    mTableScale = scale;
}

void WindowedSincResampler::frameWeights(double scale, long halfWidth)
{
    const long taps = 2 * halfWidth;
    if (taps <= kMaxTableTaps) {
        if (scale != mTableScale)
            buildPhaseTable(scale, halfWidth);
        const double at = mFraction * kTablePhases;
        const auto phase = size_t(at);
        const float blend = float(at - double(phase));
        const float* row0 = mPhaseTable.data() + phase * size_t(taps);
        const float* row1 = row0 + taps;
        for (long k = 0; k < taps; ++k)
            mWeights[size_t(k)] = row0[k] + (row1[k] - row0[k]) * blend;
        return;
    }
    float sum = 0.0f;
    for (long k = 0; k < taps; ++k) {
        mWeights[size_t(k)] = kernel((double(k - halfWidth + 1) - mFraction) * scale);
        sum += mWeights[size_t(k)];
    }
    const float gain = sum != 0.0f ? 1.0f / sum : 0.0f;
    for (long k = 0; k < taps; ++k)
        mWeights[size_t(k)] *= gain;
}

void WindowedSincResampler::process(const float* input, long inputFrames, float* output, long outputFrames,
                                    double ratio, long* inputUsed, long* outputGenerated)
{
    ratio = std::max(ratio, kMinimumRatio);
    if (!mStarted && inputFrames > 0) {
        // The history before the first frame holds that frame: a sound that starts does not
        // start with a step from silence, whose ringing would overshoot its first samples.
        for (long f = 0; f < mHistory; ++f)
            std::memcpy(mBuffer.data() + size_t(f) * mChannels, input, size_t(mChannels) * sizeof(float));
        mStarted = true;
    }
    // The history behind the position is dropped only when the input would not fit: most
    // calls then move nothing.
    if (mCapacity - mFrames < inputFrames)
        dropOldHistory();
    const long take = std::clamp(mCapacity - mFrames, 0L, std::max(inputFrames, 0L));
    std::memcpy(mBuffer.data() + size_t(mFrames) * mChannels, input, size_t(take) * mChannels * sizeof(float));
    mFrames += take;
    *inputUsed = take;

    const double scale = std::min(1.0, ratio) * kCutoff; // kernel zero crossings per input frame
    const long halfWidth = long(std::ceil(kZeroCrossings / scale));
    const double step = 1.0 / ratio;
    long generated = 0;
    while (generated < outputFrames && mIndex + halfWidth + 1 < mFrames) {
        const long first = mIndex - halfWidth + 1;
        const long taps = 2 * halfWidth;
        frameWeights(scale, halfWidth);
        float* out = output + size_t(generated) * mChannels;
        const float* base = mBuffer.data() + size_t(first) * mChannels;
        const float* weights = mWeights.data();
        if (mChannels == 2) {
            // Taps come in pairs: one four-wide multiply-add takes two interleaved frames,
            // its lanes the running sums of left and right over even and odd taps.
            Float4 sums = {0.0f, 0.0f, 0.0f, 0.0f};
            for (long k = 0; k < taps; k += 2) {
                const Float4 pair = {weights[k], weights[k], weights[k + 1], weights[k + 1]};
                Float4 frames;
                std::memcpy(&frames, base + 2 * k, sizeof frames);
                sums += pair * frames;
            }
            out[0] = sums[0] + sums[2];
            out[1] = sums[1] + sums[3];
        } else {
            for (int c = 0; c < mChannels; ++c) {
                float acc = 0.0f;
                for (long k = 0; k < taps; ++k)
                    acc += weights[k] * base[size_t(k) * mChannels + c];
                out[c] = acc;
            }
        }
        ++generated;
        // Whole frames and the fraction kept apart: the fraction's rounding never depends on
        // where in the buffer the position happens to be, so chunking changes nothing.
        mFraction += step;
        const double whole = std::floor(mFraction);
        mIndex += long(whole);
        mFraction -= whole;
    }
    *outputGenerated = generated;
}

void WindowedSincResampler::dropOldHistory()
{
    // Keep only the history the widest filter can still reach behind the position.
    const long drop = mIndex - mHistory;
    if (drop > 0) {
        const long keep = mFrames - drop;
        std::memmove(mBuffer.data(), mBuffer.data() + size_t(drop) * mChannels, size_t(keep) * mChannels * sizeof(float));
        mFrames = keep;
        mIndex -= drop;
    }
}
