// The cell's menu: edit, label colour, the three playback behaviours, remove. Rebuilt from
// the sound's settings each time it opens; a choice goes straight into the sound.
#include "app/CKClipdeckButtonLayer.h"

#include "app/CKClipdeckView.h"
#include "editor/CKEditorController.h"

#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/CKSoundSource.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>

namespace {

QIcon swatch(const QColor& color)
{
    QPixmap pixmap(120, 22);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// A behaviour item: the current choice, opening a submenu of both.
void addBehaviour(QMenu* menu, const QString& heading, const QString& onTitle, const QString& offTitle, bool on,
                  const std::function<void(bool)>& set)
{
    QAction* title = menu->addAction(heading);
    title->setEnabled(false);
    QMenu* choices = menu->addMenu(QStringLiteral("    ") + (on ? onTitle : offTitle));
    QAction* yes = choices->addAction(onTitle, [set] { set(true); });
    yes->setCheckable(true);
    yes->setChecked(on);
    QAction* no = choices->addAction(offTitle, [set] { set(false); });
    no->setCheckable(true);
    no->setChecked(!on);
}

} // namespace

QMenu* CKClipdeckButtonLayer::popupMenu()
{
    popupMenu_.reset();
    if (!soundSource_)
        return nullptr;
    const std::shared_ptr<CKSoundSource> sound = soundSource_;
    auto menu = std::make_unique<QMenu>();
    menu->setObjectName(QStringLiteral("cellMenu"));

    QAction* edit = menu->addAction(tr("Edit"), [sound] { CKEditorController::sharedEditorController()->editSoundSource(sound); });
    edit->setEnabled(!soundIsImporting(sound.get()));

    QMenu* labels = menu->addMenu(tr("Label"));
    const QStringList keys = labelColorKeys();
    for (int tag = 0; tag < keys.size(); ++tag) {
        QAction* item = labels->addAction(swatch(colorWithKey(keys[tag])), QString(),
                                          [sound, key = keys[tag]] { sound->setBackgroundColor(key); });
        item->setData(tag);
        item->setCheckable(true);
        item->setChecked(keys[tag] == sound->backgroundColor());
    }
    if (!sound->backgroundColor().isEmpty()) {
        labels->addSeparator();
        QAction* remove = labels->addAction(tr("Remove label"), [sound] { sound->setBackgroundColor(QString()); });
        remove->setData(-1);
    }
    menu->addSeparator();
    addBehaviour(menu.get(), tr("When sound finishes..."), tr("Loop sound"), tr("Stop playing"), sound->loops(),
                 [sound](bool on) { sound->setLoops(on); });
    menu->addSeparator();
    addBehaviour(menu.get(), tr("When trigger released..."), tr("Stop playing"), tr("Keep playing"),
                 sound->liftBehavior() == CKSoundSource::kStopOnLift, [sound](bool on) {
                     sound->setLiftBehavior(on ? CKSoundSource::kStopOnLift : CKSoundSource::kKeepPlayingOnLift);
                 });
    menu->addSeparator();
    addBehaviour(menu.get(), tr("When triggered again..."), tr("Restart sound"), tr("Stop playing"),
                 sound->restartOnPress(), [sound](bool on) { sound->setRestartOnPress(on); });
    menu->addSeparator();
    menu->addAction(tr("Remove"), this, [this, sound] {
        sound->deleteFromParentClipdeck();
        if (soundSource_ == sound)
            bindSoundSource(nullptr);
    });

    connect(menu.get(), &QMenu::aboutToShow, this, &CKClipdeckButtonLayer::menuWillOpen);
    connect(menu.get(), &QMenu::aboutToHide, this, &CKClipdeckButtonLayer::menuDidClose);
    popupMenu_ = std::move(menu);
    return popupMenu_.get();
}

bool CKClipdeckButtonLayer::showPopupMenu()
{
    QMenu* menu = popupMenu();
    if (!menu || !parentView_)
        return false;
    const QRect button = parentView_->screenRectOfViewRect(dropDownMenuFrame_.translated(frame_.topLeft()));
    // Queued: the press that opened it returns first, as a pull-down does.
    QMetaObject::invokeMethod(
        this, [this, menu, at = button.bottomLeft()] { if (popupMenu_.get() == menu) menu->popup(at); },
        Qt::QueuedConnection);
    return true;
}

void CKClipdeckButtonLayer::menuWillOpen()
{
    if (soundSource_)
        soundSource_->setIsPlayable(false);
    actionButtonPressed_ = true;
    needsDisplay();
}

void CKClipdeckButtonLayer::menuDidClose()
{
    if (soundSource_)
        soundSource_->setIsPlayable(true);
    actionButtonPressed_ = false;
    if (parentView_)
        parentView_->cancelClick();
    needsDisplay();
}
