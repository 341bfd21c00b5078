#include "audio/editor/ZEPAudioEditor.h"
#include "audio/editor/ZEPAudioMarker.h"
#include "audio/editor/ZEPAudioRegion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A region class of the editor's own, with a field its copy carries.
class DrawnRegion : public ZEPAudioRegion {
public:
    ZEPAudioRegionClass regionClass() const override { return ZEPAudioRegionClass::of<DrawnRegion>(); }
    ZEPAudioRegionRef copy() const override
    {
        ZEPAudioRegionRef region = ZEPAudioRegion::copy();
        static_cast<DrawnRegion&>(*region).alpha = alpha;
        return region;
    }
    float alpha = 1.0f;
};

ZEPAudioRegionRef region(SInt64 index, SInt64 end)
{
    return ZEPAudioRegion::regionAtIndex(index, end);
}

} // namespace

TEST(ZEPAudioRegion, indexLengthAndEndFollowEachOther)
{
    ZEPAudioRegionRef r = ZEPAudioRegion::regionAtIndexWithLength(10, 5);
    EXPECT_EQ(r->end(), 14);
    EXPECT_EQ(r->midPoint(), 12);
    EXPECT_TRUE(r->enabled());
    EXPECT_TRUE(r->fadeEnabled());

    r->setIndex(12); // keeps the end
    EXPECT_EQ(r->length(), 3);
    EXPECT_EQ(r->end(), 14);

    r->setEnd(11); // before the index: length 0, end index - 1
    EXPECT_EQ(r->length(), 0);
    EXPECT_EQ(r->end(), 11);

    r->setEnd(-3); // ignored
    EXPECT_EQ(r->length(), 0);
    r->setLength(-4);
    EXPECT_EQ(r->length(), 0);
    r->setFadeLength(-9);
    EXPECT_EQ(r->fadeLength(), 0);

    ZEPAudioRegionRef s = ZEPAudioRegion::regionAtIndexWithLength(10, 5);
    s->setEnd(9);
    EXPECT_EQ(s->length(), 0);
    EXPECT_EQ(s->end(), 9);
}

TEST(ZEPAudioRegion, relationsBetweenClosedRanges)
{
    const struct {
        SInt64 a0, a1, b0, b1;
        bool intersects, adjoins, superset, subset;
    } cases[] = {
        {0, 9, 10, 19, false, true, false, false},
        {10, 19, 0, 9, false, true, false, false},
        {0, 10, 10, 19, true, false, false, false}, // they share packet 10
        {0, 19, 5, 9, true, false, true, false},
        {5, 9, 0, 19, true, false, false, true},
        {0, 9, 0, 9, true, false, true, true},
        {0, 9, 11, 19, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "[" << c.a0 << "," << c.a1 << "] vs [" << c.b0 << "," << c.b1 << "]");
        ZEPAudioRegionRef a = region(c.a0, c.a1), b = region(c.b0, c.b1);
        EXPECT_EQ(a->intersects(b.get()), c.intersects);
        EXPECT_EQ(a->isAdjoiningWithRegion(b.get()), c.adjoins);
        EXPECT_EQ(a->isSuperSetOfRegion(b.get()), c.superset);
        EXPECT_EQ(a->isSubsetOfRegion(b.get()), c.subset);
    }
    ZEPAudioRegionRef a = region(0, 9);
    EXPECT_FALSE(a->intersects(nullptr));
    EXPECT_FALSE(a->isAdjoiningWithRegion(nullptr));
    EXPECT_FALSE(a->isSuperSetOfRegion(nullptr));
    EXPECT_FALSE(a->isSubsetOfRegion(nullptr));
    EXPECT_TRUE(a->containsLocation(0));
    EXPECT_TRUE(a->containsLocation(9));
    EXPECT_FALSE(a->containsLocation(10));

    ZEPAudioRegionRef both = region(5, 30)->regionByUnionWith(*region(0, 9));
    EXPECT_EQ(both->index(), 0);
    EXPECT_EQ(both->end(), 30);
    ZEPAudioRegionRef overlap = region(0, 20)->regionByIntersectionWith(*region(5, 30));
    ASSERT_TRUE(overlap);
    EXPECT_EQ(overlap->index(), 5);
    EXPECT_EQ(overlap->end(), 20);
    EXPECT_FALSE(region(0, 9)->regionByIntersectionWith(*region(10, 19)));
}

TEST(ZEPAudioRegion, ordersAndComparesByPositionOnly)
{
    ZEPAudioRegionRef shorter = ZEPAudioRegion::regionAtIndexWithLength(5, 2);
    ZEPAudioRegionRef longer = ZEPAudioRegion::regionAtIndexWithLength(5, 3);
    EXPECT_EQ(shorter->compare(*longer), -1);
    EXPECT_EQ(longer->compare(*shorter), 1);
    EXPECT_EQ(region(4, 100)->compare(*shorter), -1);

    ZEPAudioRegionRef cut = region(5, 9);
    ZEPAudioRegionRef silence = region(5, 9);
    silence->setType(kZEPAudioRegionSilence);
    EXPECT_EQ(cut->compare(*silence), 0);
    EXPECT_TRUE(cut->isEqual(silence.get()));
    EXPECT_FALSE(cut->isEqualtoRegion(silence.get()));
    EXPECT_TRUE(cut->isEqualtoRegion(cut->copy().get()));
}

TEST(ZEPAudioRegion, fadeTypeTables)
{
    const struct {
        SInt32 type, next, left, right;
    } cases[] = {
        {0, 7, 0, 0}, {7, 4, 9, 8}, {4, 1, 6, 5}, {1, 0, 3, 2}, {10, 0, 10, 10},
        {2, 0, 0, 0}, {3, 0, 0, 0}, {8, 0, 0, 0}, {9, 0, 0, 0}, {42, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ZEPAudioRegionRef r = region(0, 9);
        r->setFadeType(c.type);
        EXPECT_EQ(r->nextFadeType(), c.next);
        EXPECT_EQ(r->leftFadeType(), c.left);
        EXPECT_EQ(r->rightFadeType(), c.right);
    }

    ZEPAudioRegionRef cut = region(100, 199);
    cut->setFadeType(kZEPFadeLinear);
    cut->setFadeLength(10);
    ZEPAudioRegionRef left = cut->leftFadeRegion();
    EXPECT_EQ(left->index(), 90);
    EXPECT_EQ(left->end(), 100);
    EXPECT_EQ(left->fadeType(), kZEPFadeLinearOut);
    ZEPAudioRegionRef right = cut->rightFadeRegion();
    EXPECT_EQ(right->index(), 199);
    EXPECT_EQ(right->end(), 209);
    EXPECT_EQ(right->fadeType(), kZEPFadeLinearIn);
}

TEST(ZEPAudioRegion, dictionaryFormRoundTripsAndReadsLeniently)
{
    ZEPAudioRegionRef r = region(1000, 1999);
    r->setType(kZEPAudioRegionSilence);
    r->setVisible(true);
    r->setFadeType(kZEPFadeSquare);
    r->setFadeLength(441);
    r->setFadeEnabled(false);
    r->setFadeParameter(0.25f);
    r->setEndRegion(true);
    const QVariantMap form = r->asDictionary();
    EXPECT_EQ(form.size(), 9);
    ZEPAudioRegionRef back = ZEPAudioRegion::regionWithDictionary(form);
    EXPECT_TRUE(back->isEqualtoRegion(r.get()));
    EXPECT_TRUE(back->showBoth()); // follows from the end-region flag
    EXPECT_FALSE(back->enabled()); // not saved

    // What older files and hand edits hold: strings for numbers, a missing fade flag.
    ZEPAudioRegionRef lenient = ZEPAudioRegion::regionWithDictionary(
        {{"Index", "100"}, {"Length", 50.0}, {"Visible", "YES"}, {"Type", qlonglong(0xFFFFFFFF)}});
    EXPECT_EQ(lenient->index(), 100);
    EXPECT_EQ(lenient->end(), 149);
    EXPECT_TRUE(lenient->visible());
    EXPECT_TRUE(lenient->fadeEnabled());
    EXPECT_EQ(lenient->type(), 0xFFFFFFFFu);
    EXPECT_FALSE(lenient->showBoth());

    ZEPAudioRegionRef empty = ZEPAudioRegion::regionWithDictionary({});
    EXPECT_EQ(empty->index(), 0);
    EXPECT_EQ(empty->length(), 0);
    EXPECT_TRUE(empty->fadeEnabled());
}

TEST(ZEPAudioRegion, aRegionClassMakesAndCopiesItsOwnInstances)
{
    const ZEPAudioRegionClass drawn = ZEPAudioRegionClass::of<DrawnRegion>();
    ZEPAudioRegionRef r = drawn.regionAtIndex(10, 20);
    ASSERT_TRUE(dynamic_cast<DrawnRegion*>(r.get()));
    static_cast<DrawnRegion&>(*r).alpha = 0.5f;
    r->setFadeLength(7);
    r->setConsolidateWithNextRegion(true);

    ZEPAudioRegionRef copy = r->copy();
    ASSERT_TRUE(dynamic_cast<DrawnRegion*>(copy.get()));
    EXPECT_EQ(static_cast<DrawnRegion&>(*copy).alpha, 0.5f);
    EXPECT_TRUE(copy->isEqualtoRegion(r.get()));
    EXPECT_FALSE(copy->consolidateWithNextRegion()); // not copied
    EXPECT_TRUE(copy->enabled());
    EXPECT_TRUE(dynamic_cast<DrawnRegion*>(r->regionByUnionWith(*region(0, 5)).get()));
    // Fade regions are always plain.
    EXPECT_FALSE(dynamic_cast<DrawnRegion*>(r->leftFadeRegion().get()));
}

TEST(ZEPAudioMarker, equalByLocationAndSavedByNameAndIndex)
{
    ZEPAudioMarkerRef a = ZEPAudioMarker::markerWithName("Verse", 500);
    ZEPAudioMarkerRef b = ZEPAudioMarker::markerWithName("Chorus", 500);
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->compare(*b), 0);
    EXPECT_EQ(a->compare(*ZEPAudioMarker::markerWithName("Intro", 10)), 1);

    a->setSelected(true);
    ZEPAudioMarkerRef copy = a->copy();
    EXPECT_EQ(copy->name(), "Verse");
    EXPECT_EQ(copy->location(), 500);
    EXPECT_FALSE(copy->selected());

    ZEPAudioMarkerRef back = ZEPAudioMarker::markerWithDictionary(a->asDictionary());
    EXPECT_EQ(back->name(), "Verse");
    EXPECT_EQ(back->location(), 500);

    // A marker without a name saves its location only.
    const QVariantMap unnamed = ZEPAudioMarker().asDictionary();
    EXPECT_FALSE(unnamed.contains("Name"));
    EXPECT_TRUE(ZEPAudioMarker::markerWithDictionary(unnamed)->name().isNull());
}

// The fade curves, with one sample per packet over a covered region equal to the fade.
TEST(ZEPAudioEditorFade, curvesScaleTheSamplesUnderTheFade)
{
    constexpr UInt32 kLength = 100;
    const struct {
        SInt32 type;
        double (*gain)(double x);
    } cases[] = {
        {kZEPFadeLinearIn, [](double x) { return x; }},
        {kZEPFadeLinearOut, [](double x) { return 1 - x; }},
        {kZEPFadeSquareIn, [](double x) { return x * x; }},
        {kZEPFadeSquareOut, [](double x) { return (1 - x) * (1 - x); }},
        {kZEPFadeLogOut, [](double x) { return std::log10(10 * (1 - x) + 1); }},
        {kZEPFadeLinear, [](double) { return 1.0; }},
        {kZEPFadeNone, [](double) { return 1.0; }},
    };
    ZEPAudioRegionRef fade = ZEPAudioRegion::regionAtIndexWithLength(1000, kLength);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        fade->setFadeType(c.type);
        std::vector<float> samples(kLength, 0.5f);
        ZEPAudioEditor::applyFade(*fade, samples.data(), kLength, 1, *fade);
        for (UInt32 i = 0; i < kLength; ++i)
            EXPECT_NEAR(samples[i], 0.5 * c.gain((i + 1) / double(kLength)), 1e-6) << "sample " << i;
    }
}

TEST(ZEPAudioEditorFade, logFadeInIsClampedAndExactAtItsEnd)
{
    ZEPAudioRegionRef fade = ZEPAudioRegion::regionAtIndexWithLength(0, 100);
    fade->setFadeType(kZEPFadeLogIn);
    std::vector<float> samples(100, 0.99f);
    ZEPAudioEditor::applyFade(*fade, samples.data(), 100, 1, *fade);
    EXPECT_NEAR(samples[0], 0.99 * std::log10(1.1), 1e-6);
    EXPECT_FLOAT_EQ(samples[98], 1.0f); // 0.99 x 1.037 clamped
    EXPECT_FLOAT_EQ(samples[99], 0.99f); // gain exactly 1 at x = 1
}

TEST(ZEPAudioEditorFade, constantGainTouchesOnlyTheSamplesUnderTheRegion)
{
    ZEPAudioRegionRef silence = ZEPAudioRegion::regionAtIndex(110, 119);
    silence->setFadeType(kZEPFadeConstantGain);
    silence->setFadeParameter(0.0f);
    ZEPAudioRegionRef covered = ZEPAudioRegion::regionAtIndex(100, 129);
    std::vector<float> samples(30, 2.0f); // out of range: untouched samples stay unclamped
    ZEPAudioEditor::applyFade(*silence, samples.data(), 30, 1, *covered);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(samples[size_t(i)], i >= 10 && i < 20 ? 0.0f : 2.0f) << "sample " << i;

    // One value per ten packets: the values under [110, 119] are 1 and 2 (ceil of 19/10).
    std::vector<float> reduced(3, 2.0f);
    ZEPAudioEditor::applyFade(*silence, reduced.data(), 3, 10, *covered);
    EXPECT_EQ(reduced, (std::vector<float>{2.0f, 0.0f, 0.0f}));

    // Nothing for no overlap or no samples.
    std::vector<float> apart(30, 0.5f);
    ZEPAudioEditor::applyFade(*silence, apart.data(), 30, 1, *ZEPAudioRegion::regionAtIndex(200, 229));
    ZEPAudioEditor::applyFade(*silence, apart.data(), 0, 1, *covered);
    EXPECT_EQ(apart, std::vector<float>(30, 0.5f));
}
