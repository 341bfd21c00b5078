#include "isomedia/MP4DataHandler.h"

#include "isomedia/MP4MovieAtoms.h"

#include <cstring>
#include <new>
#include <string>

namespace {

class MediaDataHandler final : public MP4DataHandlerRecord {
public:
    explicit MediaDataHandler(MP4MediaDataAtom* mdat) : mdat_(mdat) {}
    MP4Err open() override { return MP4Success; }
    MP4Err close() override
    {
        delete this;
        return MP4Success;
    }
    MP4Err copyData(uint64_t offset, char* destination, uint32_t count) override
    {
        if (destination == nullptr || !holds(offset, count))
            return MP4BadParameter;
        if (count != 0)
            std::memcpy(destination, mdat_->data.data() + offset, count);
        return MP4Success;
    }
    bool holds(uint64_t offset, uint32_t count) const override
    {
        return mdat_ != nullptr && offset <= mdat_->dataSize && count <= mdat_->dataSize - offset;
    }

private:
    MP4MediaDataAtom* mdat_;
};

// The path of the file an external data entry names.
MP4Err entryPath(MP4InputStream stream, MP4DataEntryAtom* entry, std::string* outPath)
{
    if (entry->location.empty())
        return MP4BadParameter;
    try {
        std::string location(entry->location.data(), entry->locationLength());
        const char* stripped = MP4StripFileURLPrefix(location.c_str());
        if (stripped != location.c_str()) {
            *outPath = stripped;
        } else {
            MP4FileMappingObject mapping = stream != nullptr ? stream->getFileMappingObject() : nullptr;
            *outPath = mapping != nullptr && !mapping->parentPath.empty() ? mapping->parentPath + location : location;
        }
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

class FileDataHandler final : public MP4DataHandlerRecord {
public:
    FileDataHandler(MP4InputStream stream, MP4DataEntryAtom* entry) : stream_(stream), entry_(entry) {}
    ~FileDataHandler() override
    {
        if (ownsMapping_ && mapping_ != nullptr)
            mapping_->destroy();
    }

    MP4Err open() override
    {
        if (entry_->flags == 1) {
            if (stream_ == nullptr)
                return MP4BadParameter;
            mapping_ = stream_->getFileMappingObject();
            return mapping_ != nullptr ? MP4Success : MP4InputOutputError;
        }
        std::string path;
        MP4_TRY(entryPath(stream_, entry_, &path));
        MP4_TRY(MP4CreateFileMappingObject(path.c_str(), &mapping_));
        ownsMapping_ = true;
        return MP4Success;
    }

    MP4Err close() override
    {
        if (ownsMapping_)
            delete this;
        return MP4Success;
    }

    MP4Err copyData(uint64_t offset, char* destination, uint32_t count) override
    {
        if (destination == nullptr || !holds(offset, count))
            return MP4BadParameter;
        if (count != 0)
            std::memcpy(destination, mapping_->data + offset, count);
        return MP4Success;
    }
    bool holds(uint64_t offset, uint32_t count) const override
    {
        return mapping_ != nullptr && offset <= mapping_->size && count <= mapping_->size - offset;
    }

private:
    MP4InputStream stream_;
    MP4DataEntryAtom* entry_;
    MP4FileMappingObject mapping_ = nullptr;
    bool ownsMapping_ = false;
};

} // namespace

MP4Err MP4CreateMediaDataHandler(MP4MediaDataAtom* mdat, MP4DataHandler* outHandler)
{
    if (outHandler == nullptr)
        return MP4BadParameter;
    *outHandler = new (std::nothrow) MediaDataHandler(mdat);
    return *outHandler != nullptr ? MP4Success : MP4OutOfMemory;
}

MP4Err MP4CreateFileDataHandler(MP4InputStream stream, MP4DataEntryAtom* entry, MP4DataHandler* outHandler)
{
    if (entry == nullptr || outHandler == nullptr)
        return MP4BadParameter;
    auto* handler = new (std::nothrow) FileDataHandler(stream, entry);
    if (handler == nullptr)
        return MP4OutOfMemory;
    MP4Err err = handler->open();
    if (err != MP4Success) {
        delete handler;
        return err;
    }
    *outHandler = handler;
    return MP4Success;
}

MP4Err MP4CreateDataHandler(MP4InputStream stream, MP4DataEntryAtom* entry, MP4DataHandler* outHandler)
{
    if (entry == nullptr)
        return MP4BadParameter;
    if (entry->flags == 1 && entry->mdat != nullptr)
        return MP4CreateMediaDataHandler(entry->mdat, outHandler);
    return MP4CreateFileDataHandler(stream, entry, outHandler);
}

MP4Err MP4DisposeDataHandler(MP4DataHandler handler, MP4DataEntryAtom* entry)
{
    if (handler == nullptr || entry == nullptr)
        return MP4BadParameter;
    if (entry->flags == 1 && entry->mdat == nullptr) {
        // The handler of the movie's own file reads the movie's mapping; it only goes itself.
        delete handler;
        return MP4Success;
    }
    return handler->close();
}

MP4Err MP4PreflightDataHandler(MP4InputStream stream, MP4DataEntryAtom* entry)
{
    if (entry == nullptr)
        return MP4BadParameter;
    if (entry->flags == 1)
        return MP4Success;
    std::string path;
    MP4_TRY(entryPath(stream, entry, &path));
    return MP4FileExists(path.c_str());
}
