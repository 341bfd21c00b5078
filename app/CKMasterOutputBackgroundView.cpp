#include "app/CKMasterOutputBackgroundView.h"

#include "platform/ui/PartImages.h"

#include <QPainter>

CKMasterOutputBackgroundView::CKMasterOutputBackgroundView(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setGeometry(frame);
}

void CKMasterOutputBackgroundView::setLeftImage(const QImage& image) { mLeftImage = image; }
void CKMasterOutputBackgroundView::setCenterImage(const QImage& image) { mCenterImage = image; }
void CKMasterOutputBackgroundView::setRightImage(const QImage& image) { mRightImage = image; }

QImage CKMasterOutputBackgroundView::cachedImage()
{
    if (mCachedImage.isNull())
        mCachedImage = ThreePartImage(rect(), mLeftImage, mCenterImage, mRightImage, false,
                                      QPainter::CompositionMode_Source, 1.0, false);
    return mCachedImage;
}

void CKMasterOutputBackgroundView::resizeEvent(QResizeEvent* event)
{
    clearCachedImage();
    QWidget::resizeEvent(event);
}

void CKMasterOutputBackgroundView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(rect(), cachedImage());
}
