#pragma once
// The one failure of the zip archive classes: every operation of ZipFile and its streams
// that fails throws it, with a reason to show and, where minizip gave one, its result code.

#include <QString>

#include <cstdint>
#include <exception>

class ZipException : public std::exception {
public:
    // The exception's name, as the archive classes' callers know it.
    static inline const QString Name = QStringLiteral("ZipException");

    explicit ZipException(const QString& reason) : ZipException(0, reason) {}
    ZipException(int32_t error, const QString& reason) : error_(error), reason_(reason), what_(reason.toUtf8()) {}

    QString name() const { return Name; }
    QString reason() const { return reason_; }
    // minizip's result code, 0 when the exception carries a reason only.
    int32_t error() const { return error_; }

    const char* what() const noexcept override { return what_.constData(); }

private:
    int32_t error_;
    QString reason_;
    QByteArray what_;
};
