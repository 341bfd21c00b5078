#pragma once
// A button drawn from images: the base of the image button and of check boxes. Two kinds:
// a momentary button draws its image at its own size, centred, behind a centred title
// (the alternate image, or the image darkened, while pressed); a switch is checkable and
// draws its image (the alternate image when on) at the left, unscaled, with the title
// beside it. Disabled buttons draw at half opacity. Main thread only.

#include "platform/ui/ZEPTextAttributes.h"

#include <QAbstractButton>
#include <QImage>

enum class ZEPButtonType {
    MomentaryLight = 0,
    Switch = 3,
};

class ZEPButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ZEPButton(const QRect& frame, QWidget* parent = nullptr);

    void setButtonType(ZEPButtonType type);
    ZEPButtonType buttonType() const { return buttonType_; }

    void setImage(const QImage& image);
    QImage image() const { return image_; }
    void setAlternateImage(const QImage& image);
    QImage alternateImage() const { return alternateImage_; }

    void setTextColor(const QColor& color);
    QColor textColor() const { return textColor_; }

    // The title is the button's text; subclasses may restyle after a title change.
    virtual void setTitle(const QString& title);
    QString title() const { return text(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kSwitchTitleGap = 4;

    void paintMomentary(QPainter& painter);
    void paintSwitch(QPainter& painter);
    ZEPTextAttributes titleAttributes() const;

    ZEPButtonType buttonType_ = ZEPButtonType::MomentaryLight;
    QImage image_;
    QImage alternateImage_;
    QColor textColor_ = Qt::black;
};
