#include "platform/ui/ZEPWindowTransformer.h"

#include "platform/NotificationCenter.h"
#include "platform/ZEPAppKitConstants.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

using clipdeck::test::waitUntil;

TEST(ZEPWindowTransformer, FadesFromTheCurrentOpacityAndAnnouncesTheEndOnce)
{
    struct Case {
        int type;
        double startOpacity;
        double endOpacity;
    };
    for (const Case& c : {Case{ZEPWindowTransformer::FadeIn, 0.3, 1.0}, Case{ZEPWindowTransformer::FadeOut, 1.0, 0.0}}) {
        QWidget window;
        window.show();
        window.setWindowOpacity(c.startOpacity);
        ZEPWindowTransformer transformer(&window, c.type, 0.02);
        QSignalSpy completed(&transformer, &ZEPWindowTransformer::windowTransformComplete);
        int notified = 0;
        NotificationCenter::defaultCenter().addObserver(&notified, ZEPWindowTransformCompleteKey, &transformer,
                                                        [&](const Notification&) { ++notified; });
        transformer.startWindowTransformation();
        EXPECT_TRUE(transformer.isRunning());
        ASSERT_TRUE(waitUntil([&] { return completed.count() > 0; })) << "type " << c.type;
        NotificationCenter::defaultCenter().removeObserver(&notified);
        EXPECT_EQ(completed.count(), 1);
        EXPECT_EQ(notified, 1);
        EXPECT_EQ(completed.at(0).at(0).value<ZEPWindowTransformer*>(), &transformer);
        EXPECT_DOUBLE_EQ(window.windowOpacity(), c.endOpacity);
        EXPECT_TRUE(window.isVisible()); // fading never hides
    }
}

TEST(ZEPWindowTransformer, AStoppedFadeAnnouncesNothing)
{
    QWidget window;
    window.show();
    ZEPWindowTransformer transformer(&window, ZEPWindowTransformer::FadeOut, 0.02);
    QSignalSpy completed(&transformer, &ZEPWindowTransformer::windowTransformComplete);
    transformer.startWindowTransformation();
    transformer.stopWindowTransformation();
    QElapsedTimer timer;
    timer.start();
    waitUntil([&] { return timer.elapsed() > 100; });
    EXPECT_EQ(completed.count(), 0);
    EXPECT_FALSE(transformer.isRunning());
}

TEST(ZEPWindowTransformer, FactoriesMakeTransformersThatTheWindowOwns)
{
    QWidget window;
    ZEPWindowTransformer* in = ZEPWindowTransformer::fadeInTransformerWithWindow(&window, 0.25);
    ZEPWindowTransformer* out = ZEPWindowTransformer::fadeOutTransformerWithWindow(&window, 0.25);
    EXPECT_EQ(in->parent(), &window);
    EXPECT_EQ(in->animationType(), ZEPWindowTransformer::FadeIn);
    EXPECT_EQ(out->animationType(), ZEPWindowTransformer::FadeOut);
    EXPECT_DOUBLE_EQ(out->animationDurationSecs(), 0.25);
    EXPECT_EQ(out->window(), &window);
}
