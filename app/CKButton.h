#pragma once
// A skinned push button of the main window: its cell (CKButtonCell, or a subclass given
// at creation) draws bezel, image and title. A disabled button is drawn at half opacity,
// whatever its cell draws. It never takes the keyboard focus, so a click leaves the
// board's keys working. Main thread only.

#include "app/CKButtonCell.h"

#include <QAbstractButton>
#include <QImage>

#include <memory>

class CKButton : public QAbstractButton {
    Q_OBJECT
public:
    // A button with the given cell (a plain CKButtonCell when null).
    explicit CKButton(const QRect& frame, QWidget* parent = nullptr, std::unique_ptr<CKButtonCell> cell = nullptr);
    ~CKButton() override;

    CKButtonCell* cell() const { return cell_.get(); }

    void setImage(const QImage& image);
    QImage image() const { return image_; }
    // The title is the button's text.
    void setTitle(const QString& title) { setText(title); }
    QString title() const { return text(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::unique_ptr<CKButtonCell> cell_;
    QImage image_;
};
