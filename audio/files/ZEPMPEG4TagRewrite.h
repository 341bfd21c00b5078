#pragma once
// The rewrite of a finished MPEG-4 audio file (M4A, M4B) with iTunes-style tags ("title",
// "artist", "album", "genre", "copyright", "comments", "encoder", "year") and the encoder's
// gapless values ("iTunSMPB") in the movie's user data. ZEPAudioFileWriter calls it once,
// after closing such a file, when it has tags to write.
//
// Not built yet: the rewrite stands on the ISO media file library, which is being written
// at the same time. Until it is wired in, this function does nothing and answers 0, so the
// file keeps its audio and its gapless values (the writer also stores those in the file's
// edit list) without tags. Once built it must leave the untagged file as it was whenever
// the rewrite fails.

#include "platform/codecs/AudioCodecTypes.h"

#include <QString>
#include <QVariantMap>

// packetTable: the valid, priming and remainder frames to record, or null for none.
OSStatus ZEPRewriteMPEG4Tags(const QString& path, const QVariantMap& tags, const AudioFilePacketTableInfo* packetTable);
