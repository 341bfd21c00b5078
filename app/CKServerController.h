#pragma once
// The remote server and sync controller, as far as the shell needs it until the remote
// subsystem brings the real one: the switch the "RemoteEnabled" default drives, the board
// changes the shell announces, the names of connected and waiting remotes, and
// "NotificationStatusChange" when those lists change. With no server behind it no remote
// ever connects: both lists stay empty, nothing is posted and the board changes have nobody
// to go to. At the end of the program the service is switched off.
//
// Main thread only.

#include <QObject>
#include <QStringList>

class CKClipdeck;

class CKServerController : public QObject {
    Q_OBJECT
public:
    static inline const QString StatusChangeNotification = QStringLiteral("NotificationStatusChange");

    // The one controller, made on first use.
    static CKServerController* sharedSyncController();

    // Starts or stops the remote service.
    void setRemoteEnabled(bool enabled);
    bool isRemoteEnabled() const { return enabled_; }

    // Board changes for the remotes.
    void addClipdeck(CKClipdeck* clipdeck, qsizetype withIndex);
    void clipdeckDeleted(qsizetype index);
    void swapClipdeckIndex(qsizetype index, qsizetype withIndex);

    QStringList listOfActiveClientNames() const { return {}; }
    QStringList listOfPendingClientNames() const { return {}; }

private:
    CKServerController();

    bool enabled_ = false;
};
