#pragma once
// A remote of the tests' own, written from the protocol alone: it frames and splits messages
// itself (binary property list + FA DE DE AD), keeps its own mirror of the complete state,
// applies every commit to it, answers checksums from it, and writes down everything it gets.
// It shares no code with the server end but the property-list layer.

#include "SocketTestSupport.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

namespace remotetest {

class RemoteTestClient {
public:
    // sourceAddress: see sockettest::Peer.
    RemoteTestClient(const char* host, uint16_t port, const char* sourceAddress = nullptr);

    bool isConnected() const { return peer_->isConnected(); }
    sockettest::Peer& peer() { return *peer_; }

    // Frames and sends one message; sendRaw sends bytes as they are.
    void send(const QVariantMap& message);
    void sendRaw(const QByteArray& bytes);

    // Reads what has arrived and handles every complete message. True once the server has
    // closed the connection.
    bool poll();
    // Polls until condition holds (or the test's wait runs out).
    bool waitFor(const std::function<bool()>& condition);
    // Polls until the server has closed the connection.
    bool waitForClose();

    // The top-level messages received, in order.
    QList<QVariantMap> received;
    // Every message handled, composites unpacked.
    QList<QVariantMap> handled;
    // Messages whose bytes did not parse into a dictionary.
    int unreadable = 0;
    bool closed = false;
    // The reason of the "CloseConnection" received (null when none).
    QString closeReason;
    // True when the "CloseConnection" came before the end of the stream.
    bool closeReasonBeforeEnd = false;

    // The mirror and what came with it.
    QVariantMap mirror;
    std::optional<qint64> selectedClipdeck;
    QVariantMap progress;
    int commitsApplied = 0;
    int commitsNotApplied = 0;
    int voteFailures = 0;
    // "PerformChecksum" answers: sent automatically unless switched off.
    bool answerChecksums = true;
    int checksumsMatched = 0;
    int checksumsMismatched = 0;

    // The MD5 of the mirror's binary property-list form.
    QByteArray mirrorChecksum() const;
    // How many handled messages had type.
    int count(const QString& type) const;

    // Messages a remote sends.
    static QVariantMap connectRequest(const QString& identifier, const QString& hostName,
                                      const std::optional<QString>& version = QStringLiteral("1"));
    static QVariantMap connectVerify(const QString& identifier, const QString& hostName, qint64 passcode);
    static QVariantMap modifyVote(const QString& target, const QString& key, const QVariant& value,
                                  const QString& uuid = {});
    static QVariantMap ofType(const QString& type);
    static QByteArray frame(const QVariantMap& message);

private:
    void handle(const QVariantMap& message);
    bool applyCommit(const QVariantMap& commit);

    std::unique_ptr<sockettest::Peer> peer_;
    QByteArray pending_;
    qsizetype consumed_ = 0;
};

} // namespace remotetest
