#include "audio/engine/ZEPAudioGraphNode.h"

#include "audio/engine/ZEPAudioUnitUtils.h"
#include "platform/audiounits/AudioComponentRegistry.h"
#include "platform/plugins/LV2EffectUnit.h"

#include <QDebug>

ZEPAudioGraphNode::ZEPAudioGraphNode(AUNode node, AUGraph* graph) : mGraph(graph), mNode(node) {}

ZEPAudioGraphNode::~ZEPAudioGraphNode() = default;

AudioUnit* ZEPAudioGraphNode::audioUnit()
{
    AudioUnit* unit = nullptr;
    mError = ZEPAudioUnitUtils::getAudioUnit(&unit, mNode, mGraph);
    if (mError == noErr && !unit)
        mError = kAUGraphErr_InvalidAudioUnit;
    return mError == noErr ? unit : nullptr;
}

QVariantMap ZEPAudioGraphNode::serializableProperties()
{
    AudioUnit* unit = audioUnit();
    if (!unit)
        return {};
    QVariantMap properties = ZEPAudioUnitUtils::getClassInfoFromAudioUnit(unit).toMap();
    properties.insert(kZEPAudioGraphNodeBypassKey, bypass());
    return properties;
}

QVariantMap ZEPAudioGraphNode::properties()
{
    if (mHasCachedProperties)
        return mCachedProperties;
    AudioUnit* unit = audioUnit();
    if (!unit)
        return {};
    QVariantMap properties = ZEPAudioUnitUtils::getClassInfoFromAudioUnit(unit).toMap();
    const QList<AudioComponentInfo> kinds = AudioComponentRegistry::find(unit->componentDescription());
    if (!kinds.isEmpty())
        properties.insert(QStringLiteral("name"), kinds.first().name);
    properties.insert(QStringLiteral("latency"), latency());
    properties.insert(QStringLiteral("tailTime"), tailTime());
    mCachedProperties = properties;
    mHasCachedProperties = true;
    return mCachedProperties;
}

QString ZEPAudioGraphNode::description()
{
    QString text;
    QDebug(&text).nospace() << properties();
    return text;
}

Float64 ZEPAudioGraphNode::secondsProperty(AudioUnitPropertyID property)
{
    AudioUnit* unit = audioUnit();
    if (!unit)
        return 0;
    Float64 seconds = 0;
    UInt32 size = sizeof seconds;
    mError = unit->getProperty(property, kAudioUnitScope_Global, 0, &seconds, &size);
    return mError == noErr ? seconds : 0;
}

Float64 ZEPAudioGraphNode::tailTime() { return secondsProperty(kAudioUnitProperty_TailTime); }

Float64 ZEPAudioGraphNode::latency() { return secondsProperty(kAudioUnitProperty_Latency); }

bool ZEPAudioGraphNode::bypassIsEditable()
{
    AudioUnit* unit = audioUnit();
    UInt32 size = 0;
    return unit &&
           unit->getProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, nullptr, &size) == noErr;
}

void ZEPAudioGraphNode::setBypass(bool bypass)
{
    mError = noErr;
    AudioUnit* unit = audioUnit();
    if (!unit)
        return;
    const UInt32 value = bypass ? 1 : 0;
    mError = unit->setProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &value, sizeof value);
}

bool ZEPAudioGraphNode::bypass()
{
    AudioUnit* unit = audioUnit();
    if (!unit)
        return false;
    UInt32 value = 0;
    UInt32 size = sizeof value;
    mError = unit->getProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &value, &size);
    return mError == noErr && value != 0;
}

UInt32 ZEPAudioGraphNode::maxRequestFrames()
{
    AudioUnit* unit = audioUnit();
    if (!unit)
        return 0;
    UInt32 frames = 0;
    mError = ZEPAudioUnitUtils::getMaxRenderSlice(&frames, unit);
    return mError == noErr ? frames : 0;
}
