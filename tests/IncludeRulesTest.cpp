// The layering of the source tree, checked on every file: a folder includes nothing from a
// folder above it (platform <- audio/engine <- audio/files <- audio/editor <- clipdeck <-
// remote, effects, editor <- app; the libraries that stand alone, hudkit on platform and
// isomedia on nothing, may be used from any folder above platform/, isomedia from platform/
// too), and
// the headers of outside libraries appear only under platform/ (zlib, minizip and libb64
// also from clipdeck/ up). Tests, benchmarks and tools are free of both rules. A new top-level
// folder must be given its place below before any of its files can pass.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <gtest/gtest.h>

#include <optional>

namespace {

// The place of a folder in the order: a file may include folders of its own level or lower.
// hudkit and isomedia stand apart: only the folders they name.
struct Layer {
    const char* prefix; // a folder, or a folder prefix ending in '/'
    int level;
};
const Layer kLayers[] = {
    {"platform/", 0}, {"platform", 0},         {"audio/engine", 1}, {"audio/files", 2}, {"audio/editor", 3},
    {"clipdeck", 4},  {"remote", 5},           {"effects", 5},      {"editor", 5},      {"app", 6},
    {"hudkit", -1},   {"isomedia", -2},
};
constexpr int kSystemLevel = 4; // zlib, minizip and libb64 from clipdeck/ up

// Folders no rule applies to: not part of the program.
const QStringList kExempt{"tests", "bench", "tools", "build", "cmake", "scripts", "resources", "docs", ".git", ".ci"};

// Outside libraries by the beginning of their include paths.
const QStringList kPlatformOnly{"rtaudio/", "RtAudio.h", "rtmidi/", "RtMidi.h", "libavformat/", "libavcodec/",
                                "libavutil/", "libswresample/", "libswscale/", "lilv/", "lv2/", "lv2.h", "serd/",
                                "sord/", "sratom/", "jack/", "avahi-", "plist/", "samplerate.h", "xkbcommon/",
                                "alsa/", "asoundlib.h", "dbus/"};
const QStringList kSystemLibraries{"zlib.h", "zconf.h", "minizip/", "unzip.h", "zip.h", "b64/"};
const QStringList kTestOnly{"gtest/", "gmock/", "benchmark/"};

bool startsWithAny(const QString& path, const QStringList& prefixes)
{
    for (const QString& prefix : prefixes) {
        if (path.startsWith(prefix))
            return true;
    }
    return false;
}

// The layer of a file or include path ("audio/editor/X.h"); nothing when no layer holds it.
std::optional<Layer> layerOf(const QString& path)
{
    std::optional<Layer> best;
    for (const Layer& layer : kLayers) {
        const QString prefix = QString::fromLatin1(layer.prefix);
        const bool inside = prefix.endsWith('/') ? path.startsWith(prefix) : path.startsWith(prefix + '/');
        if (inside && (!best || prefix.size() > qsizetype(qstrlen(best->prefix))))
            best = layer;
    }
    return best;
}

// Why file (a path from the root) may not include what it does: an empty answer is fine.
// quoted: "..." includes, else <...>.
QString brokenRule(const QString& file, const QString& include, bool quoted)
{
    const std::optional<Layer> from = layerOf(file);
    if (!from)
        return QStringLiteral("%1 lies in no layer: give its folder a place in IncludeRulesTest").arg(file);
    if (include.contains(QLatin1String("../")))
        return QStringLiteral("includes \"%1\" by a relative path; include from the root").arg(include);
    if (!quoted) {
        if (startsWithAny(include, kTestOnly))
            return QStringLiteral("includes <%1>, which only tests and benchmarks may use").arg(include);
        if (startsWithAny(include, kPlatformOnly) && from->level != 0)
            return QStringLiteral("includes <%1>, an outside library's header: only platform/ may").arg(include);
        if (startsWithAny(include, kSystemLibraries) && from->level < kSystemLevel && from->level != 0)
            return QStringLiteral("includes <%1>: zlib, minizip and libb64 are for clipdeck/ and above").arg(include);
        return {};
    }
    const std::optional<Layer> to = layerOf(include);
    if (!to)
        return {}; // a header beside the file
    if (from->level == -2 && to->level != -2)
        return QStringLiteral("includes \"%1\": isomedia stands on nothing of the program").arg(include);
    if (from->level == -1 && to->level != -1 && to->level != 0)
        return QStringLiteral("includes \"%1\": hudkit stands on platform/ alone").arg(include);
    if (from->level == 0 && to->level == -1)
        return QStringLiteral("includes \"%1\": hudkit stands on platform/, not under it").arg(include);
    if (from->level >= 0 && to->level > from->level)
        return QStringLiteral("includes \"%1\", a folder above its own").arg(include);
    return {};
}

QString sourceRoot() { return QString::fromLocal8Bit(CLIPDECK_SOURCE_DIR); }

// Every broken rule of the tree, one line each.
QStringList brokenRules()
{
    static const QRegularExpression includeLine(QStringLiteral(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])"));
    const QDir root(sourceRoot());
    QStringList broken;
    QDirIterator files(root.path(), {"*.h", "*.hpp", "*.cpp", "*.c", "*.cc"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = root.relativeFilePath(files.next());
        if (kExempt.contains(file.section('/', 0, 0)) || file.section('/', 0, 0).startsWith(QLatin1String("build")) ||
            !file.contains('/'))
            continue;
        QFile text(root.filePath(file));
        if (!text.open(QIODevice::ReadOnly))
            continue;
        QTextStream lines(&text);
        for (int number = 1; !lines.atEnd(); ++number) {
            const QRegularExpressionMatch match = includeLine.match(lines.readLine());
            if (!match.hasMatch())
                continue;
            const QString why = brokenRule(file, match.captured(2), match.captured(1) == QLatin1String("\""));
            if (!why.isEmpty())
                broken.append(QStringLiteral("%1:%2 %3").arg(file).arg(number).arg(why));
        }
    }
    return broken;
}

} // namespace

TEST(IncludeRules, holdForEachKindOfInclude)
{
    const struct {
        const char* file;
        const char* include;
        bool quoted;
        bool broken;
    } cases[] = {
        {"audio/engine/ZEPAudioMixer.cpp", "platform/MainThread.h", true, false},
        {"audio/engine/ZEPAudioMixer.cpp", "audio/editor/CKAudioFileEditor.h", true, true},
        {"audio/editor/CKAudioFileEditor.cpp", "audio/engine/ZEPAudioMixer.h", true, false},
        {"clipdeck/CKSound.cpp", "remote/CKRemoteServer.h", true, true},
        {"app/Main.cpp", "editor/CKEditorSheet.h", true, false},
        {"editor/CKEditorSheet.cpp", "effects/CKEffectsPane.h", true, false},
        {"platform/midi/MidiInput.cpp", "platform/runloop/RunLoop.h", true, false},
        {"platform/codecs/AudioFileReader.cpp", "audio/files/ZEPAudioFile.h", true, true},
        {"hudkit/ZEPHUDButton.cpp", "platform/ui/ZEPButton.h", true, false},
        {"hudkit/ZEPHUDButton.cpp", "audio/engine/ZEPAudioMixer.h", true, true},
        {"isomedia/MP4Atom.cpp", "platform/Error.h", true, true},
        {"isomedia/MP4Atom.cpp", "isomedia/MP4Atoms.h", true, false},
        {"audio/files/ZEPMPEG4TagRewrite.cpp", "isomedia/MP4M4ATagWriter.h", true, false},
        {"app/MainWindow.cpp", "hudkit/ZEPHUDPanel.h", true, false},
        {"platform/ui/ZEPButton.cpp", "hudkit/ZEPHUDButton.h", true, true},
        {"audio/engine/ZEPAudioMixer.cpp", "ZEPAudioMixer.h", true, false},
        {"audio/engine/ZEPAudioMixer.cpp", "../files/ZEPAudioFile.h", true, true},
        {"audio/engine/ZEPAudioMixer.cpp", "rtaudio/RtAudio.h", false, true},
        {"platform/devices/AudioDeviceStream.cpp", "rtaudio/RtAudio.h", false, false},
        {"clipdeck/CKArchive.cpp", "lilv/lilv.h", false, true},
        {"clipdeck/CKArchive.cpp", "minizip/zip.h", false, false},
        {"audio/files/ZEPAudioFile.cpp", "zlib.h", false, true},
        {"remote/CKRemoteServer.cpp", "b64/cdecode.h", false, false},
        {"app/Main.cpp", "QApplication", false, false},
        {"audio/engine/CAMutex.cpp", "pthread.h", false, false},
        {"audio/engine/ZEPAudioMixer.cpp", "gtest/gtest.h", false, true},
        {"newfolder/Thing.cpp", "platform/Error.h", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " -> " + c.include);
        EXPECT_EQ(!brokenRule(QString::fromLatin1(c.file), QString::fromLatin1(c.include), c.quoted).isEmpty(),
                  c.broken);
    }
}

TEST(IncludeRules, holdInEveryFileOfTheTree)
{
    ASSERT_TRUE(QDir(sourceRoot()).exists(QStringLiteral("platform")));
    const QStringList broken = brokenRules();
    EXPECT_TRUE(broken.isEmpty()) << broken.join('\n').toStdString();
}
