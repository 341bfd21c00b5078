#pragma once
// The playback log: while the user default "loggingEnabled" is on, one line for each sound
// that starts, loops or finishes playing is appended to a text file in the folder that the
// user default "loggingPath" names (a file URL, or a plain path; the logs folder of
// StandardPaths when unset).
//
// Files: each start of logging (turning it on, or a new folder while it is on) begins the
// file "Clipdeck <date>.txt", named by that moment ("2024-05-01 21:03:07 +0200"); a start
// within the same second as the last one continues that file. The folder is made when
// missing; files are made with the permissions 0644 (less what the umask takes). Lines are
// UTF-8, "<date> - <message>\n", with the messages "Started playing: <name>", "Sound
// looped1: <name>" and "Finished playing: <name>" (the sound's name), and are only ever
// appended.
//
// Threads: made, driven and destroyed on the main thread, where the sound notifications
// and the defaults' changes arrive. The lines are written on a serial queue of the log's
// own, so the main thread never waits for the disk, except at stopLogging(), which writes
// out every line still queued and closes the file before it returns.

#include <QDateTime>
#include <QMetaObject>
#include <QString>

#include <memory>

class OperationQueue;
class UserDefaults;
struct Notification;

class CKLoggingController {
public:
    static inline const QString EnabledKey = QStringLiteral("loggingEnabled");
    static inline const QString PathKey = QStringLiteral("loggingPath");

    // Reads and watches defaults (the standard user defaults when null) and the sound
    // notifications; starts logging when it is enabled.
    explicit CKLoggingController(UserDefaults* defaults = nullptr);
    // Stops logging (writing out what is queued).
    ~CKLoggingController();
    CKLoggingController(const CKLoggingController&) = delete;
    CKLoggingController& operator=(const CKLoggingController&) = delete;

    bool isEnabled() const;
    QString logDirectoryPath() const;
    QString pathForNewLogFile() const;
    // The file being written, empty while stopped or when it could not be opened.
    QString logFilePath() const { return logFilePath_; }
    bool isLogging() const { return loggingQueue_ != nullptr; }

    // Appends "<now> - message\n" when logging is enabled and a file is open.
    void writeToFile(const QString& message);
    // Opens a new file unless one is open.
    void startLogging();
    // Writes out the queued lines and closes the file.
    void stopLogging();

    // "YYYY-MM-DD HH:MM:SS ±HHMM", the date's local time and its offset from UTC.
    static QString dateDescription(const QDateTime& date);

private:
    void soundStarted(const Notification& notification);
    void soundFinished(const Notification& notification);
    void soundLooped(const Notification& notification);
    void defaultChanged(const QString& key);

    UserDefaults* defaults_;
    QMetaObject::Connection defaultsConnection_;
    std::unique_ptr<OperationQueue> loggingQueue_;
    int logFile_ = -1;
    QString logFilePath_;
};
