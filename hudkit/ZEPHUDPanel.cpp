#include "hudkit/ZEPHUDPanel.h"

#include "platform/ui/ZEPWindowTransformer.h"

#include <QCloseEvent>
#include <QPainter>

namespace {
const QColor kPanelColor(20, 20, 20, 220);
}

ZEPHUDPanel::ZEPHUDPanel(const QRect& contentRect, QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setAttribute(Qt::WA_TranslucentBackground);
    // The panel takes the keyboard only when a control in it asks for it.
    setAttribute(Qt::WA_ShowWithoutActivating, becomesKeyOnlyIfNeeded());
    setGeometry(contentRect);
}

ZEPHUDPanel::~ZEPHUDPanel()
{
    releaseTransformer();
}

void ZEPHUDPanel::releaseTransformer()
{
    if (!mWindowTransformer)
        return;
    mWindowTransformer->disconnect(this);
    mWindowTransformer->stopWindowTransformation();
    mWindowTransformer->deleteLater();
    mWindowTransformer = nullptr;
}

void ZEPHUDPanel::orderFront()
{
    releaseTransformer();
    if (!mShouldFade) {
        show();
        raise();
        return;
    }
    mWindowTransformer = ZEPWindowTransformer::fadeInTransformerWithWindow(this, mFadeDuration);
    setWindowOpacity(0);
    show();
    raise();
    connect(mWindowTransformer, &ZEPWindowTransformer::windowTransformComplete, this,
            &ZEPHUDPanel::finishedOrderedFrontTransition);
    mWindowTransformer->startWindowTransformation();
}

void ZEPHUDPanel::finishedOrderedFrontTransition(ZEPWindowTransformer* transformer)
{
    if (transformer == mWindowTransformer)
        releaseTransformer();
}

void ZEPHUDPanel::closeEvent(QCloseEvent* event)
{
    if (mClosingThroughPlatform) {
        event->accept();
        return;
    }
    if (mShouldFade && !mAlreadyFadedOut) {
        mAlreadyFadedOut = true;
        releaseTransformer();
        mWindowTransformer = ZEPWindowTransformer::fadeOutTransformerWithWindow(this, mFadeDuration);
        setWindowOpacity(1.0);
        connect(mWindowTransformer, &ZEPWindowTransformer::windowTransformComplete, this,
                &ZEPHUDPanel::finishedCloseTransition);
        mWindowTransformer->startWindowTransformation();
        event->ignore(); // stays open until the fade is over
        return;
    }
    mAlreadyFadedOut = false;
    releaseTransformer();
    setWindowOpacity(1.0);
    event->accept();
}

void ZEPHUDPanel::finishedCloseTransition(ZEPWindowTransformer* transformer)
{
    if (transformer != mWindowTransformer)
        return;
    releaseTransformer();
    closeThroughPlatform();
}

void ZEPHUDPanel::closeThroughPlatform()
{
    mClosingThroughPlatform = true;
    QWidget::close();
    mClosingThroughPlatform = false;
    setWindowOpacity(1.0);
}

void ZEPHUDPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), kPanelColor);
}
