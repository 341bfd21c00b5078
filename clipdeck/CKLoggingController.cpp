#include "clipdeck/CKLoggingController.h"

#include "clipdeck/CKSoundSource.h"
#include "platform/NotificationCenter.h"
#include "platform/OperationQueue.h"
#include "platform/StandardPaths.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <QtDebug>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString soundName(const Notification& notification)
{
    const auto* sound = static_cast<const CKSoundSource*>(notification.object);
    return sound ? sound->name() : QString();
}

void writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t count = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return; // a full disk or a vanished folder: the log is best effort
        done += count;
    }
}

} // namespace

CKLoggingController::CKLoggingController(UserDefaults* defaults)
    : defaults_(defaults ? defaults : &UserDefaults::standardUserDefaults())
{
    defaultsConnection_ = QObject::connect(defaults_, &UserDefaults::valueChanged, defaults_,
                                           [this](const QString& key) { defaultChanged(key); });
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(this, CKSoundSource::BeganPlayingNotification, nullptr,
                       [this](const Notification& notification) { soundStarted(notification); });
    center.addObserver(this, CKSoundSource::FinishedPlayingNotification, nullptr,
                       [this](const Notification& notification) { soundFinished(notification); });
    center.addObserver(this, CKSoundSource::LoopedNotification, nullptr,
                       [this](const Notification& notification) { soundLooped(notification); });
    if (isEnabled())
        startLogging();
}

CKLoggingController::~CKLoggingController()
{
    QObject::disconnect(defaultsConnection_);
    NotificationCenter::defaultCenter().removeObserver(this);
    stopLogging();
}

bool CKLoggingController::isEnabled() const { return defaults_->boolForKey(EnabledKey); }

QString CKLoggingController::logDirectoryPath() const
{
    const QString value = defaults_->stringForKey(PathKey);
    if (value.isEmpty())
        return StandardPaths::logsFolder();
    const QUrl url(value);
    return url.isLocalFile() ? url.toLocalFile() : value;
}

QString CKLoggingController::pathForNewLogFile() const
{
    return QDir(logDirectoryPath()).filePath(
        QStringLiteral("Clipdeck %1.txt").arg(dateDescription(QDateTime::currentDateTime())));
}

QString CKLoggingController::dateDescription(const QDateTime& date)
{
    const int offset = date.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QStringLiteral("%1 %2%3%4")
        .arg(date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), offset < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(minutes / 60, 2, 10, QChar('0'))
        .arg(minutes % 60, 2, 10, QChar('0'));
}

void CKLoggingController::writeToFile(const QString& message)
{
    if (!isEnabled() || !loggingQueue_ || logFile_ < 0)
        return;
    const QByteArray line =
        QStringLiteral("%1 - %2\n").arg(dateDescription(QDateTime::currentDateTime()), message).toUtf8();
    loggingQueue_->addOperationWithBlock([fd = logFile_, line] { writeAll(fd, line); });
}

void CKLoggingController::startLogging()
{
    if (!loggingQueue_)
        loggingQueue_ = std::make_unique<OperationQueue>(QStringLiteral("clipdeck-log"));
    if (logFile_ >= 0)
        return;
    const QString folder = logDirectoryPath();
    QDir().mkpath(folder);
    const QString path = pathForNewLogFile();
    logFile_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (logFile_ < 0) {
        qWarning("Can't open the playback log %s: %s", qPrintable(path), strerror(errno));
        return;
    }
    logFilePath_ = path;
}

void CKLoggingController::stopLogging()
{
    if (loggingQueue_)
        loggingQueue_->waitUntilAllOperationsAreFinished();
    loggingQueue_.reset();
    if (logFile_ >= 0)
        ::close(logFile_);
    logFile_ = -1;
    logFilePath_.clear();
}

void CKLoggingController::soundStarted(const Notification& notification)
{
    writeToFile(QStringLiteral("Started playing: %1").arg(soundName(notification)));
}

void CKLoggingController::soundFinished(const Notification& notification)
{
    writeToFile(QStringLiteral("Finished playing: %1").arg(soundName(notification)));
}

void CKLoggingController::soundLooped(const Notification& notification)
{
    writeToFile(QStringLiteral("Sound looped1: %1").arg(soundName(notification)));
}

void CKLoggingController::defaultChanged(const QString& key)
{
    if (key == EnabledKey) {
        if (isEnabled())
            startLogging();
        else
            stopLogging();
    } else if (key == PathKey) {
        // A new folder begins a new file there; while logging is off no file is made.
        stopLogging();
        if (isEnabled())
            startLogging();
    }
}
