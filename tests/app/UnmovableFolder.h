#pragma once
// A folder whose entries cannot be made, moved or removed, even by root, for as long as an
// Unmovable lives (the file system's immutable flag).

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace clipdeck::test {

// Sets or clears the folder's immutable flag (false where that is not permitted).
inline bool setImmutable(const QString& path, bool immutable)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

// made is false where the flag cannot be set.
struct Unmovable {
    explicit Unmovable(QString folder) : path(std::move(folder)), made(setImmutable(path, true)) {}
    ~Unmovable()
    {
        if (made)
            setImmutable(path, false);
    }
    Unmovable(const Unmovable&) = delete;
    Unmovable& operator=(const Unmovable&) = delete;
    QString path;
    bool made;
};

} // namespace clipdeck::test
