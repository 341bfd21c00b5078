#pragma once
// A chain of effect units hosted in one unit graph, ending in a generic output. The unit
// at the head of the chain (the front node) pulls the graph's input source, any
// ZEPAudioSource, and the graph is itself a ZEPAudioSource: a consumer pulls it and gets
// the input through the effects, so a graph slots into any pull chain (the master output's
// player, the tracks of a ZEPMultiAudioGraph, an export).
//
// The chain is a list of node connections, edited on the control thread (add, connect,
// move, remove). Each edit that changes what is heard ends by publishing an immutable
// snapshot of the chain; the render thread adopts the latest snapshot at the start of its
// next render, so a render never sees half an edit. The snapshot it leaves goes to the
// main thread (allocation-free), where it is freed, the units removed with it are freed,
// and the delegate hears audioGraphUpdated(). While the graph is not running a snapshot is
// adopted at once, without telling the delegate.
//
// The graph saves itself as a list of the effects' class-info dictionaries in chain order,
// each with its bypass under kZEPAudioGraphNodeBypassKey, closed by the dictionary
// {kZEPAudioGraphIsEnabledKey: enabled()}. An effect is found by its "uri" where the
// dictionary has one, else by "type", "subtype" and "manufacturer"; one that cannot be
// made or refuses its settings is left out and named in the '!lod' error.
//
// Threads:
//  - Control thread (one at a time; normally the main thread): everything but the calls
//    below. The graph is made and destroyed there, and destroyed only once nothing
//    renders it any more. Delegate calls and the freeing of retired snapshots come on the
//    main thread's event loop.
//  - Render thread (the consumer's; one render at a time): renderFrames(),
//    getAudioDescription(), maxRequestFrames(), framesAvailable(), isFlushing(). A render
//    allocates nothing, never logs and takes one lock, which it only tries: the control
//    thread holds it while it resets, re-slices or reformats the units (and while it
//    adopts a snapshot of a graph that is not running). A render that finds it held passes
//    its input through unprocessed. The format and the slice size are changed only while
//    no consumer renders the graph (an export's set-up); a reset may come at any time.
//  - preroll() renders too: it runs on the consumer's thread before rendering begins,
//    while nobody edits the chain.
//  - Any thread: setEnabled(), enabled(), setInputSource(), setOutOfData(),
//    setTracksOutOfData() and their getters (atomics).
//
// Ownership: the graph does not own its input source or its delegate; their owner keeps
// them alive while the graph may use them.

#include "audio/engine/ZEPAudioGraphNode.h"
#include "audio/engine/ZEPAudioSource.h"
#include "platform/Error.h"
#include "platform/audiounits/AUGraph.h"

#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class ZEPAudioGraph;
class ZEPRealtimeAudioCopy;

class ZEPAudioGraphDelegate {
public:
    virtual ~ZEPAudioGraphDelegate() = default;
    // On the main thread, queued, after a render adopted edits made while the graph ran.
    virtual void audioGraphUpdated(ZEPAudioGraph* graph) = 0;
};

// The key of the closing dictionary of a saved graph (a bool).
inline const QString kZEPAudioGraphIsEnabledKey = QStringLiteral("ZEPAudioGraphIsEnabled");
// The user-info key of the '!lod' error: the list of element dictionaries that failed.
inline const QString kZEPAudioGraphAudioUnitsFailedToLoadKey = QStringLiteral("ZEPAudioGraphAudioUnitsFailedToLoad");
// The domain of that error.
inline const QString kZEPAudioGraphErrorDomain = QStringLiteral("NSCocoaErrorDomain");

class ZEPAudioGraph : public ZEPAudioSource {
public:
    // Capacity of each buffer of the live copy: 32768 frames of 4 bytes. A render of that
    // size or more is not copied.
    static constexpr UInt32 kRealtimeAudioBufferListSize = 131072;
    // Times a failed stop or node removal is tried before its error is returned.
    static constexpr int kMaxAttempts = 3;

    // The empty chain, stopped and enabled, in the playback format, with slices of up to
    // 32768 frames; null (with the failing status in *outStatus) when it cannot be built.
    static std::unique_ptr<ZEPAudioGraph> create(OSStatus* outStatus = nullptr);
    ~ZEPAudioGraph() override;
    ZEPAudioGraph(const ZEPAudioGraph&) = delete;
    ZEPAudioGraph& operator=(const ZEPAudioGraph&) = delete;

    // YES: render through the effects; NO: the input passes straight through.
    void setEnabled(bool enabled) { mEnabled.store(enabled); }
    bool enabled() const { return mEnabled.load(); }

    OSStatus setAudioDescription(const AudioStreamBasicDescription& description);

    // The live copy of the last render (read on one thread, normally the main thread): the
    // copy stays as it is until the next call. Null until setBuffersRealtimeAudio(true).
    const AudioBufferList* realtimeAudioBufferList();
    void setBuffersRealtimeAudio(bool buffersRealtimeAudio);
    bool buffersRealtimeAudio() const;

    // Attaches the input to the front node and publishes the chain, after checking that
    // the front node's unit exists.
    OSStatus updateCallback();

    // Out of data: the input source ran out. Reported (666) only while tracksOutOfData().
    bool isOutOfData() const { return mOutOfData.load() && mTracksOutOfData.load(); }
    void setOutOfData(bool outOfData) { mOutOfData.store(outOfData); }
    void setTracksOutOfData(bool tracksOutOfData) { mTracksOutOfData.store(tracksOutOfData); }
    bool tracksOutOfData() const { return mTracksOutOfData.load(); }

    // The smallest largest-slice of the chain's nodes (from 0x40000000); 0 for no effects.
    UInt32 internalMaxRequestFrames();

    void setInputSource(ZEPAudioSource* inputSource) { mInputSource.store(inputSource); }
    ZEPAudioSource* inputSource() const { return mInputSource.load(); }
    void setDelegate(ZEPAudioGraphDelegate* delegate) { mDelegate = delegate; }
    ZEPAudioGraphDelegate* delegate() const { return mDelegate; }

    // Stops if running, resets the units, starts, and clears out-of-data.
    OSStatus start();
    // Stops (tried at most kMaxAttempts times); edits still waiting for a render are
    // adopted at once.
    OSStatus stop();
    bool isRunning() const;
    void markDirty() { mContentDirty = true; }

    // Edits.
    // A node object for a new unit described by dictionary ("uri", or "componentType",
    // "componentSubType", "componentManufacturer", or "type", "subtype", "manufacturer"),
    // at the end of the chain, with the dictionary as its class info when it has "data";
    // null when the unit cannot be made.
    std::shared_ptr<ZEPAudioGraphNode> addNodeWithDictionary(const QVariantMap& dictionary);
    // Adds a unit outside the chain; *outNode gets the node (0 on failure).
    OSStatus addNode(AUNode* outNode, UInt32 type, UInt32 subtype, UInt32 manufacturer);
    // Output 0 of source to input 0 of destination (no publication).
    OSStatus connectNode(AUNode source, AUNode toNode);
    OSStatus moveZEPNode(ZEPAudioGraphNode* node, ZEPAudioGraphNode* beforeZEPNode);
    // Moves node (in or out of the chain) directly before another; nothing when it is
    // there already.
    OSStatus moveNode(AUNode node, AUNode beforeNode);
    // Disconnects every input of node (no publication).
    OSStatus removeConnection(AUNode node);
    // Nodes of the graph, the output included; -1 on error.
    SInt32 nodeCount() const;
    OSStatus removeAllNodes();
    // Takes node out of the chain (its neighbours joined) and out of the graph; its unit is
    // freed once no render can use it any more.
    OSStatus removeNode(AUNode node);

    AUNode outputNode() const { return mOutputNode; }
    std::shared_ptr<ZEPAudioGraphNode> outputZEPNode();
    // Node objects in chain order, front first, the output left out (kept until marked dirty).
    std::vector<std::shared_ptr<ZEPAudioGraphNode>> nodes();
    std::vector<std::shared_ptr<ZEPAudioGraphNode>> asArray() { return nodes(); }

    // Saved form.
    QVariantList serializableArray();
    // Replaces the chain with a saved one; false (with a '!lod' error naming the elements
    // that failed) when any effect could not be loaded; the others are loaded in order.
    bool setWithArray(const QVariantList& array, Error* error = nullptr);
    // Takes only the enabled flag of a saved list.
    void updateEnabledStateWithArray(const QVariantList& array);

    // The class of node objects (ZEPAudioGraphNode unless set).
    ZEPAudioGraphNodeClass graphNodeClass();
    void setGraphNodeClass(ZEPAudioGraphNodeClass nodeClass) { mGraphNodeClass = std::move(nodeClass); }

    // Clears the units' render state (delay lines and the like).
    OSStatus reset();
    // Renders and drops as many frames as the chain's latency: call after start() and
    // before an offline render, so that its output lines up with its input.
    void preroll();

    // The producer contract.
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override;
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;
    // Largest slice asked of the units (32768 at first).
    OSStatus setMaxRequestFrames(UInt32 maxRequestFrames) override;
    UInt32 maxRequestFrames() override { return mMaxRenderSlice.load(); }
    SInt64 framesAvailable() override { return 512; }
    bool isFlushing() override { return false; }
    void flush() override {}

private:
    struct Chain;
    struct NodeSlot;

    ZEPAudioGraph();
    OSStatus build();
    OSStatus addUnitNode(const AudioComponentDescription& description, AUNode* outNode);

    // Model of the chain (control thread).
    AUNode upstreamOf(AUNode node) const;
    AUNode downstreamOf(AUNode node) const;
    bool hasNode(AUNode node) const;
    std::vector<AUNode> chainOrder() const; // output last
    // Publishes the chain as it stands now (or later, while a batch of edits is open).
    OSStatus commit();
    // Adopts the pending snapshot at once with the render lock held.
    OSStatus adoptNow();
    OSStatus freeRemovedNodes();
    void freeRetiredChains();
    static void chainsAdopted(void* context, intptr_t graphId);
    void didAdoptChains();
    OSStatus removeFromGraph(AUNode node);
    bool componentDescriptionFor(const QVariantMap& dictionary, AudioComponentDescription* description) const;
    bool loadElement(const QVariantMap& element);

    // Render side.
    static OSStatus stageInputCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                       const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                       AudioBufferList* ioData);
    OSStatus renderStageInput(AUNode node, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                              UInt32 frames, AudioBufferList* ioData);
    OSStatus renderInput(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 frames,
                         AudioBufferList* ioData);
    // With mRenderMutex held: makes the pending snapshot current (the one it replaces goes
    // to mRetiredChains) and, when announce, tells the main thread.
    void takePendingChain(bool announce);

    UInt64 mId;
    std::unique_ptr<AUGraph> mGraph;
    AUNode mOutputNode = 0;
    AudioUnit* mOutputUnit = nullptr;
    AUNode mFrontNode = 0;
    AUNode mInputNode = 0; // the node the input is attached to (the front, once updated)
    std::map<AUNode, AUNode> mUpstream; // destination -> source
    std::map<AUNode, std::unique_ptr<NodeSlot>> mSlots;
    std::vector<std::pair<AUNode, UInt64>> mNodesAwaitingRemoval; // node, snapshot without it
    AudioStreamBasicDescription mAudioDescription;
    std::atomic<UInt32> mBytesPerFrame{4};
    std::atomic<UInt32> mMaxRenderSlice{0};
    bool mContentDirty = true;
    std::vector<std::shared_ptr<ZEPAudioGraphNode>> mContentArray;
    int mBatchDepth = 0;
    bool mCommitWanted = false;
    bool mPendingGraphUpdate = false;
    ZEPAudioGraphDelegate* mDelegate = nullptr;
    ZEPAudioGraphNodeClass mGraphNodeClass;
    std::atomic<bool> mEnabled{true};
    std::atomic<bool> mOutOfData{false};
    std::atomic<bool> mTracksOutOfData{true};
    std::atomic<bool> mBuffersRealtimeAudio{false};
    std::unique_ptr<ZEPRealtimeAudioCopy> mRealtimeCopyOwner;
    std::atomic<ZEPRealtimeAudioCopy*> mRealtimeCopy{nullptr};
    std::atomic<ZEPAudioSource*> mInputSource{nullptr};

    // Snapshots. mPendingChain passes from the control thread to the render thread, and
    // mRetiredChains (a stack the main thread takes whole) back; mCurrentChain and
    // mAnnouncementPending belong to whoever holds mRenderMutex.
    std::mutex mRenderMutex;
    std::atomic<Chain*> mPendingChain{nullptr};
    std::atomic<Chain*> mRetiredChains{nullptr};
    Chain* mCurrentChain = nullptr;
    bool mAnnouncementPending = false;
    UInt64 mPublishedGeneration = 0;
    std::atomic<UInt64> mAdoptedGeneration{0};
    AudioBufferList* mPullingBufferList = nullptr;
};
