#pragma once
// A reference to an item on disk, in place of the maker's file reference class: made only
// for an item that exists, it follows the item through renames made through it.
// Plain value; any thread.

#include "platform/Error.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <optional>

class ZEPFileRef {
public:
    // A reference to the item at path, or nothing when no item exists there (callers use it
    // as an existence test). error is never set: the absence is the answer.
    static std::optional<ZEPFileRef> fileRefWithPath(const QString& path, Error* error = nullptr);

    QString path() const { return path_; }
    QUrl url() const { return QUrl::fromLocalFile(path_); }
    // The item's name with its extension, and without it.
    QString name() const;
    QString baseName() const;

    // The containing folder.
    std::optional<ZEPFileRef> parent() const;
    // An existing child of this folder, or nothing.
    std::optional<ZEPFileRef> childWithName(const QString& name, Error* error = nullptr) const;
    // Creates an empty file (or a folder) in this folder and answers its reference; nothing,
    // with *error set, when it exists already or cannot be made.
    std::optional<ZEPFileRef> createChildWithName(const QString& name, bool asDirectory, Error* error = nullptr) const;

    // Renames the item within its folder; this reference then stands for the renamed item.
    bool renameWithName(const QString& newName, Error* error = nullptr);

    // "NSFileType" ("NSFileTypeRegular", "NSFileTypeDirectory" or "NSFileTypeSymbolicLink"),
    // "NSFileSize", "NSFileModificationDate", "NSFileCreationDate" and "NSFilePosixPermissions".
    QVariantMap attributes() const;
    // Applies "NSFilePosixPermissions" and "NSFileModificationDate" when present.
    bool setAttributes(const QVariantMap& attributes, Error* error = nullptr);

    bool operator==(const ZEPFileRef& other) const { return path_ == other.path_; }

private:
    explicit ZEPFileRef(QString path) : path_(std::move(path)) {}
    QString path_;
};
