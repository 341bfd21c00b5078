#pragma once
// One cell of the board grid: a light item the grid view (CKClipdeckView) draws and feeds
// with mouse and wheel events. An occupied cell shows its sound's name on the label colour
// with a shading, the key cap of its trigger key, a progress bar, the time left, a vertical
// volume slider, an action button that opens the cell menu, and, while the mouse is over it,
// an icon saying what a click will do. An empty cell is plain light grey; a first click on it
// asks for a second, which asks the grid to add a sound.
//
// The sound tells the cell how it plays (CKSoundCell); the cell never polls. The sound's
// cellLayer points back at the cell while the cell shows it.
//
// Geometry: every rectangle here is y-up, the cell's own ones from its lower left corner,
// frame() in the grid view's y-up coordinates; the view flips once when it draws.
//
// Main thread only; soundDidStop() called elsewhere is queued to the main thread through the
// grid view (and dropped when the view is gone).

#include "app/CKQwertyKeyLayer.h"
#include "app/CKSliderLayer.h"

#include "clipdeck/CKEditorFaderAnimation.h"
#include "clipdeck/CKSoundCell.h"

#include "platform/ui/ZEPDurationFormatter.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QStringList>

#include <cstddef>
#include <memory>

class CKClipdeckView;
class CKSoundSource;
class CKVolumeIndicatorWindow;
class QMenu;
class QPainter;
class QTimer;

class CKClipdeckButtonLayer : public QObject, public CKSoundCell, public CKEditorFaderAnimationDelegate {
    Q_OBJECT
public:
    // Gradient keys.
    static inline const QString GradientNormalKey = QStringLiteral("kCKCellGradientNormalKey");
    static inline const QString GradientPressedKey = QStringLiteral("kCKCellGradientPressedKey");
    static inline const QString GradientEmptyKey = QStringLiteral("kCKCellGradientEmptyKey");
    static inline const QString GradientDragHoveringKey = QStringLiteral("kCKCellGradientDragHoveringKey");
    // Overlay icons (empty: none).
    static inline const QString OverlayAlert = QStringLiteral("cell-alert");
    static inline const QString OverlayPause = QStringLiteral("pause");
    static inline const QString OverlayRestart = QStringLiteral("overlay-restart");
    static inline const QString OverlayStop = QStringLiteral("stop");
    static inline const QString OverlayPlay = QStringLiteral("play");

    CKClipdeckButtonLayer(std::size_t index, std::size_t cellsPerRow, CKClipdeckView* parentView);
    ~CKClipdeckButtonLayer() override;

    CKClipdeckView* parentView() const { return parentView_; }
    uint32_t rowIndex() const { return rowIndex_; }
    uint32_t columnIndex() const { return columnIndex_; }
    QString name() const { return name_; }
    CKQwertyKeyLayer* keyLayer() { return &keyLayer_; }
    CKSliderLayer* sliderLayer() { return &sliderLayer_; }

    // ---- The sound ----
    std::shared_ptr<CKSoundSource> soundSource() const { return soundSource_; }
    // Binds the cell to a sound (null: empty). The old sound loses its key binding (its
    // MIDI listeners stay), the new one gets the cap's key and points back at the cell.
    void bindSoundSource(const std::shared_ptr<CKSoundSource>& sound);

    // CKSoundCell
    void soundDidPlay(CKSoundSource* sound) override;
    void soundDidPause(CKSoundSource* sound) override;
    void soundWillFade(CKSoundSource* sound) override;
    void soundDidStop(CKSoundSource* sound) override;
    void setPercentFinished(float percent) override;
    void updateOverlayLayer() override;
    void setKeyCharacter(const QString& character, quint16 keyCode) override;
    void setSoundSource(CKSoundSource* sound) override;
    void updateProgressBarColor() override;

    // ---- State ----
    bool isStopped() const { return isStopped_; }
    bool isPaused() const { return isPaused_; }
    bool isFading() const { return isFading_; }
    bool selected() const { return selected_; }
    void setSelected(bool selected);
    bool isDragHovering() const { return isDragHovering_; }
    bool isWaitingForSecondClick() const { return isWaitingForSecondClick_; }
    void setWaitingForSecondClick(bool waiting);
    float percentFinished() const { return percentFinished_; }
    bool overlayVisible() const { return overlayVisible_; }

    // ---- What the cell shows ----
    QString gradientKey() const;
    static QStringList labelColorKeys();
    // The label colour of a key; invalid for a key without one.
    static QColor colorWithKey(const QString& key);
    static QColor fallbackColor() { return QColor::fromRgbF(0.888, 0.888, 0.888); }
    QColor backgroundColor() const;
    double opacity() const;
    QString overlayImage() const;
    // The icon the overlay shows now (updated by updateOverlayLayer(), soundWillFade(),
    // soundDidStop()).
    QString overlayContents() const { return overlayContents_; }
    // The bar's width in whole pixels and its colour.
    double progressBarWidth() const { return progressBarWidth_; }
    QColor progressBarColor() const { return progressBarColor_; }
    // The time left, as shown.
    QString clockText() const;
    bool isClockShown() const { return clockShown_; }
    bool isActionButtonShown() const { return actionButtonShown_; }
    // The text of the name layer.
    QString displayedText() const;

    // ---- Geometry ----
    QRectF frame() const { return frame_; }
    void setFrame(const QRectF& frame);
    QRectF bounds() const { return QRectF(QPointF(), frame_.size()); }
    static double intercellSpacingInBounds(const QRectF& bounds);
    static QSizeF availableSizeInBounds(const QRectF& bounds);
    static QRectF rectOfTextInBounds(const QRectF& bounds);
    static QRectF rectOfKeyInBounds(const QRectF& bounds);
    static QRectF rectOfDropDownMenuInBounds(const QRectF& bounds);
    static QRectF rectOfSliderInBounds(const QRectF& bounds);
    QRectF textFrame() const { return textFrame_; }
    QRectF dropDownMenuFrame() const { return dropDownMenuFrame_; }
    QRectF clockFrame() const;
    double nameFontSize() const;
    double clockFontSize() const;
    // Points in the cell's own coordinates.
    bool pointIsOnPopupButton(const QPointF& point) const;
    bool pointIsOnSlider(const QPointF& point) const;

    // ---- Mouse, sent by the grid view ----
    void mouseDown();
    // A release over the cell (a click).
    void mouseUp();
    void stopSelection();
    void startPotentialDrag();
    void cancelPotentialDrag();
    void mouseEntered();
    void mouseExited();

    // ---- Volume ----
    bool sliderIsShowing() const { return soundSource_ != nullptr; }
    void updateSliderVisibility();
    // The slider's action: the sound takes its value.
    void updatePlaybackVolume(CKSliderLayer* slider);
    // A wheel step: deltaY / 100 (a notch, angleDelta 120, is 1.0).
    void scrollWheel(double deltaY);
    // Points in the grid view's y-up coordinates.
    void sliderDidStartDragging(const QPointF& point);
    void sliderDraggedToPoint(const QPointF& point);
    void sliderDidFinishDragging();
    double doubleValueForSliderAtPoint(const QPointF& point) const;
    // Animated: a 0.5 s glide of a fader; else at once.
    void setVolume(float volume, bool animate);
    void animationDidEnd(CKEditorFaderAnimation* fader) override;
    bool shouldShowVolumeIndicator() const { return shouldShowVolumeIndicator_; }
    void hideVolumeIndicatorAfterTimeInterval(double seconds);
    void cancelHideVolumeIndicator();
    void hideVolumeIndicator();
    void updateIndicatorWindowByUpdatingSize(bool updateSize);
    CKVolumeIndicatorWindow* indicatorWindow() const;

    // ---- Menu ----
    // Built afresh from the sound's settings; null without a sound.
    QMenu* popupMenu();
    // Opens the menu below the action button; false without a sound.
    bool showPopupMenu();
    void menuWillOpen();
    void menuDidClose();

    // Draws the cell, the painter in the grid view's (y down) coordinates.
    void paint(QPainter& painter, double viewHeight) const;
    // The cell's picture (for dragging), kept until the sound changes.
    QImage imageOfCell();
    void invalidateCache();

    // Shared with the grid view: the "triggersLocked" default; a sound still importing; a
    // sound playing by its own flag or in the playback controller's list.
    static bool triggersLocked();
    static bool soundIsImporting(const CKSoundSource* sound);
    static bool soundIsPlayingAnywhere(const CKSoundSource* sound);

private:
    // Draws the cell into the rectangle (y down); a drag picture leaves out icon and key cap.
    void paintInRect(QPainter& painter, const QRectF& cell, bool forDragImage) const;
    void refreshGradient();
    void updateClockLayer();
    void updateClockAndActionButtonVisibility();
    void observeSound(CKSoundSource* sound);
    void stopObservingSound();
    void needsDisplay();
    void fadeOutVolumeIndicatorWindow();
    void soundDidStopOnMainThread();

    CKClipdeckView* parentView_;
    uint32_t rowIndex_;
    uint32_t columnIndex_;
    QString name_;
    CKQwertyKeyLayer keyLayer_;
    CKSliderLayer sliderLayer_;
    std::shared_ptr<CKSoundSource> soundSource_;
    QList<QMetaObject::Connection> soundObservations_;
    QMetaObject::Connection defaultsObservation_;
    float percentFinished_ = 0;
    bool selected_ = false;
    bool isStopped_ = true;
    bool isPaused_ = false;
    bool isFading_ = false;
    bool isDragHovering_ = false;
    bool isWaitingForSecondClick_ = false;
    bool overlayVisible_ = false;
    bool clockShown_ = false;
    bool actionButtonShown_ = false;
    bool actionButtonPressed_ = false;
    bool shouldShowVolumeIndicator_ = false;
    QString overlayContents_;
    QString clockString_;
    QString hintText_;
    double progressBarWidth_ = 0;
    QColor progressBarColor_ = QColor::fromRgbF(0.0, 0.445, 1.0, 0.5);
    QRectF frame_;
    QRectF textFrame_;
    QRectF dropDownMenuFrame_;
    ZEPDurationFormatter durationFormatter_;
    QImage cachedCellImage_;
    std::unique_ptr<QMenu> popupMenu_;
    QTimer* hideIndicatorTimer_;
    std::unique_ptr<CKVolumeIndicatorWindow> indicatorWindow_;
};
