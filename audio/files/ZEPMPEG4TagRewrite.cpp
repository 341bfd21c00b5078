#include "audio/files/ZEPMPEG4TagRewrite.h"

OSStatus ZEPRewriteMPEG4Tags(const QString&, const QVariantMap&, const AudioFilePacketTableInfo*) { return noErr; }
