#include "remote/CKRemoteTerminal.h"

#include "platform/PropertyList.h"
#include "platform/TimeSource.h"
#include "platform/runloop/RunLoop.h"

#include <algorithm>

namespace {
// Each nested run of the private mode lasts at most this long before the limits are checked.
constexpr double kSyncWriteSlice = 1.0;
} // namespace

CKRemoteTerminal::CKRemoteTerminal(CKRemoteTerminalDelegate* delegate) : theDelegate(delegate) {}

const QByteArray& CKRemoteTerminal::messageSeparatorData()
{
    static const QByteArray separator("\xFA\xDE\xDE\xAD", 4);
    return separator;
}

std::optional<QByteArray> CKRemoteTerminal::serializedDictionary(const QVariantMap& dictionary)
{
    return PropertyList::serialize(dictionary, PropertyList::Format::Binary);
}

std::optional<QVariant> CKRemoteTerminal::deserializedData(const QByteArray& data)
{
    return PropertyList::parse(data);
}

QByteArray CKRemoteTerminal::completeMessageFromDictionary(const QVariantMap& dictionary)
{
    QByteArray message = serializedDictionary(dictionary).value_or(QByteArray());
    message.append(messageSeparatorData());
    return message;
}

void CKRemoteTerminal::receiveMessage(const QByteArray& data, const QString& fromHost)
{
    const qsizetype separatorLength = messageSeparatorData().size();
    std::optional<QVariantMap> dictionary;
    if (data.size() > separatorLength) {
        const std::optional<QVariant> body = deserializedData(data.first(data.size() - separatorLength));
        if (body && body->typeId() == QMetaType::QVariantMap)
            dictionary = body->toMap();
    }
    if (theDelegate)
        theDelegate->dictionaryReceived(dictionary, fromHost);
}

bool CKRemoteTerminal::syncWriteData(const QByteArray& data, AsyncSocket& toSocket)
{
    toSocket.addRunLoopMode(SynchronousWriteMode);
    theSyncWriteComplete = false;
    toSocket.writeData(data, -1, kSyncWriteTag);
    // A peer that stops reading must not hold the program: the wait has an end.
    const double giveUp = TimeSource::currentTime() + kSyncWriteLimit;
    while (!theSyncWriteComplete) {
        const double now = TimeSource::currentTime();
        if (now >= giveUp || !RunLoop::main().runMode(SynchronousWriteMode, std::min(now + kSyncWriteSlice, giveUp)))
            break;
    }
    toSocket.removeRunLoopMode(SynchronousWriteMode);
    return theSyncWriteComplete;
}

void CKRemoteTerminal::readNextMessage(AsyncSocket& sock)
{
    sock.readDataToData(messageSeparatorData(), -1, kMaximumMessageLength, 0);
}

void CKRemoteTerminal::onSocketDidConnectToHost(AsyncSocket& sock, const QString&, uint16_t)
{
    readNextMessage(sock);
}

void CKRemoteTerminal::onSocketDidReadData(AsyncSocket& sock, const QByteArray& data, long)
{
    readNextMessage(sock);
    receiveMessage(data, sock.connectedHost());
}

void CKRemoteTerminal::onSocketDidWriteDataWithTag(AsyncSocket&, long tag)
{
    if (tag == kSyncWriteTag)
        theSyncWriteComplete = true;
}
