// The board grid: cells in their states, the hint of an empty cell, the cell menu, the volume
// bubble, and the notice over an empty board.
#include "Screenshots.h"

#include "app/CKClipdeckButtonLayer.h"
#include "app/CKClipdeckView.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKVolumeIndicatorWindow.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKSoundSource.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>

#include <memory>

namespace {

struct SampleSound {
    std::size_t cell;
    const char* name;
    const char* label;
};

std::shared_ptr<CKClipdeck> sampleBoard()
{
    const SampleSound sounds[] = {
        {0, "Door bell", "red"},      {1, "Thunder roll", "blue"}, {2, "Applause", ""},
        {3, "Phone ringing", "green"}, {8, "Car horn", "yellow"},  {9, "Birdsong at dawn", "purple"},
        {10, "Rain on a tin roof", "orange"}, {17, "Clock chime", "gray"}, {19, "Crowd murmur", ""},
        {26, "Glass breaking", "red"},
    };
    auto board = std::make_shared<CKClipdeck>();
    board->setName(QStringLiteral("Act One"));
    for (const SampleSound& sample : sounds) {
        auto sound = std::make_shared<CKSoundSource>();
        sound->setName(QString::fromUtf8(sample.name));
        sound->setBackgroundColor(QString::fromUtf8(sample.label));
        sound->setEditorLoaded(true);
        board->addSound(sound, sample.cell, false);
    }
    return board;
}

// The board window showing a board; the board lives as long as the window.
struct BoardWindow {
    std::shared_ptr<CKClipdeck> board;
    std::unique_ptr<CKClipdeckWindow> window = std::make_unique<CKClipdeckWindow>();
    explicit BoardWindow(std::shared_ptr<CKClipdeck> shown) : board(std::move(shown))
    {
        window->setClipdeckName(board->name());
        window->resize(940, 480);
        window->clipdeckView()->setClipdeck(board);
        pictureOfWindow(*window); // laid out at its size
    }
    CKClipdeckView* view() const { return window->clipdeckView(); }
};

} // namespace

QImage boardGridScreenshot()
{
    BoardWindow shown(sampleBoard());
    CKClipdeckView* view = shown.view();
    // Playing, paused, fading, a pressed key, the icon under the mouse, an empty cell's hint.
    view->buttonLayerAtIndex(1)->soundDidPlay(nullptr);
    view->buttonLayerAtIndex(1)->setPercentFinished(0.4f);
    view->buttonLayerAtIndex(9)->soundDidPause(nullptr);
    view->buttonLayerAtIndex(9)->setPercentFinished(0.7f);
    view->buttonLayerAtIndex(3)->keyLayer()->keyDown();
    view->buttonLayerAtIndex(10)->mouseEntered();
    view->buttonLayerAtIndex(4)->mouseUp();
    view->update();
    return pictureOfWindow(*shown.window);
}

QImage cellMenuScreenshot()
{
    BoardWindow shown(sampleBoard());
    QMenu* menu = shown.view()->buttonLayerAtIndex(8)->popupMenu();
    menu->adjustSize();
    QImage window = pictureOfWindow(*shown.window);
    const QImage picture = menu->grab().toImage();
    // The menu over the window, below the cell's action button.
    QPainter painter(&window);
    const QPoint at = shown.view()->mapTo(shown.window.get(), shown.view()->centerOfCell(8)) + QPoint(20, 20);
    painter.drawImage(at, picture);
    return window;
}

QImage volumeBubbleScreenshot()
{
    BoardWindow shown(sampleBoard());
    CKClipdeckButtonLayer* cell = shown.view()->buttonLayerAtIndex(2);
    CKVolumeIndicatorWindow bubble(nullptr);
    bubble.setPercentage(0.72);
    QImage window = pictureOfWindow(*shown.window);
    QPainter painter(&window);
    const QRectF knob = cell->sliderLayer()->frameOfSliderHandle().translated(cell->frame().topLeft());
    const QPoint at = shown.view()->mapTo(shown.window.get(),
                                          shown.view()->qtPoint(QPointF(knob.right() + 3, knob.center().y())).toPoint());
    painter.drawImage(at - QPoint(0, CKVolumeIndicatorWindow::kHeight / 2), bubble.grab().toImage());
    return window;
}

QImage emptyBoardScreenshot()
{
    auto board = std::make_shared<CKClipdeck>();
    board->setName(QStringLiteral("New Board"));
    BoardWindow shown(board);
    return pictureOfWindow(*shown.window);
}
