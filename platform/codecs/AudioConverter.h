#pragma once
// Converts audio between two stream descriptions, in place of the audio toolbox's audio
// converter: linear PCM to linear PCM of another layout, rate or channel count, linear PCM
// to a compressed format (encoding: AAC, Apple Lossless of 16 and 24-bit sources, IMA 4:1
// and MP3), and a compressed format to linear PCM (decoding), on FFmpeg's codecs and
// resampler.
//
// Pulling. fillComplexBuffer() asks for output packets (frames, for linear PCM) and pulls
// input through the caller's procedure as it needs it. The procedure points the buffers
// of the list it is given at its own data (and, for compressed input, hands out packet
// descriptions) and says how many packets it gave; giving none ends the input, after which
// the converter drains what it holds and then gives no more until reset(). A procedure
// that fails stops the fill, which returns its status with what was produced so far; the
// converter's state is kept, so a later fill goes on.
//
// Properties, by the codes of AudioCodecTypes.h: 'acid', 'acod', 'brat', 'cdqu', 'srcq',
// 'prim', 'cibs', 'mobs', 'xips', 'xops', 'cmgc', 'dmgc', 'chmp', 'vesr', 'vebr', 'aebr'.
// Bit rate and codec quality reopen the encoder; set them before converting. A property
// a converter has no use for answers kAudioConverterErr_PropertyNotSupported ('prop').
//
// Prime information: an encoder's leading frames are its delay (1024 for AAC, 1105 for
// MP3 counted as decoders give it, 0 for Apple Lossless); its trailing frames are known once
// the input has ended and everything is drained. A decoder drops the leading frames set on
// it after each reset and holds back the trailing ones until the end.
//
// One thread at a time (its owner's lock serialises it); allocates while converting, so
// never on a render thread.

#include "platform/codecs/AudioCodecTypes.h"

#include <memory>

class AudioConverter;

using AudioConverterComplexInputDataProc = OSStatus (*)(AudioConverter* converter, UInt32* ioNumberDataPackets,
                                                         AudioBufferList* ioData,
                                                         AudioStreamPacketDescription** outDataPacketDescription,
                                                         void* userData);

class AudioConverter {
public:
    // Zero sample rates and channel counts take the other side's. Answers
    // kAudioConverterErr_FormatNotSupported when neither side is linear PCM or there is no
    // codec for the compressed side.
    static OSStatus create(const AudioStreamBasicDescription& source, const AudioStreamBasicDescription& destination,
                           std::unique_ptr<AudioConverter>* converter);
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    // Forgets everything buffered and starts afresh (the codec's state too).
    OSStatus reset();

    // Fills outOutputData with up to *ioOutputDataPacketSize packets; variable-size packets
    // need outPacketDescription. *ioOutputDataPacketSize comes back as the packets given,
    // 0 once the input has ended and all is drained.
    OSStatus fillComplexBuffer(AudioConverterComplexInputDataProc inputProc, void* userData,
                               UInt32* ioOutputDataPacketSize, AudioBufferList* outOutputData,
                               AudioStreamPacketDescription* outPacketDescription);

    OSStatus getPropertyInfo(AudioConverterPropertyID property, UInt32* size, bool* writable);
    OSStatus getProperty(AudioConverterPropertyID property, UInt32* ioSize, void* data);
    OSStatus setProperty(AudioConverterPropertyID property, UInt32 size, const void* data);

private:
    struct State;
    AudioConverter();
    std::unique_ptr<State> d;
};
