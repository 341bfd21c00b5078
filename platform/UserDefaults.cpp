#include "platform/UserDefaults.h"

#include "platform/PropertyList.h"
#include "platform/StandardPaths.h"
#include "platform/VariantValues.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>

namespace {

bool readPropertyListSettings(QIODevice& device, QSettings::SettingsMap& map)
{
    const QByteArray data = device.readAll();
    if (data.isEmpty())
        return true; // a new, empty store
    auto value = PropertyList::parse(data);
    if (!value || value->typeId() != QMetaType::QVariantMap)
        return false;
    map = value->toMap();
    return true;
}

bool writePropertyListSettings(QIODevice& device, const QSettings::SettingsMap& map)
{
    auto data = PropertyList::serialize(QVariantMap(map), PropertyList::Format::XML);
    return data && device.write(*data) == data->size();
}

QSettings::Format propertyListFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("plist"), readPropertyListSettings, writePropertyListSettings);
    return format;
}

} // namespace

UserDefaults& UserDefaults::standardUserDefaults()
{
    static UserDefaults defaults(StandardPaths::preferencesFolder() + "/" + BundleIdentifier + ".plist");
    return defaults;
}

UserDefaults::UserDefaults(const QString& path, QObject* parent) : QObject(parent)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    settings_ = std::make_unique<QSettings>(path, propertyListFormat());
    settings_->setFallbacksEnabled(false);
}

UserDefaults::~UserDefaults()
{
    settings_->sync();
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    {
        std::lock_guard lock(registeredMutex_);
        for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
            registered_.insert(it.key(), it.value());
    }
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        if (!settings_->contains(it.key()))
            emit valueChanged(it.key());
    }
}

QVariantMap UserDefaults::registeredDefaults() const
{
    std::lock_guard lock(registeredMutex_);
    return registered_;
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    const QVariant stored = settings_->value(key);
    if (stored.isValid())
        return stored;
    std::lock_guard lock(registeredMutex_);
    return registered_.value(key);
}

QString UserDefaults::stringForKey(const QString& key) const { return variant::stringValue(objectForKey(key)); }

bool UserDefaults::boolForKey(const QString& key) const { return variant::boolValue(objectForKey(key)); }

qint64 UserDefaults::integerForKey(const QString& key) const { return variant::integerValue(objectForKey(key)); }

double UserDefaults::doubleForKey(const QString& key) const { return variant::doubleValue(objectForKey(key)); }

QVariantList UserDefaults::arrayForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList();
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

QByteArray UserDefaults::dataForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray() : QByteArray();
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    if (!value.isValid()) {
        removeObjectForKey(key);
        return;
    }
    settings_->setValue(key, value);
    emit valueChanged(key);
}

void UserDefaults::removeObjectForKey(const QString& key)
{
    if (!settings_->contains(key))
        return;
    settings_->remove(key);
    emit valueChanged(key);
}

bool UserDefaults::synchronize()
{
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

QString UserDefaults::filePath() const { return settings_->fileName(); }
