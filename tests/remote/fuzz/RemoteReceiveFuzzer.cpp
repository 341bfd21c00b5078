// Fuzz target: any bytes, as a remote's stream reaches the server. The stream is cut at each
// separator the way the socket's reads cut it (a piece longer than the read maximum ends the
// stream, as it closes the link), each piece goes through the terminal's decoding, and every
// message it yields through what the server end does with a received message: unpacking,
// the checks of a change, the post queue, re-framing, and the checksum of a sent state.
// Built with libFuzzer by build-fuzzer.sh; the corpus replay (tests/support/FuzzCorpusReplayMain.cpp)
// runs the same function over the checked-in corpus in the ordinary build.
#include "remote/CKCompleteState.h"
#include "remote/CKPostQueue.h"
#include "remote/CKRemoteProtocol.h"
#include "remote/CKRemoteTerminal.h"

#include <QByteArray>

namespace {

using namespace CKRemoteProtocol;

class Handler : public CKRemoteTerminalDelegate {
public:
    CKPostQueue queue;

    void dictionaryReceived(const std::optional<QVariantMap>& dictionary, const QString&) override
    {
        if (!dictionary)
            return;
        for (QVariantMap message : unpackedMessages(*dictionary)) {
            message.insert(ExternalHostKey, QStringLiteral("127.0.0.1"));
            const QString type = messageType(message);
            if (type == VoteIncChange) {
                acceptableModifyValue(message);
                indexValue(message.value(IncChangeIndexKey));
                indexValue(message.value(IncChangeIndexOtherKey));
                queue.post(commitFromVote(message));
            } else if (type == CompleteUpdate || type == ConnectAccept) {
                CKCompleteState::checksumOfState(message.value(CompleteStateKey).toMap());
            } else {
                queue.post(message);
            }
        }
        if (const std::optional<QVariantMap> outgoing = queue.outgoingMessage()) {
            // What goes out must come back as it went.
            const QByteArray framed = CKRemoteTerminal::completeMessageFromDictionary(*outgoing);
            if (!framed.endsWith(CKRemoteTerminal::messageSeparatorData()))
                __builtin_trap();
        }
        queue.clear();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    Handler handler;
    CKRemoteTerminal terminal(&handler);
    const QByteArray stream = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray& separator = CKRemoteTerminal::messageSeparatorData();
    qsizetype start = 0;
    for (qsizetype end; (end = stream.indexOf(separator, start)) >= 0;) {
        const qsizetype length = end + separator.size() - start;
        if (length > qsizetype(CKRemoteTerminal::kMaximumMessageLength))
            break;
        terminal.receiveMessage(stream.mid(start, length), QStringLiteral("127.0.0.1"));
        start = end + separator.size();
    }
    return 0;
}
