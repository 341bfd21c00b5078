// The player's calls into its effect graph.
#include "audio/engine/ZEPAudioPlayer.h"

OSStatus ZEPAudioPlayer::startGraph() { return noErr; }

OSStatus ZEPAudioPlayer::stopGraph() { return noErr; }

OSStatus ZEPAudioPlayer::renderGraph(UInt32*, AudioBufferList* ioData, AudioUnitRenderActionFlags* flags,
                                     const AudioTimeStamp*)
{
    ZEPRenderSilence(ioData, flags);
    return noErr;
}

void ZEPAudioPlayer::setGraphInput(ZEPAudioSource*) {}
