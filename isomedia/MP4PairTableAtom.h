#pragma once
// Sample tables whose body is an entry count and that many entries of two 32-bit fields
// ('stts', 'ctts', 'stsh'): one reader, sizer and writer for all of them.

#include "isomedia/MP4Atoms.h"

template <class Entry, uint32_t Entry::*First, uint32_t Entry::*Second>
struct MP4PairTableAtom : MP4FullAtom {
    std::vector<Entry> entries;

    // The labels name the two fields in the parse trace.
    MP4PairTableAtom(uint32_t atomType, const char* className, const char* firstLabel, const char* secondLabel)
        : firstLabel_(firstLabel), secondLabel_(secondLabel)
    {
        type = atomType;
        name = className;
    }

    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override
    {
        MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
        uint32_t entryCount = 0;
        MP4_TRY(get32(stream, &entryCount, "entryCount"));
        // A count the bytes cannot hold is a lie, not a reason to allocate.
        if (entryCount > stream->available / 8)
            return MP4BadData;
        MP4_TRY(MP4Resize(entries, entryCount));
        for (Entry& entry : entries) {
            MP4_TRY(get32(stream, &(entry.*First), firstLabel_));
            MP4_TRY(get32(stream, &(entry.*Second), secondLabel_));
        }
        return MP4Success;
    }

    MP4Err calculateSize() override
    {
        MP4_TRY(MP4CalculateFullAtomFieldSize(this));
        uint64_t total = uint64_t(size) + 4 + 8 * uint64_t(entries.size());
        if (total > 0xFFFFFFFFu)
            return MP4InputOutputError;
        size = uint32_t(total);
        return MP4Success;
    }

    MP4Err serialize(char* buffer) override
    {
        MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
        MP4_TRY(put32(buffer, uint32_t(entries.size())));
        for (const Entry& entry : entries) {
            MP4_TRY(put32(buffer, entry.*First));
            MP4_TRY(put32(buffer, entry.*Second));
        }
        return finishWriting();
    }

private:
    const char* firstLabel_;
    const char* secondLabel_;
};
