#pragma once
// Keyed archives, in place of the platform's keyed archiver and unarchiver: a value tree
// stored as a binary property list in the keyed-archive layout, as the program's sample
// caches (".samples") and effect presets (".auconfiguration") are written:
//
//   {"$archiver": "NSKeyedArchiver", "$version": 100000,
//    "$top": {"root": UID 1}, "$objects": ["$null", <the root>, <what it refers to>, ...]}
//
// Strings, numbers, bools and data stand in "$objects" as they are; a list is an object
// {"NS.objects": [UIDs], "$class": UID} of class "NSArray", a dictionary (string keys) one
// of class "NSDictionary" with "NS.keys" and "NS.objects"; classes are the dictionaries
// {"$classname", "$classes"} the objects refer to. Reading also takes the mutable classes
// and the boxed forms of strings and data ("NS.string", "NS.data") that other writers use,
// and archives converted to XML property lists (references as {"CF$UID": index}).
//
// Reading trusts nothing: an archive whose references leave "$objects", point back at an
// object being read (a cycle), nest deeper than any stored value does, name a class this
// layer does not read, or hold a value of the wrong kind where a reference, key or list is
// due gives an error and no value. Objects referred to from several places are read once.
//
// Any thread; no shared state.

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace KeyedArchive {

// The archive of root (a QVariantList, QStringList, QVariantMap, QString, integer, real,
// bool or QByteArray, nested freely), or nothing (with *error set) when it holds anything
// else.
std::optional<QByteArray> archivedDataWithRootObject(const QVariant& root, Error* error = nullptr);

// Writes the archive of root to path atomically (see PropertyList::writeToFile).
bool archiveRootObjectToFile(const QVariant& root, const QString& path, Error* error = nullptr);

// The root of the archive in data: lists as QVariantList, dictionaries as QVariantMap,
// strings, integers (qlonglong), reals (double), bools and data (QByteArray). Nothing (with
// *error set) for data that is not a sound keyed archive.
std::optional<QVariant> unarchiveObjectWithData(const QByteArray& data, Error* error = nullptr);

// Reads the archive stored at path.
std::optional<QVariant> unarchiveObjectWithFile(const QString& path, Error* error = nullptr);

// The domain of the errors of this module; codes are those below.
inline const QString ErrorDomain = QStringLiteral("KeyedArchive");
enum ErrorCode { UnsupportedType = 1, DamagedArchive = 2, FileError = 3 };

} // namespace KeyedArchive
