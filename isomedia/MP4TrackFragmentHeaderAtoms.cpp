// The track fragment header 'tfhd' and the track fragment run 'trun'.
#include "isomedia/MP4FragmentAtoms.h"

MP4TrackFragmentHeaderAtom::MP4TrackFragmentHeaderAtom()
{
    type = MP4FourCC("tfhd");
    name = "track fragment header";
}

MP4Err MP4TrackFragmentHeaderAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(get32(stream, &trackID, "trackID"));
    if (flags & 0x1)
        MP4_TRY(get64(stream, &base_data_offset, "base_data_offset"));
    if (flags & 0x2)
        MP4_TRY(get32(stream, &sample_description_index, "sample_description_index"));
    if (flags & 0x8)
        MP4_TRY(get32(stream, &default_sample_duration, "default_sample_duration"));
    if (flags & 0x10)
        MP4_TRY(get32(stream, &default_sample_size, "default_sample_size"));
    if (flags & 0x20)
        MP4_TRY(get32(stream, &default_sample_flags, "default_sample_flags"));
    return MP4Success;
}

MP4Err MP4TrackFragmentHeaderAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4;
    if (flags & 0x1)
        size += 8;
    for (uint32_t bit : {0x2u, 0x8u, 0x10u, 0x20u}) {
        if (flags & bit)
            size += 4;
    }
    return MP4Success;
}

MP4Err MP4TrackFragmentHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, trackID));
    if (flags & 0x1)
        MP4_TRY(put64(buffer, base_data_offset));
    if (flags & 0x2)
        MP4_TRY(put32(buffer, sample_description_index));
    if (flags & 0x8)
        MP4_TRY(put32(buffer, default_sample_duration));
    if (flags & 0x10)
        MP4_TRY(put32(buffer, default_sample_size));
    if (flags & 0x20)
        MP4_TRY(put32(buffer, default_sample_flags));
    return finishWriting();
}

MP4TrackFragmentRunAtom::MP4TrackFragmentRunAtom()
{
    type = MP4FourCC("trun");
    name = "track fragment run";
}

static uint32_t perSampleBytes(uint32_t flags)
{
    uint32_t bytes = 0;
    for (uint32_t bit : {0x100u, 0x200u, 0x400u, 0x800u}) {
        if (flags & bit)
            bytes += 4;
    }
    return bytes;
}

MP4Err MP4TrackFragmentRunAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(get32(stream, &samplecount, "samplecount"));
    // A run claims no more samples than its bytes can describe.
    uint32_t each = perSampleBytes(flags);
    if (each != 0 ? samplecount > stream->available / each : samplecount > kMP4MaxSamplesPerBareRun)
        return MP4BadData;
    MP4_TRY(MP4Resize(samples, samplecount));
    if (flags & 0x1) {
        uint32_t value = 0;
        MP4_TRY(get32(stream, &value, "data_offset"));
        data_offset = int32_t(value);
    }
    if (flags & 0x4)
        MP4_TRY(get32(stream, &first_sample_flags, "first_sample_flags"));
    for (Sample& sample : samples) {
        if (flags & 0x100)
            MP4_TRY(get32(stream, &sample.duration, nullptr));
        if (flags & 0x200)
            MP4_TRY(get32(stream, &sample.size, nullptr));
        if (flags & 0x400)
            MP4_TRY(get32(stream, &sample.flags, nullptr));
        if (flags & 0x800)
            MP4_TRY(get32(stream, &sample.compositionTimeOffset, nullptr));
    }
    return MP4Success;
}

MP4Err MP4TrackFragmentRunAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    uint64_t total = uint64_t(size) + 4 + ((flags & 0x1) ? 4 : 0) + ((flags & 0x4) ? 4 : 0)
        + uint64_t(samplecount) * perSampleBytes(flags);
    if (total > 0xFFFFFFFFu)
        return MP4InputOutputError;
    size = uint32_t(total);
    return MP4Success;
}

MP4Err MP4TrackFragmentRunAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, samplecount));
    if (flags & 0x1)
        MP4_TRY(put32(buffer, uint32_t(data_offset)));
    if (flags & 0x4)
        MP4_TRY(put32(buffer, first_sample_flags));
    if (samples.size() < samplecount)
        return MP4InputOutputError;
    for (uint32_t i = 0; i < samplecount; i++) {
        const Sample& sample = samples[i];
        if (flags & 0x100)
            MP4_TRY(put32(buffer, sample.duration));
        if (flags & 0x200)
            MP4_TRY(put32(buffer, sample.size));
        if (flags & 0x400)
            MP4_TRY(put32(buffer, sample.flags));
        if (flags & 0x800)
            MP4_TRY(put32(buffer, sample.compositionTimeOffset));
    }
    return finishWriting();
}

MP4Err MP4TrackFragmentRunAtom::calculateDefaults(MP4TrackFragmentHeaderAtom* tfhd, uint32_t sampleNumber)
{
    if (tfhd == nullptr)
        return MP4BadParameter;
    if (samples.empty())
        return MP4Success;
    if (tfhd->default_sample_duration == 0)
        tfhd->default_sample_duration = samples[0].duration;
    if (tfhd->default_sample_size == 0)
        tfhd->default_sample_size = samples[0].size;
    if (tfhd->default_sample_flags == 0 && samples.size() >= sampleNumber)
        tfhd->default_sample_flags = samples[sampleNumber - 1].flags;
    return MP4Success;
}

MP4Err MP4TrackFragmentRunAtom::setFlags(MP4TrackFragmentHeaderAtom* tfhd)
{
    if (tfhd == nullptr)
        return MP4BadParameter;
    uint32_t newFlags = data_offset != 0 ? 0x1 : 0;
    if (samples.empty()) {
        flags = newFlags;
        return MP4Success;
    }
    first_sample_flags = samples[0].flags;
    if (first_sample_flags != tfhd->default_sample_flags)
        newFlags |= 0x4;
    for (size_t i = 0; i < samples.size() && (newFlags & 0xF00) != 0xF00; i++) {
        const Sample& sample = samples[i];
        if (sample.duration != tfhd->default_sample_duration)
            newFlags |= 0x100;
        if (sample.size != tfhd->default_sample_size)
            newFlags |= 0x200;
        if (i != 0 && sample.flags != tfhd->default_sample_flags)
            newFlags |= 0x400;
        if (sample.compositionTimeOffset != 0)
            newFlags |= 0x800;
    }
    flags = newFlags;
    return MP4Success;
}

MP4Err MP4CreateTrackFragmentHeaderAtom(MP4TrackFragmentHeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateTrackFragmentRunAtom(MP4TrackFragmentRunAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
