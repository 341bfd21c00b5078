#pragma once
// The rewrite of a finished MPEG-4 audio file (M4A, M4B) with iTunes-style tags ("title",
// "artist", "album", "genre", "copyright", "comments", "encoder", "year") and the encoder's
// gapless values ("iTunSMPB") in the movie's user data, through the ISO media library.
// ZEPAudioFileWriter calls it once, after closing such a file, when it has tags to write.
// The file is rewritten in place through a temporary file: when the rewrite fails it is
// left as it was, untagged, and the library's status is returned.
//
// Only a file the library reads in full is rewritten: one that is cut short, whose atoms'
// sizes do not add up, or whose sample tables point outside its media data is refused (a
// rewrite from a partial reading would write a file that lost audio).

#include "platform/codecs/AudioCodecTypes.h"

#include <QString>
#include <QVariantMap>

// packetTable: the valid, priming and remainder frames to record, or null for none.
// reason, when given, receives a sentence that says why a rewrite failed.
OSStatus ZEPRewriteMPEG4Tags(const QString& path, const QVariantMap& tags, const AudioFilePacketTableInfo* packetTable,
                             QString* reason = nullptr);
