#pragma once
// Key-value observation, in place of the platform's: a model object that views, the remote
// mirror or other models watch announces each change of a named key with its old and new
// value, and offers valueForKey()/setValueForKey() for the keys it exposes.
//
// The default valueForKey()/setValueForKey() go through the object's Qt properties, so a
// model declares each observable key as a Q_PROPERTY whose setter calls changeValue(); a
// model with keys that are not properties overrides the two.
//
// Changes are announced on the thread that made them; models are changed on the main
// thread unless their header says otherwise.

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

class ObservableObject : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QVariant valueForKey(const QString& key) const;
    // Answers false when the object has no settable key of that name.
    virtual bool setValueForKey(const QString& key, const QVariant& value);

    // Calls handler(old, new) on every change of key, until context is destroyed.
    QMetaObject::Connection observeKey(const QString& key, QObject* context,
                                       std::function<void(const QVariant& oldValue, const QVariant& newValue)> handler);

signals:
    void valueChanged(const QString& key, const QVariant& oldValue, const QVariant& newValue);

protected:
    // Announces a change made by the subclass.
    void didChangeValueForKey(const QString& key, const QVariant& oldValue, const QVariant& newValue)
    {
        emit valueChanged(key, oldValue, newValue);
    }

    // Stores value into field and announces the change when it differs; answers whether it did.
    template <typename T>
    bool changeValue(const QString& key, T& field, const T& value)
    {
        if (field == value)
            return false;
        QVariant oldValue = QVariant::fromValue(field);
        field = value;
        didChangeValueForKey(key, oldValue, QVariant::fromValue(field));
        return true;
    }
};
