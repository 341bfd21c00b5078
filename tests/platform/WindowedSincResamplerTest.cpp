#include "platform/audiounits/WindowedSincResampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<float> sine(double frequency, double rate, size_t frames)
{
    std::vector<float> samples(frames);
    for (size_t i = 0; i < frames; ++i)
        samples[i] = float(0.5 * std::sin(2 * M_PI * frequency * double(i) / rate));
    return samples;
}

// Resamples mono input in chunks of the given sizes (cycled), as a render loop would.
std::vector<float> resample(const std::vector<float>& input, double ratio, const std::vector<long>& chunks)
{
    WindowedSincResampler resampler(1, 2048);
    std::vector<float> output;
    std::vector<float> block(4096);
    size_t at = 0, chunk = 0;
    int idle = 0;
    while (at < input.size() && idle < 4) {
        const long offer = std::min<long>(chunks[chunk++ % chunks.size()], long(input.size() - at));
        long used = 0, made = 0;
        resampler.process(input.data() + at, offer, block.data(), long(block.size()), ratio, &used, &made);
        at += size_t(used);
        output.insert(output.end(), block.begin(), block.begin() + made);
        idle = used == 0 && made == 0 ? idle + 1 : 0;
    }
    return output;
}

double rms(const std::vector<float>& samples, size_t from)
{
    double sum = 0;
    for (size_t i = from; i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(samples.size() - from));
}

} // namespace

TEST(WindowedSincResampler, ConvertsASineAccuratelyAndKeepsDirectCurrentAtUnitGain)
{
    const std::vector<float> input = sine(1000, 48000, 48000);
    const std::vector<float> output = resample(input, 44100.0 / 48000.0, {512});
    ASSERT_GT(output.size(), 43000u);
    double worst = 0;
    for (size_t i = 64; i < output.size() - 64; ++i)
        worst = std::max(worst, std::fabs(double(output[i]) - 0.5 * std::sin(2 * M_PI * 1000.0 * double(i) / 44100.0)));
    EXPECT_LT(worst, 1e-3); // -60 dB against the ideal sine

    const std::vector<float> constant(10000, 0.25f);
    for (float v : resample(constant, 1.02, {333}))
        EXPECT_NEAR(v, 0.25f, 1e-6);
}

TEST(WindowedSincResampler, InterpolatesHighTonesAndKeepsTheStopBandFromFoldingBack)
{
    // A 12 kHz tone from 48 kHz to 44.1 kHz: interpolating linearly leaves an error near
    // -12 dB; the filter stays below -40 dB.
    const std::vector<float> high = resample(sine(12000, 48000, 48000), 44100.0 / 48000.0, {512});
    double worst = 0;
    for (size_t i = 64; i < high.size() - 64; ++i)
        worst = std::max(worst, std::fabs(double(high[i]) - 0.5 * std::sin(2 * M_PI * 12000.0 * double(i) / 44100.0)));
    EXPECT_LT(worst, 0.5 * 0.01);

    // Halving the rate: a 19 kHz tone lies far above the new 12 kHz Nyquist and must not
    // come back as an alias.
    const std::vector<float> folded = resample(sine(19000, 48000, 48000), 0.5, {512});
    EXPECT_LT(rms(folded, 256), 0.5 / std::sqrt(2.0) * 0.003); // below -50 dB
}

TEST(WindowedSincResampler, ChunkingDoesNotChangeTheOutput)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> input(20000);
    for (float& v : input)
        v = noise(random);
    for (double ratio : {0.5, 0.9, 1.0375, 2.0}) {
        const std::vector<float> whole = resample(input, ratio, {2048});
        const std::vector<float> pieces = resample(input, ratio, {1, 7, 300, 1999, 64});
        const size_t common = std::min(whole.size(), pieces.size());
        ASSERT_GT(common, size_t(double(input.size()) * ratio * 0.9)) << ratio;
        for (size_t i = 0; i < common; ++i)
            ASSERT_EQ(whole[i], pieces[i]) << "ratio " << ratio << " frame " << i;
    }
}
