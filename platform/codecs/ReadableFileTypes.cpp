#include "platform/codecs/ReadableFileTypes.h"

#include "platform/codecs/FFmpegFormats.h"

namespace ReadableFileTypes {
namespace {

// Still-picture demuxers: the generic one ("image2") and the piped ones ("png_pipe", ...).
bool readsPicturesOnly(const AVInputFormat* format)
{
    const QLatin1String name(format->name);
    return name == QLatin1String("image2") || name.endsWith(QLatin1String("_pipe"));
}

void addExtensions(QStringList& extensions, const char* list)
{
    if (!list)
        return;
    for (const QString& extension : QString::fromLatin1(list).split(',', Qt::SkipEmptyParts)) {
        const QString lower = extension.trimmed().toLower();
        if (!lower.isEmpty() && !extensions.contains(lower))
            extensions.append(lower);
    }
}

QStringList listExtensions()
{
    codecs::initializeLibraries();
    QStringList extensions;
    void* iterator = nullptr;
    while (const AVInputFormat* format = av_demuxer_iterate(&iterator)) {
        if (readsPicturesOnly(format))
            continue;
        addExtensions(extensions, format->extensions);
        // Demuxers that know their files by content (WAVE, AIFF, CAF) name no extensions:
        // those of the muxer of the same format are theirs.
        for (const QString& name : QString::fromLatin1(format->name).split(',', Qt::SkipEmptyParts)) {
            if (const AVOutputFormat* muxer = av_guess_format(name.toLatin1().constData(), nullptr, nullptr);
                muxer && QLatin1String(muxer->name) == name)
                addExtensions(extensions, muxer->extensions);
        }
    }
    return extensions;
}

} // namespace

const QStringList& allExtensions()
{
    static const QStringList extensions = listExtensions();
    return extensions;
}

} // namespace ReadableFileTypes
