#pragma once
// One edit of a sound, as a value object: a closed range of packets of the file (index to
// end, both included) with an edit type and the settings of the fades around it. The edit
// model keeps a sorted list of them (cuts and silences); the reading with edits turns them
// into skipped packets, silenced packets and fades.
//
// Regions are shared objects (ZEPAudioRegionRef): the edit model's list, its undo actions and
// the editor's views hold the same objects, and some operations find a region by identity.
// Subclasses are allowed: a subclass overrides regionClass() and, when it has fields of its
// own, copy(); the edit model then makes every region of that class (ZEPAudioRegionClass).
//
// Plain data, no locking: regions are changed on the main thread; a reader thread only reads
// the regions of an edit model while no edit runs (see ZEPAudioFileEditor.h).

#include "platform/CoreAudioTypes.h"

#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <typeinfo>

class ZEPAudioRegion;
using ZEPAudioRegionRef = std::shared_ptr<ZEPAudioRegion>;
using ZEPAudioRegionList = QList<ZEPAudioRegionRef>;

// Edit types.
constexpr UInt32 kZEPAudioRegionCut = 0;      // the packets are left out of playback and export
constexpr UInt32 kZEPAudioRegionSilence = 1;  // the packets keep their place and are silenced
constexpr UInt32 kZEPAudioRegionAnyType = 0xFFFFFFFF; // queries: every type

// Fade type numbers. A shape has a base number b (log 1, square 4, linear 7); b + 1 is its
// fade-in and b + 2 its fade-out. 10 is the constant gain of silence regions.
enum ZEPAudioFadeType : SInt32 {
    kZEPFadeNone = 0,
    kZEPFadeLog = 1,
    kZEPFadeLogIn = 2,
    kZEPFadeLogOut = 3,
    kZEPFadeSquare = 4,
    kZEPFadeSquareIn = 5,
    kZEPFadeSquareOut = 6,
    kZEPFadeLinear = 7,
    kZEPFadeLinearIn = 8,
    kZEPFadeLinearOut = 9,
    kZEPFadeConstantGain = 10,
};

// The class of the regions an edit model makes, in place of a class object: makes zeroed
// instances of one region class, and the class methods that build on that.
class ZEPAudioRegionClass {
public:
    template <class Region>
    static ZEPAudioRegionClass of()
    {
        return ZEPAudioRegionClass(&typeid(Region), [] { return ZEPAudioRegionRef(std::make_shared<Region>()); });
    }

    // A zeroed instance (every field 0, NO or 0.0; the fade is enabled).
    ZEPAudioRegionRef alloc() const { return make_(); }
    ZEPAudioRegionRef regionAtIndex(SInt64 index, SInt64 end) const;
    ZEPAudioRegionRef regionAtIndexWithLength(SInt64 index, SInt64 length) const;
    ZEPAudioRegionRef regionWithDictionary(const QVariantMap& dictionary) const;

    const std::type_info& type() const { return *type_; }
    bool operator==(const ZEPAudioRegionClass& other) const { return *type_ == *other.type_; }

private:
    ZEPAudioRegionClass(const std::type_info* type, ZEPAudioRegionRef (*make)()) : type_(type), make_(make) {}
    const std::type_info* type_;
    ZEPAudioRegionRef (*make_)();
};

class ZEPAudioRegion {
public:
    // Puts regions in compare() order, keeping the order of equal ones.
    static void sortRegions(ZEPAudioRegionList& regions);

    // Zeroed; the fade is enabled (the state initWithDictionary starts from).
    ZEPAudioRegion() = default;
    virtual ~ZEPAudioRegion() = default;

    // New regions of the plain class; a subclass's are made through its ZEPAudioRegionClass.
    static ZEPAudioRegionRef regionAtIndex(SInt64 index, SInt64 end);
    static ZEPAudioRegionRef regionAtIndexWithLength(SInt64 index, SInt64 length);
    static ZEPAudioRegionRef regionWithDictionary(const QVariantMap& dictionary);

    // Index, then end (so a negative end leaves length 0); enabled, fade type 0, fade
    // enabled; every other field 0, NO or 0.0.
    void initWithIndex(SInt64 index, SInt64 end);
    void initWithIndexLength(SInt64 index, SInt64 length);
    // Sets each field whose key is present, leniently (numbers, bools or numeric strings).
    void initWithDictionary(const QVariantMap& dictionary);
    // The nine saved keys: "Type", "Index", "Length", "Visible", "FadeType", "FadeLength",
    // "EndRegion", "FadeEnabled", "FadeParameter".
    QVariantMap asDictionary() const;

    SInt64 index() const { return mIndex; }
    // Keeps the end: the length changes.
    void setIndex(SInt64 index);
    SInt64 length() const { return mLength; }
    // A negative length stores 0.
    void setLength(SInt64 length) { mLength = length < 0 ? 0 : length; }
    // The last packet (inclusive); index - 1 for a region of length 0.
    SInt64 end() const { return mIndex + mLength - 1; }
    // A negative end is ignored.
    void setEnd(SInt64 end);
    SInt64 midPoint() const { return (mIndex + end()) / 2; }
    UInt32 type() const { return mType; }
    void setType(UInt32 type) { mType = type; }
    SInt32 fadeLength() const { return mFadeLength; }
    // A negative length stores 0.
    void setFadeLength(SInt32 fadeLength) { mFadeLength = fadeLength < 0 ? 0 : fadeLength; }
    SInt32 fadeType() const { return mFadeType; }
    void setFadeType(SInt32 fadeType) { mFadeType = fadeType; }
    Float32 fadeParameter() const { return mFadeParameter; }
    void setFadeParameter(Float32 fadeParameter) { mFadeParameter = fadeParameter; }
    bool visible() const { return mVisible; }
    void setVisible(bool visible) { mVisible = visible; }
    bool showBoth() const { return mShowBoth; }
    void setShowBoth(bool showBoth) { mShowBoth = showBoth; }
    bool endRegion() const { return mEndRegion; }
    void setEndRegion(bool endRegion) { mEndRegion = endRegion; }
    bool enabled() const { return mEnabled; }
    void setEnabled(bool enabled) { mEnabled = enabled; }
    bool fadeEnabled() const { return mFadeEnabled; }
    void setFadeEnabled(bool fadeEnabled) { mFadeEnabled = fadeEnabled; }
    bool consolidateWithPrevRegion() const { return mConsolidateWithPrevRegion; }
    void setConsolidateWithPrevRegion(bool consolidate) { mConsolidateWithPrevRegion = consolidate; }
    bool consolidateWithNextRegion() const { return mConsolidateWithNextRegion; }
    void setConsolidateWithNextRegion(bool consolidate) { mConsolidateWithNextRegion = consolidate; }

    // The shape cycle of the editor: none, linear, square, log, none.
    SInt32 nextFadeType() const;
    // The fade-out before a cut and the fade-in after it; 0 unless the fade type is a base
    // number (1, 4, 7) or 10.
    SInt32 leftFadeType() const;
    SInt32 rightFadeType() const;
    // Plain regions (whatever this region's class): [index - fadeLength, index] with the
    // left fade type, and [end, end + fadeLength] with the right fade type.
    ZEPAudioRegionRef leftFadeRegion() const;
    ZEPAudioRegionRef rightFadeRegion() const;

    // By index, then by length (the shorter first): -1, 0 or 1.
    int compare(const ZEPAudioRegion& other) const;
    // Same index and length (type and fades are not compared).
    bool isEqual(const ZEPAudioRegion* other) const;
    // isEqual() and equal dictionary forms.
    bool isEqualtoRegion(const ZEPAudioRegion* other) const;
    // The closed ranges overlap. NO for null, as for every relation below.
    bool intersects(const ZEPAudioRegion* other) const;
    // Touching without overlapping.
    bool isAdjoiningWithRegion(const ZEPAudioRegion* other) const;
    bool isSuperSetOfRegion(const ZEPAudioRegion* other) const;
    bool isSubsetOfRegion(const ZEPAudioRegion* other) const;
    bool containsLocation(SInt64 location) const { return mIndex <= location && location <= end(); }
    // New regions of this region's class: from the smaller index to the larger end; and the
    // overlap (from the later region's index to the smaller end), null when there is none.
    ZEPAudioRegionRef regionByUnionWith(const ZEPAudioRegion& other) const;
    ZEPAudioRegionRef regionByIntersectionWith(const ZEPAudioRegion& other) const;

    virtual ZEPAudioRegionClass regionClass() const { return ZEPAudioRegionClass::of<ZEPAudioRegion>(); }
    // A region of this region's class with takeValuesFrom() this one. A subclass with fields
    // of its own extends it.
    virtual ZEPAudioRegionRef copy() const;
    // Type, index, end, fade type, fade length, fade enabled, fade parameter, visible,
    // show-both and end-region; not enabled nor the consolidate flags.
    void takeValuesFrom(const ZEPAudioRegion& other);
    QString description() const;

private:
    SInt64 mIndex = 0;
    SInt64 mLength = 0;
    UInt32 mType = kZEPAudioRegionCut;
    bool mEnabled = false;
    bool mVisible = false;
    bool mShowBoth = false;
    bool mEndRegion = false;
    bool mFadeEnabled = true;
    SInt32 mFadeLength = 0;
    SInt32 mFadeType = kZEPFadeNone;
    Float32 mFadeParameter = 0;
    bool mConsolidateWithPrevRegion = false;
    bool mConsolidateWithNextRegion = false;
};
