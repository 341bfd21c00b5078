// The kit's controls as drawn from their skin images, under Qt's offscreen platform.
#include "hudkit/ZEPHUDBox.h"
#include "hudkit/ZEPHUDButton.h"
#include "hudkit/ZEPHUDCheckbox.h"
#include "hudkit/ZEPHUDContentView.h"
#include "hudkit/ZEPHUDImage.h"
#include "hudkit/ZEPHUDMenuView.h"
#include "hudkit/ZEPHUDMenuWindow.h"
#include "hudkit/ZEPHUDPanel.h"
#include "hudkit/ZEPHUDPopUpButton.h"
#include "hudkit/ZEPHUDSegmentedControl.h"
#include "hudkit/ZEPHUDSlider.h"
#include "hudkit/ZEPHUDTabView.h"
#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPInnerTabView.h"

#include "../platform/ui/RenderedPicture.h"
#include "HUDKitShowcase.h"

#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

// Takes the kit's images away for as long as it lives, as if the library had been built
// without them. (At global scope: the resource functions are global.)
struct WithoutKitImages {
    WithoutKitImages() { Q_CLEANUP_RESOURCE(ZEPHUDKit); }
    ~WithoutKitImages() { Q_INIT_RESOURCE(ZEPHUDKit); }
};

namespace {

QImage kitImage(const char* name)
{
    QImage image = ZEPHUDImageNamed(QString::fromLatin1(name));
    EXPECT_FALSE(image.isNull()) << name;
    return image;
}

// Whether picture shows part at its own size, pixel for pixel, with its top left corner
// at origin; only where the part is opaque when it may be drawn over something else.
::testing::AssertionResult showsPart(const QImage& picture, const QImage& part, QPoint origin, bool opaqueOnly = false)
{
    if (part.isNull())
        return ::testing::AssertionFailure() << "no part image";
    int compared = 0;
    for (int y = 0; y < part.height(); ++y) {
        for (int x = 0; x < part.width(); ++x) {
            if (opaqueOnly && qAlpha(part.pixel(x, y)) != 255)
                continue;
            ++compared;
            const QPoint at = origin + QPoint(x, y);
            if (picture.pixel(at) != part.pixel(x, y))
                return ::testing::AssertionFailure() << "pixel " << at.x() << "," << at.y() << " is " << std::hex
                                                     << picture.pixel(at) << ", the part's " << part.pixel(x, y);
        }
    }
    if (compared == 0)
        return ::testing::AssertionFailure() << "nothing to compare";
    return ::testing::AssertionSuccess();
}

// Whether the one-pixel column of a horizontal tile fills column x of picture from top.
::testing::AssertionResult showsTileColumn(const QImage& picture, const QImage& tile, int x, int top = 0)
{
    QImage column = tile.copy(0, 0, 1, tile.height());
    return showsPart(picture, column, QPoint(x, top));
}

// above drawn over below, both at their own size.
QImage over(const QImage& below, const QImage& above)
{
    QImage picture = below.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&picture);
    painter.drawImage(QPoint(0, 0), above);
    return picture;
}

QImage renderedTwice(QWidget& widget)
{
    renderedPicture(widget); // a tab view configures itself on its first draw
    return renderedPicture(widget);
}

} // namespace

TEST(HUDKit, CreatesEveryControl)
{
    ZEPHUDPanel panel(QRect(0, 0, 300, 200));
    ZEPHUDContentView content(QRect(0, 0, 300, 200), &panel);
    ZEPHUDButton button(QRect(0, 0, 80, 22), &content);
    ZEPHUDSlider slider(QRect(0, 30, 120, 20), 0, &content);
    ZEPHUDCheckbox checkbox(QRect(0, 60, 100, 18), &content);
    ZEPHUDBox box(QRect(0, 90, 100, 50), ZEPHUDBox::BezelBorder, &content);
    ZEPHUDTabView tabView(QRect(120, 0, 160, 120), &content);
    ZEPHUDPopUpButton popUp(QRect(120, 130, 120, 22), &content);
    ZEPHUDSegmentedControl segments(&content);
    ZEPHUDMenuWindow menuWindow(QRect(0, 0, 100, 60));
    ZEPHUDMenuView menuView(QRect(0, 0, 100, 60));

    EXPECT_EQ(button.textColor(), QColor(Qt::white));
    EXPECT_EQ(button.image().size(), QSize(80, 22));
    EXPECT_FALSE(slider.barImage().isNull());
    EXPECT_EQ(checkbox.buttonType(), ZEPButtonType::Switch);
    EXPECT_FALSE(popUp.enabledImage().isNull());
    EXPECT_FALSE(popUp.disabledImage().isNull());
    EXPECT_EQ(popUp.titleAttributes().foregroundColor, QColor(Qt::white));
    EXPECT_EQ(segments.attributesForLabels().font.pixelSize(), 11);
    EXPECT_NE(dynamic_cast<ZEPHUDSegmentedControl*>(tabView.tabBar()), nullptr);
    EXPECT_EQ(tabView.tabViewType(), 6);
    EXPECT_EQ(tabView.tabView()->transitionStyle(), 2);
    EXPECT_FALSE(tabView.tabView()->drawsBackground());
    EXPECT_FALSE(menuView.backgroundImage().isNull());
    EXPECT_TRUE(panel.becomesKeyOnlyIfNeeded());
    EXPECT_TRUE(panel.canBecomeKeyWindow());
}

TEST(ZEPHUDSlider, ShapesItsBarAndChoosesItsKnobFromFrameAndTicks)
{
    const QImage leftCap = kitImage("sliderline-leftcap"), tile = kitImage("sliderline-tile"),
                 rightCap = kitImage("sliderline-rightcap");
    struct Case {
        QRect frame;
        int ticks;
        QRectF bar;
        bool vertical;
        const char* knob;
        const char* tick;
    };
    const Case cases[] = {
        {{0, 0, 200, 20}, 0, {0, 0, 200, qreal(leftCap.height())}, false, "slider-ball", nullptr},
        {{0, 0, 20, 200}, 5, {0, 0, qreal(leftCap.width()), 200}, true, "slider-pointy", "slider-snappoint"},
        // A square slider gets the vertical shape of bar with its parts laid out across.
        {{0, 0, 40, 40}, 0, {0, 0, qreal(leftCap.width()), 40}, false, "slider-ball", nullptr},
    };
    for (const Case& c : cases) {
        ZEPHUDSlider slider(c.frame, c.ticks);
        const QImage expectedBar = ThreePartImage(c.bar, leftCap, tile, rightCap, c.vertical,
                                                  QPainter::CompositionMode_SourceOver, 1.0, false);
        EXPECT_EQ(slider.barImage().size(), c.bar.size().toSize()) << c.frame.width() << "x" << c.frame.height();
        EXPECT_EQ(slider.barImage(), expectedBar) << c.frame.width() << "x" << c.frame.height();
        EXPECT_EQ(slider.knobImage(), kitImage(c.knob));
        EXPECT_EQ(slider.tickImage(), c.tick ? kitImage(c.tick) : QImage());
    }
}

TEST(ZEPHUDBox, RebuildsItsCachedPictureOnlyWhenItsFrameChanges)
{
    ZEPHUDBox box(QRect(10, 10, 100, 60), ZEPHUDBox::GrooveBorder);
    EXPECT_TRUE(box.cachedImage().isNull());
    renderedPicture(box);
    const qint64 first = box.cachedImage().cacheKey();
    EXPECT_EQ(box.cachedImage().size(), QSize(100, 60));
    box.update();
    renderedPicture(box);
    EXPECT_EQ(box.cachedImage().cacheKey(), first);

    box.setGeometry(QRect(20, 10, 140, 80));
    renderedPicture(box);
    EXPECT_NE(box.cachedImage().cacheKey(), first);
    EXPECT_EQ(box.cachedImage().size(), QSize(140, 80));
}

TEST(ZEPHUDBox, ALineBorderDrawsOnlyInsideTheRectangleBeingRedrawn)
{
    ZEPHUDBox box(QRect(0, 0, 100, 60), ZEPHUDBox::LineBorder);
    box.setBorderColor(QColor(255, 0, 0));
    EXPECT_EQ(box.borderColor(), QColor(255, 0, 0));
    const QRgb red = qRgb(255, 0, 0);

    // A redraw inside the box touches nothing: no stray frame around the redrawn part.
    EXPECT_TRUE(isTransparent(renderedPicture(box, QRegion(30, 20, 40, 20))));

    // A redraw of the top left corner draws the border there and nowhere else.
    const QImage corner = renderedPicture(box, QRegion(0, 0, 40, 20));
    EXPECT_EQ(corner.pixel(0, 10), red);
    EXPECT_EQ(corner.pixel(20, 0), red);
    EXPECT_EQ(qAlpha(corner.pixel(39, 19)), 0);
    EXPECT_EQ(qAlpha(corner.pixel(60, 0)), 0);

    const QImage whole = renderedPicture(box);
    EXPECT_EQ(whole.pixel(99, 30), red);
    EXPECT_EQ(whole.pixel(50, 59), red);
    EXPECT_EQ(qAlpha(whole.pixel(50, 30)), 0);

    // Without a border, or with a line border, the box has no images to draw.
    EXPECT_TRUE(isTransparent(renderedPicture(*std::make_unique<ZEPHUDBox>(QRect(0, 0, 50, 50), ZEPHUDBox::NoBorder))));
}

namespace {
class CountingTabView : public ZEPHUDTabView {
public:
    using ZEPHUDTabView::ZEPHUDTabView;
    int configureCount = 0;
    void configure() override
    {
        ++configureCount;
        ZEPHUDTabView::configure();
    }
};
} // namespace

TEST(ZEPHUDTabView, ConfiguresOnItsFirstDrawOnlyAndFramesItsPages)
{
    CountingTabView tabView(QRect(0, 0, 200, 120));
    QWidget first, second;
    tabView.addTabViewItem(&first, QStringLiteral("One"));
    tabView.addTabViewItem(&second, QStringLiteral("Two"));
    const int barHeight = tabView.tabBar()->height();
    const QRect pagesBefore = tabView.tabView()->geometry();
    EXPECT_EQ(pagesBefore, QRect(0, barHeight, 200, 120 - barHeight));
    EXPECT_EQ(tabView.configureCount, 0);

    const QImage picture = renderedTwice(tabView);
    renderedPicture(tabView);
    EXPECT_EQ(tabView.configureCount, 1);

    // Grown by the border around the pages, which keep their size.
    const QImage bottomLeft = kitImage("tabbox-bottomleft"), bottomRight = kitImage("tabbox-bottomright"),
                 topLeft = kitImage("tabbox-topleft"), left = kitImage("tabbox-left"), bottom = kitImage("tabbox-bottom");
    EXPECT_EQ(tabView.size(), QSize(200 + bottomLeft.width() + bottomRight.width(), 120 + bottom.height()));
    EXPECT_EQ(tabView.tabView()->geometry(), QRect(QPoint(bottomLeft.width(), barHeight), pagesBefore.size()));

    // The box's top edge runs through the middle of the bar.
    ASSERT_EQ(barHeight % 2, 0);
    const int boxTop = barHeight / 2;
    EXPECT_EQ(tabView.backgroundFrame(), QRectF(0, boxTop, tabView.width(), tabView.height() - boxTop));
    EXPECT_TRUE(showsPart(picture, topLeft, QPoint(0, boxTop)));
    EXPECT_TRUE(showsPart(picture, bottomRight,
                          QPoint(tabView.width() - bottomRight.width(), tabView.height() - bottomRight.height())));
    EXPECT_TRUE(showsPart(picture, left, QPoint(0, tabView.height() / 2 + 10)));
    EXPECT_EQ(qAlpha(picture.pixel(tabView.width() / 2, tabView.height() / 2)), 0); // open in the middle
    tabView.tabView()->removeWidget(&first);
    tabView.tabView()->removeWidget(&second);
}

TEST(HUDKit, MissingImagesDrawNothingAndCrashNothing)
{
    WithoutKitImages withoutImages;
    EXPECT_TRUE(ZEPHUDImageNamed(QStringLiteral("button-leftcap")).isNull());

    ZEPHUDButton button(QRect(0, 0, 80, 22));
    ZEPHUDSlider plain(QRect(0, 0, 120, 20), 0);
    ZEPHUDSlider ticked(QRect(0, 0, 20, 120), 4);
    ZEPHUDCheckbox checkbox(QRect(0, 0, 100, 18));
    ZEPHUDBox groove(QRect(0, 0, 100, 50), ZEPHUDBox::GrooveBorder);
    ZEPHUDBox bezel(QRect(0, 0, 100, 50), ZEPHUDBox::BezelBorder);
    CountingTabView tabView(QRect(0, 0, 160, 120));
    tabView.addTabViewItem(new QWidget, QString());
    ZEPHUDPopUpButton popUp(QRect(0, 0, 120, 22));
    ZEPHUDSegmentedControl segments;
    segments.setGeometry(0, 0, 90, 20);
    segments.setSegmentCount(3);
    ZEPHUDMenuView menuView(QRect(0, 0, 100, 60));
    for (QWidget* control : std::initializer_list<QWidget*>{&button, &plain, &ticked, &checkbox, &groove, &bezel,
                                                           &tabView, &popUp, &segments, &menuView})
        EXPECT_TRUE(isTransparent(renderedTwice(*control))) << control->metaObject()->className();
    EXPECT_EQ(tabView.configureCount, 1);

    popUp.addItemWithTitle(QStringLiteral("Item"));
    popUp.popUp();
    ASSERT_NE(popUp.menuWindow(), nullptr);
    auto* view = dynamic_cast<ZEPHUDMenuView*>(popUp.menuWindow()->contentView());
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(isTransparent(view->backgroundImage()));
    renderedPicture(*view);
    popUp.menuWindow()->close();
}

TEST(ZEPHUDButton, ShowsItsCapsAndTileAcrossItsWidth)
{
    ZEPHUDButton button(QRect(0, 0, 120, 22));
    const QImage picture = renderedPicture(button);
    const QImage leftCap = kitImage("button-leftcap"), rightCap = kitImage("button-rightcap");
    EXPECT_TRUE(showsPart(picture, leftCap, QPoint(0, 0)));
    EXPECT_TRUE(showsTileColumn(picture, kitImage("button-tile"), 60));
    EXPECT_TRUE(showsTileColumn(picture, kitImage("button-tile"), leftCap.width()));
    EXPECT_TRUE(showsPart(picture, rightCap, QPoint(120 - rightCap.width(), 0)));
}

TEST(ZEPHUDSlider, ShowsItsBarEndsAndKnobWhereTheValueIs)
{
    ZEPHUDSlider slider(QRect(0, 0, 200, 20), 0);
    slider.setDoubleValue(0.5);
    const QImage picture = renderedPicture(slider);
    const QImage leftCap = kitImage("sliderline-leftcap"), rightCap = kitImage("sliderline-rightcap");
    const int barTop = (20 - leftCap.height()) / 2;
    EXPECT_TRUE(showsPart(picture, leftCap, QPoint(0, barTop)));
    EXPECT_TRUE(showsTileColumn(picture, kitImage("sliderline-tile"), 40, barTop));
    EXPECT_TRUE(showsPart(picture, rightCap, QPoint(200 - rightCap.width(), barTop)));
    const QImage ball = kitImage("slider-ball");
    const QPoint knob = slider.knobRect().topLeft().toPoint();
    EXPECT_NEAR(knob.x() + ball.width() / 2.0, 100, 1);
    EXPECT_TRUE(showsPart(picture, ball, knob, true));

    ZEPHUDSlider ticked(QRect(0, 0, 200, 20), 3);
    ticked.setDoubleValue(0);
    const QImage tickedPicture = renderedPicture(ticked);
    EXPECT_TRUE(showsPart(tickedPicture, kitImage("slider-pointy"), ticked.knobRect().topLeft().toPoint(), true));
    // The snap points are drawn over the bar, brighter than it.
    const QColor bar = QColor::fromRgba(tickedPicture.pixel(60, 10));
    const QColor snap = QColor::fromRgba(tickedPicture.pixel(100, 10));
    EXPECT_GT(snap.alpha(), bar.alpha());
}

TEST(ZEPHUDCheckbox, ShowsItsBoxForEachStateAtTheLeft)
{
    ZEPHUDCheckbox checkbox(QRect(0, 0, 100, 18));
    checkbox.setTitle(QStringLiteral("Loop"));
    EXPECT_EQ(checkbox.textColor(), QColor(Qt::white));
    const QImage normal = kitImage("checkbox-normal"), active = kitImage("checkbox-active");
    const QPoint origin(0, (18 - normal.height()) / 2);
    EXPECT_TRUE(showsPart(renderedPicture(checkbox), normal, origin));
    QTest::mouseClick(&checkbox, Qt::LeftButton, {}, QPoint(50, 9));
    EXPECT_TRUE(checkbox.isChecked());
    EXPECT_TRUE(showsPart(renderedPicture(checkbox), active, origin));
}

TEST(ZEPHUDBox, ShowsItsNinePartsForBezelAndGroove)
{
    for (const auto& [type, prefix] : {std::pair{ZEPHUDBox::GrooveBorder, "inset-"}, std::pair{ZEPHUDBox::BezelBorder, "outset-"}}) {
        const auto part = [&](const char* name) { return kitImage((std::string(prefix) + name).c_str()); };
        ZEPHUDBox box(QRect(0, 0, 100, 60), type);
        const QImage picture = renderedPicture(box);
        const QImage topLeft = part("topleft"), bottomRight = part("bottomright");
        EXPECT_TRUE(showsPart(picture, topLeft, QPoint(0, 0))) << prefix;
        EXPECT_TRUE(showsPart(picture, bottomRight, QPoint(100 - bottomRight.width(), 60 - bottomRight.height()))) << prefix;
        EXPECT_TRUE(showsTileColumn(picture, part("top"), 50)) << prefix;
        EXPECT_EQ(picture.pixel(50, 30), part("bg").pixel(0, 0)) << prefix;
        EXPECT_EQ(picture.pixel(0, 30), part("left").pixel(0, 0)) << prefix;
    }
}

TEST(ZEPHUDPopUpButton, ShowsItsCapsForEachStateAndOpensAHUDMenu)
{
    ZEPHUDPopUpButton popUp(QRect(0, 0, 140, 22));
    const QImage leftCap = kitImage("popupmenu-leftcap"), rightCap = kitImage("popupmenu-rightcap");
    EXPECT_EQ(popUp.leftCapSize(), QSizeF(leftCap.size()));
    EXPECT_EQ(popUp.rightCapSize(), QSizeF(rightCap.size()));
    QImage picture = renderedPicture(popUp);
    EXPECT_TRUE(showsPart(picture, leftCap, QPoint(0, 0)));
    EXPECT_TRUE(showsTileColumn(picture, kitImage("popupmenu-tile"), 60));
    EXPECT_TRUE(showsPart(picture, rightCap, QPoint(140 - rightCap.width(), 0)));

    popUp.setEnabled(false);
    picture = renderedPicture(popUp);
    const QImage disabledRight = kitImage("popupmenu-disabled-rightcap");
    EXPECT_TRUE(showsPart(picture, kitImage("popupmenu-disabled-leftcap"), QPoint(0, 0)));
    EXPECT_TRUE(showsPart(picture, disabledRight, QPoint(140 - disabledRight.width(), 0)));

    popUp.setEnabled(true);
    popUp.addItemWithTitle(QStringLiteral("One"));
    popUp.addItemWithTitle(QStringLiteral("Two"));
    popUp.popUp();
    ZEPCustomMenuWindow* window = popUp.menuWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(dynamic_cast<ZEPHUDMenuWindow*>(window), nullptr);
    auto* view = dynamic_cast<ZEPHUDMenuView*>(window->contentView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->size(), window->size());
    EXPECT_EQ(view->backgroundImage().size(), window->size()); // built for its final frame
    EXPECT_EQ(view->normalTextAttributes().foregroundColor, QColor(Qt::white));
    EXPECT_EQ(view->borderHeight(), QSizeF(kitImage("popupmenu-top").size()));
    window->close();
}

TEST(ZEPHUDMenuView, CopiesItsNinePartBackground)
{
    ZEPHUDMenuView view(QRect(0, 0, 120, 60));
    const QImage picture = renderedPicture(view);
    const QImage topLeft = kitImage("popupmenu-topleft"), bottomRight = kitImage("popupmenu-bottomright");
    EXPECT_TRUE(showsPart(picture, topLeft, QPoint(0, 0)));
    EXPECT_TRUE(showsPart(picture, bottomRight, QPoint(120 - bottomRight.width(), 60 - bottomRight.height())));
    EXPECT_EQ(picture.pixel(60, 30), kitImage("popupmenu-bg").pixel(0, 0));
}

TEST(ZEPHUDSegmentedControl, ShowsNormalAndActiveTabsWithDividers)
{
    ZEPHUDSegmentedControl segments;
    segments.setGeometry(0, 0, 150, 20);
    segments.setSegmentCount(3);
    segments.setSelectedSegment(1);
    const QImage picture = renderedPicture(segments);
    const QImage rightCap = kitImage("tab-rightcap-normal");
    EXPECT_TRUE(showsPart(picture, kitImage("tab-leftcap-normal"), QPoint(0, 0)));
    EXPECT_TRUE(showsTileColumn(picture, kitImage("tab-tile-normal"), 25));
    EXPECT_TRUE(showsTileColumn(picture, kitImage("tab-tile-active"), 75));
    EXPECT_TRUE(showsPart(picture, rightCap, QPoint(150 - rightCap.width(), 0)));
    // Each divider is drawn over the first column of the segment to its right.
    const QImage divider = kitImage("tab-divider");
    EXPECT_TRUE(showsPart(picture, over(kitImage("tab-tile-active"), divider), QPoint(50, 0)));
    EXPECT_TRUE(showsPart(picture, over(kitImage("tab-tile-normal"), divider), QPoint(100, 0)));
}

TEST(HUDKit, TheShowcaseHoldsEveryControlOnADarkPanel)
{
    auto panel = makeHUDKitShowcase();
    const QImage picture = pictureOfShowcase(*panel);
    EXPECT_FALSE(panel->findChildren<ZEPHUDButton*>().isEmpty());
    EXPECT_FALSE(panel->findChildren<ZEPHUDTabView*>().isEmpty());
    EXPECT_FALSE(panel->findChildren<ZEPHUDMenuView*>().isEmpty());
    // The panel is dark where no control is.
    const QColor background = QColor::fromRgb(picture.pixel(picture.width() - 30, picture.height() - 30));
    EXPECT_LT(background.lightness(), 60);
    EXPECT_EQ(picture.size(), panel->size() + QSize(48, 48));
}
