#include "app/CKVolumeIndicatorWindow.h"

#include "app/CKPercentageTransformer.h"

#include "platform/ui/ZEPWindowTransformer.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

CKVolumeIndicatorWindow::CKVolumeIndicatorWindow(QWidget* parentWindow)
    : QWidget(parentWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                                Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint),
      transformer_(std::make_unique<CKPercentageTransformer>(1))
{
    setObjectName(QStringLiteral("CKVolumeIndicatorWindow"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    resize(kWidth, kHeight);
}

CKVolumeIndicatorWindow::~CKVolumeIndicatorWindow() = default;

void CKVolumeIndicatorWindow::setPercentage(double percentage)
{
    percentage_ = percentage;
    text_ = transformer_->transformedValue(percentage).toString();
    update();
}

void CKVolumeIndicatorWindow::setFlippedHorizontally(bool flipped)
{
    if (flipped_ == flipped)
        return;
    flipped_ = flipped;
    update();
}

void CKVolumeIndicatorWindow::fadeIn()
{
    setWindowOpacity(0.0);
    show();
    ZEPWindowTransformer::fadeInTransformerWithWindow(this, 0.2)->startWindowTransformation();
}

void CKVolumeIndicatorWindow::fadeOut(std::function<void()> done)
{
    fadeOut_ = ZEPWindowTransformer::fadeOutTransformerWithWindow(this, 0.4);
    connect(fadeOut_, &ZEPWindowTransformer::windowTransformComplete, this,
            [this, done = std::move(done)](ZEPWindowTransformer* transformer) {
                if (transformer != fadeOut_)
                    return;
                fadeOut_->deleteLater();
                fadeOut_ = nullptr;
                hide();
                // Later: the bubble goes with the transformer's signal finished.
                QTimer::singleShot(0, done);
            });
    fadeOut_->startWindowTransformation();
}

void CKVolumeIndicatorWindow::showFully()
{
    if (fadeOut_) {
        fadeOut_->stopWindowTransformation();
        fadeOut_->deleteLater();
        fadeOut_ = nullptr;
    }
    setWindowOpacity(1.0);
}

void CKVolumeIndicatorWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A rounded bubble with a small point towards the knob.
    const QRectF body = flipped_ ? QRectF(0.5, 0.5, width() - 6.5, height() - 1.0)
                                 : QRectF(5.5, 0.5, width() - 6.5, height() - 1.0);
    QPainterPath path;
    path.addRoundedRect(body, 5, 5);
    QPolygonF point;
    const double midY = height() / 2.0;
    if (flipped_)
        point << QPointF(body.right(), midY - 4) << QPointF(width(), midY) << QPointF(body.right(), midY + 4);
    else
        point << QPointF(body.left(), midY - 4) << QPointF(0, midY) << QPointF(body.left(), midY + 4);
    path.addPolygon(point);
    path.setFillRule(Qt::WindingFill);
    painter.fillPath(path, QColor(20, 20, 20, 210));
    QFont font = painter.font();
    font.setPixelSize(int(0.6 * height()));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(body.adjusted(4, 0, -4, 0), (flipped_ ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                     text_);
}
