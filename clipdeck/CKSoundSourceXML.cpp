// The "sound" element of the board document: what a sound reads and writes of itself.
#include "clipdeck/CKSoundSource.h"

#include "platform/VariantValues.h"

#include <algorithm>

namespace {

// The MIDI event type of the note-on listener a bound sound has.
constexpr int kNoteOnEventType = 144;

QString boolText(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

bool boolAttribute(const XMLElement& element, const QString& name) { return element.attribute(name) == "true"; }

qint64 integerAttribute(const XMLElement& element, const QString& name)
{
    return variant::integerValue(element.attribute(name));
}

} // namespace

std::shared_ptr<CKSoundSource> CKSoundSource::createWithXMLElement(const XMLElement& element, bool registersTriggers)
{
    auto sound = std::make_shared<CKSoundSource>();
    sound->setRegistersTriggers(registersTriggers);
    sound->readXMLElement(element);
    sound->addObservers();
    return sound;
}

void CKSoundSource::readXMLElement(const XMLElement& element)
{
    setName(element.attribute("name"));
    setLoops(boolAttribute(element, "loops"));
    setRestartOnPress(boolAttribute(element, "restartOnPress"));
    if (element.hasAttribute("uuid"))
        setUuid(element.attribute("uuid"));
    if (element.hasAttribute("playbackVolume"))
        setPlaybackVolume(float(variant::doubleValue(element.attribute("playbackVolume"))));
    if (element.hasAttribute("MIDIEventType"))
        setMIDIChannel(SInt32(integerAttribute(element, "MIDIChannel")), UInt16(integerAttribute(element, "MIDIButtonID")));
    else
        setMIDIChannel(kNoMIDIChannel, kNoMIDIButton);
    if (element.hasAttribute("backgroundColor"))
        setBackgroundColor(element.attribute("backgroundColor"));
    setLiftBehavior(qulonglong(std::max<qint64>(0, integerAttribute(element, "liftBehavior"))));
    setSticky(boolAttribute(element, "sticky"));
    setIndex(qulonglong(std::max<qint64>(0, integerAttribute(element, "index"))));
}

std::optional<XMLElement> CKSoundSource::saveAndReturnXMLElement()
{
    XMLElement element("sound");
    element.setAttribute("name", mName);
    element.setAttribute("loops", boolText(mLoops));
    element.setAttribute("restartOnPress", boolText(mRestartOnPress));
    element.setAttribute("uuid", uuid());
    element.setAttribute("playbackVolume", QString::asprintf("%0.3f", double(mPlaybackVolume)));
    if (hasMIDIBinding()) {
        element.setAttribute("MIDIEventType", QString::number(kNoteOnEventType));
        element.setAttribute("MIDIChannel", QString::number(mMIDIChannel));
        element.setAttribute("MIDIButtonID", QString::number(mMIDIButton));
    }
    if (!mBackgroundColor.isEmpty())
        element.setAttribute("backgroundColor", mBackgroundColor);
    element.setAttribute("liftBehavior", QString::number(mLiftBehavior));
    element.setAttribute("sticky",
                         boolText(mSticky || mLoops || restartOnPress() || mLiftBehavior != kKeepPlayingOnLift));
    return element;
}
