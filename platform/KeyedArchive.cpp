#include "platform/KeyedArchive.h"

#include "platform/PropertyList.h"
#include "platform/VariantValues.h"

#include <QFile>
#include <QHash>
#include <QStringList>

#include <vector>

namespace KeyedArchive {
namespace {

using PropertyList::UID;

const QString kArchiver = QStringLiteral("NSKeyedArchiver");
const qlonglong kVersion = 100000;
const QString kNull = QStringLiteral("$null");
const QString kClass = QStringLiteral("$class");
const QString kClassName = QStringLiteral("$classname");
const QString kClasses = QStringLiteral("$classes");
const QString kObjects = QStringLiteral("NS.objects");
const QString kKeys = QStringLiteral("NS.keys");

// Deeper than any list or dictionary the program stores; keeps a hostile archive from
// exhausting the stack.
constexpr int kMaxDepth = 256;

Error unsupported(const QString& typeName)
{
    return Error(ErrorDomain, UnsupportedType,
                 QStringLiteral("A value of type %1 cannot be stored in a keyed archive.").arg(typeName));
}

Error damaged(const QString& reason)
{
    return Error(ErrorDomain, DamagedArchive, QStringLiteral("The archive is damaged."), reason);
}

QVariant uid(qsizetype index) { return QVariant::fromValue(UID{quint64(index)}); }

// The object index a reference holds: a UID, or in an archive converted to XML the
// dictionary {"CF$UID": index} that stands for one there.
std::optional<quint64> referenceIndex(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<UID>())
        return value.value<UID>().value;
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = value.toMap();
    const QVariant index = map.value(QStringLiteral("CF$UID"));
    if (map.size() != 1 || index.typeId() != QMetaType::LongLong || index.toLongLong() < 0)
        return std::nullopt;
    return quint64(index.toLongLong());
}

// Builds "$objects": each object takes its slot before its contents, so the root is 1.
class Archiver {
public:
    Archiver() { objects_.append(kNull); }

    std::optional<QVariant> encode(const QVariant& value, Error* error)
    {
        switch (value.typeId()) {
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return encodeArray(value.toList(), error);
        case QMetaType::QVariantMap:
            return encodeDictionary(value.toMap(), error);
        case QMetaType::QString:
            return encodeString(value.toString());
        case QMetaType::QByteArray:
            return append(value);
        default:
            // Numbers and bools stand in "$objects" as they are.
            if (variant::isNumber(value))
                return append(value);
            setError(error, unsupported(QString::fromLatin1(value.typeName() ? value.typeName() : "invalid")));
            return std::nullopt;
        }
    }

    QVariantList objects() const { return objects_; }

private:
    QVariant append(const QVariant& value)
    {
        objects_.append(value);
        return uid(objects_.size() - 1);
    }

    // The reference to the object stored for key in stored, storing object first when
    // there is none.
    QVariant storedOnce(QHash<QString, qsizetype>& stored, const QString& key, const QVariant& object)
    {
        auto it = stored.constFind(key);
        if (it != stored.cend())
            return uid(*it);
        stored.insert(key, objects_.size());
        return append(object);
    }

    // Equal strings are stored once (dictionaries of one shape repeat their keys).
    QVariant encodeString(const QString& text) { return storedOnce(strings_, text, text); }

    QVariant classReference(const QString& name)
    {
        return storedOnce(classes_, name,
                          QVariantMap{{kClassName, name}, {kClasses, QStringList{name, QStringLiteral("NSObject")}}});
    }

    std::optional<QVariant> encodeArray(const QVariantList& list, Error* error)
    {
        const qsizetype slot = objects_.size();
        objects_.append(QVariant());
        QVariantList references;
        references.reserve(list.size());
        for (const QVariant& element : list) {
            auto reference = encode(element, error);
            if (!reference)
                return std::nullopt;
            references.append(*reference);
        }
        objects_[slot] = QVariantMap{{kObjects, references}, {kClass, classReference(QStringLiteral("NSArray"))}};
        return uid(slot);
    }

    std::optional<QVariant> encodeDictionary(const QVariantMap& map, Error* error)
    {
        const qsizetype slot = objects_.size();
        objects_.append(QVariant());
        QVariantList keys, values;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            keys.append(encodeString(it.key()));
            auto reference = encode(it.value(), error);
            if (!reference)
                return std::nullopt;
            values.append(*reference);
        }
        objects_[slot] = QVariantMap{
            {kKeys, keys}, {kObjects, values}, {kClass, classReference(QStringLiteral("NSDictionary"))}};
        return uid(slot);
    }

    QVariantList objects_;
    QHash<QString, qsizetype> strings_;
    QHash<QString, qsizetype> classes_;
};

std::optional<QVariant> archiveTree(const QVariant& root, Error* error)
{
    Archiver archiver;
    auto top = archiver.encode(root, error);
    if (!top)
        return std::nullopt;
    return QVariantMap{{QStringLiteral("$archiver"), kArchiver},
                       {QStringLiteral("$version"), kVersion},
                       {QStringLiteral("$top"), QVariantMap{{QStringLiteral("root"), *top}}},
                       {QStringLiteral("$objects"), archiver.objects()}};
}

// Reads objects by reference, each at most once, refusing cycles and runaway depth.
class Unarchiver {
public:
    explicit Unarchiver(QVariantList objects)
        : objects_(std::move(objects)), state_(size_t(objects_.size()), State::Unread),
          values_(size_t(objects_.size()))
    {
    }

    std::optional<QVariant> decode(const QVariant& reference, Error* error, int depth = 0)
    {
        const std::optional<quint64> found = referenceIndex(reference);
        if (!found)
            return fail(error, QStringLiteral("A reference is not an object reference."));
        const quint64 index = *found;
        if (index >= quint64(objects_.size()))
            return fail(error, QStringLiteral("A reference points outside the archive's objects."));
        if (index == 0)
            return fail(error, QStringLiteral("The archive holds a null object where a value is due."));
        switch (state_[index]) {
        case State::Read:
            return values_[index];
        case State::Reading:
            return fail(error, QStringLiteral("An object of the archive contains itself."));
        case State::Unread:
            break;
        }
        if (depth >= kMaxDepth)
            return fail(error, QStringLiteral("The archive's objects are nested too deeply."));
        state_[index] = State::Reading;
        auto value = decodeObject(objects_.at(qsizetype(index)), error, depth);
        if (!value)
            return std::nullopt;
        state_[index] = State::Read;
        values_[index] = *value;
        return value;
    }

private:
    enum class State { Unread, Reading, Read };

    static std::optional<QVariant> fail(Error* error, const QString& reason)
    {
        setError(error, damaged(reason));
        return std::nullopt;
    }

    std::optional<QVariant> decodeObject(const QVariant& object, Error* error, int depth)
    {
        switch (object.typeId()) {
        case QMetaType::QString:
        case QMetaType::Bool:
        case QMetaType::LongLong:
        case QMetaType::Double:
        case QMetaType::QByteArray:
            return object;
        case QMetaType::QVariantMap:
            return decodeInstance(object.toMap(), error, depth);
        default:
            return fail(error, QStringLiteral("The archive holds an object of a kind it cannot hold."));
        }
    }

    std::optional<QString> className(const QVariant& reference, Error* error)
    {
        const std::optional<quint64> index = referenceIndex(reference);
        if (!index || *index >= quint64(objects_.size())) {
            fail(error, QStringLiteral("An object's class reference is missing or points outside the archive."));
            return std::nullopt;
        }
        const QVariant classObject = objects_.at(qsizetype(*index));
        const QVariant name = classObject.toMap().value(kClassName);
        if (classObject.typeId() != QMetaType::QVariantMap || name.typeId() != QMetaType::QString) {
            fail(error, QStringLiteral("An object's class has no name."));
            return std::nullopt;
        }
        return name.toString();
    }

    std::optional<QVariantList> decodeList(const QVariant& references, Error* error, int depth)
    {
        if (references.typeId() != QMetaType::QVariantList) {
            fail(error, QStringLiteral("A collection's contents are not a list of references."));
            return std::nullopt;
        }
        QVariantList list;
        for (const QVariant& reference : references.toList()) {
            auto element = decode(reference, error, depth + 1);
            if (!element)
                return std::nullopt;
            list.append(*element);
        }
        return list;
    }

    std::optional<QVariant> decodeInstance(const QVariantMap& object, Error* error, int depth)
    {
        auto name = className(object.value(kClass), error);
        if (!name)
            return std::nullopt;
        if (*name == QLatin1String("NSArray") || *name == QLatin1String("NSMutableArray")) {
            auto list = decodeList(object.value(kObjects), error, depth);
            if (!list)
                return std::nullopt;
            return *list;
        }
        if (*name == QLatin1String("NSDictionary") || *name == QLatin1String("NSMutableDictionary")) {
            auto keys = decodeList(object.value(kKeys), error, depth);
            if (!keys)
                return std::nullopt;
            auto values = decodeList(object.value(kObjects), error, depth);
            if (!values)
                return std::nullopt;
            if (keys->size() != values->size())
                return fail(error, QStringLiteral("A dictionary has not as many keys as values."));
            QVariantMap map;
            for (qsizetype i = 0; i < keys->size(); ++i) {
                if (keys->at(i).typeId() != QMetaType::QString)
                    return fail(error, QStringLiteral("A dictionary has a key that is not a string."));
                map.insert(keys->at(i).toString(), values->at(i));
            }
            return map;
        }
        if (*name == QLatin1String("NSString") || *name == QLatin1String("NSMutableString"))
            return boxed(object.value(QStringLiteral("NS.string")), QMetaType::QString, error);
        if (*name == QLatin1String("NSData") || *name == QLatin1String("NSMutableData"))
            return boxed(object.value(QStringLiteral("NS.data")), QMetaType::QByteArray, error);
        return fail(error, QStringLiteral("The archive holds an object of class %1, which is not read here.").arg(*name));
    }

    static std::optional<QVariant> boxed(const QVariant& value, int type, Error* error)
    {
        if (value.typeId() != type)
            return fail(error, QStringLiteral("A string or data object holds a value of another kind."));
        return value;
    }

    QVariantList objects_;
    std::vector<State> state_;
    std::vector<QVariant> values_;
};

} // namespace

std::optional<QByteArray> archivedDataWithRootObject(const QVariant& root, Error* error)
{
    auto tree = archiveTree(root, error);
    if (!tree)
        return std::nullopt;
    return PropertyList::serialize(*tree, PropertyList::Format::Binary, error);
}

bool archiveRootObjectToFile(const QVariant& root, const QString& path, Error* error)
{
    auto tree = archiveTree(root, error);
    return tree && PropertyList::writeToFile(*tree, path, PropertyList::Format::Binary, error);
}

std::optional<QVariant> unarchiveObjectWithData(const QByteArray& data, Error* error)
{
    Error parseError;
    auto tree = PropertyList::parse(data, &parseError);
    if (!tree) {
        setError(error, damaged(parseError.description()));
        return std::nullopt;
    }
    const QVariantMap archive = tree->toMap();
    if (tree->typeId() != QMetaType::QVariantMap || archive.value(QStringLiteral("$archiver")) != kArchiver) {
        setError(error, damaged(QStringLiteral("The data is not a keyed archive.")));
        return std::nullopt;
    }
    const QVariant objects = archive.value(QStringLiteral("$objects"));
    const QVariant top = archive.value(QStringLiteral("$top"));
    if (objects.typeId() != QMetaType::QVariantList || top.typeId() != QMetaType::QVariantMap) {
        setError(error, damaged(QStringLiteral("The archive has no objects or no top.")));
        return std::nullopt;
    }
    Unarchiver unarchiver(objects.toList());
    return unarchiver.decode(top.toMap().value(QStringLiteral("root")), error);
}

std::optional<QVariant> unarchiveObjectWithFile(const QString& path, Error* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, Error(ErrorDomain, FileError,
                              QStringLiteral("The file \"%1\" could not be read: %2").arg(path, file.errorString())));
        return std::nullopt;
    }
    return unarchiveObjectWithData(file.readAll(), error);
}

} // namespace KeyedArchive
