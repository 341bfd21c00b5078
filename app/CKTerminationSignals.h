#pragma once
// SIGTERM, SIGINT and SIGHUP end the program through its quit path, as a Quit would but
// without asking anybody: the handler only writes the signal's number into a pipe of its
// own (the one thing a handler may safely do), and the main loop, watching the pipe's
// other end, calls the action with it.
//
// One object per program, made and destroyed on the main thread; destroying it puts back
// the handlers that were there before.

#include <QObject>

#include <csignal>
#include <functional>

class QSocketNotifier;

class CKTerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit CKTerminationSignals(std::function<void(int signalNumber)> action, QObject* parent = nullptr);
    ~CKTerminationSignals() override;

    // Whether the handlers are in place (the pipe could be made).
    bool isInstalled() const { return installed_; }

    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

private:
    void readSignals();

    std::function<void(int)> action_;
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[3] = {};
    bool installed_ = false;
};
