// The preferences window with two sample panes, switched to the second by its toolbar.
#include "Screenshots.h"

#include "platform/UserDefaults.h"
#include "platform/ui/ZEPPreferencesController.h"
#include "platform/ui/ZEPPreferencesViewController.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolBar>

#include <functional>
#include <memory>

namespace {

// A toolbar picture drawn in code.
QImage icon(const std::function<void(QPainter&)>& draw)
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return image;
}

class SamplePane : public ZEPPreferencesViewController {
public:
    SamplePane(QString title, QImage image) : title_(std::move(title)), image_(std::move(image)) {}
    QString title() const override { return title_; }
    QString toolbarImageName() const override { return {}; }
    QImage toolbarImage() const override { return image_; }
    QString identifier() const override { return title_; }

private:
    QString title_;
    QImage image_;
};

ZEPPreferencesViewController* generalPane()
{
    auto* pane = new SamplePane("General", icon([](QPainter& p) {
        p.setPen(QPen(QColor(70, 74, 82), 3));
        p.setBrush(QColor(150, 156, 166));
        p.drawEllipse(QRectF(6, 6, 20, 20));
        p.setBrush(QColor(70, 74, 82));
        p.drawEllipse(QRectF(13, 13, 6, 6));
    }));
    auto* form = new QFormLayout(pane);
    form->setContentsMargins(24, 20, 24, 20);
    auto* pause = new QComboBox(pane);
    pause->addItems({"None", "Shift", "Control", "Option", "Command"});
    pause->setCurrentIndex(2);
    form->addRow("Pause a sound with:", pause);
    auto* loop = new QComboBox(pane);
    loop->addItems({"None", "Shift", "Control", "Option", "Command"});
    loop->setCurrentIndex(3);
    form->addRow("Toggle looping with:", loop);
    auto* updates = new QCheckBox("Check for updates at start", pane);
    updates->setChecked(true);
    form->addRow(QString(), updates);
    return pane;
}

ZEPPreferencesViewController* playbackPane()
{
    auto* pane = new SamplePane("Playback", icon([](QPainter& p) {
        QPainterPath triangle;
        triangle.moveTo(9, 6);
        triangle.lineTo(27, 16);
        triangle.lineTo(9, 26);
        triangle.closeSubpath();
        p.fillPath(triangle, QColor(64, 140, 82));
    }));
    auto* form = new QFormLayout(pane);
    form->setContentsMargins(24, 20, 24, 20);
    auto* ducking = new QSlider(Qt::Horizontal, pane);
    ducking->setRange(0, 100);
    ducking->setValue(33);
    ducking->setMinimumWidth(220);
    form->addRow("Ducking volume:", ducking);
    auto* fade = new QSlider(Qt::Horizontal, pane);
    fade->setRange(0, 30);
    fade->setValue(2);
    form->addRow("Fade out over:", fade);
    auto* log = new QCheckBox("Write a playback log", pane);
    form->addRow(QString(), log);
    return pane;
}

} // namespace

QImage preferencesWindowScreenshot()
{
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath("defaults.plist"));
    ZEPPreferencesController preferences(&defaults);
    preferences.addController(generalPane());
    preferences.addController(playbackPane());
    preferences.showWindow();
    // Switch panes as a user does, by the toolbar.
    preferences.toolbar()->actions().at(1)->trigger();
    return pictureOfWindow(*preferences.window());
}
