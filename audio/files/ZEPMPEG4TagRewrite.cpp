#include "audio/files/ZEPMPEG4TagRewrite.h"

#include "isomedia/MP4M4ATagWriter.h"
#include "platform/VariantValues.h"

#include <QFile>

OSStatus ZEPRewriteMPEG4Tags(const QString& path, const QVariantMap& tags, const AudioFilePacketTableInfo* packetTable)
{
    MP4TagDictionary dictionary;
    for (const char* key : {"title", "artist", "album", "genre", "copyright", "comments", "encoder"}) {
        const QString value = variant::stringValue(tags.value(key));
        if (!value.isEmpty())
            dictionary[key] = value.toStdString();
    }
    // The year is stored as a number and written as its decimal text.
    if (tags.contains("year"))
        dictionary["year"] = QString::number(variant::integerValue(tags.value("year"))).toStdString();

    MP4PacketTableInfo info;
    if (packetTable) {
        info.mNumberValidFrames = packetTable->mNumberValidFrames;
        info.mPrimingFrames = packetTable->mPrimingFrames;
        info.mRemainderFrames = packetTable->mRemainderFrames;
    }
    const std::string file = QFile::encodeName(path).toStdString();
    return MP4M4ATagWriter::writeM4ATags(dictionary, packetTable ? &info : nullptr, file, file);
}
