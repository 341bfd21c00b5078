#pragma once
// The user-defaults domain, in place of the platform's defaults: values stored by key in
// the property-list file "com.corvanesw.clipdeck.plist" of the preferences folder (through
// QSettings), with registered defaults consulted for keys that hold no stored value.
//
// Typed getters read leniently (see platform/VariantValues.h). Every change of a key emits
// valueChanged(key) on the thread that made it. Main thread, except where a caller's header
// says otherwise (QSettings itself is thread-safe).

#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>
#include <mutex>

class UserDefaults : public QObject {
    Q_OBJECT
public:
    static inline const QString BundleIdentifier = QStringLiteral("com.corvanesw.clipdeck");

    // The application's defaults, stored under the preferences folder. Made on first use.
    static UserDefaults& standardUserDefaults();

    // Defaults stored in the property-list file at path (tests and tools).
    explicit UserDefaults(const QString& path, QObject* parent = nullptr);
    ~UserDefaults() override;

    // Values answered for keys that hold no stored value. Later registrations win per key.
    void registerDefaults(const QVariantMap& defaults);
    QVariantMap registeredDefaults() const;

    // The stored value, else the registered one, else an invalid QVariant.
    QVariant objectForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    float floatForKey(const QString& key) const { return float(doubleForKey(key)); }
    QVariantList arrayForKey(const QString& key) const;
    QVariantMap dictionaryForKey(const QString& key) const;
    QByteArray dataForKey(const QString& key) const;

    // Stores value under key; an invalid value removes the key.
    void setObject(const QVariant& value, const QString& key);
    void setBool(bool value, const QString& key) { setObject(value, key); }
    void setInteger(qint64 value, const QString& key) { setObject(qlonglong(value), key); }
    void setDouble(double value, const QString& key) { setObject(value, key); }
    void setFloat(float value, const QString& key) { setObject(double(value), key); }
    void removeObjectForKey(const QString& key);

    // Writes pending changes to disk; answers whether the store is sound.
    bool synchronize();

    QString filePath() const;

signals:
    void valueChanged(const QString& key);

private:
    std::unique_ptr<QSettings> settings_;
    mutable std::mutex registeredMutex_;
    QVariantMap registered_;
};
