#include "HUDKitShowcase.h"

#include "hudkit/ZEPHUDBox.h"
#include "hudkit/ZEPHUDButton.h"
#include "hudkit/ZEPHUDCheckbox.h"
#include "hudkit/ZEPHUDContentView.h"
#include "hudkit/ZEPHUDMenuView.h"
#include "hudkit/ZEPHUDPopUpButton.h"
#include "hudkit/ZEPHUDSegmentedControl.h"
#include "hudkit/ZEPHUDSlider.h"
#include "hudkit/ZEPHUDTabView.h"

#include <QLinearGradient>
#include <QMenu>
#include <QPainter>

namespace {

ZEPHUDPopUpButton* makePopUp(const QRect& frame, const QStringList& titles, QWidget* parent)
{
    auto* popUp = new ZEPHUDPopUpButton(frame, parent);
    for (const QString& title : titles)
        popUp->addItemWithTitle(title);
    return popUp;
}

ZEPHUDCheckbox* makeCheckbox(const QRect& frame, const QString& title, bool on, QWidget* parent)
{
    auto* checkbox = new ZEPHUDCheckbox(frame, parent);
    checkbox->setTitle(title);
    checkbox->setChecked(on);
    return checkbox;
}

ZEPHUDSlider* makeSlider(const QRect& frame, int ticks, double value, QWidget* parent)
{
    auto* slider = new ZEPHUDSlider(frame, ticks, parent);
    slider->setDoubleValue(value);
    return slider;
}

} // namespace

std::unique_ptr<ZEPHUDPanel> makeHUDKitShowcase()
{
    auto panel = std::make_unique<ZEPHUDPanel>(QRect(0, 0, 540, 360));
    auto* content = new ZEPHUDContentView(QRect(0, 0, 540, 360), panel.get());

    auto* play = new ZEPHUDButton(QRect(16, 16, 90, 22), content);
    play->setTitle(QStringLiteral("Play"));
    auto* stop = new ZEPHUDButton(QRect(114, 16, 90, 22), content);
    stop->setTitle(QStringLiteral("Stop All"));
    makePopUp(QRect(220, 16, 160, 22), {QStringLiteral("Built-in Output"), QStringLiteral("Headphones")}, content);
    makePopUp(QRect(392, 16, 132, 22), {QStringLiteral("Unavailable")}, content)->setEnabled(false);

    makeCheckbox(QRect(16, 54, 90, 18), QStringLiteral("Loop"), true, content);
    makeCheckbox(QRect(114, 54, 110, 18), QStringLiteral("Stop on lift"), false, content);
    makeSlider(QRect(16, 84, 208, 20), 0, 0.65, content);
    makeSlider(QRect(16, 110, 208, 20), 5, 0.5, content);
    makeSlider(QRect(240, 54, 20, 124), 0, 0.3, content);

    new ZEPHUDBox(QRect(276, 54, 116, 58), ZEPHUDBox::GrooveBorder, content);
    new ZEPHUDBox(QRect(408, 54, 116, 58), ZEPHUDBox::BezelBorder, content);
    new ZEPHUDBox(QRect(276, 122, 248, 56), ZEPHUDBox::LineBorder, content);
    makeCheckbox(QRect(290, 141, 200, 18), QStringLiteral("Inside a line box"), true, content);

    auto* tabs = new ZEPHUDTabView(QRect(16, 194, 232, 140), content);
    auto* general = new QWidget;
    makeCheckbox(QRect(16, 24, 180, 18), QStringLiteral("Single sound mode"), false, general);
    makeSlider(QRect(16, 60, 180, 20), 0, 0.8, general);
    tabs->addTabViewItem(general, QStringLiteral("General"));
    tabs->addTabViewItem(new QWidget, QStringLiteral("Output"));

    auto* segments = new ZEPHUDSegmentedControl(content);
    segments->setSegmentCount(3);
    const QStringList labels{QStringLiteral("Cells"), QStringLiteral("Keys"), QStringLiteral("MIDI")};
    for (int i = 0; i < labels.size(); ++i)
        segments->setLabel(labels[i], i);
    segments->setSelectedSegment(1);
    segments->setGeometry(QRect(QPoint(276, 194), segments->sizeHint()));

    auto* menu = new QMenu(panel.get());
    menu->addAction(QStringLiteral("Default Output Device"));
    menu->addSeparator();
    menu->addAction(QStringLiteral("Built-in Output"))->setCheckable(true);
    menu->actions().last()->setChecked(true);
    menu->addAction(QStringLiteral("USB Audio Interface"));
    menu->addAction(QStringLiteral("Disconnected"))->setEnabled(false);
    const QSize menuSize = ZEPHUDMenuView(QRect()).sizeForMenu(menu, 180);
    auto* menuView = new ZEPHUDMenuView(QRect(QPoint(276, 230), menuSize), content);
    menuView->setMenu(menu);
    menuView->setHighlightedIndex(3);
    return panel;
}

QImage pictureOfShowcase(ZEPHUDPanel& panel)
{
    // The tab view sizes itself on its first draw; the picture is taken after that.
    const auto panelPicture = [&panel] {
        QImage picture(panel.size(), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        panel.render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
        return picture;
    };
    panelPicture();
    const QImage drawn = panelPicture();

    constexpr int kMargin = 24;
    QImage picture(panel.size() + QSize(2 * kMargin, 2 * kMargin), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&picture);
    QLinearGradient backdrop(0, 0, picture.width(), picture.height());
    backdrop.setColorAt(0, QColor(96, 112, 132));
    backdrop.setColorAt(1, QColor(44, 52, 66));
    painter.fillRect(picture.rect(), backdrop);
    painter.drawImage(QPoint(kMargin, kMargin), drawn);
    return picture;
}
