// Fuzz target: any bytes as an archive for the unzipper. Whatever they hold, unpacking must
// not crash and must write nothing outside the folder it unpacks into.
// Built with libFuzzer by build-fuzzer.sh; the corpus replay (tests/support/FuzzCorpusReplayMain.cpp)
// runs the same function over the checked-in corpus in the ordinary build.
#include "clipdeck/ZEPUnzipper.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cstdlib>

namespace {

// One folder for the whole run: "run/archive.zip" and "run/out/target" inside it.
const QString& sandbox()
{
    static const QString path = [] {
        QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/unzip-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        std::atexit([] { QDir(sandbox()).removeRecursively(); });
        return QString::fromLocal8Bit(pattern);
    }();
    return path;
}

// Traps when anything but the archive and the target's contents exists in the sandbox.
void checkNothingOutside(const QString& root)
{
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = QDir(root).relativeFilePath(it.next());
        if (relative != "run" && relative != "run/archive.zip" && relative != "run/out" && relative != "run/out/target"
            && !relative.startsWith("run/out/target/"))
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 14))
        return 0;
    static int argc = 1;
    static char name[] = "unzip-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    (void)application;

    const QString run = sandbox() + "/run";
    QDir(run).removeRecursively();
    QDir().mkpath(run + "/out");
    {
        QFile archive(run + "/archive.zip");
        if (!archive.open(QIODevice::WriteOnly))
            std::abort();
        archive.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    {
        ZEPUnzipper unzipper(QUrl::fromLocalFile(run + "/archive.zip"));
        unzipper.setOutputURL(QUrl::fromLocalFile(run + "/out/target"));
        unzipper.start();
        unzipper.waitUntilComplete();
        unzipper.progress();
    }
    QCoreApplication::processEvents(); // the notices of a zipper that went
    checkNothingOutside(sandbox());
    return 0;
}
