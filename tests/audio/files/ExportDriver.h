#pragma once
// Drives an encoder and a file writer the way the conversion thread does: ready the
// encoder, hand its cookie to the writer, begin the session, fill and write until the
// source is drained, hand over the prime information, end the session.

#include "platform/CoreAudioTypes.h"

#include <vector>

class ZEPAudioConverter;
class ZEPAudioFileWriting;

namespace clipdeck::test {

// Encodes two channels of float (planar) through the converter into the writer; answers the
// first failing status.
OSStatus exportAudio(ZEPAudioConverter& encoder, ZEPAudioFileWriting& writer, const std::vector<float>& left,
                     const std::vector<float>& right);

// The default output description of a file type's encoder.
AudioStreamBasicDescription defaultOutputFor(UInt32 fileType);

} // namespace clipdeck::test
