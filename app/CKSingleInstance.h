#pragma once
// One program per boards folder (so per user): two programs would overwrite each other's
// boards. The first start holds a lock file in the boards folder and listens on a local
// socket named after that folder; a later start finds the lock taken, hands its command
// line's paths (made absolute) to the first one over the socket and ends. The first one
// hears them through pathsReceived(), also an empty list (the user started the program
// again: its window comes forward).
//
// Main thread only.

#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLockFile;

class CKSingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: the folder the lock guards (made when missing).
    explicit CKSingleInstance(const QString& folder, QObject* parent = nullptr);
    ~CKSingleInstance() override;

    enum Outcome {
        Primary,    // this program holds the lock and listens
        HandedOver, // another program runs and has the paths
        Failed,     // neither: the lock cannot be taken and the holder does not answer
    };
    // Takes the lock, or hands paths to the holder (waiting up to timeoutMs for it to
    // listen and answer). error tells why on Failed.
    Outcome claimOrHandOver(const QStringList& paths, QString* error = nullptr, int timeoutMs = 10000);

    QString lockFilePath() const;
    // The local socket's name, the same for every program on this folder.
    QString serverName() const { return serverName_; }

signals:
    void pathsReceived(const QStringList& paths);

private:
    bool listen(QString* error);
    void readConnection();

    QString folder_;
    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};
