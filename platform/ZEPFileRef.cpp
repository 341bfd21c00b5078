#include "platform/ZEPFileRef.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

bool exists(const QString& path)
{
    // A dangling symbolic link is still an item.
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

Error posixError(int code, const QString& what)
{
    return Error(Error::POSIXDomain, code, QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(code))));
}

} // namespace

std::optional<ZEPFileRef> ZEPFileRef::fileRefWithPath(const QString& path, Error*)
{
    if (path.isEmpty() || !exists(path))
        return std::nullopt;
    return ZEPFileRef(QFileInfo(path).absoluteFilePath());
}

QString ZEPFileRef::name() const { return QFileInfo(path_).fileName(); }

QString ZEPFileRef::baseName() const { return QFileInfo(path_).completeBaseName(); }

std::optional<ZEPFileRef> ZEPFileRef::parent() const { return fileRefWithPath(QFileInfo(path_).absolutePath()); }

std::optional<ZEPFileRef> ZEPFileRef::childWithName(const QString& name, Error* error) const
{
    return fileRefWithPath(QDir(path_).filePath(name), error);
}

std::optional<ZEPFileRef> ZEPFileRef::createChildWithName(const QString& name, bool asDirectory, Error* error) const
{
    const QString childPath = QDir(path_).filePath(name);
    if (exists(childPath)) {
        setError(error, posixError(EEXIST, childPath));
        return std::nullopt;
    }
    bool made = false;
    if (asDirectory) {
        made = QDir(path_).mkdir(name);
    } else {
        QFile file(childPath);
        made = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
    if (!made) {
        setError(error, posixError(errno ? errno : EIO, childPath));
        return std::nullopt;
    }
    return ZEPFileRef(childPath);
}

bool ZEPFileRef::renameWithName(const QString& newName, Error* error)
{
    const QString newPath = QFileInfo(path_).absoluteDir().filePath(newName);
    if (newPath == path_)
        return true;
    if (exists(newPath)) {
        setError(error, posixError(EEXIST, newPath));
        return false;
    }
    if (std::rename(QFile::encodeName(path_).constData(), QFile::encodeName(newPath).constData()) != 0) {
        setError(error, posixError(errno, path_));
        return false;
    }
    path_ = newPath;
    return true;
}

QVariantMap ZEPFileRef::attributes() const
{
    const QFileInfo info(path_);
    QVariantMap result;
    if (!exists(path_))
        return result;
    result.insert("NSFileType", info.isSymLink() ? "NSFileTypeSymbolicLink"
                                : info.isDir()   ? "NSFileTypeDirectory"
                                                 : "NSFileTypeRegular");
    result.insert("NSFileSize", qlonglong(info.size()));
    result.insert("NSFileModificationDate", info.lastModified());
    result.insert("NSFileCreationDate", info.birthTime().isValid() ? info.birthTime() : info.metadataChangeTime());
    struct stat status {};
    if (lstat(QFile::encodeName(path_).constData(), &status) == 0)
        result.insert("NSFilePosixPermissions", qlonglong(status.st_mode & 07777));
    return result;
}

bool ZEPFileRef::setAttributes(const QVariantMap& attributes, Error* error)
{
    QFile file(path_);
    if (attributes.contains("NSFilePosixPermissions") &&
        chmod(QFile::encodeName(path_).constData(), mode_t(attributes.value("NSFilePosixPermissions").toInt() & 07777)) != 0) {
        setError(error, posixError(errno, path_));
        return false;
    }
    if (attributes.contains("NSFileModificationDate")) {
        if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly) ||
            !file.setFileTime(attributes.value("NSFileModificationDate").toDateTime(), QFileDevice::FileModificationTime)) {
            setError(error, posixError(EPERM, path_));
            return false;
        }
    }
    return true;
}
