#pragma once
// The drawer's background: a left end, a centre stretched across and a right end, composed
// into one picture of the view's size on first draw and kept until the view is resized.
// Main thread only.

#include <QImage>
#include <QWidget>

class CKMasterOutputBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit CKMasterOutputBackgroundView(const QRect& frame, QWidget* parent = nullptr);

    void setLeftImage(const QImage& image);
    QImage leftImage() const { return mLeftImage; }
    void setCenterImage(const QImage& image);
    QImage centerImage() const { return mCenterImage; }
    void setRightImage(const QImage& image);
    QImage rightImage() const { return mRightImage; }

    // The composed picture, made when there is none.
    QImage cachedImage();
    void clearCachedImage() { mCachedImage = QImage(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage mLeftImage;
    QImage mRightImage;
    QImage mCenterImage;
    QImage mCachedImage;
};
