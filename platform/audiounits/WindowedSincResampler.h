#pragma once
// A band-limited resampler for playback-rate changes: each output frame is a windowed-sinc
// (Kaiser) interpolation of the input around its position, with the filter stretched when
// the output rate is below the input rate so nothing above the new Nyquist frequency folds
// back. To stay cheap enough for every input of the board at once, the filter is tabulated
// for the ratio in use (kTablePhases phases, each normalised to unit gain, interpolated
// between neighbours), rebuilt in place when the ratio changes; the weights of a frame
// serve every channel. Ratios that stretch the filter past kMaxTableTaps evaluate the kernel
// tap by tap instead.
//
// Output frame 0 lines up with input frame 0 (no delay); the look-ahead the filter needs is
// held back until input arrives. Before the first input frame the filter sees that frame
// repeated, so a start is not a step from silence. Its interface follows src_process: it takes what input
// fits and produces what it can.
//
// All memory is made by the constructor: process() and reset() allocate nothing, lock
// nothing and may run on a render thread. One thread at a time.

#include <cstddef>
#include <vector>

class WindowedSincResampler {
public:
    // Zero crossings of the kernel on each side at unity ratio: 16 taps a frame there.
    static constexpr int kZeroCrossings = 8;
    static constexpr int kPhases = 512;
    // The lowest ratio (output rate / input rate) the filter is sized for.
    static constexpr double kMinimumRatio = 1.0 / 16.0;
    static constexpr int kTablePhases = 256;
    static constexpr int kMaxTableTaps = 40;

    // channels interleaved; maxInputFrames is the most input one call may take.
    WindowedSincResampler(int channels, long maxInputFrames);

    // Takes up to inputFrames frames of interleaved input and writes up to outputFrames
    // frames of output at ratio (output rate / input rate, at least kMinimumRatio).
    void process(const float* input, long inputFrames, float* output, long outputFrames, double ratio,
                 long* inputUsed, long* outputGenerated);
    // Forgets all input: the next output starts from silence history.
    void reset();

private:
    float kernel(double x) const; // the windowed sinc at |x| zero crossings, from the table
    // Fills mPhaseTable for a stretch of scale and taps weights a frame.
    void buildPhaseTable(double scale, long halfWidth);
    // The weights of one output frame at the current fraction into mWeights.
    void frameWeights(double scale, long halfWidth);
    // Moves what the filter can still reach to the front of the buffer.
    void dropOldHistory();

    const int mChannels;
    const long mHistory;  // frames kept before the position: the widest half-filter
    const long mCapacity; // frames the buffer holds
    std::vector<float> mTable;
    std::vector<float> mBuffer; // interleaved input, oldest first
    std::vector<float> mWeights;
    std::vector<float> mPhaseTable; // (kTablePhases + 1) rows of the filter's taps, packed
    double mTableScale = 0;         // the stretch the table holds (0: none)
    long mFrames = 0;           // frames in the buffer
    long mIndex = 0;            // input time of the next output frame, in buffer frames:
    double mFraction = 0;       // its whole part and its fraction
    bool mStarted = false;      // input has arrived since the last reset
};
