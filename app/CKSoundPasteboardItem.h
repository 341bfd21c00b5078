#pragma once
// A sound being dragged, as the board window puts it on the clipboard under the type
// "CKSoundPboardType": the text "<board index> <cell index>". Any thread.

#include <QString>
#include <QtGlobal>

class QMimeData;

struct CKSoundPasteboardItem {
    static inline const QString Type = QStringLiteral("CKSoundPboardType");

    qint64 clipdeckIndex = -1;
    qint64 cellIndex = -1;

    // The item that text holds; an invalid one for text of another shape.
    static CKSoundPasteboardItem fromString(const QString& text);
    // The item data holds under Type; an invalid one when it holds none.
    static CKSoundPasteboardItem fromMimeData(const QMimeData* data);
    QString toString() const;
    void writeToMimeData(QMimeData* data) const;
    bool isValid() const { return clipdeckIndex >= 0 && cellIndex >= 0; }
};
