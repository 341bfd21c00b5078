// The main window's skinned controls under Qt's offscreen platform: bezels from named
// images, the drawer slider's wheel, the scroller's shape, the resizer thumb's drag.
#include "app/CKBigButtonCell.h"
#include "app/CKButton.h"
#include "app/CKButtonCell.h"
#include "app/CKDrawerScroller.h"
#include "app/CKDrawerSlider.h"
#include "app/CKListContainerView.h"
#include "app/CKMasterOutputBackgroundView.h"
#include "app/CKNinePartImageView.h"
#include "app/CKPlaybackWindow.h"
#include "app/CKSegmentedControl.h"
#include "app/CKShadowLabel.h"
#include "app/CKWindowVerticalResizerThumb.h"
#include "app/ZEPAudioMeter.h"
#include "platform/ui/ZEPImageNamed.h"
#include "platform/ui/ZEPTextAttributes.h"

#include "../platform/ui/RenderedPicture.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Counts the warnings with a given text while it lives.
class WarningCounter {
public:
    explicit WarningCounter(const char* text)
    {
        wanted_ = text;
        count_ = 0;
        previous_ = qInstallMessageHandler(&WarningCounter::handle);
    }
    ~WarningCounter() { qInstallMessageHandler(previous_); }
    int count() const { return count_; }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        if (message == wanted_)
            ++count_;
    }
    static inline QString wanted_;
    static inline int count_ = 0;
    QtMessageHandler previous_;
};

// The colour at a point, not premultiplied.
QColor colourAt(const QImage& picture, int x, int y)
{
    return QColor::fromRgba(qUnpremultiply(picture.pixel(x, y)));
}

void sendMouse(QWidget& widget, QEvent::Type type, QPoint local, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), widget.mapToGlobal(QPointF(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

QImage bezelOf(CKButtonCell& cell, QSize size)
{
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    cell.drawBezelWithFrame(painter, QRectF(QPointF(0, 0), size));
    return picture;
}

// The drawn pixels' bounding box (alpha above 0).
QRect drawnBox(const QImage& picture)
{
    QRect box;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qAlpha(picture.pixel(x, y)) > 0)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST(SkinnedControlsTest, EveryImageTheControlsNameIsThere)
{
    const char* names[] = {
        "meter_bg", "meter_lit", "meter_disabled", "drawer-slider-vertical-bg", "drawer-slider-vertical-thumb",
        "drawer-tableviewscrollbg-topcap", "drawer-tableviewscrollbg-tile", "drawer-tableviewscrollbg-bottomcap",
        "drawer-tableviewscrollthumb-topcap", "drawer-tableviewscrollthumb-tile",
        "drawer-tableviewscrollthumb-bottomcap", "drawer-bg-left", "drawer-bg", "drawer-bg-right",
        "footerbutton-leftcap", "footerbutton-tile", "footerbutton-rightcap", "footerbutton-leftcap-press",
        "footerbutton-tile-press", "footerbutton-rightcap-press"};
    for (const char* name : names)
        EXPECT_FALSE(ZEPImageNamed(QString::fromLatin1(name)).isNull()) << name;
    CKNinePartImageView view(QRect(0, 0, 40, 40));
    for (const char* part : {"-topleft", "-left", "-bottomleft", "-top", "-tile", "-bottom", "-topright", "-right",
                             "-bottomright"})
        EXPECT_FALSE(view.imageWithPartNamed(QString::fromLatin1(part)).isNull()) << part;
}

TEST(SkinnedControlsTest, MissingImageIsReportedOncePerDrawAndTheRestStillDraws)
{
    CKButtonCell cell;
    cell.setLeftName("footerbutton-leftcap");
    cell.setMiddleName("footerbutton-tile");
    cell.setRightName("no-such-image");
    WarningCounter warnings("Error: No image!");
    const QImage picture = bezelOf(cell, QSize(60, 22));
    EXPECT_EQ(warnings.count(), 1);
    EXPECT_GT(qAlpha(picture.pixel(3, 11)), 0);  // the left cap
    EXPECT_GT(qAlpha(picture.pixel(30, 11)), 0); // the middle
    bezelOf(cell, QSize(60, 22));
    EXPECT_EQ(warnings.count(), 2);

    CKButtonCell full;
    full.setFullName("no-such-image");
    bezelOf(full, QSize(60, 22));
    EXPECT_EQ(warnings.count(), 3);
}

TEST(SkinnedControlsTest, BezelImageFollowsHighlightThenDisabledState)
{
    struct Case {
        bool highlighted;
        bool enabled;
        QColor colour;
    };
    const Case cases[] = {
        {false, true, QColor(255, 0, 0)},  // "testbutton"
        {true, true, QColor(0, 255, 0)},   // "testbutton-press"
        {false, false, QColor(0, 0, 255)}, // "testbutton-disable"
        {true, false, QColor(0, 255, 0)},  // pressed wins over disabled
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "highlighted " << c.highlighted << ", enabled " << c.enabled);
        CKButtonCell cell;
        cell.setFullName("testbutton");
        cell.setPressedSuffix("-press");
        cell.setDisabledSuffix("-disable");
        cell.setHighlighted(c.highlighted);
        cell.setEnabled(c.enabled);
        const QImage picture = bezelOf(cell, QSize(30, 20)); // stretched over the frame
        EXPECT_EQ(colourAt(picture, 0, 0), c.colour);
        EXPECT_EQ(colourAt(picture, 29, 19), c.colour);
    }

    // Three-part bezels have no disabled look; the button itself draws at half opacity.
    auto threeParts = std::make_unique<CKButtonCell>();
    threeParts->setLeftName("testbutton");
    threeParts->setMiddleName("testbutton");
    threeParts->setRightName("testbutton");
    threeParts->setPressedSuffix("-press");
    CKButton button(QRect(0, 0, 30, 20), nullptr, std::move(threeParts));
    button.setEnabled(false);
    QColor drawn = colourAt(renderedPicture(button), 15, 10);
    EXPECT_EQ(drawn.red(), 255);
    EXPECT_NEAR(drawn.alpha(), 128, 1);
    button.setEnabled(true);
    button.setDown(true);
    EXPECT_EQ(colourAt(renderedPicture(button), 15, 10), QColor(0, 255, 0));
}

TEST(SkinnedControlsTest, BigButtonDrawsItsStateImageAtItsOwnSizeOnTheBottomEdge)
{
    auto owned = std::make_unique<CKBigButtonCell>();
    CKBigButtonCell* cell = owned.get();
    cell->setNormalStateName("testbutton");
    cell->setPressedStateName("testbutton-press");
    CKButton button(QRect(0, 0, 10, 10), nullptr, std::move(owned));
    QImage picture = renderedPicture(button);
    EXPECT_EQ(colourAt(picture, 0, 9), QColor(255, 0, 0));
    EXPECT_EQ(colourAt(picture, 3, 6), QColor(255, 0, 0));
    EXPECT_EQ(qAlpha(picture.pixel(0, 5)), 0);
    EXPECT_EQ(qAlpha(picture.pixel(4, 9)), 0);
    button.setDown(true);
    EXPECT_EQ(colourAt(renderedPicture(button), 0, 9), QColor(0, 255, 0));
}

TEST(SkinnedControlsTest, BigButtonKeepsItsIconAboveItsTitle)
{
    // The drawer's big buttons with the titles they show; no bezel, so only icon and title draw.
    QImage icon(16, 16, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::white);
    for (const char* title : {"Pause All", "Resume All", "Duck (33%)", "Un-Duck"}) {
        SCOPED_TRACE(title);
        CKButton button(QRect(0, 0, 88, 52), nullptr, std::make_unique<CKBigButtonCell>());
        button.setImage(icon);
        const QRect iconBox = drawnBox(renderedPicture(button));
        button.setImage(QImage());
        button.setTitle(title);
        const QRect titleBox = drawnBox(renderedPicture(button));
        ASSERT_FALSE(iconBox.isEmpty());
        ASSERT_FALSE(titleBox.isEmpty());
        EXPECT_EQ(iconBox.size(), QSize(16, 16));
        EXPECT_LT(iconBox.bottom(), titleBox.top()) << "the title runs into the icon";
        EXPECT_TRUE(button.rect().contains(titleBox));
        // Centred both ways on the button's width, and the title whole, not elided.
        EXPECT_NEAR(iconBox.center().x(), 44, 1);
        EXPECT_NEAR(titleBox.center().x(), 44, 2);
        QFont bold = ZEPSystemFontOfSize(11);
        bold.setBold(true);
        EXPECT_LE(QFontMetrics(bold).horizontalAdvance(title), 88);
    }
}

TEST(SkinnedControlsTest, WheelStepMovesDrawerSliderByAHundredthWithOneAction)
{
    struct Case {
        const char* what;
        double minimum, start;
        int angleDelta;
        double expected;
    };
    const Case cases[] = {
        {"one step up", 0, 0.5, 120, 0.51},
        {"one step down", 0, 0.5, -120, 0.49},
        {"pan, one step up from the centre", -1, 0, 120, 0.01},
        {"at the top the value stays; the action is still sent", 0, 1.0, 120, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CKDrawerSlider slider(QRect(0, 0, 22, 120));
        slider.setMinValue(c.minimum);
        slider.setDoubleValue(c.start);
        std::vector<double> deltasSeenByTheAction;
        QObject::connect(&slider, &ZEPSlider::sliderMoved, [&] {
            const QWheelEvent* event = slider.currentScrollEvent();
            deltasSeenByTheAction.push_back(event ? CKDrawerSlider::verticalDeltaOf(*event) : 0);
        });
        QWheelEvent wheel(QPointF(11, 60), slider.mapToGlobal(QPointF(11, 60)), QPoint(), QPoint(0, c.angleDelta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&slider, &wheel);
        EXPECT_NEAR(slider.doubleValue(), c.expected, 1e-9);
        EXPECT_EQ(deltasSeenByTheAction, std::vector<double>{c.angleDelta / 120.0});
        EXPECT_EQ(slider.currentScrollEvent(), nullptr);
    }
}

TEST(SkinnedControlsTest, DrawerScrollerIsThirteenWideWithoutArrowsOrPaging)
{
    CKDrawerScroller scroller;
    scroller.setGeometry(0, 0, 20, 100);
    EXPECT_EQ(scroller.width(), 13);
    scroller.setFrame(QRect(5, 0, 20, 120));
    EXPECT_EQ(scroller.geometry(), QRect(5, 0, 13, 120));

    scroller.setRange(0, 100);
    scroller.setPageStep(50);
    using Part = CKDrawerScroller::Part;
    for (Part part : {Part::DecrementPage, Part::IncrementPage, Part::DecrementLine, Part::IncrementLine})
        EXPECT_TRUE(scroller.rectForPart(part).isEmpty());
    EXPECT_EQ(scroller.rectForPart(Part::KnobSlot), QRectF(0, 0, 13, 120));
    const QRectF knob = scroller.rectForPart(Part::Knob);
    EXPECT_EQ(knob, QRectF(2, 0, 13, 40));

    // Dragging the knob halfway down its travel scrolls halfway; a press beside it does not.
    sendMouse(scroller, QEvent::MouseButtonPress, QPoint(6, 20), Qt::LeftButton);
    sendMouse(scroller, QEvent::MouseMove, QPoint(6, 60), Qt::LeftButton);
    sendMouse(scroller, QEvent::MouseButtonRelease, QPoint(6, 60), Qt::NoButton);
    EXPECT_EQ(scroller.value(), 50);
    sendMouse(scroller, QEvent::MouseButtonPress, QPoint(6, 5), Qt::LeftButton);
    sendMouse(scroller, QEvent::MouseButtonRelease, QPoint(6, 5), Qt::NoButton);
    EXPECT_EQ(scroller.value(), 50);
}

namespace {

// A delegate that lets the window shrink by up to 30 and records what it was told.
struct ThumbDelegate : CKWindowVerticalResizerThumbDelegate {
    void didStartDraggingThumb(CKWindowVerticalResizerThumb*) override { ++starts; }
    float thumbShouldResizeToOffset(CKWindowVerticalResizerThumb*, float dy) override
    {
        asked.push_back(dy);
        return std::min(dy, 30.0f);
    }
    void thumbDidFinishDraggingToOffset(CKWindowVerticalResizerThumb*, float offset) override
    {
        finished.push_back(offset);
    }
    int starts = 0;
    std::vector<float> asked;
    std::vector<float> finished;
};

// A 400 x 300 window at (100, 100) with the thumb at its bottom, centred.
struct ThumbFixture {
    ThumbFixture() : thumb(QRect(190, 280, 20, 20), &window)
    {
        window.setGeometry(100, 100, 400, 300);
        thumb.setDelegate(&delegate);
    }
    QWidget window;
    CKWindowVerticalResizerThumb thumb;
    ThumbDelegate delegate;
};

} // namespace

TEST(SkinnedControlsTest, ThumbDragResizesTheWindowKeepingItsTopEdge)
{
    ThumbFixture fixture;
    QWidget& window = fixture.window;
    CKWindowVerticalResizerThumb& thumb = fixture.thumb;
    ThumbDelegate& delegate = fixture.delegate;

    sendMouse(thumb, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    EXPECT_EQ(delegate.starts, 1);
    // 20 up: the window loses 20 at the bottom. The offset is taken from the start, so the
    // thumb's own move with the window does not count.
    sendMouse(thumb, QEvent::MouseMove, QPoint(10, -10), Qt::LeftButton);
    EXPECT_EQ(window.geometry(), QRect(100, 100, 400, 280));
    // 50 up: the delegate holds it at 30.
    const QPoint fiftyUp = thumb.mapFromGlobal(QPoint(300, 390 - 50));
    sendMouse(thumb, QEvent::MouseMove, fiftyUp, Qt::LeftButton);
    EXPECT_EQ(window.geometry(), QRect(100, 100, 400, 270));
    sendMouse(thumb, QEvent::MouseButtonRelease, fiftyUp, Qt::NoButton);
    ASSERT_EQ(delegate.asked.size(), 3u);
    EXPECT_FLOAT_EQ(delegate.asked[0], 20);
    EXPECT_FLOAT_EQ(delegate.asked[1], 50);
    ASSERT_EQ(delegate.finished.size(), 1u);
    EXPECT_FLOAT_EQ(delegate.finished[0], 30);
    EXPECT_FALSE(thumb.isDragging());
}

TEST(SkinnedControlsTest, DoubleClickOnTheThumbDragsNothing)
{
    ThumbFixture fixture;
    QWidget& window = fixture.window;
    CKWindowVerticalResizerThumb& thumb = fixture.thumb;
    ThumbDelegate& delegate = fixture.delegate;

    // The first click of the pair is a click (offset 0); the second press starts nothing.
    sendMouse(thumb, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    sendMouse(thumb, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::NoButton);
    ASSERT_EQ(delegate.finished.size(), 1u);
    EXPECT_FLOAT_EQ(delegate.finished[0], 0);
    delegate = ThumbDelegate();

    sendMouse(thumb, QEvent::MouseButtonDblClick, QPoint(10, 10), Qt::LeftButton);
    sendMouse(thumb, QEvent::MouseMove, QPoint(10, -40), Qt::LeftButton);
    sendMouse(thumb, QEvent::MouseButtonRelease, QPoint(10, -40), Qt::NoButton);
    EXPECT_EQ(delegate.starts, 0);
    EXPECT_TRUE(delegate.asked.empty());
    EXPECT_TRUE(delegate.finished.empty());
    EXPECT_EQ(window.geometry(), QRect(100, 100, 400, 300));
}

TEST(SkinnedControlsTest, NoControlTakesTheKeyboardFocus)
{
    std::vector<std::unique_ptr<QWidget>> controls;
    controls.push_back(std::make_unique<CKButton>(QRect(0, 0, 60, 22)));
    controls.push_back(std::make_unique<CKDrawerSlider>(QRect(0, 0, 22, 120)));
    controls.push_back(std::make_unique<CKDrawerScroller>());
    controls.push_back(std::make_unique<CKWindowVerticalResizerThumb>(QRect(0, 0, 20, 20)));
    controls.push_back(std::make_unique<ZEPAudioMeter>(QRect(0, 0, 10, 100)));
    controls.push_back(std::make_unique<CKShadowLabel>("Now Playing"));
    controls.push_back(std::make_unique<CKNinePartImageView>(QRect(0, 0, 40, 40)));
    controls.push_back(std::make_unique<CKMasterOutputBackgroundView>(QRect(0, 0, 40, 179)));
    controls.push_back(std::make_unique<CKListContainerView>(QRect(0, 0, 200, 100)));
    controls.push_back(std::make_unique<CKSegmentedControl>());
    for (const auto& control : controls)
        EXPECT_EQ(control->focusPolicy(), Qt::NoFocus) << control->metaObject()->className();
}

TEST(SkinnedControlsTest, SegmentSendsItsTagOnlyForAReleaseOverTheEnabledSegmentPressed)
{
    CKSegmentedControl control;
    control.addSegment(-1, QImage(), "Previous");
    control.addSegment(1, QImage(), "Next");
    ASSERT_EQ(control.size(), QSize(2 * CKSegmentedControl::kSegmentWidth, CKSegmentedControl::kHeight));
    QList<int> clicked;
    QObject::connect(&control, &CKSegmentedControl::segmentClicked, [&](int tag) { clicked << tag; });
    const QPoint first = control.rectForSegment(0).center();
    const QPoint second = control.rectForSegment(1).center();
    const auto gesture = [&](QPoint press, QPoint release) {
        sendMouse(control, QEvent::MouseButtonPress, press, Qt::LeftButton);
        sendMouse(control, QEvent::MouseMove, release, Qt::LeftButton);
        sendMouse(control, QEvent::MouseButtonRelease, release, Qt::NoButton);
    };
    gesture(second, second);
    gesture(first, first);
    gesture(first, second); // dragged off onto the other segment
    gesture(second, QPoint(-5, 5)); // dragged off the control
    gesture(QPoint(200, 5), QPoint(200, 5)); // beside the segments
    EXPECT_EQ(clicked, (QList<int>{1, -1}));

    control.setSegmentEnabled(1, false);
    EXPECT_FALSE(control.isSegmentEnabled(1));
    EXPECT_TRUE(control.isSegmentEnabled(-1));
    gesture(second, second);
    EXPECT_EQ(clicked, (QList<int>{1, -1}));
    // Turned off while held down: the release does nothing.
    sendMouse(control, QEvent::MouseButtonPress, first, Qt::LeftButton);
    control.setSegmentEnabled(-1, false);
    sendMouse(control, QEvent::MouseButtonRelease, first, Qt::NoButton);
    EXPECT_EQ(clicked, (QList<int>{1, -1}));
}

TEST(SkinnedControlsTest, DrawerBackgroundIsRecomposedAfterAResize)
{
    CKMasterOutputBackgroundView view(QRect(0, 0, 300, 179));
    view.setLeftImage(solidImage(Qt::red, 8, 179));
    view.setCenterImage(solidImage(Qt::green, 1, 179));
    view.setRightImage(solidImage(Qt::blue, 8, 179));
    EXPECT_EQ(view.cachedImage().size(), QSize(300, 179));
    view.resize(500, 179);
    const QImage picture = renderedPicture(view);
    EXPECT_EQ(colourAt(picture, 495, 90), QColor(Qt::blue));
    EXPECT_EQ(colourAt(picture, 250, 90), QColor(Qt::green));
}

TEST(SkinnedControlsTest, PlaybackWindowFloatsOnRequestAndNeverTakesTheKeyboard)
{
    CKPlaybackWindow panel;
    EXPECT_FALSE(panel.isFloatingWindow());
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    panel.show();
    panel.setFloatingWindow(true);
    EXPECT_TRUE(panel.isFloatingWindow());
    EXPECT_TRUE(panel.isVisible());
    panel.setFloatingWindow(false);
    EXPECT_FALSE(panel.isFloatingWindow());
}
