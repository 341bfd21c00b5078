#pragma once
// A stand-in for an observable object while a sheet edits it, in place of the maker's
// editor proxy: reads answer as the object with the changes made so far; changes made
// through the proxy leave the object untouched, are announced by the proxy (key, old, new),
// and are registered with the undo manager given, until saveChangesToProxiedObject()
// applies them to the object (in the order their keys were first changed) or
// discardChanges() drops them. Changes the object itself announces reach the proxy's
// observers too, for keys the proxy has not changed.
//
// Everything else (saving the object's settings, say) is asked of proxiedObject() directly.
//
// Main thread only. The object must outlive the proxy; the undo manager must outlive it or
// be replaced first (the proxy removes its undo actions when it goes).

#include "platform/ObservableObject.h"

#include <QPointer>
#include <QStringList>
#include <QVariantMap>

#include <utility>

class UndoManager;

class ZEPEditorProxy : public ObservableObject {
    Q_OBJECT
public:
    // A proxy of object, with no changes yet.
    explicit ZEPEditorProxy(ObservableObject* object, QObject* parent = nullptr);
    ~ZEPEditorProxy() override;

    ObservableObject* proxiedObject() const { return object_; }

    // Changes through the proxy are registered here (none when null).
    void proxySetUndoManager(UndoManager* undoManager);
    UndoManager* undoManager() const;

    // The changed value of key, else the object's.
    QVariant valueForKey(const QString& key) const override;
    // Records value for key (the object stays as it is) and announces the change. Any key
    // is taken; whether the object accepts it shows at saveChangesToProxiedObject(). Setting
    // a value equal to the present one changes nothing. Always true.
    bool setValueForKey(const QString& key, const QVariant& value) override;

    bool hasChanges() const { return !order_.isEmpty(); }
    bool hasChangeForKey(const QString& key) const { return changes_.contains(key); }
    QStringList changedKeys() const { return order_; }

    // Applies every recorded change to the object and forgets them; false when the object
    // refused any (the rest are applied all the same).
    bool saveChangesToProxiedObject();
    // Forgets the recorded changes, announcing each key's return to the object's value.
    void discardChanges();

private:
    // Drops the recorded change of key (announcing the object's value), registering its
    // undo.
    void revertValueForKey(const QString& key);
    void registerUndo(const QString& key, bool hadChange, const QVariant& previous);
    // The recorded changes and their order, forgotten here with their undo actions.
    std::pair<QVariantMap, QStringList> takeChanges();

    QPointer<ObservableObject> object_;
    QPointer<UndoManager> undoManager_;
    QVariantMap changes_;
    QStringList order_;
};
