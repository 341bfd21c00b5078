#include "clipdeck/CKCacheFileOperation.h"

#include "clipdeck/CKSoundCachedFileSource.h"

CKCacheFileOperation::CKCacheFileOperation(std::shared_ptr<CKSoundCachedFileSource> fileSource)
    : mFileSource(std::move(fileSource))
{
}

void CKCacheFileOperation::main()
{
    if (const std::shared_ptr<CKSoundCachedFileSource> source = fileSource())
        source->cacheIfNeeded();
}

std::shared_ptr<CKSoundCachedFileSource> CKCacheFileOperation::fileSource() const
{
    std::lock_guard lock(mMutex);
    return mFileSource;
}

void CKCacheFileOperation::setFileSource(std::shared_ptr<CKSoundCachedFileSource> fileSource)
{
    std::lock_guard lock(mMutex);
    mFileSource = std::move(fileSource);
}
