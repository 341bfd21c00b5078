#include "isomedia/MP4Descriptors.h"

MP4SLConfigDescriptor::MP4SLConfigDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength)
    : MP4Descriptor(tag, size, headerLength, "MP4SLConfigDescriptor")
{
}

// The eight one-bit flags, from bit 0x80 down to 0x01.
static uint32_t MP4SLConfigSettings::*const kFlags[8] = {&MP4SLConfigSettings::useAccessUnitStartFlag,
    &MP4SLConfigSettings::useAccessUnitEndFlag, &MP4SLConfigSettings::useRandomAccessPointFlag,
    &MP4SLConfigSettings::useRandomAccessUnitsOnlyFlag, &MP4SLConfigSettings::usePaddingFlag,
    &MP4SLConfigSettings::useTimestampsFlag, &MP4SLConfigSettings::useIdleFlag,
    &MP4SLConfigSettings::durationFlag};
static const char* const kFlagLabels[8] = {"useAccessUnitStartFlag", "useAccessUnitEndFlag",
    "useRandomAccessPointFlag", "useRandomAccessUnitsOnlyFlag", "usePaddingFlag", "useTimestampsFlag",
    "useIdleFlag", "durationFlag"};

static uint32_t timestampBytes(uint32_t timestampLength)
{
    return (2 * timestampLength + 7) / 8;
}

MP4Err MP4SLConfigDescriptor::createFromInputStream(MP4InputStream stream)
{
    MP4_TRY(get8(stream, &predefined, "predefined"));
    if (predefined == 0) {
        uint32_t flags = 0;
        MP4_TRY(get8(stream, &flags, nullptr));
        for (int i = 0; i < 8; i++) {
            this->*kFlags[i] = (flags >> (7 - i)) & 1;
            stream->trace("%s = %d", kFlagLabels[i], int(this->*kFlags[i]));
        }
        MP4_TRY(get32(stream, &timestampResolution, "timestampResolution"));
        MP4_TRY(get32(stream, &OCRResolution, "OCRResolution"));
        MP4_TRY(get8(stream, &timestampLength, "timestampLength"));
        MP4_TRY(get8(stream, &OCRLength, "OCRLength"));
        MP4_TRY(get8(stream, &AULength, "AULength"));
        MP4_TRY(get8(stream, &instantBitrateLength, "instantBitrateLength"));
        uint32_t word = 0;
        MP4_TRY(get16(stream, &word, nullptr));
        degradationPriorityLength = word >> 12;
        AUSeqNumLength = (word >> 7) & 31;
        packetSeqNumLength = (word >> 2) & 31;
        stream->trace("degradationPriorityLength = %d", int(degradationPriorityLength));
        stream->trace("AUSeqNumLength = %d", int(AUSeqNumLength));
        stream->trace("packetSeqNumLength = %d", int(packetSeqNumLength));
    } else if (predefined == 2) {
        useTimestampsFlag = 1;
    } else {
        return MP4MissingComponent;
    }
    if (durationFlag) {
        MP4_TRY(get32(stream, &timeScale, "timeScale"));
        MP4_TRY(get16(stream, &AUDuration, "AUDuration"));
        MP4_TRY(get16(stream, &CUDuration, "CUDuration"));
    }
    if (useTimestampsFlag == 0) {
        uint32_t count = timestampBytes(timestampLength);
        if (count > 1024)
            return MP4NotSupported;
        std::vector<char> stamps;
        MP4_TRY(getData(stream, count, stamps, "timestamps+pad"));
    }
    if (size > 0 && bytesRead == size - 1) {
        uint32_t padding = 0;
        MP4_TRY(get8(stream, &padding, nullptr));
    }
    return MP4Success;
}

MP4Err MP4SLConfigDescriptor::calculateSize()
{
    size = predefined == 0 ? 21 : 6;
    if (durationFlag)
        size += 8;
    if (useTimestampsFlag == 0)
        size += timestampBytes(timestampLength);
    return MP4Success;
}

MP4Err MP4SLConfigDescriptor::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(put8(buffer, predefined));
    if (predefined == 0) {
        uint32_t flags = 0;
        for (int i = 0; i < 8; i++)
            flags |= (this->*kFlags[i] ? 1u : 0u) << (7 - i);
        MP4_TRY(put8(buffer, flags));
        MP4_TRY(put32(buffer, timestampResolution));
        MP4_TRY(put32(buffer, OCRResolution));
        MP4_TRY(put8(buffer, timestampLength));
        MP4_TRY(put8(buffer, OCRLength));
        MP4_TRY(put8(buffer, AULength));
        MP4_TRY(put8(buffer, instantBitrateLength));
        MP4_TRY(put16(buffer, (degradationPriorityLength << 12) + ((AUSeqNumLength & 31) << 7)
                + ((packetSeqNumLength & 31) << 2) + 3));
    }
    if (durationFlag) {
        MP4_TRY(put32(buffer, timeScale));
        MP4_TRY(put16(buffer, AUDuration));
        MP4_TRY(put16(buffer, CUDuration));
    }
    // Start time stamps are not written.
    if (useTimestampsFlag == 0)
        return MP4NotSupported;
    return finishWriting();
}

MP4Err MP4CreateSLConfigDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4SLConfigDescriptor(tag, size, headerLength);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}

MP4Err MP4SetSLConfigSettings(MP4Descriptor* descriptor, const MP4SLConfigSettings* settings)
{
    auto* sl = dynamic_cast<MP4SLConfigDescriptor*>(descriptor);
    if (sl == nullptr || settings == nullptr)
        return MP4BadParameter;
    static_cast<MP4SLConfigSettings&>(*sl) = *settings;
    sl->startDecodingTimeStamp = uint32_t(settings->startDecodingTimeStamp);
    sl->startCompositionTimeStamp = uint32_t(settings->startCompositionTimeStamp);
    return MP4Success;
}

MP4Err MP4GetSLConfigSettings(MP4Descriptor* descriptor, MP4SLConfigSettings* settings)
{
    auto* sl = dynamic_cast<MP4SLConfigDescriptor*>(descriptor);
    if (sl == nullptr || settings == nullptr)
        return MP4BadParameter;
    *settings = static_cast<const MP4SLConfigSettings&>(*sl);
    settings->startDecodingTimeStamp = uint32_t(sl->startDecodingTimeStamp);
    settings->startCompositionTimeStamp = uint32_t(sl->startCompositionTimeStamp);
    return MP4Success;
}

MP4Err MP4NewSLConfig(const MP4SLConfigSettings* settings, MP4Descriptor** outDescriptor)
{
    if (settings == nullptr || outDescriptor == nullptr)
        return MP4BadParameter;
    MP4Descriptor* descriptor = nullptr;
    MP4_TRY(MP4CreateSLConfigDescriptor(6, 0, 0, &descriptor));
    MP4SetSLConfigSettings(descriptor, settings);
    *outDescriptor = descriptor;
    return MP4Success;
}
