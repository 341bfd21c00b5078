#include "clipdeck/CKSoundPasteboard.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKClipdeckHost.h"
#include "clipdeck/CKSoundSource.h"

#include <QMimeData>

namespace CKSoundPasteboard {

void setSoundSource(QMimeData& data, const CKSoundSource& sound, const QString& type)
{
    const auto* board = dynamic_cast<const CKClipdeck*>(sound.parentClipdeck());
    if (!board)
        return;
    data.setData(type, QStringLiteral("%1 %2")
                           .arg(qulonglong(board->boardIndex()))
                           .arg(qulonglong(board->indexOfSound(&sound)))
                           .toUtf8());
}

std::shared_ptr<CKSoundSource> soundSourceForType(const QMimeData& data, const QString& type)
{
    const QStringList numbers = QString::fromUtf8(data.data(type)).split(u' ');
    if (numbers.size() != 2)
        return nullptr;
    bool boardOk = false, cellOk = false;
    const qulonglong boardIndex = numbers[0].toULongLong(&boardOk);
    const qulonglong cell = numbers[1].toULongLong(&cellOk);
    if (!boardOk || !cellOk)
        return nullptr;
    const std::shared_ptr<CKClipdeck> board = CKClipdeckHost::current().clipdeckAtIndex(std::size_t(boardIndex));
    return board ? board->soundAtIndex(std::size_t(cell)) : nullptr;
}

} // namespace CKSoundPasteboard
