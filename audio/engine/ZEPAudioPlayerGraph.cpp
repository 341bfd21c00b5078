// The player's calls into its effect graph.
#include "audio/engine/ZEPAudioGraph.h"
#include "audio/engine/ZEPAudioPlayer.h"

OSStatus ZEPAudioPlayer::startGraph() { return mEffectsGraph->start(); }

OSStatus ZEPAudioPlayer::stopGraph() { return mEffectsGraph->stop(); }

OSStatus ZEPAudioPlayer::renderGraph(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* flags,
                                     const AudioTimeStamp* timeStamp)
{
    ZEPAudioGraph* graph = mRenderGraph.load(std::memory_order_acquire);
    if (!graph) {
        ZEPRenderSilence(ioData, flags);
        return noErr;
    }
    return graph->renderFrames(frames, ioData, flags, timeStamp, this);
}

void ZEPAudioPlayer::setGraphInput(ZEPAudioSource* source)
{
    if (mEffectsGraph)
        mEffectsGraph->setInputSource(source);
}
