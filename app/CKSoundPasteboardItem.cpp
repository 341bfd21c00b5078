#include "app/CKSoundPasteboardItem.h"

#include <QMimeData>
#include <QRegularExpression>

CKSoundPasteboardItem CKSoundPasteboardItem::fromString(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*(\\d{1,9})\\s+(\\d{1,9})\\s*$"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch())
        return {};
    return {match.captured(1).toLongLong(), match.captured(2).toLongLong()};
}

CKSoundPasteboardItem CKSoundPasteboardItem::fromMimeData(const QMimeData* data)
{
    if (!data || !data->hasFormat(Type))
        return {};
    return fromString(QString::fromUtf8(data->data(Type)));
}

QString CKSoundPasteboardItem::toString() const { return QStringLiteral("%1 %2").arg(clipdeckIndex).arg(cellIndex); }

void CKSoundPasteboardItem::writeToMimeData(QMimeData* data) const { data->setData(Type, toString().toUtf8()); }
