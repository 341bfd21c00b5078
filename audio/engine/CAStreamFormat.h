#pragma once
// Helpers over an AudioStreamBasicDescription: construction, canonical fill, comparison
// (exact, with wildcards, ordering), validity, and the texts used in logs and menus.
// Plain value; any thread; allocation-free.

#include "platform/CoreAudioTypes.h"

#include <cstddef>

class CAStreamFormat : public AudioStreamBasicDescription {
public:
    CAStreamFormat() = default;
    CAStreamFormat(const AudioStreamBasicDescription& description) : AudioStreamBasicDescription(description) {}
    CAStreamFormat(Float64 sampleRate, UInt32 formatID, UInt32 bytesPerPacket, UInt32 framesPerPacket,
                   UInt32 bytesPerFrame, UInt32 channelsPerFrame, UInt32 bitsPerChannel, UInt32 formatFlags);

    // Every field 0 except the reserved word.
    void Reset();
    // Every field that is 0 takes the value of other.
    void FillOutFormat(const AudioStreamBasicDescription& other);
    // Linear PCM that is mixable becomes packed 32-bit float of the same channel count,
    // interleaved; other formats are left as they are.
    void NormalizeToCanonical();

    bool IsPCM() const { return mFormatID == kAudioFormatLinearPCM; }
    bool IsInterleaved() const { return !IsPCM() || !(mFormatFlags & kAudioFormatFlagIsNonInterleaved); }
    // Bytes per sample word; 0 when it cannot be told.
    UInt32 SampleWordSize() const;

    // Exact: every field but the reserved word equal. With wildcards: IsEquivalent().
    bool IsEqual(const AudioStreamBasicDescription& other, bool interpretingWildcards = false) const;
    // Fields that are 0 on either side match anything; linear PCM flags are normalised.
    static bool IsEquivalent(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b);
    // a < b: linear PCM first, then by format ID; mixable before non-mixable; integer
    // before float; then bits, sample rate and channels, each only when set on both sides.
    static bool IsLessThan(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b);

    bool IsValid() const;

    // 'lpcm' in quotes when all four characters print, else "0x" and eight hex digits.
    static char* FormatIDToText(UInt32 formatID, char* buffer, size_t size);
    // "%2d ch, %6.0f Hz, 'lpcm' (0x%08X) 16-bit big-endian signed integer", and the like.
    char* AsString(char* buffer, size_t size) const;
    // "Mixable 2 Channel 32 Bit Floating Point", "Mixable 2 Ch Float32", "AC-3", ...
    char* GetSimpleName(char* buffer, size_t size, bool abbreviate) const;
};

inline bool operator==(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b)
{
    return CAStreamFormat(a).IsEqual(b);
}
inline bool operator<(const CAStreamFormat& a, const CAStreamFormat& b) { return CAStreamFormat::IsLessThan(a, b); }
