#pragma once
// A reference to a sound on the clipboard or in a drag, in place of the platform pasteboard's
// category: the UTF-8 text "<board position> <cell index>" stored under a type the caller
// names; reading it back finds the board through the shell (CKClipdeckHost). Main thread.

#include <QString>

#include <memory>

class QMimeData;
class CKSoundSource;

namespace CKSoundPasteboard {

// Writes the reference of a sound that is on a board (nothing for one that is not).
void setSoundSource(QMimeData& data, const CKSoundSource& sound, const QString& type);
// The sound the reference stands for; null when there is none (or no such board or cell).
std::shared_ptr<CKSoundSource> soundSourceForType(const QMimeData& data, const QString& type);

} // namespace CKSoundPasteboard
