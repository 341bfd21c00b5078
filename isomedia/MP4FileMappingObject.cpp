#include "isomedia/MP4FileMappingObject.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

const char* MP4StripFileURLPrefix(const char* path)
{
    if (path != nullptr && (std::strncmp(path, "file://", 7) == 0 || std::strncmp(path, "file|//", 7) == 0))
        return path + 7;
    return path;
}

namespace {

class FileMappingObject final : public MP4FileMappingObjectRecord {
public:
    MP4Err open(const char* path) override
    {
        if (path == nullptr)
            return MP4BadParameter;
        fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            return MP4FileNotFound;
        try {
            path_ = path;
        } catch (const std::bad_alloc&) {
            return MP4OutOfMemory;
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))
            return MP4InputOutputError;
        // Sizes inside the library are 32-bit: a file must fit them.
        if (info.st_size < 0 || uint64_t(info.st_size) > 0xFFFFFFF0u)
            return MP4InputOutputError;
        size = uint32_t(info.st_size);
        data = static_cast<char*>(std::malloc(size != 0 ? size : 1));
        if (data == nullptr)
            return MP4InputOutputError;
        uint32_t got = 0;
        while (got < size) {
            ssize_t n = ::read(fd_, data + got, size - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return MP4InputOutputError;
            got += uint32_t(n);
        }
        std::string::size_type separator = path_.find_last_of('\\');
        if (separator == std::string::npos)
            separator = path_.find_last_of('/');
        if (separator != std::string::npos)
            parentPath = path_.substr(0, separator) + "/";
        return MP4Success;
    }

    MP4Err close() override
    {
        std::free(data);
        data = nullptr;
        size = 0;
        path_.clear();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return MP4Success;
    }

    MP4Err destroy() override
    {
        if (data != nullptr || fd_ >= 0)
            close();
        delete this;
        return MP4Success;
    }

    MP4Err isYourFile(const char* path, uint32_t* outFlag) override
    {
        if (outFlag == nullptr)
            return MP4BadParameter;
        *outFlag = path != nullptr && path_ == path;
        return MP4Success;
    }

private:
    std::string path_;
    int fd_ = -1;
};

class MemoryFileMappingObject final : public MP4FileMappingObjectRecord {
public:
    MP4Err open(const char* path) override { return path == nullptr ? MP4Success : MP4BadParameter; }
    MP4Err close() override { return MP4Success; }
    MP4Err destroy() override
    {
        delete this;
        return MP4Success;
    }
    MP4Err isYourFile(const char* path, uint32_t* outFlag) override
    {
        if (outFlag == nullptr)
            return MP4BadParameter;
        *outFlag = path == nullptr;
        return MP4Success;
    }
};

} // namespace

MP4Err MP4CreateFileMappingObjectForURL(const char* path, MP4FileMappingObject* outObject)
{
    return MP4CreateFileMappingObject(MP4StripFileURLPrefix(path), outObject);
}

MP4Err MP4CreateFileMappingObject(const char* path, MP4FileMappingObject* outObject)
{
    if (path == nullptr || outObject == nullptr)
        return MP4BadParameter;
    auto* object = new (std::nothrow) FileMappingObject;
    if (object == nullptr)
        return MP4OutOfMemory;
    MP4Err err = object->open(path);
    if (err != MP4Success) {
        object->destroy();
        return err;
    }
    *outObject = object;
    return MP4Success;
}

MP4Err MP4CreateMemoryFileMappingObject(char* bytes, uint32_t length, MP4FileMappingObject* outObject)
{
    if (outObject == nullptr)
        return MP4BadParameter;
    auto* object = new (std::nothrow) MemoryFileMappingObject;
    if (object == nullptr)
        return MP4OutOfMemory;
    object->data = bytes;
    object->size = length;
    *outObject = object;
    return MP4Success;
}

MP4Err MP4FileExists(const char* path)
{
    struct stat info {};
    return path != nullptr && ::stat(path, &info) == 0 ? MP4Success : MP4FileNotFound;
}
