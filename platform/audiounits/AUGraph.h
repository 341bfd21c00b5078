#pragma once
// A small node graph of units, in place of an audio processing graph: nodes made from
// component descriptions, connections from one node's output bus to another's input bus,
// render callbacks on node inputs, and open / initialise / start / stop of the whole.
// Whoever pulls the graph renders its head (an output node) directly; the graph itself is
// not on the render path.
//
// Life: nodes can be added to a closed graph; open() makes their units (a node added to an
// open graph gets its unit at once); initialize() opens when needed and initialises every
// unit; start() needs an initialised graph with an output node ('auou') and starts the
// output units; stop() stops them; close() uninitialises and frees the units.
//
// Connections and callbacks reach the units at once when the graph is open (else at
// open()); the units publish them so a render in progress is never disturbed
// (AudioUnit.h), so update() has nothing left to do and only reports that.
//
// Threads: one control thread (normally the main thread) makes every call.

#include "platform/audiounits/AudioUnitTypes.h"

#include <memory>
#include <vector>

using AUNode = SInt32;

class AUGraph {
public:
    AUGraph();
    ~AUGraph();
    AUGraph(const AUGraph&) = delete;
    AUGraph& operator=(const AUGraph&) = delete;

    OSStatus addNode(const AudioComponentDescription& description, AUNode* outNode);
    // Drops the node's connections (both ways) and frees its unit.
    OSStatus removeNode(AUNode node);
    UInt32 nodeCount() const { return UInt32(mNodes.size()); }
    OSStatus getIndNode(UInt32 index, AUNode* outNode) const;
    // Either out pointer may be null; the unit is null while the graph is closed.
    OSStatus nodeInfo(AUNode node, AudioComponentDescription* outDescription, AudioUnit** outUnit) const;

    OSStatus open();
    OSStatus close();
    bool isOpen() const { return mOpen; }
    OSStatus initialize();
    OSStatus uninitialize();
    bool isInitialized() const { return mInitialized; }
    OSStatus start();
    OSStatus stop();
    bool isRunning() const { return mRunning; }

    OSStatus connectNodeInput(AUNode source, UInt32 sourceOutput, AUNode destination, UInt32 destinationInput);
    OSStatus disconnectNodeInput(AUNode destination, UInt32 destinationInput);
    OSStatus setNodeInputCallback(AUNode destination, UInt32 destinationInput, const AURenderCallbackStruct& callback);
    OSStatus clearConnections();
    // Changes are in effect already; *outIsUpdated (when given) is set to true.
    OSStatus update(bool* outIsUpdated);

private:
    struct Node {
        AUNode id;
        AudioComponentDescription description;
        std::unique_ptr<AudioUnit> unit;
    };
    // What feeds one input of one node: another node's output bus, or a callback.
    struct Interaction {
        AUNode destination;
        UInt32 destinationInput;
        AUNode source; // 0 for a callback
        UInt32 sourceOutput;
        AURenderCallbackStruct callback;
    };

    Node* findNode(AUNode id);
    const Node* findNode(AUNode id) const;
    OSStatus apply(const Interaction& interaction);
    OSStatus detach(const Interaction& interaction);
    OSStatus addInteraction(const Interaction& interaction);

    std::vector<Node> mNodes;
    std::vector<Interaction> mInteractions;
    AUNode mNextNode = 1;
    bool mOpen = false;
    bool mInitialized = false;
    bool mRunning = false;
};
