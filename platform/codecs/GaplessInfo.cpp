#include "platform/codecs/GaplessInfo.h"

extern "C" {
#include <libavutil/crc.h>
}

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace codecs {

namespace {

UInt64 bigEndian(const QByteArray& bytes, int offset, int size)
{
    UInt64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | UInt8(bytes[offset + i]);
    return value;
}

QByteArray bigEndianBytes(UInt64 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xFF);
    return bytes;
}

bool writeAt(QFile& file, qint64 offset, const QByteArray& bytes)
{
    return file.seek(offset) && file.write(bytes) == bytes.size();
}

QByteArray readAt(QFile& file, qint64 offset, qint64 size)
{
    if (!file.seek(offset))
        return {};
    return file.read(size);
}

// One box of an ISO media file: where it starts, its header size and its whole size.
struct Box {
    UInt32 type = 0;
    qint64 offset = 0;
    qint64 headerSize = 0;
    qint64 size = 0;
    qint64 contentOffset() const { return offset + headerSize; }
    qint64 end() const { return offset + size; }
};

std::optional<Box> readBox(QFile& file, qint64 offset, qint64 limit)
{
    const QByteArray header = readAt(file, offset, 16);
    if (header.size() < 8)
        return std::nullopt;
    Box box;
    box.offset = offset;
    box.type = UInt32(bigEndian(header, 4, 4));
    box.size = qint64(bigEndian(header, 0, 4));
    box.headerSize = 8;
    if (box.size == 1) {
        if (header.size() < 16)
            return std::nullopt;
        box.size = qint64(bigEndian(header, 8, 8));
        box.headerSize = 16;
    } else if (box.size == 0) {
        box.size = limit - offset;
    }
    if (box.size < box.headerSize || box.end() > limit)
        return std::nullopt;
    return box;
}

std::optional<Box> findChild(QFile& file, qint64 begin, qint64 end, UInt32 type)
{
    for (qint64 offset = begin; offset + 8 <= end;) {
        const std::optional<Box> box = readBox(file, offset, end);
        if (!box)
            return std::nullopt;
        if (box->type == type)
            return box;
        offset = box->end();
    }
    return std::nullopt;
}

std::optional<Box> findChild(QFile& file, const Box& parent, UInt32 type)
{
    return findChild(file, parent.contentOffset(), parent.end(), type);
}

// The first track whose media handler is 'soun'.
std::optional<Box> findSoundTrack(QFile& file, const Box& moov)
{
    for (qint64 offset = moov.contentOffset(); offset + 8 <= moov.end();) {
        const std::optional<Box> box = readBox(file, offset, moov.end());
        if (!box)
            return std::nullopt;
        if (box->type == FourCC("trak")) {
            const std::optional<Box> mdia = findChild(file, *box, FourCC("mdia"));
            const std::optional<Box> hdlr = mdia ? findChild(file, *mdia, FourCC("hdlr")) : std::nullopt;
            if (hdlr && bigEndian(readAt(file, hdlr->contentOffset() + 8, 4), 0, 4) == FourCC("soun"))
                return box;
        }
        offset = box->end();
    }
    return std::nullopt;
}

// Version byte and where a full box's fields start.
struct FullBox {
    int version = 0;
    qint64 fields = 0;
};

FullBox fullBox(QFile& file, const Box& box)
{
    const QByteArray versionFlags = readAt(file, box.contentOffset(), 4);
    return {versionFlags.isEmpty() ? -1 : int(UInt8(versionFlags[0])), box.contentOffset() + 4};
}

bool fits(UInt64 value, int version) { return version == 1 || value <= 0xFFFFFFFFull; }

} // namespace

QByteArray formatITunSMPB(const AudioFilePacketTableInfo& table)
{
    char text[128];
    int length = std::snprintf(text, sizeof text, " %08X %08X %08X %016llX", 0u, UInt32(table.mPrimingFrames),
                               UInt32(table.mRemainderFrames), static_cast<unsigned long long>(table.mNumberValidFrames));
    for (int i = 0; i < 8; ++i)
        length += std::snprintf(text + length, sizeof text - size_t(length), " %08X", 0u);
    return QByteArray(text, length);
}

bool parseITunSMPB(const QByteArray& text, AudioFilePacketTableInfo* table)
{
    const QList<QByteArray> fields = text.simplified().split(' ');
    if (fields.size() < 4)
        return false;
    bool okPriming = false, okRemainder = false, okValid = false;
    const UInt32 priming = fields[1].toUInt(&okPriming, 16);
    const UInt32 remainder = fields[2].toUInt(&okRemainder, 16);
    const qulonglong valid = fields[3].toULongLong(&okValid, 16);
    if (!okPriming || !okRemainder || !okValid || priming > 0x7FFFFFFF || remainder > 0x7FFFFFFF)
        return false;
    table->mPrimingFrames = SInt32(priming);
    table->mRemainderFrames = SInt32(remainder);
    table->mNumberValidFrames = SInt64(valid);
    return true;
}

namespace {

// The offset of the CAF packet table chunk's content, or -1.
qint64 findCAFPacketTable(QFile& file)
{
    const QByteArray header = readAt(file, 0, 8);
    if (header.size() < 8 || !header.startsWith("caff"))
        return -1;
    const qint64 fileSize = file.size();
    for (qint64 offset = 8; offset + 12 <= fileSize;) {
        const QByteArray chunk = readAt(file, offset, 12);
        if (chunk.size() < 12)
            return -1;
        const SInt64 size = SInt64(bigEndian(chunk, 4, 8));
        if (chunk.startsWith("pakt"))
            return size >= 24 ? offset + 12 : -1;
        if (size < 0 || offset + 12 + size > fileSize) // a data chunk of unknown size runs to the end
            return -1;
        offset += 12 + size;
    }
    return -1;
}

} // namespace

bool readCAFPacketTable(const QString& path, AudioFilePacketTableInfo* table, SInt64* packets)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 content = findCAFPacketTable(file);
    if (content < 0)
        return false;
    const QByteArray bytes = readAt(file, content, 24);
    if (bytes.size() < 24)
        return false;
    if (packets)
        *packets = SInt64(bigEndian(bytes, 0, 8));
    table->mNumberValidFrames = SInt64(bigEndian(bytes, 8, 8));
    table->mPrimingFrames = SInt32(bigEndian(bytes, 16, 4));
    table->mRemainderFrames = SInt32(bigEndian(bytes, 20, 4));
    return true;
}

OSStatus patchCAFPacketTable(const QString& path, const AudioFilePacketTableInfo& table)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return kAudioFilePermissionsError;
    const qint64 content = findCAFPacketTable(file);
    if (content < 0)
        return kAudioFileUnsupportedPropertyError;
    const QByteArray bytes = bigEndianBytes(UInt64(table.mNumberValidFrames), 8) +
                             bigEndianBytes(UInt32(table.mPrimingFrames), 4) +
                             bigEndianBytes(UInt32(table.mRemainderFrames), 4);
    return writeAt(file, content + 8, bytes) ? noErr : kAudioFileInvalidFileError;
}

OSStatus patchMPEG4EditList(const QString& path, const AudioFilePacketTableInfo& table, Float64 sampleRate)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return kAudioFilePermissionsError;
    const std::optional<Box> moov = findChild(file, 0, file.size(), FourCC("moov"));
    const std::optional<Box> mvhd = moov ? findChild(file, *moov, FourCC("mvhd")) : std::nullopt;
    const std::optional<Box> trak = moov ? findSoundTrack(file, *moov) : std::nullopt;
    const std::optional<Box> tkhd = trak ? findChild(file, *trak, FourCC("tkhd")) : std::nullopt;
    const std::optional<Box> edts = trak ? findChild(file, *trak, FourCC("edts")) : std::nullopt;
    const std::optional<Box> elst = edts ? findChild(file, *edts, FourCC("elst")) : std::nullopt;
    const std::optional<Box> mdia = trak ? findChild(file, *trak, FourCC("mdia")) : std::nullopt;
    const std::optional<Box> mdhd = mdia ? findChild(file, *mdia, FourCC("mdhd")) : std::nullopt;
    if (!mvhd || !tkhd || !elst || !mdhd || sampleRate <= 0)
        return kAudioFileInvalidFileError;

    const FullBox media = fullBox(file, *mdhd);
    const qint64 mediaTimeScaleOffset = media.fields + (media.version == 1 ? 16 : 8);
    const UInt32 timeScale = UInt32(bigEndian(readAt(file, mediaTimeScaleOffset, 4), 0, 4));
    if (timeScale == 0)
        return kAudioFileInvalidFileError;
    auto toMedia = [&](SInt64 frames) { return UInt64(std::llround(double(frames) * timeScale / sampleRate)); };
    const UInt64 duration = toMedia(table.mNumberValidFrames);
    const UInt64 mediaTime = toMedia(table.mPrimingFrames);

    const FullBox movie = fullBox(file, *mvhd);
    const FullBox track = fullBox(file, *tkhd);
    const FullBox edits = fullBox(file, *elst);
    if (!fits(duration, movie.version) || !fits(duration, track.version) || !fits(duration, edits.version) ||
        mediaTime > 0x7FFFFFFF)
        return kAudioFileInvalidFileError;
    if (bigEndian(readAt(file, edits.fields, 4), 0, 4) != 1)
        return kAudioFileInvalidFileError;

    const int movieWidth = movie.version == 1 ? 8 : 4;
    const int trackWidth = track.version == 1 ? 8 : 4;
    const int editWidth = edits.version == 1 ? 8 : 4;
    const qint64 movieTimeScale = movie.fields + 2 * movieWidth;
    const qint64 trackDuration = track.fields + 2 * trackWidth + 8;
    const qint64 firstEdit = edits.fields + 4;
    const bool written =
        writeAt(file, movieTimeScale, bigEndianBytes(timeScale, 4) + bigEndianBytes(duration, movieWidth)) &&
        writeAt(file, trackDuration, bigEndianBytes(duration, trackWidth)) &&
        writeAt(file, firstEdit, bigEndianBytes(duration, editWidth) + bigEndianBytes(mediaTime, editWidth));
    return written ? noErr : kAudioFileInvalidFileError;
}

OSStatus patchMP3EncoderDelay(const QString& path, const AudioFilePacketTableInfo& table)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return kAudioFilePermissionsError;
    qint64 frameStart = 0;
    const QByteArray id3 = readAt(file, 0, 10);
    if (id3.size() == 10 && id3.startsWith("ID3")) {
        const qint64 size = (qint64(id3[6] & 0x7F) << 21) | (qint64(id3[7] & 0x7F) << 14) |
                            (qint64(id3[8] & 0x7F) << 7) | qint64(id3[9] & 0x7F);
        frameStart = 10 + size + ((id3[5] & 0x10) ? 10 : 0);
    }
    QByteArray frame = readAt(file, frameStart, 192);
    if (frame.size() < 192 || UInt8(frame[0]) != 0xFF || (UInt8(frame[1]) & 0xE0) != 0xE0)
        return kAudioFileInvalidFileError;
    const bool mpeg1 = (UInt8(frame[1]) & 0x18) == 0x18;
    const bool mono = (UInt8(frame[3]) & 0xC0) == 0xC0;
    const int sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const int tag = 4 + sideInfo;
    const QByteArray name = frame.mid(tag, 4);
    if (name != "Xing" && name != "Info")
        return kAudioFileInvalidFileError;
    if (tag + 156 > frame.size())
        return kAudioFileInvalidFileError;
    const UInt32 delay = UInt32(std::clamp<SInt64>(SInt64(table.mPrimingFrames) - kMP3DecoderDelay, 0, 4095));
    const UInt32 padding = UInt32(std::clamp<SInt64>(SInt64(table.mRemainderFrames) + kMP3DecoderDelay, 0, 4095));
    const QByteArray delayBytes = bigEndianBytes((UInt64(delay) << 12) | padding, 3);
    frame.replace(tag + 141, 3, delayBytes);
    // The tag's checksum covers the first 190 bytes of the frame.
    const UInt16 crc = UInt16(av_crc(av_crc_get_table(AV_CRC_16_ANSI_LE), 0,
                                     reinterpret_cast<const uint8_t*>(frame.constData()), 190));
    const bool written = writeAt(file, frameStart + tag + 141, delayBytes) &&
                         writeAt(file, frameStart + tag + 154, bigEndianBytes(crc, 2));
    return written ? noErr : kAudioFileInvalidFileError;
}

OSStatus patchITunSMPBText(const QString& path, const AudioFilePacketTableInfo& table)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return kAudioFilePermissionsError;
    const QByteArray head = readAt(file, 0, 64 * 1024);
    const QByteArray key("iTunSMPB", 9); // with its terminator
    const qsizetype at = head.indexOf(key);
    const QByteArray text = formatITunSMPB(table);
    if (at < 0 || at + key.size() + text.size() > head.size())
        return kAudioFileUnsupportedPropertyError;
    return writeAt(file, at + key.size(), text) ? noErr : kAudioFileInvalidFileError;
}

} // namespace codecs
