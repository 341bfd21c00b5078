#include "audio/files/ZEPMPEG4TagRewrite.h"

#include "isomedia/MP4M4ATagWriter.h"
#include "platform/VariantValues.h"

#include <QCoreApplication>
#include <QFile>

namespace {

QString reasonFor(MP4Err status)
{
    switch (status) {
    case kMP4TagWriterNoPath:
        return QCoreApplication::translate("ZEPAudioFileWriter", "The file has no path.");
    case kMP4TagWriterSamplesOutsideData:
        return QCoreApplication::translate("ZEPAudioFileWriter",
                                           "Audio that the file's tables name lies outside its media data.");
    case MP4BadData:
    case MP4InputOutputError:
    case MP4ValueTooLarge:
        return QCoreApplication::translate("ZEPAudioFileWriter",
                                           "The file does not read as a whole MPEG-4 file: it ends inside an atom, "
                                           "or its atoms' sizes do not add up.");
    default:
        return QCoreApplication::translate("ZEPAudioFileWriter", "The tagged file could not be written (error %1).")
            .arg(status);
    }
}

} // namespace

OSStatus ZEPRewriteMPEG4Tags(const QString& path, const QVariantMap& tags, const AudioFilePacketTableInfo* packetTable,
                             QString* reason)
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
    const MP4Err status = MP4M4ATagWriter::writeM4ATags(dictionary, packetTable ? &info : nullptr, file, file);
    if (status != MP4Success && reason)
        *reason = reasonFor(status);
    return status;
}
