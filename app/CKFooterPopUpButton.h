#pragma once
// The footer's pop-up button (the output device menu): a pill drawn from the images
// "footer-popupmenu-leftcap", "-tile" and "-rightcap" (the right cap holds the arrows), the
// chosen item's title in bold 11-point Helvetica with a soft light shadow, and on a click a
// menu of its items hanging from it, the chosen one checked and disabled items greyed.
// Picking an item sets the current index and emits activated(), as a list pick does.
// Main thread only.

#include <QComboBox>
#include <QImage>
#include <QMenu>
#include <QPointer>

class CKFooterPopUpButton : public QComboBox {
    Q_OBJECT
public:
    explicit CKFooterPopUpButton(QWidget* parent = nullptr);
    ~CKFooterPopUpButton() override;

    void showPopup() override;
    void hidePopup() override;
    // The menu on screen, or null.
    QMenu* shownMenu() const { return shownMenu_; }

    // The pill is this much lower than the platform's pop-up: it sits in the footer strip.
    static constexpr int kHeightReduction = 4;
    // Room the caps leave for the title: past the left cap, short of the arrows.
    static constexpr int kTitleLeftInset = 9;
    static constexpr int kTitleRightInset = 24;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage cachedImage_; // the pill at the current size; rebuilt after a resize
    QPointer<QMenu> shownMenu_;
};
