#pragma once
// An error a user can see, in place of the platform's error objects: a domain, a code, and
// the texts the application shows in its alert (description, failure reason, recovery
// suggestion and the titles of the recovery buttons). Errors are plain values.

#include "platform/CoreAudioTypes.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>

struct Error {
    // The domain of errors whose code is an OSStatus of the audio code.
    static inline const QString OSStatusDomain = QStringLiteral("NSOSStatusErrorDomain");
    // The domain of errors whose code is a POSIX errno.
    static inline const QString POSIXDomain = QStringLiteral("NSPOSIXErrorDomain");

    QString domain;
    qint64 code = 0;
    QString localizedDescription;
    QString localizedFailureReason;
    QString localizedRecoverySuggestion;
    QStringList localizedRecoveryOptions;
    // Called with the index of the recovery option the user chose; answers whether the
    // recovery succeeded. May be empty.
    std::function<bool(int optionIndex)> recoveryAttempter;
    QVariantMap userInfo;

    Error() = default;
    Error(QString domain, qint64 code, QString description = {}, QString failureReason = {});

    static Error fromOSStatus(OSStatus status, QString description = {});

    // True when this holds an error (a domain is set).
    bool isError() const { return !domain.isEmpty(); }
    explicit operator bool() const { return isError(); }

    // The description to show: the localized description, or a generic sentence naming
    // the domain and code when there is none.
    QString description() const;
};

// Stores error into *out when out is not null; lets callers pass nullptr when they don't care.
inline void setError(Error* out, Error error)
{
    if (out)
        *out = std::move(error);
}
