#include "platform/audiounits/AUGraph.h"

#include "platform/audiounits/AudioComponentRegistry.h"
#include "platform/audiounits/AudioUnit.h"

#include <algorithm>

AUGraph::AUGraph() = default;

AUGraph::~AUGraph() { close(); }

AUGraph::Node* AUGraph::findNode(AUNode id)
{
    for (Node& node : mNodes) {
        if (node.id == id)
            return &node;
    }
    return nullptr;
}

const AUGraph::Node* AUGraph::findNode(AUNode id) const { return const_cast<AUGraph*>(this)->findNode(id); }

OSStatus AUGraph::addNode(const AudioComponentDescription& description, AUNode* outNode)
{
    if (!outNode)
        return kAudio_ParamError;
    if (AudioComponentRegistry::find(description).isEmpty())
        return kAudioComponentErr_NotFound;
    Node node{mNextNode, description, nullptr};
    if (mOpen) {
        OSStatus status = noErr;
        node.unit = AudioComponentRegistry::instantiate(description, &status);
        if (!node.unit)
            return status;
    }
    ++mNextNode;
    *outNode = node.id;
    mNodes.push_back(std::move(node));
    return noErr;
}

OSStatus AUGraph::removeNode(AUNode id)
{
    auto it = std::find_if(mNodes.begin(), mNodes.end(), [&](const Node& node) { return node.id == id; });
    if (it == mNodes.end())
        return kAUGraphErr_NodeNotFound;
    for (auto interaction = mInteractions.begin(); interaction != mInteractions.end();) {
        if (interaction->destination == id || interaction->source == id) {
            detach(*interaction);
            interaction = mInteractions.erase(interaction);
        } else {
            ++interaction;
        }
    }
    if (it->unit) {
        it->unit->stop();
        it->unit->uninitialize();
    }
    mNodes.erase(it);
    return noErr;
}

OSStatus AUGraph::getIndNode(UInt32 index, AUNode* outNode) const
{
    if (!outNode)
        return kAudio_ParamError;
    if (index >= mNodes.size())
        return kAUGraphErr_NodeNotFound;
    *outNode = mNodes[index].id;
    return noErr;
}

OSStatus AUGraph::nodeInfo(AUNode id, AudioComponentDescription* outDescription, AudioUnit** outUnit) const
{
    const Node* node = findNode(id);
    if (!node)
        return kAUGraphErr_NodeNotFound;
    if (outDescription)
        *outDescription = node->description;
    if (outUnit)
        *outUnit = node->unit.get();
    return noErr;
}

OSStatus AUGraph::open()
{
    if (mOpen)
        return noErr;
    for (Node& node : mNodes) {
        OSStatus status = noErr;
        node.unit = AudioComponentRegistry::instantiate(node.description, &status);
        if (!node.unit) {
            for (Node& made : mNodes)
                made.unit.reset();
            return status;
        }
    }
    mOpen = true;
    for (const Interaction& interaction : mInteractions) {
        if (const OSStatus status = apply(interaction)) {
            close();
            return status;
        }
    }
    return noErr;
}

OSStatus AUGraph::close()
{
    if (!mOpen)
        return noErr;
    stop();
    uninitialize();
    // Detach inputs before freeing units, so no unit is left pointing at a freed one.
    for (const Interaction& interaction : mInteractions)
        detach(interaction);
    for (Node& node : mNodes)
        node.unit.reset();
    mOpen = false;
    return noErr;
}

OSStatus AUGraph::initialize()
{
    if (mInitialized)
        return noErr;
    if (const OSStatus status = open())
        return status;
    for (size_t i = 0; i < mNodes.size(); ++i) {
        if (const OSStatus status = mNodes[i].unit->initialize()) {
            for (size_t done = 0; done < i; ++done)
                mNodes[done].unit->uninitialize();
            return status;
        }
    }
    mInitialized = true;
    return noErr;
}

OSStatus AUGraph::uninitialize()
{
    if (!mInitialized)
        return noErr;
    stop();
    for (Node& node : mNodes)
        node.unit->uninitialize();
    mInitialized = false;
    return noErr;
}

OSStatus AUGraph::start()
{
    if (!mInitialized)
        return kAudioUnitErr_Uninitialized;
    bool hasOutput = false;
    for (Node& node : mNodes) {
        if (node.description.componentType != kAudioUnitType_Output)
            continue;
        hasOutput = true;
        if (const OSStatus status = node.unit->start())
            return status;
    }
    if (!hasOutput)
        return kAUGraphErr_OutputNodeErr;
    mRunning = true;
    return noErr;
}

OSStatus AUGraph::stop()
{
    if (!mRunning)
        return noErr;
    for (Node& node : mNodes) {
        if (node.description.componentType == kAudioUnitType_Output)
            node.unit->stop();
    }
    mRunning = false;
    return noErr;
}

OSStatus AUGraph::apply(const Interaction& interaction)
{
    AudioUnit* destination = findNode(interaction.destination)->unit.get();
    if (interaction.source == 0)
        return destination->setRenderCallback(interaction.destinationInput, interaction.callback);
    AudioUnitConnection connection{findNode(interaction.source)->unit.get(), interaction.sourceOutput,
                                   interaction.destinationInput};
    return destination->setInputConnection(connection);
}

OSStatus AUGraph::detach(const Interaction& interaction)
{
    if (!mOpen)
        return noErr;
    return findNode(interaction.destination)
        ->unit->setInputConnection(AudioUnitConnection{nullptr, 0, interaction.destinationInput});
}

OSStatus AUGraph::addInteraction(const Interaction& interaction)
{
    const Node* destination = findNode(interaction.destination);
    if (!destination || (interaction.source != 0 && !findNode(interaction.source)))
        return kAUGraphErr_NodeNotFound;
    if (interaction.source == interaction.destination)
        return kAUGraphErr_InvalidConnection;
    if (mOpen) {
        if (const OSStatus status = apply(interaction))
            return status;
    }
    std::erase_if(mInteractions, [&](const Interaction& existing) {
        return existing.destination == interaction.destination &&
               existing.destinationInput == interaction.destinationInput;
    });
    mInteractions.push_back(interaction);
    return noErr;
}

OSStatus AUGraph::connectNodeInput(AUNode source, UInt32 sourceOutput, AUNode destination, UInt32 destinationInput)
{
    if (source == 0)
        return kAUGraphErr_NodeNotFound;
    return addInteraction(Interaction{destination, destinationInput, source, sourceOutput, {}});
}

OSStatus AUGraph::setNodeInputCallback(AUNode destination, UInt32 destinationInput,
                                       const AURenderCallbackStruct& callback)
{
    if (!callback.inputProc)
        return disconnectNodeInput(destination, destinationInput);
    return addInteraction(Interaction{destination, destinationInput, 0, 0, callback});
}

OSStatus AUGraph::disconnectNodeInput(AUNode destination, UInt32 destinationInput)
{
    if (!findNode(destination))
        return kAUGraphErr_NodeNotFound;
    auto it = std::find_if(mInteractions.begin(), mInteractions.end(), [&](const Interaction& interaction) {
        return interaction.destination == destination && interaction.destinationInput == destinationInput;
    });
    if (it == mInteractions.end())
        return noErr;
    detach(*it);
    mInteractions.erase(it);
    return noErr;
}

OSStatus AUGraph::clearConnections()
{
    for (const Interaction& interaction : mInteractions)
        detach(interaction);
    mInteractions.clear();
    return noErr;
}

OSStatus AUGraph::update(bool* outIsUpdated)
{
    if (outIsUpdated)
        *outIsUpdated = true;
    return noErr;
}
