#include "app/CKTabBarLayer.h"

#include "app/CKPathExtensions.h"
#include "app/CKTabBarView.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

namespace {

constexpr qreal kFontSize = 11;
const QColor kTextColor = QColor::fromRgbF(0.156f, 0.156f, 0.156f);
const QColor kTextShadowColor = QColor::fromRgbF(1, 1, 1, 0.75f);
const QColor kDragOutlineColor = QColor::fromRgbF(0.412f, 0.565f, 0.91f);
const QColor kDeleteWashColor = QColor::fromRgbF(1, 0, 0, 0.7f);

QFont tabFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(int(kFontSize));
    font.setBold(true);
    return font;
}

// The images of a tab, cached: they never change while the program runs.
const QImage& image(const char* name)
{
    static std::map<QString, QImage> images;
    const QString key = QString::fromLatin1(name);
    auto found = images.find(key);
    if (found == images.end())
        found = images.emplace(key, ZEPImageNamed(key)).first;
    return found->second;
}

} // namespace

CKTabBarLayer::CKTabBarLayer() { layoutButtons(); }

CKTabBarLayer::~CKTabBarLayer() = default;

void CKTabBarLayer::setNeedsDisplay()
{
    needsDisplay_ = true;
    if (parentView_)
        parentView_->update();
}

template <typename T>
bool CKTabBarLayer::redrawOnChange(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    setNeedsDisplay();
    return true;
}

void CKTabBarLayer::setName(const QString& name) { redrawOnChange(name_, name); }

void CKTabBarLayer::setSelected(bool selected) { redrawOnChange(selected_, selected); }

void CKTabBarLayer::setFirstDeleteClick(bool firstDeleteClick) { redrawOnChange(firstDeleteClick_, firstDeleteClick); }

void CKTabBarLayer::setHoveringOverCloseButton(bool hovering)
{
    if (redrawOnChange(hoveringOverCloseButton_, hovering))
        layoutButtons();
}

void CKTabBarLayer::setCloseVisible(bool visible) { redrawOnChange(closeVisible_, visible); }

void CKTabBarLayer::setDropDownMenuButtonVisible(bool visible)
{
    if (redrawOnChange(dropDownMenuButtonVisible_, visible))
        layoutText();
}

void CKTabBarLayer::setZPosition(double z)
{
    zPosition_ = z;
    if (parentView_)
        parentView_->update();
}

void CKTabBarLayer::setHidden(bool hidden)
{
    if (hidden_ == hidden)
        return;
    hidden_ = hidden;
    if (parentView_)
        parentView_->update();
}

void CKTabBarLayer::setContentsScale(double scale)
{
    if (scale <= 0 || contentsScale_ == scale)
        return;
    contentsScale_ = scale;
    setNeedsDisplay();
}

// Geometry -----------------------------------------------------------------------------------

void CKTabBarLayer::setFrame(const QRectF& frame, bool animated)
{
    const QRectF shownBefore = presentationFrame();
    const QRectF newFrame = CKIntegralRect(frame);
    const bool resized = newFrame.size() != frame_.size();
    frame_ = newFrame;
    if (animated && shownBefore != frame_ && !shownBefore.isEmpty()) {
        animationStart_ = shownBefore;
        if (!animation_) {
            animation_ = std::make_unique<ZEPAnimation>(kAnimationDuration, ZEPAnimation::EaseInOut);
            animation_->setDelegate(this);
        }
        animation_->startAnimation();
    } else if (animation_) {
        animation_->stopAnimation();
    }
    if (resized) {
        layoutButtons();
        setNeedsDisplay();
    } else if (parentView_) {
        parentView_->update();
    }
}

QRectF CKTabBarLayer::presentationFrame() const
{
    if (!isAnimating())
        return frame_;
    const double t = animation_->currentValue();
    auto between = [t](qreal from, qreal to) { return from + (to - from) * t; };
    return QRectF(between(animationStart_.x(), frame_.x()), between(animationStart_.y(), frame_.y()),
                  between(animationStart_.width(), frame_.width()),
                  between(animationStart_.height(), frame_.height()));
}

void CKTabBarLayer::animation(ZEPAnimation*, double)
{
    if (parentView_)
        parentView_->update();
}

void CKTabBarLayer::layoutButtons()
{
    const QImage& close = image(hoveringOverCloseButton_ ? "tabclose-press" : "tabclose");
    closeFrame_ = QRectF(QPointF(5, 3), ZEPImageSize(close));
    const QImage& chevron = image(hoveringOverCloseButton_ ? "tab-chevron-pressed" : "tab-chevron");
    const QSizeF chevronSize = ZEPImageSize(chevron);
    chevronFrame_ = QRectF(QPointF(frame_.width() - chevronSize.width() - 3, 3), chevronSize);
    layoutText();
}

void CKTabBarLayer::layoutText()
{
    const qreal x = closeFrame_.right() + 5;
    const qreal right = dropDownMenuButtonVisible_ ? chevronFrame_.left() - 5 : frame_.width() - 7;
    textFrame_ = CKIntegralRect(QRectF(x, 0, std::max<qreal>(right - x, 0), frame_.height()));
}

QRectF CKTabBarLayer::toPicture(const QRectF& rect) const
{
    return QRectF(rect.x(), frame_.height() - rect.y() - rect.height(), rect.width(), rect.height());
}

bool CKTabBarLayer::pointIsInCloseButton(const QPointF& point) const
{
    return closeVisible_ && closeFrame_.contains(QPointF(point.x() - frame_.x(), 6));
}

bool CKTabBarLayer::pointIsInDropDownMenuButton(const QPointF& point) const
{
    return dropDownMenuButtonVisible_ && chevronFrame_.contains(QPointF(point.x() - frame_.x(), 6));
}

// Sounds held over the tab -------------------------------------------------------------------

void CKTabBarLayer::setDraggingSoundOnTop(bool dragging)
{
    if (dragging != draggingSoundOnTop_) {
        draggingSoundOnTop_ = dragging;
        draggingStep_ = 0;
    } else if (dragging) {
        ++draggingStep_;
        if (draggingStep_ == kDragStepsToSelect && parentView_)
            parentView_->selectTab(this);
    } else {
        return;
    }
    setNeedsDisplay();
}

bool CKTabBarLayer::showsDragOutline() const
{
    if (!draggingSoundOnTop_ || selected_)
        return false;
    // Off for a moment twice before the tab is selected: it blinks.
    return draggingStep_ != 15 && draggingStep_ != 16 && draggingStep_ != 21 && draggingStep_ != 22;
}

Qt::DropAction CKTabBarLayer::draggingEntered()
{
    setDraggingSoundOnTop(true);
    return Qt::MoveAction;
}

Qt::DropAction CKTabBarLayer::draggingUpdated()
{
    setDraggingSoundOnTop(true);
    return Qt::MoveAction;
}

void CKTabBarLayer::draggingExited() { setDraggingSoundOnTop(false); }

void CKTabBarLayer::draggingEnded() { setDraggingSoundOnTop(false); }

void CKTabBarLayer::concludeDragOperation() { setDraggingSoundOnTop(false); }

// Drawing ------------------------------------------------------------------------------------

QString CKTabBarLayer::displayedText() const
{
    return firstDeleteClick_ ? QObject::tr("Delete %1?").arg(name_) : name_;
}

QImage CKTabBarLayer::contents() const
{
    const QSize pixels = (frame_.size() * contentsScale_).toSize();
    if (pixels.isEmpty())
        return QImage();
    if (needsDisplay_ || contents_.size() != pixels) {
        contents_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        contents_.setDevicePixelRatio(contentsScale_);
        contents_.fill(Qt::transparent);
        QPainter painter(&contents_);
        painter.setRenderHint(QPainter::Antialiasing);
        drawInContext(painter);
        needsDisplay_ = false;
    }
    return contents_;
}

void CKTabBarLayer::drawInContext(QPainter& painter) const
{
    const qreal width = frame_.width();
    const bool lookSelected = selected_ && !firstDeleteClick_;
    const QImage& leftCap = image(lookSelected ? "tab-select-leftcap" : "tab-leftcap");
    const QImage& middle = image(lookSelected ? "tab-select-bg" : "tab-bg");
    const QImage& rightCap = image(lookSelected ? "tab-select-rightcap" : "tab-rightcap");
    const qreal leftWidth = ZEPImageSize(leftCap).width();
    const qreal rightWidth = ZEPImageSize(rightCap).width();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(toPicture(QRectF(leftWidth, 0, width - leftWidth - rightWidth, ZEPImageSize(middle).height())),
                      middle);
    painter.drawImage(toPicture(QRectF(QPointF(0, 0), ZEPImageSize(leftCap))), leftCap);
    painter.drawImage(toPicture(QRectF(QPointF(width - rightWidth, 0), ZEPImageSize(rightCap))), rightCap);

    if (firstDeleteClick_) {
        // Only the tab's own pixels turn red.
        painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        painter.fillRect(QRectF(QPointF(0, 0), frame_.size()), kDeleteWashColor);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    if (showsDragOutline()) {
        painter.setPen(QPen(kDragOutlineColor, 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(CKRoundedRectPath(QRectF(QPointF(0, 0), frame_.size()).adjusted(2, 2, -2, -2), 4));
    }

    if (closeVisible_)
        painter.drawImage(toPicture(closeFrame_), image(hoveringOverCloseButton_ ? "tabclose-press" : "tabclose"));
    if (dropDownMenuButtonVisible_)
        painter.drawImage(toPicture(chevronFrame_),
                          image(hoveringOverCloseButton_ ? "tab-chevron-pressed" : "tab-chevron"));

    const QFont font = tabFont();
    const QRectF textRect = toPicture(textFrame_);
    const QString text = QFontMetricsF(font).elidedText(displayedText(), Qt::ElideRight, textRect.width());
    painter.setFont(font);
    // A white line under the text: it looks pressed into the tab.
    painter.setPen(kTextShadowColor);
    painter.drawText(textRect.translated(0, 1), Qt::AlignCenter, text);
    painter.setPen(kTextColor);
    painter.drawText(textRect, Qt::AlignCenter, text);
}
