// The edits of ZEPAudioFileEditor that change its list of skipped regions: cutting,
// silencing, cropping, adding and removing with undo, merging neighbours, and repairing
// stored edits against the file's length.
#include "audio/editor/ZEPAudioFileEditor.h"

#include "platform/UserDefaults.h"
#include "platform/VariantValues.h"

#include <algorithm>
#include <limits>

namespace {

const QString kDefaultFadeDurationKey = QStringLiteral("DefaultFadeDuration");
const QString kDefaultFadeTypeKey = QStringLiteral("DefaultFadeType");

// Same regions, compared by index and length.
bool sameExtents(const ZEPAudioRegionList& a, const ZEPAudioRegionList& b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                      [](const ZEPAudioRegionRef& x, const ZEPAudioRegionRef& y) { return x->isEqual(y.get()); });
}

// Same regions, compared by every saved value.
bool sameValues(const ZEPAudioRegionList& a, const ZEPAudioRegionList& b)
{
    const auto equalValues = [](const ZEPAudioRegionRef& x, const ZEPAudioRegionRef& y) {
        return x->isEqualtoRegion(y.get());
    };
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(), equalValues);
}

SInt32 clampToFadeLength(SInt64 length)
{
    return SInt32(std::clamp<SInt64>(length, 0, std::numeric_limits<SInt32>::max()));
}

} // namespace

void ZEPAudioFileEditor::sortSkippedRegions()
{
    ZEPAudioRegion::sortRegions(mSkippedRegions);
}

bool ZEPAudioFileEditor::addSkippedRegion(const ZEPAudioRegionRef& region)
{
    if (!region)
        return false;
    const SInt64 count = totalSampleCount();
    if (region->index() < 0 || region->index() >= count || region->end() > count)
        return false;
    // An equal region is there already (the same selection silenced twice): refused.
    if (indexOfEqualRegion(*region) >= 0)
        return false;
    const ZEPAudioRegionList snapshot = deepCopy(mSkippedRegions);
    mSkippedRegions.append(region);
    sortSkippedRegions();
    compactRegion(region);
    if (!sameExtents(mSkippedRegions, snapshot))
        registerUndo([this, snapshot] { undoSkippedRegions(snapshot); });
    return true;
}

void ZEPAudioFileEditor::removeSkippedRegion(const ZEPAudioRegionRef& region)
{
    stopPlayback();
    if (!region)
        return;
    const qsizetype removed =
        mSkippedRegions.removeIf([&](const ZEPAudioRegionRef& member) { return member->isEqual(region.get()); });
    if (removed > 0)
        registerUndo([this, copy = region->copy()] { addSkippedRegion(copy); });
}

SInt32 ZEPAudioFileEditor::defaultFadeLength()
{
    const QVariant seconds = UserDefaults::standardUserDefaults().objectForKey(kDefaultFadeDurationKey);
    const double duration = seconds.isValid() ? variant::doubleValue(seconds) : 1.0;
    return clampToFadeLength(SInt64(duration * samplesPerSecond()));
}

ZEPAudioRegionRef ZEPAudioFileEditor::removeRegion(const ZEPAudioRegionRef& region)
{
    ZEPAudioRegionRef cut = region->copy();
    cut->setVisible(false);
    cut->setFadeLength(defaultFadeLength());
    const QVariant fadeType = UserDefaults::standardUserDefaults().objectForKey(kDefaultFadeTypeKey);
    if (fadeType.isValid())
        cut->setFadeType(SInt32(UInt32(variant::integerValue(fadeType))));
    addSkippedRegion(cut);
    return cut;
}

ZEPAudioRegionRef ZEPAudioFileEditor::silenceRegion(const ZEPAudioRegionRef& region)
{
    ZEPAudioRegionRef silence = region->copy();
    silence->setVisible(true);
    silence->setType(kZEPAudioRegionSilence);
    silence->setShowBoth(true);
    silence->setFadeLength(clampToFadeLength(SInt64(samplesPerSecond())));
    ZEPAudioRegionRef adjusted = adjustedRegion(silence);
    addSkippedRegion(adjusted);
    return adjusted;
}

ZEPAudioRegionRef ZEPAudioFileEditor::adjustedRegion(const ZEPAudioRegionRef& region)
{
    ZEPAudioRegionRef adjusted = region->copy();
    ZEPAudioRegionList others;
    for (const ZEPAudioRegionRef& member : std::as_const(mSkippedRegions)) {
        if (member->type() != region->type() || member == region)
            others.append(member);
    }
    // Taken once: a second entry of the region would count as its own neighbour.
    if (!others.contains(region))
        others.append(region);
    ZEPAudioRegion::sortRegions(others);
    const auto found = std::find_if(others.cbegin(), others.cend(),
                                    [&](const ZEPAudioRegionRef& member) { return member->isEqual(region.get()); });
    if (found == others.cend() || found == others.cbegin())
        return adjusted;
    const ZEPAudioRegionRef& previous = *(found - 1);
    if (previous->intersects(adjusted.get()))
        adjusted->setIndex(previous->end() + 1);
    if (found + 1 != others.cend() && (*(found + 1))->intersects(adjusted.get()))
        adjusted->setEnd((*(found + 1))->index() - 1);
    return adjusted;
}

bool ZEPAudioFileEditor::cropChangedOtherRegions(const ZEPAudioRegionList& snapshot, const ZEPAudioRegionRef& first,
                                                 const ZEPAudioRegionRef& last) const
{
    if (mSkippedRegions.size() != snapshot.size() || mSkippedRegions.first() != first || mSkippedRegions.last() != last)
        return true;
    return !sameValues(mSkippedRegions.mid(1, snapshot.size() - 2), snapshot.mid(1, snapshot.size() - 2));
}

void ZEPAudioFileEditor::cropToRegion(const ZEPAudioRegion& region)
{
    if (mSkippedRegions.size() < 2)
        return; // no start and end regions to move
    const ZEPAudioRegionRef first = mSkippedRegions.first();
    const ZEPAudioRegionRef last = mSkippedRegions.last();
    const ZEPAudioRegionRef firstBefore = first->copy();
    const ZEPAudioRegionRef lastBefore = last->copy();
    const ZEPAudioRegionList snapshot = deepCopy(mSkippedRegions);

    first->setEnd(region.index() - 1);
    last->setIndex(region.end() + 1);
    if (first->end() + first->fadeLength() > last->index() - last->fadeLength()) {
        const SInt32 fadeLength = clampToFadeLength((last->index() - first->end()) / 4);
        first->setFadeLength(fadeLength);
        last->setFadeLength(fadeLength);
    }
    compactRegions();

    if (mUndoManager)
        mUndoManager->beginUndoGrouping();
    if (cropChangedOtherRegions(snapshot, first, last)) {
        // The crop merged or changed regions besides the two it moved: putting those two back
        // would not restore the list, so undo restores the whole list.
        registerUndo([this, snapshot] { undoSkippedRegions(snapshot); });
    } else {
        registerUndo([this, undo = ZEPRegionReplacement{first, firstBefore}] { replaceRegionWithRegion(undo); });
        registerUndo([this, undo = ZEPRegionReplacement{last, lastBefore}] { replaceRegionWithRegion(undo); });
    }
    if (mUndoManager)
        mUndoManager->endUndoGrouping();
}

void ZEPAudioFileEditor::mergeInCompaction(qsizetype& i, const ZEPAudioRegionRef& cur, const ZEPAudioRegionRef& other,
                                           const ZEPAudioRegionRef& added)
{
    ZEPAudioRegionRef merged = cur->regionByUnionWith(*other);
    merged->setType(cur->type());
    merged->setFadeLength(cur->fadeLength());
    merged->setVisible(cur->visible());
    merged->setShowBoth(cur->showBoth() || other->showBoth());
    merged->setEndRegion(cur->endRegion() || other->endRegion());
    if (added && (cur == added || other == added)) {
        // The region just added stays, as the merge of the two.
        added->takeValuesFrom(*merged);
        mSkippedRegions.removeOne(cur == added ? other : cur);
        ++i;
        return;
    }
    mSkippedRegions.removeOne(cur);
    mSkippedRegions.removeOne(other);
    mSkippedRegions.removeIf([&](const ZEPAudioRegionRef& member) { return member->isEqual(merged.get()); });
    mSkippedRegions.append(merged);
    sortSkippedRegions();
}

void ZEPAudioFileEditor::shortenOverlappingFades(ZEPAudioRegion& cur, ZEPAudioRegion& next)
{
    const SInt64 gap = (next.index() - next.fadeLength()) - (cur.end() + cur.fadeLength());
    if (gap >= 0)
        return;
    const SInt64 nextFadeLength = gap + next.fadeLength();
    if (nextFadeLength >= 0) {
        next.setFadeLength(clampToFadeLength(nextFadeLength));
    } else {
        const SInt32 half = clampToFadeLength((next.index() - cur.end()) / 2);
        cur.setFadeLength(half);
        next.setFadeLength(half);
    }
}

void ZEPAudioFileEditor::compactRegion(const ZEPAudioRegionRef& added)
{
    qsizetype i = 0;
    while (i < mSkippedRegions.size()) {
        const ZEPAudioRegionRef cur = mSkippedRegions[i];
        const ZEPAudioRegionRef next = i + 1 < mSkippedRegions.size() ? mSkippedRegions[i + 1] : nullptr;
        // The first region (the start region) is never taken as a previous neighbour.
        const ZEPAudioRegionRef previous = i - 1 > 0 ? mSkippedRegions[i - 1] : nullptr;
        if (next && (cur->intersects(next.get()) || cur->consolidateWithNextRegion() ||
                     cur->isAdjoiningWithRegion(next.get()))) {
            if (cur->type() != next->type())
                ++i;
            else
                mergeInCompaction(i, cur, next, added);
            continue;
        }
        if (previous && (cur->consolidateWithPrevRegion() || cur->isAdjoiningWithRegion(previous.get()))) {
            if (cur->type() != previous->type())
                ++i;
            else
                mergeInCompaction(i, cur, previous, added);
            continue;
        }
        if (next)
            shortenOverlappingFades(*cur, *next);
        ++i;
    }
}

void ZEPAudioFileEditor::compactRegions()
{
    qsizetype i = 0;
    while (i + 1 < mSkippedRegions.size()) {
        const ZEPAudioRegionRef cur = mSkippedRegions[i];
        const ZEPAudioRegionRef next = mSkippedRegions[i + 1];
        const ZEPAudioRegionRef previous = i - 1 > 0 ? mSkippedRegions[i - 1] : nullptr;
        if (cur->intersects(next.get()) || cur->consolidateWithNextRegion()) {
            if (cur->type() != next->type())
                ++i;
            else
                mergeInCompaction(i, cur, next, nullptr);
            continue;
        }
        if (previous && cur->consolidateWithPrevRegion()) {
            if (cur->type() != previous->type())
                ++i;
            else
                mergeInCompaction(i, cur, previous, nullptr);
            continue;
        }
        shortenOverlappingFades(*cur, *next);
        ++i;
    }
}

ZEPAudioRegionRef ZEPAudioFileEditor::previousRegionRelativeTo(const ZEPAudioRegionRef& region) const
{
    const qsizetype index = mSkippedRegions.indexOf(region);
    return index > 0 ? mSkippedRegions[index - 1] : nullptr;
}

ZEPAudioRegionRef ZEPAudioFileEditor::nextRegionRelativeTo(const ZEPAudioRegionRef& region) const
{
    const qsizetype index = mSkippedRegions.indexOf(region);
    return index >= 0 && index + 1 < mSkippedRegions.size() ? mSkippedRegions[index + 1] : nullptr;
}

void ZEPAudioFileEditor::repairEdits()
{
    const SInt64 count = totalSampleCount();
    if (count <= 0)
        return;
    const ZEPAudioRegionList snapshot = deepCopy(mSkippedRegions);
    // The repair is one undo step of the whole list, not one per region it adds.
    if (mUndoManager)
        mUndoManager->disableUndoRegistration();

    const ZEPAudioRegionRef file = ZEPAudioRegion::regionAtIndex(0, count);
    auto addEndRegion = [&](SInt64 index) {
        ZEPAudioRegionRef region = mAudioRegionClass.regionAtIndexWithLength(index, 1);
        region->setShowBoth(true);
        region->setEndRegion(true);
        addSkippedRegion(region);
    };
    if (mSkippedRegions.isEmpty() || !mSkippedRegions.first()->endRegion())
        addEndRegion(0);
    if (mSkippedRegions.isEmpty() || !mSkippedRegions.last()->endRegion() ||
        mSkippedRegions.first() == mSkippedRegions.last())
        addEndRegion(count - 2);

    if (!mSkippedRegions.isEmpty()) {
        const ZEPAudioRegionRef first = mSkippedRegions.first();
        const ZEPAudioRegionRef last = mSkippedRegions.last();
        first->setIndex(0);
        if (first->end() > count)
            first->setEnd(count);
        if (last->index() < 2)
            last->setIndex(1);
        if (last->index() > count)
            last->setIndex(count);
        last->setEnd(count - 1);
        mSkippedRegions.removeIf(
            [&](const ZEPAudioRegionRef& region) { return !region->isSubsetOfRegion(file.get()); });
    }

    if (mUndoManager) {
        mUndoManager->enableUndoRegistration();
        if (!sameValues(mSkippedRegions, snapshot))
            registerUndo([this, snapshot] { undoSkippedRegions(snapshot); });
    }
}
