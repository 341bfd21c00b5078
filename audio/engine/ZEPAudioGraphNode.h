#pragma once
// The lightweight object that stands for one node of an effect graph (ZEPAudioGraph): its
// unit, name, latency, tail time and bypass. It holds the node id and the unit graph, not
// the effect graph; it stays valid for as long as that unit graph lives, and its calls
// fail (error() tells why) once the node has gone from it.
//
// Failures of unit calls are kept in error() and the getters then answer 0, false or an
// empty value. Subclasses (the effects-chain interface has one) are made by the graph
// through the node class it is given (ZEPAudioGraph::setGraphNodeClass).
//
// Threads: the graph's control thread (normally the main thread).

#include "platform/audiounits/AUGraph.h"
#include "platform/audiounits/AudioUnit.h"

#include <QVariantMap>

#include <functional>
#include <memory>

class ZEPAudioGraphNode;

// What an effect graph calls to make its node objects.
using ZEPAudioGraphNodeClass = std::function<std::shared_ptr<ZEPAudioGraphNode>(AUNode node, AUGraph* graph)>;

// The key of a node's saved dictionary that holds its bypass (a bool).
inline const QString kZEPAudioGraphNodeBypassKey = QStringLiteral("com.corvanesw.glassjar_studio.bypass");

class ZEPAudioGraphNode {
public:
    ZEPAudioGraphNode(AUNode node, AUGraph* graph);
    virtual ~ZEPAudioGraphNode();

    // The node class that makes objects of type T (a ZEPAudioGraphNode constructible like it).
    template <typename T>
    static ZEPAudioGraphNodeClass nodeClass()
    {
        return [](AUNode node, AUGraph* graph) { return std::make_shared<T>(node, graph); };
    }

    OSStatus getError() const { return mError; }
    AUNode node() const { return mNode; }
    // The node's unit; null (error recorded) when it cannot be had.
    AudioUnit* audioUnit();

    // The unit's class info with kZEPAudioGraphNodeBypassKey = bypass(); empty when the unit
    // cannot be had.
    QVariantMap serializableProperties();
    // Made once and kept: the class info plus "name" (the kind's name, when known),
    // "latency" and "tailTime" (seconds); empty when the unit cannot be had.
    QVariantMap properties();
    // properties() as text.
    QString description();

    // Seconds; 0 on failure (error recorded).
    Float64 tailTime();
    Float64 latency();

    // Do nothing: whether a node can be bypassed is the unit's.
    void setBypassIsEditable(bool) {}
    void setEnabled(bool) {}
    bool enabled() { return bypassIsEditable(); }
    // Whether the unit offers kAudioUnitProperty_BypassEffect; false on any error.
    bool bypassIsEditable();
    // Sets the unit's bypass; a failure is kept in error().
    void setBypass(bool bypass);
    // false on error.
    bool bypass();
    // The unit's largest slice; 0 on error.
    UInt32 maxRequestFrames();

protected:
    // Records a status of the subclass's own in error() (a listener that failed to register,
    // say); the next unit call made through the node replaces it.
    void setError(OSStatus status) { mError = status; }

private:
    Float64 secondsProperty(AudioUnitPropertyID property);

    AUGraph* mGraph;
    AUNode mNode;
    OSStatus mError = noErr;
    QVariantMap mCachedProperties;
    bool mHasCachedProperties = false;
};
