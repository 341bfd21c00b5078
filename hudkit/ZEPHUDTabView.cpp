#include "hudkit/ZEPHUDTabView.h"

#include "hudkit/ZEPHUDImage.h"
#include "hudkit/ZEPHUDSegmentedControl.h"
#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPInnerTabView.h"
#include "platform/ui/ZEPYUpGeometry.h"

namespace {
// The platform's tab view type without tabs and border, and the transition style the
// kit asks for.
constexpr int kNoTabsNoBorder = 6;
constexpr int kTransitionStyle = 2;
} // namespace

ZEPHUDTabView::ZEPHUDTabView(const QRect& frame, QWidget* parent)
    : ZEPCustomTabView(frame, parent)
{
    setTabViewType(kNoTabsNoBorder);
    tabView()->setDrawsBackground(false);
    tabView()->setTransitionStyle(kTransitionStyle);
}

const QMetaObject* ZEPHUDTabView::tabClass() const
{
    return &ZEPHUDSegmentedControl::staticMetaObject;
}

void ZEPHUDTabView::drawRect(QPainter&, const QRect&)
{
    if (_boxImage.isNull())
        configure();
}

void ZEPHUDTabView::configure()
{
    const QImage topLeft = ZEPHUDImageNamed(QStringLiteral("tabbox-topleft"));
    const QImage top = ZEPHUDImageNamed(QStringLiteral("tabbox-top"));
    const QImage topRight = ZEPHUDImageNamed(QStringLiteral("tabbox-topright"));
    const QImage left = ZEPHUDImageNamed(QStringLiteral("tabbox-left"));
    const QImage right = ZEPHUDImageNamed(QStringLiteral("tabbox-right"));
    const QImage bottomLeft = ZEPHUDImageNamed(QStringLiteral("tabbox-bottomleft"));
    const QImage bottom = ZEPHUDImageNamed(QStringLiteral("tabbox-bottom"));
    const QImage bottomRight = ZEPHUDImageNamed(QStringLiteral("tabbox-bottomright"));
    // The box is open in the middle, so the pages show through.
    QImage center;
    if (!left.isNull()) {
        center = QImage(1, qRound(ZEPImageSize(left).height()), QImage::Format_ARGB32_Premultiplied);
        center.fill(Qt::transparent);
    }

    ZEPCustomSegmentedControl* bar = tabBar();
    ZEPInnerTabView* pages = tabView();
    const QSizeF pagesSize = pages->size();
    const QSizeF bottomLeftSize = ZEPImageSize(bottomLeft);

    // The tab view holds the bar above, the pages, and the border's left, right and bottom
    // edges; the pages sit, in y-up terms, at the bottom-left corner's size from the tab
    // view's origin. Converted to Qt's coordinates here, once.
    const QSize size(qRound(ZEPImageSize(bottomRight).width() + bottomLeftSize.width() + pagesSize.width()),
                     qRound(bar->height() + pagesSize.height() + ZEPImageSize(bottom).height()));
    const QRect pagesFrame =
        ZEPFlipRect(QRectF(QPointF(bottomLeftSize.width(), bottomLeftSize.height()), pagesSize), size.height())
            .toRect();
    setContentsMargins(pagesFrame.left(), pagesFrame.top(), size.width() - pagesFrame.right() - 1,
                       size.height() - pagesFrame.bottom() - 1);
    resize(size);
    layoutSubviews();

    pages->update();
    pages->setDrawsBackground(false);

    // The box leaves out the upper half of the bar: its top edge runs through the bar.
    const QRectF boxRect(0, 0, size.width(), size.height() - bar->height() / 2.0);
    _boxImage = NinePartImage(boxRect, topLeft, top, topRight, left, center, right, bottomLeft,
                              bottom, bottomRight, QPainter::CompositionMode_SourceOver, 1.0, false);
    setBackgroundImage(_boxImage, ZEPFlipRect(boxRect, size.height()));
}
