#include "hudkit/ZEPHUDPanel.h"

#include "platform/ui/ZEPWindowTransformer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <vector>

using clipdeck::test::waitUntil;

namespace {

enum class Step { OrderFront, Close, FinishFade };
enum class Fade { None, In, Out };

struct Expected {
    bool visible;
    Fade fade;
};

struct Row {
    const char* name;
    bool shouldFade;
    std::vector<std::pair<Step, Expected>> steps;
};

Fade runningFade(const ZEPHUDPanel& panel)
{
    const ZEPWindowTransformer* transformer = panel.windowTransformer();
    if (!transformer)
        return Fade::None;
    return transformer->animationType() == ZEPWindowTransformer::FadeIn ? Fade::In : Fade::Out;
}

const char* nameOf(Step step)
{
    switch (step) {
    case Step::OrderFront:
        return "orderFront";
    case Step::Close:
        return "close";
    case Step::FinishFade:
        return "finish fade";
    }
    return "";
}

} // namespace

TEST(ZEPHUDPanel, FadesInAndOutAsItsStateMachineSays)
{
    constexpr auto front = Step::OrderFront;
    constexpr auto close = Step::Close;
    constexpr auto finish = Step::FinishFade;
    const Expected shown{true, Fade::None}, hidden{false, Fade::None};
    const Expected fadingIn{true, Fade::In}, fadingOut{true, Fade::Out};
    const Row rows[] = {
        {"without fading, no fader", false, {{front, shown}, {close, hidden}, {front, shown}, {close, hidden}}},
        {"a faded close", true, {{front, fadingIn}, {finish, shown}, {close, fadingOut}, {finish, hidden}}},
        {"a second close while fading closes at once",
         true,
         {{front, fadingIn}, {finish, shown}, {close, fadingOut}, {close, hidden}, {front, fadingIn}, {finish, shown},
          {close, fadingOut}}},
        {"the close after a faded close is immediate, the next one fades",
         true,
         {{front, fadingIn}, {finish, shown}, {close, fadingOut}, {finish, hidden}, {front, fadingIn}, {finish, shown},
          {close, hidden}, {front, fadingIn}, {finish, shown}, {close, fadingOut}}},
        {"ordered front while fading out, it stays shown",
         true,
         {{front, fadingIn}, {finish, shown}, {close, fadingOut}, {front, fadingIn}, {finish, shown}, {close, hidden}}},
    };
    for (const Row& row : rows) {
        ZEPHUDPanel panel(QRect(0, 0, 200, 100));
        panel.setShouldFade(row.shouldFade);
        panel.setFadeDuration(0.02f);
        int index = 0;
        for (const auto& [step, expected] : row.steps) {
            const std::string where = std::string(row.name) + ", step " + std::to_string(++index) + " (" + nameOf(step) + ")";
            switch (step) {
            case Step::OrderFront:
                panel.orderFront();
                break;
            case Step::Close:
                panel.close();
                break;
            case Step::FinishFade:
                ASSERT_TRUE(waitUntil([&] { return panel.windowTransformer() == nullptr; })) << where;
                // A stale fade would close the panel later: give it the time to.
                waitUntil([] { return false; }, 60);
                break;
            }
            EXPECT_EQ(panel.isVisible(), expected.visible) << where;
            EXPECT_EQ(runningFade(panel), expected.fade) << where;
            if (expected.fade == Fade::None) {
                EXPECT_DOUBLE_EQ(panel.windowOpacity(), 1.0) << where;
            }
        }
    }
}

TEST(ZEPHUDPanel, GivesItsFadeDurationToBothFades)
{
    ZEPHUDPanel panel(QRect(0, 0, 200, 100));
    EXPECT_FALSE(panel.shouldFade());
    EXPECT_FLOAT_EQ(panel.fadeDuration(), 1.0f);
    panel.setShouldFade(true);
    panel.setFadeDuration(0.25f);
    panel.orderFront();
    ASSERT_NE(panel.windowTransformer(), nullptr);
    EXPECT_DOUBLE_EQ(panel.windowTransformer()->animationDurationSecs(), 0.25);
    EXPECT_DOUBLE_EQ(panel.windowOpacity(), 0.0); // starts invisible
    ASSERT_TRUE(waitUntil([&] { return panel.windowTransformer() == nullptr; }));
    panel.close();
    ASSERT_NE(panel.windowTransformer(), nullptr);
    EXPECT_DOUBLE_EQ(panel.windowTransformer()->animationDurationSecs(), 0.25);
}

TEST(ZEPHUDPanel, CanBeDestroyedWhileFading)
{
    auto panel = std::make_unique<ZEPHUDPanel>(QRect(0, 0, 200, 100));
    panel->setShouldFade(true);
    panel->setFadeDuration(0.02f);
    panel->orderFront();
    panel.reset();
    waitUntil([] { return false; }, 60);
}
