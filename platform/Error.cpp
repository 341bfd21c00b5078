#include "platform/Error.h"

Error::Error(QString domain_, qint64 code_, QString description, QString failureReason)
    : domain(std::move(domain_)), code(code_), localizedDescription(std::move(description)),
      localizedFailureReason(std::move(failureReason))
{
}

Error Error::fromOSStatus(OSStatus status, QString description)
{
    return Error(OSStatusDomain, status, std::move(description));
}

QString Error::description() const
{
    if (!localizedDescription.isEmpty())
        return localizedDescription;
    return QStringLiteral("The operation couldn't be completed. (%1 error %2.)").arg(domain).arg(code);
}
