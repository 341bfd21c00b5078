#include "BoardTestSupport.h"

#include "audio/editor/CKAudioFileEditor.h"
#include "platform/FoundationExtensions.h"
#include "platform/StandardPaths.h"
#include "platform/codecs/AudioFixtures.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace clipdeck::test {

std::size_t TestShell::indexOfClipdeck(const CKClipdeck* clipdeck) const
{
    for (qsizetype i = 0; i < clipdecks.size(); ++i) {
        if (clipdecks[i].get() == clipdeck)
            return std::size_t(i);
    }
    return CKClipdeck::kNotFound;
}

std::shared_ptr<CKClipdeck> TestShell::clipdeckAtIndex(std::size_t index) const
{
    return index < std::size_t(clipdecks.size()) ? clipdecks[qsizetype(index)] : nullptr;
}

namespace {

QString trashFolder() { return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + "/Trash"; }

void emptyBoardsAndTrash()
{
    QDir(CKClipdeck::clipdecksFolder()).removeRecursively();
    QDir(trashFolder()).removeRecursively();
}

} // namespace

BoardsFolder::BoardsFolder()
{
    emptyBoardsAndTrash();
    QDir().mkpath(CKClipdeck::clipdecksFolder());
}

BoardsFolder::~BoardsFolder() { emptyBoardsAndTrash(); }

QString BoardsFolder::writeBoard(std::size_t index, const QByteArray& contents) const
{
    return writeBoardNamed(QStringLiteral("%1.clipdeck").arg(qulonglong(index)), contents);
}

QString BoardsFolder::writeBoardNamed(const QString& folderName, const QByteArray& contents) const
{
    const QString folder = CKClipdeck::clipdecksFolder() + "/" + folderName;
    QDir().mkpath(folder + "/Cache");
    touch(folder + "/Contents.xml", contents);
    return folder;
}

void BoardsFolder::touch(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
}

QStringList BoardsFolder::folderNames() const
{
    return QDir(CKClipdeck::clipdecksFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray contentsXML(const QString& name, const QStringList& sounds, int rows, int columns)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<clipdeck uuid=\"%1\" formatVersion=\"2\"")
                      .arg(stringWithNewUUID());
    if (!name.isEmpty())
        xml += QStringLiteral(" name=\"%1\"").arg(name);
    xml += QStringLiteral(">\n<rows>%1</rows>\n<columns>%2</columns>\n<sounds prerendered=\"false\">\n").arg(rows).arg(columns);
    for (const QString& sound : sounds) {
        const QStringList parts = sound.split(u'|');
        xml += QStringLiteral("<sound name=\"%1\" loops=\"false\" restartOnPress=\"false\"").arg(parts.value(1));
        if (!parts.value(2).isEmpty())
            xml += QStringLiteral(" uuid=\"%1\"").arg(parts.value(2));
        xml += QStringLiteral(" playbackVolume=\"1.000\" liftBehavior=\"0\" sticky=\"false\" path=\"%1\" "
                              "type=\"cachedFileSound\" index=\"%2\"/>\n")
                   .arg(parts.value(3), parts.value(0));
    }
    xml += QStringLiteral("</sounds>\n</clipdeck>\n");
    return xml.toUtf8();
}

QStringList trashedNames()
{
    return QDir(trashFolder() + "/files").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QString makeSoundFile(const TempFolder& folder, const QString& name, const QStringList& codecArguments, qint64 frames)
{
    const QString path = folder.file(name);
    EXPECT_TRUE(makeFixture(path, twoToneSource(), frames, 2, codecArguments)) << qPrintable(name);
    return path;
}

QString makeWAV(const TempFolder& folder, const QString& name, qint64 frames)
{
    return makeSoundFile(folder, name, {"-c:a", "pcm_s16le"}, frames);
}

QString makeMP3(const TempFolder& folder, const QString& name, qint64 frames)
{
    return makeSoundFile(folder, name, {"-c:a", "libmp3lame", "-b:a", "128k"}, frames);
}

QString makeAppleLossless(const TempFolder& folder, const QString& name, qint64 frames)
{
    return makeSoundFile(folder, name, {"-c:a", "alac"}, frames);
}

QString makeAAC(const TempFolder& folder, const QString& name, qint64 frames)
{
    return makeSoundFile(folder, name, {"-c:a", "aac", "-b:a", "128k"}, frames);
}

bool loadFeed(CKSoundCachedFileSource& sound, int timeoutMs)
{
    sound.editor();
    return waitUntil([&sound] { return sound.isEditorLoaded() && sound.isPlayable() && !sound.isImporting(); },
                     timeoutMs) &&
           !sound.error();
}

ConversionCounter::ConversionCounter(const std::shared_ptr<CKSoundSource>& sound)
{
    sound->observeKey(QStringLiteral("importing"), &mContext, [this, raw = sound.get()](const QVariant&, const QVariant& now) {
        if (now.toBool() && static_cast<CKSoundCachedFileSource*>(raw)->pendingImport())
            ++starts;
    });
}

} // namespace clipdeck::test
