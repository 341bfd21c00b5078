#include "ArchiveTestSupport.h"

#include "clipdeck/ZipFile.h"
#include "platform/MainThread.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <random>

namespace clipdeck::test {

void writeArchive(const QString& path, const std::vector<ArchiveEntry>& entries)
{
    ZipFile archive(path, ZipFile::kModeCreate);
    for (const ArchiveEntry& entry : entries) {
        auto stream = archive.writeFileInZipWithName(entry.name, entry.level);
        stream->writeData(entry.data);
        stream->finishedWriting();
    }
    archive.close();
}

QStringList entryNames(const QString& archivePath)
{
    ZipFile archive(archivePath, ZipFile::kModeUnzip);
    QStringList names;
    for (const FileInZipInfo& info : archive.listFileInZipInfos())
        names << info.name();
    return names;
}

QStringList unzipList(const QString& archive)
{
    QProcess unzip;
    unzip.start("unzip", {"-Z1", archive});
    unzip.waitForFinished(60000);
    QStringList names = QString::fromUtf8(unzip.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    names.sort();
    return names;
}

bool unzipInto(const QString& archive, const QString& folder)
{
    QProcess unzip;
    unzip.start("unzip", {"-q", archive, "-d", folder});
    return unzip.waitForFinished(60000) && unzip.exitCode() == 0;
}

void writeFiles(const QString& folder, const FileTree& files)
{
    for (const auto& [path, content] : files) {
        const QString full = folder + "/" + path;
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    }
}

FileTree readTree(const QString& folder)
{
    FileTree tree;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(folder).relativeFilePath(info.filePath());
        if (info.isDir())
            tree[relative + "/"] = QByteArray();
        else
            tree[relative] = readFile(info.filePath());
    }
    return tree;
}

QByteArray randomBytes(qsizetype size, unsigned seed)
{
    std::mt19937 generator(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes)
        byte = char(generator() & 0xFF);
    return bytes;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool RecordingZipperDelegate::ended() const
{
    return notices.contains("finish") || notices.contains("cancel") || notices.contains("error");
}

void RecordingZipperDelegate::note(const QString& notice)
{
    notices << notice;
    allOnMainThread = allOnMainThread && mainthread::isMainThread();
}

QString RecordingZipperDelegate::name(const QUrl& url) const
{
    const QString path = url.toLocalFile();
    return below_.isEmpty() ? path : QDir(below_).relativeFilePath(path);
}

} // namespace clipdeck::test
