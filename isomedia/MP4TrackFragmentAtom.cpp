#include "isomedia/MP4FragmentAtoms.h"

#include "isomedia/MP4HandleValues.h"
#include "isomedia/MP4SampleTableAtoms.h"

MP4TrackFragmentAtom::MP4TrackFragmentAtom()
{
    type = MP4FourCC("traf");
    name = "track fragment";
    MP4MakeLinkedList(&runList);
}

MP4TrackFragmentAtom::~MP4TrackFragmentAtom()
{
    if (runList != nullptr)
        MP4DeleteLinkedList(runList);
}

MP4Err MP4TrackFragmentAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    if (runList == nullptr)
        return MP4OutOfMemory;
    if (atom->type == MP4FourCC("trun")) {
        MP4_TRY(MP4ContainerAtom::addAtom(atom));
        MP4Err err = MP4AddListEntry(atom, runList);
        if (err != MP4Success)
            MP4DeleteListEntryByItem(atom, atomList);
        return err;
    }
    if (atom->type != MP4FourCC("tfhd") || tfhd != nullptr)
        return MP4BadData;
    MP4_TRY(MP4ContainerAtom::addAtom(atom));
    tfhd = static_cast<MP4TrackFragmentHeaderAtom*>(atom);
    return MP4Success;
}

MP4Err MP4TrackFragmentAtom::calculateSize()
{
    if (tfhd == nullptr)
        return MP4MissingComponent;
    tfhd->default_sample_duration = tfhd->default_sample_size = tfhd->default_sample_flags = 0;
    if (MP4ListCount(runList) == 0) {
        size = 0;
        return MP4Success;
    }
    for (void* item : *runList)
        MP4_TRY(static_cast<MP4TrackFragmentRunAtom*>(item)->calculateDefaults(tfhd, 2));
    if (tfhd->default_sample_flags == 0) {
        for (void* item : *runList)
            MP4_TRY(static_cast<MP4TrackFragmentRunAtom*>(item)->calculateDefaults(tfhd, 1));
    }
    tfhd->flags = 0x1;
    if (default_sample_description_index != tfhd->sample_description_index)
        tfhd->flags |= 0x2;
    if (default_sample_duration != tfhd->default_sample_duration)
        tfhd->flags |= 0x8;
    if (default_sample_size != tfhd->default_sample_size)
        tfhd->flags |= 0x10;
    if (default_sample_flags != tfhd->default_sample_flags)
        tfhd->flags |= 0x20;
    for (void* item : *runList)
        MP4_TRY(static_cast<MP4TrackFragmentRunAtom*>(item)->setFlags(tfhd));
    return MP4ContainerAtom::calculateSize();
}

MP4Err MP4TrackFragmentAtom::serialize(char* buffer)
{
    if (size == 0) {
        bytesWritten = 0;
        return MP4Success;
    }
    return MP4ContainerAtom::serialize(buffer);
}

MP4Err MP4TrackFragmentAtom::mdatMoved(uint64_t, uint64_t, int64_t delta)
{
    if (tfhd == nullptr)
        return MP4BadParameter;
    if (samples_use_mdat == 1)
        tfhd->base_data_offset = uint64_t(int64_t(int32_t(delta)));
    return MP4Success;
}

MP4Err MP4TrackFragmentAtom::addRun(uint32_t sampleCount, MP4Handle durations, MP4Handle sizes,
    MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding, MP4TrackFragmentRunAtom** outRun)
{
    uint32_t durationCount = MP4HandleValueCount(durations);
    uint32_t sizeCount = MP4HandleValueCount(sizes);
    if (durationCount == 0 || sizeCount == 0)
        return MP4BadParameter;
    if ((decodingOffsets != nullptr && MP4HandleValueCount(decodingOffsets) < sampleCount)
        || (padding != nullptr && padding->size < sampleCount))
        return MP4BadParameter;
    MP4TrackFragmentRunAtom* run = nullptr;
    MP4_TRY(MP4CreateTrackFragmentRunAtom(&run));
    run->samplecount = sampleCount;
    MP4Err err = MP4Resize(run->samples, sampleCount);
    for (uint32_t i = 0; err == MP4Success && i < sampleCount; i++) {
        auto& sample = run->samples[i];
        sample.duration = MP4HandleValue(durations, i < durationCount ? i : 0);
        sample.size = MP4HandleValue(sizes, i < sizeCount ? i : 0);
        sample.flags = (padding != nullptr ? uint32_t(uint8_t(padding->data[i])) << 17 : 0)
            + (syncSamples != nullptr ? 0x10000 : 0);
        sample.compositionTimeOffset = decodingOffsets != nullptr ? MP4HandleValue(decodingOffsets, i) : 0;
    }
    for (uint32_t i = 0; err == MP4Success && i < MP4HandleValueCount(syncSamples); i++) {
        uint32_t number = MP4HandleValue(syncSamples, i);
        if (number == 0 || number > sampleCount)
            err = MP4BadParameter;
        else
            run->samples[number - 1].flags ^= 0x10000;
    }
    if (err == MP4Success)
        err = addAtom(run);
    if (err != MP4Success) {
        run->destroy();
        return err;
    }
    *outRun = run;
    return MP4Success;
}

MP4Err MP4TrackFragmentAtom::addSamples(MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations,
    MP4Handle sizes, MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding)
{
    if (sampleEntry != nullptr || samples_use_mdat == 2)
        return MP4BadData;
    if (mdat == nullptr)
        return MP4MissingComponent;
    samples_use_mdat = 1;
    int32_t dataOffset = int32_t(uint32_t(mdat->dataSize));
    MP4TrackFragmentRunAtom* run = nullptr;
    MP4_TRY(addRun(sampleCount, durations, sizes, decodingOffsets, syncSamples, padding, &run));
    run->data_offset = dataOffset;
    return mdat->addData(sampleData);
}

MP4Err MP4TrackFragmentAtom::addSampleReference(uint32_t dataOffsetLow, uint32_t dataOffsetHigh, uint32_t sampleCount,
    MP4Handle durations, MP4Handle sizes, MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples,
    MP4Handle padding)
{
    if (sampleEntry != nullptr || samples_use_mdat == 1)
        return MP4BadData;
    if (tfhd == nullptr)
        return MP4MissingComponent;
    samples_use_mdat = 2;
    uint64_t offset = (uint64_t(dataOffsetHigh) << 32) | dataOffsetLow;
    if (tfhd->base_data_offset == 0)
        tfhd->base_data_offset = offset;
    MP4TrackFragmentRunAtom* run = nullptr;
    MP4_TRY(addRun(sampleCount, durations, sizes, decodingOffsets, syncSamples, padding, &run));
    run->data_offset = int32_t(uint32_t(offset - tfhd->base_data_offset));
    return MP4Success;
}

MP4Err MP4TrackFragmentAtom::calculateDataSize(uint64_t* outSize)
{
    if (outSize == nullptr || tfhd == nullptr)
        return MP4BadParameter;
    uint64_t total = 0;
    for (void* item : *runList) {
        auto* run = static_cast<MP4TrackFragmentRunAtom*>(item);
        if (run->flags & 0x200) {
            for (const auto& sample : run->samples)
                total += sample.size;
        } else {
            total += uint64_t(run->samplecount) * tfhd->default_sample_size;
        }
    }
    *outSize = total;
    return MP4Success;
}

MP4Err MP4TrackFragmentAtom::mergeRuns(MP4MediaAtom* media)
{
    if (media == nullptr || tfhd == nullptr)
        return MP4BadParameter;
    for (void* item : *runList) {
        auto* run = static_cast<MP4TrackFragmentRunAtom*>(item);
        const uint32_t n = run->samplecount;
        MP4Handle durations = nullptr, sizes = nullptr, offsets = nullptr, syncs = nullptr, padding = nullptr;
        MP4Err err = MP4NewHandle(4 * n, &durations);
        if (err == MP4Success)
            err = MP4NewHandle(4 * n, &sizes);
        if (err == MP4Success)
            err = MP4NewHandle(4 * n, &offsets);
        if (err == MP4Success)
            err = MP4NewHandle(4 * n, &syncs);
        if (err == MP4Success)
            err = MP4NewHandle(n, &padding);
        if (err == MP4Success) {
            if (run->flags & 0x4 && n != 0)
                run->samples[0].flags = run->first_sample_flags;
            uint32_t syncCount = 0;
            bool anyPadding = false;
            for (uint32_t i = 0; i < n; i++) {
                auto& sample = run->samples[i];
                MP4SetHandleValue(durations, i, run->flags & 0x100 ? sample.duration : tfhd->default_sample_duration);
                MP4SetHandleValue(sizes, i, run->flags & 0x200 ? sample.size : tfhd->default_sample_size);
                MP4SetHandleValue(offsets, i, sample.compositionTimeOffset);
                if (i == 0 && (run->flags & 0x4))
                    sample.flags = run->first_sample_flags;
                else if (!(run->flags & 0x400))
                    sample.flags = tfhd->default_sample_flags;
                padding->data[i] = char((sample.flags >> 17) & 7);
                anyPadding = anyPadding || padding->data[i] != 0;
                if (!(sample.flags & 0x10000))
                    MP4SetHandleValue(syncs, syncCount++, i + 1);
            }
            err = MP4SetHandleSize(syncs, 4 * syncCount);
            MP4MediaInformationAtom* information = media->mediaInformation();
            if (err == MP4Success && (information == nullptr || information->sampleTable == nullptr))
                err = MP4MissingComponent;
            if (err == MP4Success)
                err = information->sampleTable->setSampleDescriptionIndex(tfhd->sample_description_index);
            if (err == MP4Success) {
                uint64_t offset = tfhd->base_data_offset + int64_t(run->data_offset);
                err = media->addSampleReference(uint32_t(offset), uint32_t(offset >> 32), n, durations, sizes, nullptr,
                    (run->flags & 0x800) ? offsets : nullptr, syncCount != n ? syncs : nullptr,
                    anyPadding ? padding : nullptr);
            }
        }
        for (MP4Handle handle : {durations, sizes, offsets, syncs, padding}) {
            if (handle != nullptr)
                MP4DisposeHandle(handle);
        }
        MP4_TRY(err);
    }
    return MP4Success;
}

MP4Err MP4CreateTrackFragmentAtom(MP4TrackFragmentAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
