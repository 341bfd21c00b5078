#include "clipdeck/RASelectorOperation.h"

#include <QMetaMethod>
#include <QMetaObject>

namespace {

// The target's invokable method of that name taking at most one argument; an invalid
// method when it has none.
QMetaMethod methodNamed(const QObject& target, const QByteArray& name)
{
    const QMetaObject* meta = target.metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.name() == name && method.parameterCount() <= 1 && method.methodType() != QMetaMethod::Signal)
            return method;
    }
    return {};
}

} // namespace

RASelectorOperation::RASelectorOperation(std::shared_ptr<QObject> target, QByteArray selector, QVariant argument)
    : mTarget(std::move(target)), mSelector(std::move(selector)), mArgument(std::move(argument))
{
}

void RASelectorOperation::run()
{
    if (!mTarget)
        return;
    const QMetaMethod method = methodNamed(*mTarget, mSelector);
    if (!method.isValid())
        return;

    QVariant argument = mArgument;
    // The type names are kept here: the generic arguments only point at them.
    const QByteArray parameterType = method.parameterCount() == 1 ? method.parameterTypeName(0) : QByteArray();
    QGenericArgument genericArgument;
    if (method.parameterCount() == 1) {
        if (!argument.convert(method.parameterMetaType(0)))
            argument = QVariant(method.parameterMetaType(0));
        genericArgument = QGenericArgument(parameterType.constData(), argument.constData());
    }
    if (method.returnMetaType().id() == QMetaType::Void) {
        method.invoke(mTarget.get(), Qt::DirectConnection, genericArgument);
        return;
    }
    QVariant result(method.returnMetaType());
    if (method.invoke(mTarget.get(), Qt::DirectConnection,
                      QGenericReturnArgument(method.typeName(), result.data()), genericArgument))
        mResult = result;
}

QString RASelectorOperation::description() const
{
    QString target = QStringLiteral("(null)");
    if (mTarget)
        target = QStringLiteral("%1(0x%2)").arg(mTarget->metaObject()->className()).arg(quintptr(mTarget.get()), 0, 16);
    return QStringLiteral("<RASelectorOperation:0x%1: %2 %3 %4>")
        .arg(quintptr(this), 0, 16)
        .arg(target, QString::fromLatin1(mSelector), mArgument.toString());
}

void RAWaitableSelectorOperation::run()
{
    RASelectorOperation::run();
    mTrigger.signal();
}
