#include "platform/ui/ZEPEditorProxy.h"

#include "platform/UndoManager.h"

ZEPEditorProxy::ZEPEditorProxy(ObservableObject* object, QObject* parent)
    : ObservableObject(parent), object_(object)
{
    if (object) {
        connect(object, &ObservableObject::valueChanged, this,
                [this](const QString& key, const QVariant& oldValue, const QVariant& newValue) {
                    if (!changes_.contains(key))
                        didChangeValueForKey(key, oldValue, newValue);
                });
    }
}

ZEPEditorProxy::~ZEPEditorProxy()
{
    if (undoManager_)
        undoManager_->removeAllActionsWithTarget(this);
}

void ZEPEditorProxy::proxySetUndoManager(UndoManager* undoManager)
{
    if (undoManager_ && undoManager_ != undoManager)
        undoManager_->removeAllActionsWithTarget(this);
    undoManager_ = undoManager;
}

UndoManager* ZEPEditorProxy::undoManager() const { return undoManager_; }

QVariant ZEPEditorProxy::valueForKey(const QString& key) const
{
    auto it = changes_.constFind(key);
    if (it != changes_.cend())
        return *it;
    return object_ ? object_->valueForKey(key) : QVariant();
}

bool ZEPEditorProxy::setValueForKey(const QString& key, const QVariant& value)
{
    const QVariant present = valueForKey(key);
    if (present == value && present.typeId() == value.typeId())
        return true;
    const bool hadChange = changes_.contains(key);
    const QVariant previous = changes_.value(key);
    changes_.insert(key, value);
    if (!hadChange)
        order_.append(key);
    registerUndo(key, hadChange, previous);
    didChangeValueForKey(key, present, value);
    return true;
}

void ZEPEditorProxy::revertValueForKey(const QString& key)
{
    if (!changes_.contains(key))
        return;
    const QVariant recorded = changes_.take(key);
    order_.removeAll(key);
    registerUndo(key, true, recorded);
    const QVariant objectValue = object_ ? object_->valueForKey(key) : QVariant();
    if (objectValue != recorded)
        didChangeValueForKey(key, recorded, objectValue);
}

void ZEPEditorProxy::registerUndo(const QString& key, bool hadChange, const QVariant& previous)
{
    if (!undoManager_)
        return;
    // Undoing a first change takes the key back to the object's value; undoing a later one
    // puts back the change before it. Each registers its own inverse for redo.
    undoManager_->registerUndoWithTarget(this, [this, key, hadChange, previous] {
        if (hadChange)
            setValueForKey(key, previous);
        else
            revertValueForKey(key);
    });
}

std::pair<QVariantMap, QStringList> ZEPEditorProxy::takeChanges()
{
    std::pair<QVariantMap, QStringList> taken{std::move(changes_), std::move(order_)};
    changes_.clear();
    order_.clear();
    if (undoManager_)
        undoManager_->removeAllActionsWithTarget(this);
    return taken;
}

bool ZEPEditorProxy::saveChangesToProxiedObject()
{
    const auto [changes, order] = takeChanges();
    if (!object_)
        return order.isEmpty();
    bool allTaken = true;
    for (const QString& key : order)
        allTaken = object_->setValueForKey(key, changes.value(key)) && allTaken;
    return allTaken;
}

void ZEPEditorProxy::discardChanges()
{
    const auto [changes, order] = takeChanges();
    for (const QString& key : order) {
        const QVariant objectValue = object_ ? object_->valueForKey(key) : QVariant();
        if (objectValue != changes.value(key))
            didChangeValueForKey(key, changes.value(key), objectValue);
    }
}
