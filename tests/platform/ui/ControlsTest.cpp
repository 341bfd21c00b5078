// The base controls: what they draw from their images and how they answer the mouse.
#include "platform/ui/ZEPButton.h"
#include "platform/ui/ZEPCustomMenuView.h"
#include "platform/ui/ZEPCustomMenuWindow.h"
#include "platform/ui/ZEPCustomSegmentedControl.h"
#include "platform/ui/ZEPCustomTabView.h"
#include "platform/ui/ZEPInnerTabView.h"
#include "platform/ui/ZEPPopUpButton.h"
#include "platform/ui/ZEPSlider.h"
#include "platform/ui/ZEPTextAttributes.h"

#include "RenderedPicture.h"
#include "support/TestEnvironment.h"

#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using clipdeck::test::waitUntil;

namespace {
const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kBlue = qRgb(0, 0, 255), kWhite = qRgb(255, 255, 255);
}

TEST(ZEPSlider, MapsThePointerToAValueAlongItsLength)
{
    struct Case {
        QRect frame;
        QPoint press;
        double expected;
    };
    // The knob is 20 x 20, so its centre travels from 10 to length - 10; a vertical
    // slider has its minimum at the bottom.
    const Case cases[] = {
        {{0, 0, 200, 20}, {10, 10}, 0.0},  {{0, 0, 200, 20}, {100, 10}, 0.5}, {{0, 0, 200, 20}, {190, 3}, 1.0},
        {{0, 0, 200, 20}, {-50, 10}, 0.0}, {{0, 0, 200, 20}, {400, 10}, 1.0}, {{0, 0, 20, 200}, {10, 190}, 0.0},
        {{0, 0, 20, 200}, {10, 55}, 0.75}, {{0, 0, 20, 200}, {10, 10}, 1.0},
    };
    for (const Case& c : cases) {
        ZEPSlider slider(c.frame);
        slider.setKnobImage(solidImage(kRed, 20, 20));
        slider.setMinValue(-1);
        slider.setMaxValue(1);
        slider.setDoubleValue(c.expected > 0.5 ? -1 : 1);
        QSignalSpy moved(&slider, &ZEPSlider::sliderMoved);
        QTest::mousePress(&slider, Qt::LeftButton, {}, c.press);
        EXPECT_NEAR(slider.doubleValue(), -1 + 2 * c.expected, 1e-9) << c.press.x() << "," << c.press.y();
        EXPECT_EQ(moved.count(), 1);
    }
}

TEST(ZEPSlider, DraggingTheKnobKeepsTheGrabPointAndValuesStayInRange)
{
    ZEPSlider slider(QRect(0, 0, 200, 20));
    slider.setKnobImage(solidImage(kRed, 20, 20));
    slider.setDoubleValue(0.5); // knob centre at x = 100
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(104, 10));
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 0.5); // a press on the knob does not move it
    QTest::mouseMove(&slider, QPoint(122, 10));
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 0.6);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(122, 10));

    QSignalSpy moved(&slider, &ZEPSlider::sliderMoved);
    slider.setDoubleValue(7);
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 1.0);
    EXPECT_EQ(moved.count(), 0); // only the user moves it
}

TEST(ZEPSlider, DrawsBarTicksAndKnobCentredOnTheLine)
{
    ZEPSlider slider(QRect(0, 0, 100, 20));
    slider.setBarImage(solidImage(kGreen, 100, 4));
    slider.setKnobImage(solidImage(kRed, 10, 10));
    slider.setTickImage(solidImage(kBlue, 2, 2));
    slider.setNumberOfTickMarks(3);
    slider.setDoubleValue(0);
    const QImage picture = renderedPicture(slider);
    EXPECT_EQ(picture.pixel(5, 10), kRed);    // knob at the start
    EXPECT_EQ(picture.pixel(5, 6), kRed);
    EXPECT_EQ(picture.pixel(30, 8), kGreen);  // bar, 4 high around the middle
    EXPECT_EQ(qAlpha(picture.pixel(30, 6)), 0);
    EXPECT_EQ(picture.pixel(50, 10), kBlue);  // middle tick
    EXPECT_EQ(picture.pixel(94, 10), kBlue);  // last tick, where the knob's centre would be
}

namespace {
// A cell of another look, as the drawer's: the knob keeps the plain cell's origin but takes
// its image's size, and the bar is drawn as a plain line.
class WideKnobCell : public ZEPSliderCell {
public:
    QRectF knobRectFlipped(bool flipped) const override
    {
        const QRectF plain = ZEPSliderCell::knobRectFlipped(true);
        return inCoordinates(QRectF(plain.topLeft(), QSizeF(30, 6)), flipped);
    }
    void drawBarInside(QPainter& painter, const QRectF& barRect) override
    {
        ++barsDrawn;
        painter.fillRect(barRect, QColor(kBlue));
    }
    int barsDrawn = 0;
};
} // namespace

TEST(ZEPSliderCell, ACellOfItsOwnPlacesAndDrawsTheKnobForTheSlider)
{
    auto cell = std::make_unique<WideKnobCell>();
    WideKnobCell* wide = cell.get();
    ZEPSlider slider(QRect(0, 0, 200, 20), nullptr, std::move(cell));
    EXPECT_EQ(slider.cell(), wide);
    slider.setBarImage(solidImage(kGreen, 200, 4));
    slider.setKnobImage(solidImage(kRed, 20, 20));
    slider.setDoubleValue(0);

    // The cell's knob rectangle rules drawing; y-up asks are turned over.
    EXPECT_EQ(slider.knobRect(), QRectF(0, 0, 30, 6));
    EXPECT_EQ(wide->knobRectFlipped(false), QRectF(0, 14, 30, 6));
    EXPECT_EQ(wide->barRectFlipped(false), QRectF(0, 8, 200, 4));
    EXPECT_EQ(wide->knobThickness(), 20.0);
    const QImage picture = renderedPicture(slider);
    EXPECT_EQ(wide->barsDrawn, 1);
    EXPECT_EQ(picture.pixel(100, 9), kBlue);
    EXPECT_EQ(picture.pixel(25, 3), kRed); // the knob image stretched over 30 x 6
    EXPECT_EQ(qAlpha(picture.pixel(5, 15)), 0);
}

TEST(ZEPButton, ASwitchTogglesAndShowsItsAlternateImageWhenOn)
{
    ZEPButton button(QRect(0, 0, 80, 16));
    button.setButtonType(ZEPButtonType::Switch);
    button.setImage(solidImage(kRed, 12, 12));
    button.setAlternateImage(solidImage(kGreen, 12, 12));
    EXPECT_EQ(renderedPicture(button).pixel(6, 8), kRed);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(40, 8));
    EXPECT_TRUE(button.isChecked());
    EXPECT_EQ(renderedPicture(button).pixel(6, 8), kGreen);
    EXPECT_EQ(qAlpha(renderedPicture(button).pixel(6, 1)), 0); // unscaled, centred vertically
}

TEST(ZEPButton, AMomentaryButtonDrawsItsImageCentredAndDarkerWhilePressed)
{
    ZEPButton button(QRect(0, 0, 40, 20));
    button.setImage(solidImage(kWhite, 20, 10));
    const QImage normal = renderedPicture(button);
    EXPECT_EQ(normal.pixel(20, 10), kWhite);
    EXPECT_EQ(qAlpha(normal.pixel(5, 10)), 0);
    button.setDown(true);
    const QColor pressed = QColor::fromRgb(renderedPicture(button).pixel(20, 10));
    EXPECT_LT(pressed.red(), 255);
    EXPECT_EQ(pressed.alpha(), 255);
}

TEST(ZEPCustomSegmentedControl, DrawsCapsOnTheOuterSegmentsAndSelectsByPress)
{
    ZEPCustomSegmentedControl control;
    control.setGeometry(0, 0, 90, 10);
    control.setInactiveTabLeftImage(solidImage(kRed, 3, 10), solidImage(kGreen, 1, 10), solidImage(kBlue, 4, 10));
    control.setActiveTabLeftImage(solidImage(kRed, 3, 10), solidImage(kWhite, 1, 10), solidImage(kBlue, 4, 10));
    control.setSegmentCount(3);
    control.setSelectedSegment(0);
    QSignalSpy clicked(&control, &ZEPCustomSegmentedControl::segmentClicked);
    QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(75, 5));
    EXPECT_EQ(control.selectedSegment(), 2);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 2);

    const QImage picture = renderedPicture(control);
    EXPECT_EQ(picture.pixel(1, 5), kRed);     // left cap on the first segment only
    EXPECT_EQ(picture.pixel(20, 5), kGreen);  // inactive fill
    EXPECT_EQ(picture.pixel(31, 5), kGreen);  // no caps on the middle segment
    EXPECT_EQ(picture.pixel(58, 5), kGreen);
    EXPECT_EQ(picture.pixel(70, 5), kWhite);  // the selected segment's fill
    EXPECT_EQ(picture.pixel(88, 5), kBlue);   // right cap on the last segment only
}

namespace {
class RedSegmentedControl : public ZEPCustomSegmentedControl {
    Q_OBJECT
public:
    Q_INVOKABLE explicit RedSegmentedControl(QWidget* parent = nullptr)
        : ZEPCustomSegmentedControl(parent)
    {
        setInactiveTabLeftImage(QImage(), solidImage(kRed, 1, 18), QImage());
    }
};

class RedTabView : public ZEPCustomTabView {
public:
    using ZEPCustomTabView::ZEPCustomTabView;
    const QMetaObject* tabClass() const override { return &RedSegmentedControl::staticMetaObject; }
};
} // namespace

TEST(ZEPCustomTabView, MakesItsBarFromTabClassAndSwitchesPagesFromIt)
{
    RedTabView tabView(QRect(0, 0, 200, 120));
    tabView.show();
    QWidget first, second;
    tabView.addTabViewItem(&first, QStringLiteral("One"));
    tabView.addTabViewItem(&second, QStringLiteral("Two"));
    ASSERT_NE(dynamic_cast<RedSegmentedControl*>(tabView.tabBar()), nullptr);
    EXPECT_EQ(tabView.tabBar()->segmentCount(), 2);
    EXPECT_EQ(tabView.indexOfSelectedTabViewItem(), 0);

    // The bar is centred at the top, the pages fill the rest and follow resizing.
    const QRect bar = tabView.tabBar()->geometry();
    EXPECT_EQ(bar.top(), 0);
    EXPECT_EQ(bar.height(), 18);
    EXPECT_NEAR(bar.center().x(), 100, 1);
    EXPECT_EQ(tabView.tabView()->geometry(), QRect(0, 18, 200, 102));
    tabView.resize(240, 150);
    EXPECT_EQ(tabView.tabView()->geometry(), QRect(0, 18, 240, 132));

    QTest::mouseClick(tabView.tabBar(), Qt::LeftButton, {}, QPoint(bar.width() - 2, 5));
    EXPECT_EQ(tabView.indexOfSelectedTabViewItem(), 1);
    EXPECT_EQ(tabView.tabView()->currentWidget(), &second);
    tabView.tabView()->removeWidget(&first);
    tabView.tabView()->removeWidget(&second);
}

TEST(ZEPCustomMenuView, LaysOutItemsBetweenItsBordersAndChoosesOnlyEnabledItems)
{
    QMenu menu;
    menu.addAction(QStringLiteral("Alpha"));
    menu.addSeparator();
    menu.addAction(QStringLiteral("Beta"))->setEnabled(false);
    QAction* gamma = menu.addAction(QStringLiteral("Gamma"));

    ZEPCustomMenuView view(QRect(0, 0, 10, 10));
    view.setBorderHeight(QSizeF(1, 5));
    const QSize size = view.sizeForMenu(&menu, 50);
    view.resize(size);
    view.setMenu(&menu);
    EXPECT_GE(size.width(), 50);
    EXPECT_EQ(view.rectOfItemAtIndex(0).top(), 5);
    EXPECT_EQ(view.rectOfItemAtIndex(3).bottom(), size.height() - 5);
    EXPECT_EQ(view.indexOfItemAtPoint(QPointF(10, 2)), -1); // on the border

    QSignalSpy chosen(&view, &ZEPCustomMenuView::itemChosen);
    QTest::mouseClick(&view, Qt::LeftButton, {}, view.rectOfItemAtIndex(2).center().toPoint());
    QTest::mouseClick(&view, Qt::LeftButton, {}, view.rectOfItemAtIndex(1).center().toPoint());
    EXPECT_EQ(chosen.count(), 0); // disabled item and separator

    // The arrow keys skip the separator and the disabled item.
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.highlightedIndex(), 0);
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.highlightedIndex(), 3);
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).value<QAction*>(), gamma);
}

namespace {
class MarkedMenuWindow : public ZEPCustomMenuWindow {
    Q_OBJECT
public:
    Q_INVOKABLE explicit MarkedMenuWindow(const QRect& frame)
        : ZEPCustomMenuWindow(frame)
    {
    }
};

class MarkedPopUpButton : public ZEPPopUpButton {
public:
    using ZEPPopUpButton::ZEPPopUpButton;
    int setupCount = 0;

protected:
    void setupMenuWindow() override
    {
        ++setupCount;
        setMenuWindowClass(&MarkedMenuWindow::staticMetaObject);
    }
};
} // namespace

TEST(ZEPPopUpButton, OpensAMenuWindowOfTheNamedClassAndTakesTheChosenItem)
{
    MarkedPopUpButton popUp(QRect(0, 0, 120, 22));
    popUp.addItemWithTitle(QStringLiteral("First"));
    popUp.addItemWithTitle(QStringLiteral("Second"));
    QAction* third = popUp.addItemWithTitle(QStringLiteral("Third"));
    EXPECT_EQ(popUp.indexOfSelectedItem(), 0);
    QSignalSpy triggered(third, &QAction::triggered);
    QSignalSpy activated(&popUp, &ZEPPopUpButton::activated);

    QTest::mousePress(&popUp, Qt::LeftButton, {}, QPoint(10, 10));
    QPointer<ZEPCustomMenuWindow> window = popUp.menuWindow();
    ASSERT_TRUE(window);
    EXPECT_NE(dynamic_cast<MarkedMenuWindow*>(window.data()), nullptr);
    EXPECT_EQ(popUp.setupCount, 1);
    EXPECT_GE(window->width(), 120);
    EXPECT_EQ(window->contentView()->highlightedIndex(), 0);

    ZEPCustomMenuView* view = window->contentView();
    QTest::mouseClick(view, Qt::LeftButton, {}, view->rectOfItemAtIndex(2).center().toPoint());
    EXPECT_EQ(popUp.indexOfSelectedItem(), 2);
    EXPECT_EQ(popUp.titleOfSelectedItem(), QStringLiteral("Third"));
    EXPECT_EQ(triggered.count(), 1);
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.at(0).at(0).toInt(), 2);
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); })); // closed and gone

    // Escape closes the menu without choosing.
    popUp.popUp();
    window = popUp.menuWindow();
    ASSERT_TRUE(window);
    QTest::keyClick(window->contentView(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_EQ(popUp.indexOfSelectedItem(), 2);
    EXPECT_EQ(popUp.setupCount, 1);
}

TEST(ZEPPopUpButton, DrawsTheImageOfItsStateBehindTheTitle)
{
    ZEPPopUpButton popUp(QRect(0, 0, 60, 20));
    popUp.setEnabledImage(solidImage(kGreen, 60, 20));
    popUp.setDisabledImage(solidImage(kRed, 60, 20));
    EXPECT_EQ(renderedPicture(popUp).pixel(58, 2), kGreen);
    popUp.setEnabled(false);
    EXPECT_EQ(renderedPicture(popUp).pixel(58, 2), kRed);
}

TEST(ZEPDrawText, PutsAShadowWithAnUpwardOffsetAboveTheText)
{
    QImage picture(60, 40, QImage::Format_ARGB32_Premultiplied);
    for (const qreal blur : {0.0, 1.0}) {
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        ZEPTextAttributes attributes{ZEPSystemFontOfSize(20), Qt::white, ZEPShadow{Qt::red, QPointF(0, 4), blur}};
        ZEPDrawText(painter, QRectF(0, 0, 60, 40), Qt::AlignCenter, QStringLiteral("\u2588"), attributes);
        painter.end();
        int topmost = -1, bottommost = -1, column = -1;
        for (int y = 0; y < picture.height() && topmost < 0; ++y)
            for (int x = 0; x < picture.width(); ++x)
                if (qAlpha(picture.pixel(x, y)) > 128) {
                    topmost = y;
                    column = x + 2;
                    break;
                }
        for (int y = picture.height() - 1; y >= 0 && bottommost < 0; --y)
            if (qAlpha(picture.pixel(column, y)) > 128)
                bottommost = y;
        ASSERT_GE(topmost, 0) << "blur " << blur;
        const QColor top = QColor::fromRgba(picture.pixel(column, topmost));
        const QColor bottom = QColor::fromRgba(picture.pixel(column, bottommost));
        EXPECT_GT(top.red(), top.green() + 100) << "blur " << blur;  // the shadow shows above
        EXPECT_GT(bottom.green(), 200) << "blur " << blur;           // the white text below it
    }
}

#include "ControlsTest.moc"
