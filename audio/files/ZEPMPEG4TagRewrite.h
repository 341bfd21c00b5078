#pragma once
// The rewrite of a finished MPEG-4 audio file (M4A, M4B) with iTunes-style tags ("title",
// "artist", "album", "genre", "copyright", "comments", "encoder", "year") and the encoder's
// gapless values ("iTunSMPB") in the movie's user data, through the ISO media library.
// ZEPAudioFileWriter calls it once, after closing such a file, when it has tags to write.
// The file is rewritten in place through a temporary file: when the rewrite fails it is
// left as it was, untagged, and the library's status is returned.

#include "platform/codecs/AudioCodecTypes.h"

#include <QString>
#include <QVariantMap>

// packetTable: the valid, priming and remainder frames to record, or null for none.
OSStatus ZEPRewriteMPEG4Tags(const QString& path, const QVariantMap& tags, const AudioFilePacketTableInfo* packetTable);
