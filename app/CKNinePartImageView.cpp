#include "app/CKNinePartImageView.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QPainter>

CKNinePartImageView::CKNinePartImageView(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setGeometry(frame);
}

void CKNinePartImageView::setName(QString& field, const QString& name)
{
    field = name;
    update();
}

void CKNinePartImageView::setBaseName(const QString& name) { setName(mBaseName, name); }
void CKNinePartImageView::setLeftTopPartName(const QString& name) { setName(mLeftTopPartName, name); }
void CKNinePartImageView::setLeftMiddlePartName(const QString& name) { setName(mLeftMiddlePartName, name); }
void CKNinePartImageView::setLeftBottomPartName(const QString& name) { setName(mLeftBottomPartName, name); }
void CKNinePartImageView::setCenterTopPartName(const QString& name) { setName(mCenterTopPartName, name); }
void CKNinePartImageView::setCenterMiddlePartName(const QString& name) { setName(mCenterMiddlePartName, name); }
void CKNinePartImageView::setCenterBottomPartName(const QString& name) { setName(mCenterBottomPartName, name); }
void CKNinePartImageView::setRightTopPartName(const QString& name) { setName(mRightTopPartName, name); }
void CKNinePartImageView::setRightMiddlePartName(const QString& name) { setName(mRightMiddlePartName, name); }
void CKNinePartImageView::setRightBottomPartName(const QString& name) { setName(mRightBottomPartName, name); }

QImage CKNinePartImageView::imageWithPartNamed(const QString& partName) const
{
    return ZEPImageNamed(mBaseName + partName);
}

void CKNinePartImageView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // The painter's y runs downward: flipped true keeps every part upright.
    ZEPDrawNinePartImage(painter, rect(), imageWithPartNamed(mLeftTopPartName), imageWithPartNamed(mCenterTopPartName),
                         imageWithPartNamed(mRightTopPartName), imageWithPartNamed(mLeftMiddlePartName),
                         imageWithPartNamed(mCenterMiddlePartName), imageWithPartNamed(mRightMiddlePartName),
                         imageWithPartNamed(mLeftBottomPartName), imageWithPartNamed(mCenterBottomPartName),
                         imageWithPartNamed(mRightBottomPartName), QPainter::CompositionMode_SourceOver, 1.0, true,
                         true);
}
