#include "audio/engine/ZEPAudioGraph.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPAudioUnitUtils.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/engine/ZEPRealtimeAudioCopy.h"
#include "platform/MainThread.h"
#include "platform/plugins/LV2EffectUnit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

// An immutable snapshot of the chain: what one render pulls, front first, output last.
struct ZEPAudioGraph::Chain {
    UInt64 graphId = 0;
    UInt64 generation = 0;
    std::vector<AUNode> nodes;
    std::vector<AudioUnit*> units;
    bool frontPullsInput = false; // the first node carries the graph's input
    Chain* next = nullptr;        // in the retired stack
};

// The refCon of a node's input callback.
struct ZEPAudioGraph::NodeSlot {
    ZEPAudioGraph* graph;
    AUNode node;
    bool removed = false; // out of the chain, waiting until no render can use it
};

namespace {

constexpr UInt32 kPullingBuffers = 4;
constexpr UInt32 kPrerollSlice = 512;
constexpr UInt32 kDefaultMaxRequestFrames = 32768;

const AudioComponentDescription kGenericOutput{kAudioUnitType_Output, kAudioUnitSubType_GenericOutput,
                                               kAudioUnitManufacturer_System, 0, 0};

// The graphs alive, by id, so that calls queued for the main thread never reach a graph
// that is gone.
std::mutex gLiveGraphsMutex;
std::unordered_map<UInt64, ZEPAudioGraph*>& liveGraphs()
{
    static std::unordered_map<UInt64, ZEPAudioGraph*> graphs;
    return graphs;
}
std::atomic<UInt64> gNextGraphId{1};

template <typename ChainT>
void freeChainList(ChainT* chain)
{
    while (chain) {
        delete std::exchange(chain, chain->next);
    }
}

// Zeroes each buffer of list from its byte size up to bytes and sets its size to bytes.
void fillUpTo(AudioBufferList* list, UInt32 bytes)
{
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        AudioBuffer& buffer = list->mBuffers[i];
        if (buffer.mData && buffer.mDataByteSize < bytes)
            std::memset(static_cast<UInt8*>(buffer.mData) + buffer.mDataByteSize, 0, bytes - buffer.mDataByteSize);
        buffer.mDataByteSize = bytes;
    }
}

UInt32 codeOf(const QVariantMap& dictionary, const QString& key)
{
    return UInt32(dictionary.value(key).toLongLong());
}

// Closes a batch of edits: the chain is published once, when the outermost batch ends.
class EditBatch {
public:
    EditBatch(int& depth, bool& commitWanted, std::function<void()> commit)
        : mDepth(depth), mCommitWanted(commitWanted), mCommit(std::move(commit))
    {
        ++mDepth;
    }
    ~EditBatch()
    {
        if (--mDepth == 0 && std::exchange(mCommitWanted, false))
            mCommit();
    }

private:
    int& mDepth;
    bool& mCommitWanted;
    std::function<void()> mCommit;
};

} // namespace

ZEPAudioGraph::ZEPAudioGraph() : mId(gNextGraphId.fetch_add(1)), mAudioDescription(ZEPPlaybackFormat())
{
    std::lock_guard lock(gLiveGraphsMutex);
    liveGraphs()[mId] = this;
}

std::unique_ptr<ZEPAudioGraph> ZEPAudioGraph::create(OSStatus* outStatus)
{
    std::unique_ptr<ZEPAudioGraph> graph(new ZEPAudioGraph());
    const OSStatus status = graph->build();
    if (outStatus)
        *outStatus = status;
    return status == noErr ? std::move(graph) : nullptr;
}

OSStatus ZEPAudioGraph::build()
{
    mPullingBufferList = ZEPCreateEmptyAudioBufferList(kPullingBuffers);
    if (!mPullingBufferList)
        return kAudio_MemFullError;
    mGraph = std::make_unique<AUGraph>();
    if (const OSStatus status = mGraph->addNode(kGenericOutput, &mOutputNode))
        return status;
    if (const OSStatus status = mGraph->open())
        return status;
    if (const OSStatus status = mGraph->initialize())
        return status;
    mGraph->nodeInfo(mOutputNode, nullptr, &mOutputUnit);
    if (!mOutputUnit)
        return kAUGraphErr_InvalidAudioUnit;
    auto slot = std::make_unique<NodeSlot>(NodeSlot{this, mOutputNode});
    if (const OSStatus status = mGraph->setNodeInputCallback(mOutputNode, 0, {&stageInputCallback, slot.get()}))
        return status;
    mSlots[mOutputNode] = std::move(slot);
    mFrontNode = mOutputNode;
    if (const OSStatus status = setMaxRequestFrames(kDefaultMaxRequestFrames))
        return status;
    if (const OSStatus status = mOutputUnit->getStreamFormat(kAudioUnitScope_Output, 0, &mAudioDescription))
        return status;
    mBytesPerFrame.store(mAudioDescription.mBytesPerFrame);
    if (const OSStatus status = updateCallback())
        return status;
    setOutOfData(false);
    setTracksOutOfData(true);
    mEnabled.store(true);
    return noErr;
}

ZEPAudioGraph::~ZEPAudioGraph()
{
    {
        std::lock_guard lock(gLiveGraphsMutex);
        liveGraphs().erase(mId);
    }
    freeChainList(mPendingChain.exchange(nullptr));
    freeChainList(mRetiredChains.exchange(nullptr));
    freeChainList(mCurrentChain);
    mGraph.reset(); // stops, uninitialises and frees every unit
    ZEPFreeEmptyAudioBufferList(mPullingBufferList);
}

// Model of the chain -------------------------------------------------------------------

bool ZEPAudioGraph::hasNode(AUNode node) const
{
    const auto it = mSlots.find(node);
    return it != mSlots.end() && !it->second->removed;
}

AUNode ZEPAudioGraph::upstreamOf(AUNode node) const
{
    const auto it = mUpstream.find(node);
    return it == mUpstream.end() ? 0 : it->second;
}

AUNode ZEPAudioGraph::downstreamOf(AUNode node) const
{
    for (const auto& [destination, source] : mUpstream) {
        if (source == node)
            return destination;
    }
    return 0;
}

std::vector<AUNode> ZEPAudioGraph::chainOrder() const
{
    std::vector<AUNode> order{mOutputNode};
    AUNode node = mOutputNode;
    while (order.size() <= mSlots.size()) { // a cycle ends the walk
        const AUNode source = upstreamOf(node);
        if (source == 0 || source == node)
            break;
        order.push_back(source);
        node = source;
    }
    std::reverse(order.begin(), order.end());
    return order;
}

OSStatus ZEPAudioGraph::commit()
{
    if (mBatchDepth > 0) {
        mCommitWanted = true;
        return noErr;
    }
    auto chain = std::make_unique<Chain>();
    chain->graphId = mId;
    chain->generation = ++mPublishedGeneration;
    chain->nodes = chainOrder();
    for (const AUNode node : chain->nodes) {
        AudioUnit* unit = nullptr;
        mGraph->nodeInfo(node, nullptr, &unit);
        chain->units.push_back(unit);
    }
    chain->frontPullsInput = mInputNode != 0 && chain->nodes.front() == mInputNode;
    // A snapshot still pending was never seen by a render: it is replaced.
    freeChainList(mPendingChain.exchange(chain.release(), std::memory_order_acq_rel));
    if (isRunning()) {
        mPendingGraphUpdate = true;
        return noErr;
    }
    return adoptNow();
}

OSStatus ZEPAudioGraph::adoptNow()
{
    {
        std::lock_guard lock(mRenderMutex);
        takePendingChain(false);
    }
    freeRetiredChains();
    return freeRemovedNodes();
}

void ZEPAudioGraph::freeRetiredChains() { freeChainList(mRetiredChains.exchange(nullptr, std::memory_order_acq_rel)); }

OSStatus ZEPAudioGraph::removeFromGraph(AUNode node)
{
    OSStatus status = noErr;
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        status = mGraph->removeNode(node);
        if (status == noErr)
            break;
    }
    mSlots.erase(node);
    return status;
}

OSStatus ZEPAudioGraph::freeRemovedNodes()
{
    const UInt64 adopted = mAdoptedGeneration.load(std::memory_order_acquire);
    OSStatus result = noErr;
    for (auto it = mNodesAwaitingRemoval.begin(); it != mNodesAwaitingRemoval.end();) {
        if (it->second > adopted) {
            ++it;
            continue;
        }
        const OSStatus status = removeFromGraph(it->first);
        if (result == noErr)
            result = status;
        it = mNodesAwaitingRemoval.erase(it);
    }
    return result;
}

void ZEPAudioGraph::chainsAdopted(void*, intptr_t graphId)
{
    ZEPAudioGraph* graph = nullptr;
    {
        std::lock_guard lock(gLiveGraphsMutex);
        const auto it = liveGraphs().find(UInt64(graphId));
        if (it != liveGraphs().end())
            graph = it->second;
    }
    if (graph)
        graph->didAdoptChains();
}

void ZEPAudioGraph::didAdoptChains()
{
    freeRetiredChains();
    freeRemovedNodes();
    if (!mPendingChain.load())
        mPendingGraphUpdate = false;
    markDirty();
    if (mDelegate)
        mDelegate->audioGraphUpdated(this);
}

OSStatus ZEPAudioGraph::updateCallback()
{
    AudioUnit* unit = nullptr;
    if (const OSStatus status = ZEPAudioUnitUtils::getAudioUnit(&unit, mFrontNode, mGraph.get()))
        return status;
    if (!unit)
        return kAUGraphErr_InvalidAudioUnit;
    mInputNode = mFrontNode;
    return commit();
}

// Control --------------------------------------------------------------------------------

bool ZEPAudioGraph::isRunning() const { return mOutputUnit && mOutputUnit->isRunning(); }

OSStatus ZEPAudioGraph::start()
{
    if (isRunning())
        stop();
    reset();
    if (const OSStatus status = mGraph->start())
        return status;
    setOutOfData(false);
    return noErr;
}

OSStatus ZEPAudioGraph::stop()
{
    OSStatus status = noErr;
    for (int attempt = 0; attempt < kMaxAttempts && isRunning(); ++attempt) {
        status = mGraph->stop();
        if (status != noErr)
            break;
    }
    // Edits no render took up any more: adopted now, and announced as a render would.
    std::lock_guard lock(mRenderMutex);
    takePendingChain(true);
    return status;
}

OSStatus ZEPAudioGraph::reset()
{
    OSStatus result = noErr;
    std::lock_guard lock(mRenderMutex);
    for (const AUNode node : chainOrder()) {
        AudioUnit* unit = nullptr;
        if (node == mOutputNode || mGraph->nodeInfo(node, nullptr, &unit) != noErr || !unit)
            continue;
        // Effects clear their state when reinitialised, never on the render thread.
        const bool initialized = unit->isInitialized();
        if (initialized)
            unit->uninitialize();
        unit->reset();
        if (initialized) {
            if (const OSStatus status = unit->initialize(); status != noErr && result == noErr)
                result = status;
        }
    }
    return result;
}

OSStatus ZEPAudioGraph::setMaxRequestFrames(UInt32 maxRequestFrames)
{
    mMaxRenderSlice.store(maxRequestFrames);
    std::lock_guard lock(mRenderMutex);
    for (UInt32 index = 0; index < mGraph->nodeCount(); ++index) {
        AUNode node = 0;
        AudioUnit* unit = nullptr;
        if (mGraph->getIndNode(index, &node) != noErr || mGraph->nodeInfo(node, nullptr, &unit) != noErr || !unit)
            continue;
        OSStatus status = ZEPAudioUnitUtils::setMaxRenderSlice(maxRequestFrames, unit);
        if (status == kAudioUnitErr_Initialized) {
            if (const OSStatus uninitialized = unit->uninitialize())
                return uninitialized;
            status = ZEPAudioUnitUtils::setMaxRenderSlice(maxRequestFrames, unit);
            if (status != noErr)
                mMaxRenderSlice.store(unit->maxFramesPerSlice());
            if (const OSStatus initialized = unit->initialize())
                return initialized;
        } else if (status != noErr) {
            mMaxRenderSlice.store(unit->maxFramesPerSlice());
        }
    }
    return noErr;
}

OSStatus ZEPAudioGraph::setAudioDescription(const AudioStreamBasicDescription& description)
{
    {
        std::lock_guard lock(mRenderMutex);
        mGraph->uninitialize();
        for (UInt32 index = 0; index < mGraph->nodeCount(); ++index) {
            AUNode node = 0;
            AudioUnit* unit = nullptr;
            if (const OSStatus status = mGraph->getIndNode(index, &node))
                return status;
            if (const OSStatus status = mGraph->nodeInfo(node, nullptr, &unit))
                return status;
            if (const OSStatus status = unit->setStreamFormat(kAudioUnitScope_Input, 0, description))
                return status;
            if (const OSStatus status = unit->setStreamFormat(kAudioUnitScope_Output, 0, description))
                return status;
        }
        if (const OSStatus status = mGraph->initialize())
            return status;
        if (const OSStatus status = mOutputUnit->getStreamFormat(kAudioUnitScope_Output, 0, &mAudioDescription))
            return status;
        mBytesPerFrame.store(mAudioDescription.mBytesPerFrame);
    }
    return updateCallback();
}

OSStatus ZEPAudioGraph::getAudioDescription(AudioStreamBasicDescription* description)
{
    if (!description)
        return kAudio_ParamError;
    *description = mAudioDescription;
    return noErr;
}

void ZEPAudioGraph::setBuffersRealtimeAudio(bool buffersRealtimeAudio)
{
    if (buffersRealtimeAudio && !mRealtimeCopyOwner) {
        mRealtimeCopyOwner = std::make_unique<ZEPRealtimeAudioCopy>(std::max<UInt32>(mAudioDescription.mChannelsPerFrame, 1),
                                                                    kRealtimeAudioBufferListSize);
        mRealtimeCopy.store(mRealtimeCopyOwner.get(), std::memory_order_release);
    }
    mBuffersRealtimeAudio.store(buffersRealtimeAudio);
}

bool ZEPAudioGraph::buffersRealtimeAudio() const { return mBuffersRealtimeAudio.load() && mRealtimeCopyOwner; }

const AudioBufferList* ZEPAudioGraph::realtimeAudioBufferList()
{
    return mRealtimeCopyOwner ? mRealtimeCopyOwner->latest() : nullptr;
}

UInt32 ZEPAudioGraph::internalMaxRequestFrames()
{
    const auto chain = nodes();
    if (chain.empty())
        return 0;
    UInt32 smallest = 0x40000000;
    for (const auto& node : chain)
        smallest = std::min(smallest, node->maxRequestFrames());
    return smallest;
}

// Edits ----------------------------------------------------------------------------------

OSStatus ZEPAudioGraph::addUnitNode(const AudioComponentDescription& description, AUNode* outNode)
{
    *outNode = 0;
    AUNode node = 0;
    if (const OSStatus status = mGraph->addNode(description, &node))
        return status;
    AudioUnit* unit = nullptr;
    mGraph->nodeInfo(node, nullptr, &unit);
    auto slot = std::make_unique<NodeSlot>(NodeSlot{this, node});
    OSStatus status = mGraph->setNodeInputCallback(node, 0, {&stageInputCallback, slot.get()});
    mSlots[node] = std::move(slot);
    if (status == noErr && mGraph->isInitialized()) {
        if (ZEPAudioUnitUtils::setMaxRenderSlice(mMaxRenderSlice.load(), unit) != noErr)
            mMaxRenderSlice.store(unit->maxFramesPerSlice());
        status = unit->setStreamFormat(kAudioUnitScope_Input, 0, mAudioDescription);
        if (status == noErr)
            status = unit->setStreamFormat(kAudioUnitScope_Output, 0, mAudioDescription);
        if (status == noErr)
            status = unit->initialize();
    }
    if (status != noErr) {
        // A unit that cannot join the chain leaves the graph again (it was never in a snapshot).
        removeFromGraph(node);
        return status;
    }
    *outNode = node;
    markDirty();
    return noErr;
}

OSStatus ZEPAudioGraph::addNode(AUNode* outNode, UInt32 type, UInt32 subtype, UInt32 manufacturer)
{
    if (!outNode)
        return kAudio_ParamError;
    LV2EffectUnit::registerEffectsOnce();
    return addUnitNode(AudioComponentDescription{type, subtype, manufacturer, 0, 0}, outNode);
}

bool ZEPAudioGraph::componentDescriptionFor(const QVariantMap& dictionary,
                                            AudioComponentDescription* description) const
{
    const QString uri = dictionary.value(QStringLiteral("uri")).toString();
    if (!uri.isEmpty())
        return LV2EffectUnit::componentDescriptionForURI(uri, description);
    LV2EffectUnit::registerEffectsOnce();
    if (codeOf(dictionary, QStringLiteral("componentType")) != 0)
        *description = {codeOf(dictionary, QStringLiteral("componentType")),
                        codeOf(dictionary, QStringLiteral("componentSubType")),
                        codeOf(dictionary, QStringLiteral("componentManufacturer")), 0, 0};
    else
        *description = {codeOf(dictionary, QStringLiteral("type")), codeOf(dictionary, QStringLiteral("subtype")),
                        codeOf(dictionary, QStringLiteral("manufacturer")), 0, 0};
    return true;
}

std::shared_ptr<ZEPAudioGraphNode> ZEPAudioGraph::addNodeWithDictionary(const QVariantMap& dictionary)
{
    AudioComponentDescription description;
    if (!componentDescriptionFor(dictionary, &description))
        return nullptr;
    AUNode node = 0;
    if (addUnitNode(description, &node) != noErr)
        return nullptr;
    // Settings go in before the unit joins the chain, so no render runs it meanwhile.
    if (dictionary.contains(QStringLiteral("data"))) {
        AudioUnit* unit = nullptr;
        mGraph->nodeInfo(node, nullptr, &unit);
        ZEPAudioUnitUtils::setClassInfo(dictionary, unit);
    }
    moveNode(node, mOutputNode);
    return graphNodeClass()(node, mGraph.get());
}

OSStatus ZEPAudioGraph::connectNode(AUNode source, AUNode toNode)
{
    if (!hasNode(source) || !hasNode(toNode))
        return kAUGraphErr_NodeNotFound;
    if (source == toNode || source == mOutputNode)
        return kAUGraphErr_InvalidConnection;
    mUpstream[toNode] = source;
    markDirty();
    return noErr;
}

OSStatus ZEPAudioGraph::removeConnection(AUNode node)
{
    if (!hasNode(node))
        return kAUGraphErr_NodeNotFound;
    mUpstream.erase(node);
    if (mInputNode == node)
        mInputNode = 0;
    markDirty();
    return noErr;
}

OSStatus ZEPAudioGraph::moveZEPNode(ZEPAudioGraphNode* node, ZEPAudioGraphNode* beforeZEPNode)
{
    if (!node || !beforeZEPNode)
        return kAudio_ParamError;
    return moveNode(node->node(), beforeZEPNode->node());
}

OSStatus ZEPAudioGraph::moveNode(AUNode node, AUNode beforeNode)
{
    if (!hasNode(node) || !hasNode(beforeNode))
        return kAUGraphErr_NodeNotFound;
    if (node == beforeNode)
        return noErr;
    if (node == mOutputNode)
        return kAUGraphErr_InvalidConnection;
    const AUNode upstream = upstreamOf(node);
    const AUNode downstream = downstreamOf(node);
    if (downstream == beforeNode)
        return noErr; // there already
    const AUNode beforeUpstream = upstreamOf(beforeNode);
    if (upstream || downstream || mInputNode == node)
        removeConnection(node);
    if (downstream)
        removeConnection(downstream);
    removeConnection(beforeNode);
    connectNode(node, beforeNode);
    if (beforeUpstream)
        connectNode(beforeUpstream, node);
    if (upstream && downstream)
        connectNode(upstream, downstream);
    if (mFrontNode == beforeNode)
        mFrontNode = node;
    else if (mFrontNode == node)
        mFrontNode = downstream;
    markDirty();
    return updateCallback();
}

OSStatus ZEPAudioGraph::removeNode(AUNode node)
{
    if (node == mOutputNode)
        return kAUGraphErr_InvalidConnection;
    if (!hasNode(node))
        return kAUGraphErr_NodeNotFound;
    const AUNode upstream = upstreamOf(node);
    const AUNode downstream = downstreamOf(node);
    if (downstream)
        removeConnection(downstream);
    removeConnection(node);
    if (upstream && downstream)
        connectNode(upstream, downstream);
    // Only the front hands its place on; a node outside the chain leaves the front alone.
    if (node == mFrontNode)
        mFrontNode = downstream ? downstream : mOutputNode;
    mSlots[node]->removed = true;
    mNodesAwaitingRemoval.emplace_back(node, mPublishedGeneration + 1);
    markDirty();
    return updateCallback();
}

OSStatus ZEPAudioGraph::removeAllNodes()
{
    EditBatch batch(mBatchDepth, mCommitWanted, [this] { commit(); });
    for (auto chain = nodes(); !chain.empty(); chain = nodes()) {
        if (const OSStatus status = removeNode(chain.front()->node()))
            return status;
    }
    return noErr;
}

SInt32 ZEPAudioGraph::nodeCount() const { return SInt32(mGraph->nodeCount() - mNodesAwaitingRemoval.size()); }

ZEPAudioGraphNodeClass ZEPAudioGraph::graphNodeClass()
{
    if (!mGraphNodeClass)
        mGraphNodeClass = ZEPAudioGraphNode::nodeClass<ZEPAudioGraphNode>();
    return mGraphNodeClass;
}

std::shared_ptr<ZEPAudioGraphNode> ZEPAudioGraph::outputZEPNode() { return graphNodeClass()(mOutputNode, mGraph.get()); }

std::vector<std::shared_ptr<ZEPAudioGraphNode>> ZEPAudioGraph::nodes()
{
    if (!mContentDirty)
        return mContentArray;
    mContentArray.clear();
    const ZEPAudioGraphNodeClass nodeClass = graphNodeClass();
    for (const AUNode node : chainOrder()) {
        if (node != mOutputNode)
            mContentArray.push_back(nodeClass(node, mGraph.get()));
    }
    mContentDirty = false;
    return mContentArray;
}

// Saved form -----------------------------------------------------------------------------

QVariantList ZEPAudioGraph::serializableArray()
{
    QVariantList array;
    for (const auto& node : nodes()) {
        const QVariantMap properties = node->serializableProperties();
        if (!properties.isEmpty())
            array.append(properties);
    }
    array.append(QVariantMap{{kZEPAudioGraphIsEnabledKey, enabled()}});
    return array;
}

bool ZEPAudioGraph::loadElement(const QVariantMap& saved)
{
    QVariantMap element = saved;
    const bool hasURI = !element.value(QStringLiteral("uri")).toString().isEmpty();
    if (!hasURI && (codeOf(element, QStringLiteral("type")) == 0 || codeOf(element, QStringLiteral("subtype")) == 0 ||
                    codeOf(element, QStringLiteral("manufacturer")) == 0))
        return true; // not an effect (the closing dictionary)
    AudioComponentDescription description;
    if (!hasURI)
        description = {codeOf(element, QStringLiteral("type")), codeOf(element, QStringLiteral("subtype")),
                       codeOf(element, QStringLiteral("manufacturer")), 0, 0};
    else if (!componentDescriptionFor(element, &description))
        return false;
    AUNode node = 0;
    if (addNode(&node, description.componentType, description.componentSubType,
                description.componentManufacturer) != noErr)
        return false;
    AudioUnit* unit = nullptr;
    mGraph->nodeInfo(node, nullptr, &unit);
    const bool bypass = element.take(kZEPAudioGraphNodeBypassKey).toBool();
    // Settings the unit refuses (another platform's, damaged) count as a failed load.
    if (ZEPAudioUnitUtils::setClassInfo(element, unit) != noErr) {
        removeFromGraph(node);
        return false;
    }
    moveNode(node, mFrontNode);
    graphNodeClass()(node, mGraph.get())->setBypass(bypass);
    return true;
}

bool ZEPAudioGraph::setWithArray(const QVariantList& array, Error* error)
{
    QVariantList failed;
    OSStatus status = noErr;
    {
        // Replaced as one edit: a render hears the old chain or the new one, nothing between.
        EditBatch batch(mBatchDepth, mCommitWanted, [this] { commit(); });
        status = removeAllNodes();
        if (status == noErr) {
            for (qsizetype i = array.size() - 1; i >= 0; --i) {
                if (!loadElement(array[i].toMap()))
                    failed.prepend(array[i]);
            }
        }
        updateEnabledStateWithArray(array);
    }
    if (status != noErr) {
        setError(error, Error::fromOSStatus(status, QStringLiteral("The effects could not be replaced.")));
        return false;
    }
    if (failed.isEmpty())
        return true;
    QStringList names;
    for (const QVariant& element : failed) {
        const QVariantMap map = element.toMap();
        names.append(map.value(QStringLiteral("uri"), map.value(QStringLiteral("name"))).toString());
    }
    Error failure(kZEPAudioGraphErrorDomain, kZEPUnitsFailedToLoadError,
                  QStringLiteral("Some effects could not be loaded."),
                  QStringLiteral("These effects are not installed here or refused their settings: %1.")
                      .arg(names.join(QStringLiteral(", "))));
    failure.userInfo.insert(kZEPAudioGraphAudioUnitsFailedToLoadKey, failed);
    setError(error, failure);
    return false;
}

void ZEPAudioGraph::updateEnabledStateWithArray(const QVariantList& array)
{
    if (array.isEmpty())
        return;
    const QVariantMap last = array.last().toMap();
    if (last.contains(kZEPAudioGraphIsEnabledKey))
        setEnabled(last.value(kZEPAudioGraphIsEnabledKey).toBool());
}

void ZEPAudioGraph::preroll()
{
    Float64 seconds = 0;
    for (const auto& node : nodes())
        seconds += node->latency();
    // Rounded, not truncated: latencies are whole frames, and their sum in seconds may fall
    // a hair short of the frame count.
    const SInt64 total = std::llround(seconds * mAudioDescription.mSampleRate);
    if (total <= 0)
        return;
    AudioBufferList* scratch = ZEPCreateAudioBufferListForASBD(mAudioDescription, kPrerollSlice);
    if (!scratch)
        return;
    AudioTimeStamp time;
    time.mSampleTime = Float64(-total);
    time.mFlags = kAudioTimeStampSampleTimeValid;
    for (SInt64 remaining = total; remaining > 0;) {
        UInt32 frames = UInt32(std::min<SInt64>(remaining, kPrerollSlice));
        for (UInt32 i = 0; i < scratch->mNumberBuffers; ++i)
            scratch->mBuffers[i].mDataByteSize = frames * mAudioDescription.mBytesPerFrame;
        AudioUnitRenderActionFlags flags = 0;
        if (renderFrames(&frames, scratch, &flags, &time, this) != noErr || frames == 0)
            break;
        time.mSampleTime += frames;
        remaining -= frames;
    }
    ZEPDisposeAudioBufferList(scratch);
}

// Render ---------------------------------------------------------------------------------

void ZEPAudioGraph::takePendingChain(bool announce)
{
    Chain* next = mPendingChain.exchange(nullptr, std::memory_order_acq_rel);
    if (next) {
        if (Chain* previous = std::exchange(mCurrentChain, next)) {
            previous->next = mRetiredChains.load(std::memory_order_relaxed);
            while (!mRetiredChains.compare_exchange_weak(previous->next, previous, std::memory_order_acq_rel)) {
            }
        }
        mAdoptedGeneration.store(next->generation, std::memory_order_release);
        mAnnouncementPending = mAnnouncementPending || announce;
    }
    // A full queue only delays the news to a later render.
    if (mAnnouncementPending && announce && mainthread::postRealtime(&chainsAdopted, nullptr, intptr_t(mId)))
        mAnnouncementPending = false;
}

OSStatus ZEPAudioGraph::renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                                     const AudioTimeStamp* timeStamp, void*)
{
    AudioUnitRenderActionFlags localFlags = 0;
    if (!renderFlags)
        renderFlags = &localFlags;
    AudioTimeStamp time;
    if (timeStamp)
        time = *timeStamp;
    // Never waits: while the control thread holds the lock the input passes unprocessed.
    std::unique_lock lock(mRenderMutex, std::try_to_lock);
    if (lock.owns_lock())
        takePendingChain(true);
    if (isOutOfData()) {
        *frames = 0;
        return kZEPAudioSourceEndOfData;
    }
    if (!ioData || ioData->mNumberBuffers > kPullingBuffers)
        return kAudio_ParamError;
    if (!isRunning()) {
        ZEPRenderSilence(ioData, renderFlags);
        return noErr;
    }
    OSStatus result = noErr;
    if (mEnabled.load() && lock.owns_lock())
        result = mOutputUnit->render(renderFlags, &time, 0, *frames, ioData);
    else
        result = renderInput(renderFlags, &time, *frames, ioData);
    if (result == kAudioUnitErr_NoConnection) {
        result = noErr;
        ZEPZeroAudioBufferList(ioData);
    }
    if (mBuffersRealtimeAudio.load(std::memory_order_relaxed) &&
        ioData->mBuffers[0].mDataByteSize < kRealtimeAudioBufferListSize) {
        if (ZEPRealtimeAudioCopy* copy = mRealtimeCopy.load(std::memory_order_acquire))
            copy->write(ioData);
    }
    return result;
}

OSStatus ZEPAudioGraph::stageInputCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                           const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                                           AudioBufferList* ioData)
{
    const auto* slot = static_cast<const NodeSlot*>(refCon);
    return slot->graph->renderStageInput(slot->node, flags, timeStamp, frames, ioData);
}

OSStatus ZEPAudioGraph::renderStageInput(AUNode node, AudioUnitRenderActionFlags* flags,
                                         const AudioTimeStamp* timeStamp, UInt32 frames, AudioBufferList* ioData)
{
    // Runs inside a render, under the render lock: mCurrentChain is this render's snapshot.
    const Chain* chain = mCurrentChain;
    if (!chain)
        return kAudioUnitErr_NoConnection;
    const auto it = std::find(chain->nodes.begin(), chain->nodes.end(), node);
    if (it == chain->nodes.end())
        return kAudioUnitErr_NoConnection;
    const size_t index = size_t(it - chain->nodes.begin());
    if (index == 0)
        return chain->frontPullsInput ? renderInput(flags, timeStamp, frames, ioData) : kAudioUnitErr_NoConnection;
    return chain->units[index - 1]->render(flags, timeStamp, 0, frames, ioData);
}

OSStatus ZEPAudioGraph::renderInput(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 frames,
                                    AudioBufferList* ioData)
{
    const UInt32 bytesPerFrame = mBytesPerFrame.load(std::memory_order_relaxed);
    const UInt32 wanted = frames * bytesPerFrame;
    for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i)
        ioData->mBuffers[i].mDataByteSize = 0;
    ZEPAudioSource* source = mInputSource.load(std::memory_order_acquire);
    if (!source) {
        fillUpTo(ioData, wanted);
        *flags |= kAudioUnitRenderAction_OutputIsSilence;
        return noErr;
    }
    AudioBufferList* pulling = mPullingBufferList;
    pulling->mNumberBuffers = std::min(ioData->mNumberBuffers, kPullingBuffers);
    AudioTimeStamp time = *timeStamp;
    UInt32 remaining = frames;
    while (remaining > 0 && !isOutOfData()) {
        const UInt32 room = remaining * bytesPerFrame;
        for (UInt32 i = 0; i < pulling->mNumberBuffers; ++i) {
            const AudioBuffer& target = ioData->mBuffers[i];
            pulling->mBuffers[i] = AudioBuffer{target.mNumberChannels, room,
                                               static_cast<UInt8*>(target.mData) + target.mDataByteSize};
        }
        UInt32 delivered = remaining;
        const OSStatus status = source->renderFrames(&delivered, pulling, flags, &time, this);
        delivered = std::min(delivered, remaining);
        const bool empty = pulling->mBuffers[0].mDataByteSize == 0;
        if (delivered > 0 && !empty) {
            for (UInt32 i = 0; i < pulling->mNumberBuffers; ++i)
                ioData->mBuffers[i].mDataByteSize += std::min(pulling->mBuffers[i].mDataByteSize, room);
        }
        if (status != noErr || delivered == 0) {
            // "No data yet" is no end: the rest of this slice is silence, and pulls go on.
            if (status != kZEPAudioSourceNoDataYet && (status != noErr || empty))
                setOutOfData(true);
            break;
        }
        remaining -= delivered;
        time.mSampleTime += delivered;
    }
    fillUpTo(ioData, wanted);
    return noErr;
}
