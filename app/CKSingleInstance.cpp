#include "app/CKSingleInstance.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <unistd.h>

namespace {

// The answer of the first program once it has the paths.
constexpr char kReceived = 'K';
// A message: its length (4 bytes, big-endian), then the paths in UTF-8, each ended by a
// zero byte (which no path holds). More than this is no later start's.
constexpr quint32 kMaximumMessage = 1 << 20;

QByteArray messageWithPaths(const QStringList& paths)
{
    QByteArray body;
    for (const QString& path : paths)
        body += path.toUtf8() + '\0';
    QByteArray message(4, '\0');
    qToBigEndian<quint32>(quint32(body.size()), message.data());
    return message + body;
}

QString absolutePaths(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

} // namespace

CKSingleInstance::CKSingleInstance(const QString& folder, QObject* parent) : QObject(parent), folder_(folder)
{
    const QByteArray key = QDir(folder).absolutePath().toUtf8();
    serverName_ = QStringLiteral("clipdeck-%1-%2")
                      .arg(::getuid())
                      .arg(QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16)));
}

CKSingleInstance::~CKSingleInstance()
{
    if (server_)
        server_->close();
}

QString CKSingleInstance::lockFilePath() const { return QDir(folder_).filePath(QStringLiteral("Clipdeck.lock")); }

CKSingleInstance::Outcome CKSingleInstance::claimOrHandOver(const QStringList& paths, QString* error, int timeoutMs)
{
    QDir().mkpath(folder_);
    lock_ = std::make_unique<QLockFile>(lockFilePath());
    lock_->setStaleLockTime(0); // a lock is stale only when its holder no longer runs
    if (lock_->tryLock(0))
        return listen(error) ? Primary : Failed;
    if (lock_->error() != QLockFile::LockFailedError) {
        if (error)
            *error = QStringLiteral("The lock file %1 cannot be made.").arg(lockFilePath());
        return Failed;
    }

    QStringList absolute;
    for (const QString& path : paths)
        absolute.append(absolutePaths(path));
    const QByteArray message = messageWithPaths(absolute);

    // The holder may be starting: it listens a moment after it took the lock.
    QDeadlineTimer deadline(timeoutMs);
    do {
        QLocalSocket socket;
        socket.connectToServer(serverName_);
        if (socket.waitForConnected(int(std::max<qint64>(deadline.remainingTime(), 0)))) {
            socket.write(message);
            socket.flush();
            while (socket.bytesAvailable() == 0 && !deadline.hasExpired()
                   && socket.state() == QLocalSocket::ConnectedState)
                socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
            if (socket.read(1) == QByteArray(1, kReceived))
                return HandedOver;
        }
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    if (error) {
        qint64 pid = 0;
        QString host, application;
        lock_->getLockInfo(&pid, &host, &application);
        *error = QStringLiteral("Clipdeck is already running (process %1) but does not answer.").arg(pid);
    }
    return Failed;
}

bool CKSingleInstance::listen(QString* error)
{
    // Holding the lock, any socket of that name is a dead program's.
    QLocalServer::removeServer(serverName_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName_)) {
        if (error)
            *error = QStringLiteral("Clipdeck cannot listen for later starts: %1").arg(server_->errorString());
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &CKSingleInstance::readConnection);
    return true;
}

void CKSingleInstance::readConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < 4)
                return;
            char header[4];
            socket->peek(header, 4);
            const quint32 length = qFromBigEndian<quint32>(header);
            if (length > kMaximumMessage) {
                socket->abort(); // not a later start of ours
                return;
            }
            if (socket->bytesAvailable() < qint64(4 + length))
                return; // the rest is on its way
            socket->skip(4);
            const QByteArray body = socket->read(length);
            if (!body.isEmpty() && !body.endsWith('\0')) {
                socket->abort();
                return;
            }
            QStringList paths;
            for (const QByteArray& path : body.split('\0')) {
                if (!path.isEmpty())
                    paths.append(QString::fromUtf8(path));
            }
            socket->write(QByteArray(1, kReceived));
            socket->flush();
            emit pathsReceived(paths);
        });
    }
}
