#pragma once
// Test support of the archive classes: archives written entry by entry, folders written
// and read back as maps, and a delegate that writes down what a zipper tells it.

#include "support/QStringPrinter.h"
#include "clipdeck/ZEPZipperDelegate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <ostream>
#include <vector>


namespace clipdeck::test {

struct ArchiveEntry {
    QString name;
    QByteArray data;
    int32_t level = 0;
};

// A new archive at path holding entries, written through ZipFile.
void writeArchive(const QString& path, const std::vector<ArchiveEntry>& entries);
// The entries' names, in the archive's order.
QStringList entryNames(const QString& archivePath);

using FileTree = std::map<QString, QByteArray>;
// Writes each file (path below folder -> content), making its folders.
void writeFiles(const QString& folder, const FileTree& files);
// Every file below folder (path -> content) and every folder (path + "/" -> empty).
FileTree readTree(const QString& folder);

// The names the unzip tool lists in an archive, sorted; and its unpacking into folder.
QStringList unzipList(const QString& archive);
bool unzipInto(const QString& archive, const QString& folder);

QByteArray randomBytes(qsizetype size, unsigned seed = 1);
QByteArray readFile(const QString& path);

// Writes down each notice as it comes: "begin", "finish", "cancel", "error", and
// "+ name", "- name", "! name" for a file begun, done and failed (name: the file's path
// below `below`, when given). include decides zipperShouldIncludeFile when set.
class RecordingZipperDelegate : public ZEPZipperDelegate {
public:
    explicit RecordingZipperDelegate(QString below = {}) : below_(std::move(below)) {}

    void zipperDidBegin(ZEPZipper*) override { note("begin"); }
    void zipperDidFinish(ZEPZipper*) override { end("finish"); }
    void zipperDidCancel(ZEPZipper*) override { end("cancel"); }
    void zipperDidError(ZEPZipper*) override { end("error"); }
    void zipperDidBeginProcessingURL(ZEPZipper*, const QUrl& url) override { note("+ " + name(url)); }
    void zipperDidFinishProcessingURL(ZEPZipper*, const QUrl& url) override { note("- " + name(url)); }
    void zipperDidErrorProcessingURL(ZEPZipper*, const QUrl& url) override { note("! " + name(url)); }
    bool zipperShouldIncludeFile(ZEPZipper*, const QUrl& url, int32_t* level) override
    {
        return include ? include(name(url), level) : true;
    }

    // True once one of the three ends has come.
    bool ended() const;
    QString last() const { return notices.isEmpty() ? QString() : notices.last(); }

    QStringList notices;
    bool allOnMainThread = true;
    std::function<bool(const QString& name, int32_t* level)> include;
    // Called after an end is written down (an owner may let go of the zipper there).
    std::function<void()> onEnd;

private:
    void note(const QString& notice);
    void end(const QString& notice)
    {
        note(notice);
        if (onEnd)
            onEnd();
    }
    QString name(const QUrl& url) const;
    QString below_;
};

} // namespace clipdeck::test
