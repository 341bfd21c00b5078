#pragma once
// What this machine can read, in place of the audio file services' list of every readable
// extension: the file name extensions of the sound-file reader's demuxers (FFmpeg's), as
// the demuxers declare them or, for demuxers that know their files by content alone, as the
// muxer of the same format names them. Demuxers of still pictures are left out: they never
// carry sound. Any thread; the list is built once.

#include <QStringList>

namespace ReadableFileTypes {

// Lower case, each once, in the order the demuxers are listed. Empty when the reader
// lists nothing.
const QStringList& allExtensions();

} // namespace ReadableFileTypes
