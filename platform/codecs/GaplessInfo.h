#pragma once
// Where each container keeps the priming and remainder frames of its audio, read and
// patched in place after FFmpeg has written the file: the packet table chunk of a CAF
// file, the edit list of an MPEG-4 or QuickTime movie (with the movie's time scale set to
// the audio's, so the length is exact to the frame), the encoder delay and padding of an
// MP3 file's LAME tag, and the "iTunSMPB" text of an ADTS file's ID3 tag.
// Private to platform/codecs; any thread, one file at a time.

#include "platform/codecs/AudioCodecTypes.h"

#include <QByteArray>
#include <QString>

namespace codecs {

// The decoder delay every MP3 decoder adds, which the LAME tag leaves out of its delay.
constexpr SInt32 kMP3DecoderDelay = 529;

// " 00000000 PPPPPPPP RRRRRRRR VVVVVVVVVVVVVVVV" and eight " 00000000": 116 characters.
QByteArray formatITunSMPB(const AudioFilePacketTableInfo& table);
// The table of an "iTunSMPB" text; false when it does not parse.
bool parseITunSMPB(const QByteArray& text, AudioFilePacketTableInfo* table);

// The packet table chunk of a CAF file; false when the file has none.
bool readCAFPacketTable(const QString& path, AudioFilePacketTableInfo* table, SInt64* packets = nullptr);
OSStatus patchCAFPacketTable(const QString& path, const AudioFilePacketTableInfo& table);

// Sets the movie's time scale to the first sound track's media time scale and its edit
// list to one edit of the valid frames starting at the priming frames.
OSStatus patchMPEG4EditList(const QString& path, const AudioFilePacketTableInfo& table, Float64 sampleRate);

// Sets the delay and padding of the LAME tag of the first frame (and its CRC).
OSStatus patchMP3EncoderDelay(const QString& path, const AudioFilePacketTableInfo& table);

// Overwrites the placeholder text that follows "iTunSMPB" in the file's ID3 tag.
OSStatus patchITunSMPBText(const QString& path, const AudioFilePacketTableInfo& table);

} // namespace codecs
