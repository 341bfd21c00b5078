#pragma once
// What feeds an encoder or decoder: the converter asks its data source for input packets
// while it fills (on the converting thread, under the converter's lock).

#include "platform/CoreAudioTypes.h"

class ZEPAudioConverter;

class ZEPAudioConverterDataSource {
public:
    virtual ~ZEPAudioConverterDataSource() = default;
    // packets: wanted in, delivered out. The source points the list's buffers at its data
    // (or fills them) and, for compressed input, hands out packet descriptions. Delivering
    // no packets ends the converter's input.
    virtual OSStatus converter(ZEPAudioConverter* converter, UInt32* readPackets, AudioBufferList* bufferList,
                               AudioStreamPacketDescription** packetDescriptions) = 0;
};
