// The drawer's skinned controls on their background: level meters while a sound plays,
// the gain and pan sliders, the big buttons, a footer button and a list with its scroller.
#include "Screenshots.h"

#include "app/CKBigButtonCell.h"
#include "app/CKButton.h"
#include "app/CKDrawerListContainerView.h"
#include "app/CKDrawerScroller.h"
#include "app/CKDrawerSlider.h"
#include "app/CKMasterOutputBackgroundView.h"
#include "app/CKNinePartImageView.h"
#include "app/CKShadowLabel.h"
#include "app/ZEPAudioMeter.h"
#include "platform/ui/ZEPImageNamed.h"
#include "platform/ui/ZEPTextAttributes.h"

#include <QLabel>

namespace {

CKButton* bigButton(QWidget* parent, const QRect& frame, const QString& title, const QString& icon)
{
    auto cell = std::make_unique<CKBigButtonCell>();
    cell->setNormalStateName("bigbutton-normal");
    cell->setPressedStateName("bigbutton-press");
    auto* button = new CKButton(frame, parent, std::move(cell));
    button->setTitle(title);
    button->setImage(ZEPImageNamed(icon));
    return button;
}

QLabel* row(const QString& name)
{
    auto* label = new QLabel("  " + name);
    label->resize(200, 21);
    label->setFont(ZEPSystemFontOfSize(11));
    label->setStyleSheet("color: #dddddd");
    return label;
}

} // namespace

QImage drawerControlsScreenshot()
{
    CKMasterOutputBackgroundView drawer(QRect(0, 0, 520, 179));
    drawer.setLeftImage(ZEPImageNamed("drawer-bg-left"));
    drawer.setCenterImage(ZEPImageNamed("drawer-bg"));
    drawer.setRightImage(ZEPImageNamed("drawer-bg-right"));

    // Master controls: gain and pan, the two meters, Pause All and Duck.
    auto* gain = new CKDrawerSlider(QRect(20, 24, 22, 130), &drawer);
    gain->setDoubleValue(0.8);
    auto* pan = new CKDrawerSlider(QRect(50, 24, 22, 130), &drawer);
    pan->setMinValue(-1);
    pan->setDoubleValue(0.2);
    auto* left = new ZEPAudioMeter(QRect(86, 24, 10, 100), &drawer);
    auto* right = new ZEPAudioMeter(QRect(100, 24, 10, 100), &drawer);
    left->setFloatValue(0.62f);
    left->setPeakValue(0.78f);
    right->setFloatValue(0.55f);
    right->setPeakValue(0.71f);
    bigButton(&drawer, QRect(116, 24, 88, 52), "Pause All", "bigbutton-icon-pause");
    bigButton(&drawer, QRect(116, 90, 88, 52), "Duck (33%)", "bigbutton-icon-duck");
    auto* stopAll = new CKButton(QRect(20, 156, 80, 22), &drawer);
    stopAll->cell()->setLeftName("footerbutton-leftcap");
    stopAll->cell()->setMiddleName("footerbutton-tile");
    stopAll->cell()->setRightName("footerbutton-rightcap");
    stopAll->cell()->setPressedSuffix("-press");
    stopAll->cell()->setTextColor(QColor::fromRgbF(0.19f, 0.19f, 0.19f, 1.0f));
    stopAll->setTitle("Stop All");

    // Now playing: a titled well with a list and its scroller.
    auto* title = new CKShadowLabel("Now Playing", &drawer);
    title->setGeometry(214, 6, 200, 18);
    title->setFont(ZEPSystemFontOfSize(11));
    title->setStyleSheet("color: #e6e6e6");
    title->setShadow(ZEPShadow{Qt::black, QPointF(0, 1), 1.0});
    auto* well = new CKNinePartImageView(QRect(210, 28, 290, 130), &drawer);
    auto* list = new CKDrawerListContainerView(QRect(4, 4, 266, 122), well);
    for (const char* name : {"Thunder Roll", "Door Slam", "Crowd Murmur (loop)", "Phone Ring"})
        list->addRow(row(name));
    auto* scroller = new CKDrawerScroller(well);
    scroller->setFrame(QRect(272, 4, 13, 122));
    scroller->setRange(0, 40);
    scroller->setPageStep(100);
    scroller->setValue(10);
    return pictureOfWindow(drawer);
}
