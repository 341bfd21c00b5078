#pragma once
// A pop-up button drawn from images: the enabled image (the disabled one while disabled),
// drawn at its own size, behind the selected item's title, which sits between the left
// and right caps in the title attributes. A press (or Space, Return or Down) opens the
// menu in a menu window of the class menuWindowClass() names, just below the button; the
// chosen item becomes the selected one, its action is triggered and activated is sent.
// The items are the actions of the button's own menu. Main thread only.

#include "platform/ui/ZEPCustomMenuWindow.h"
#include "platform/ui/ZEPTextAttributes.h"

#include <QAction>
#include <QImage>
#include <QPointer>
#include <QWidget>

class QMenu;

class ZEPPopUpButton : public QWidget {
    Q_OBJECT
public:
    explicit ZEPPopUpButton(const QRect& frame, QWidget* parent = nullptr);
    ~ZEPPopUpButton() override;

    void setLeftCapSize(const QSizeF& size);
    QSizeF leftCapSize() const { return leftCapSize_; }
    void setRightCapSize(const QSizeF& size);
    QSizeF rightCapSize() const { return rightCapSize_; }

    void setEnabledImage(const QImage& image);
    QImage enabledImage() const { return enabledImage_; }
    void setDisabledImage(const QImage& image);
    QImage disabledImage() const { return disabledImage_; }

    void setTitleAttributes(const ZEPTextAttributes& attributes);
    const ZEPTextAttributes& titleAttributes() const { return titleAttributes_; }

    // The class of the menu window: ZEPCustomMenuWindow or a subclass of it that has
    // Q_OBJECT and a Q_INVOKABLE constructor taking the frame.
    void setMenuWindowClass(const QMetaObject* windowClass);
    const QMetaObject* menuWindowClass() const { return menuWindowClass_; }

    QMenu* menu() const { return menu_; }
    QAction* addItemWithTitle(const QString& title);
    int numberOfItems() const;
    // -1 when no item is selected.
    int indexOfSelectedItem() const;
    void selectItemAtIndex(int index);
    QAction* selectedItem() const { return selectedItem_; }
    QString titleOfSelectedItem() const;

    void popUp();
    // The open menu window, or null.
    ZEPCustomMenuWindow* menuWindow() const { return menuWindow_; }

signals:
    void activated(int index);

protected:
    // Called before the first menu window is made, so that a subclass can name its class.
    virtual void setupMenuWindow();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void chooseItem(QAction* item);

    QSizeF leftCapSize_;
    QSizeF rightCapSize_;
    QImage enabledImage_;
    QImage disabledImage_;
    ZEPTextAttributes titleAttributes_;
    const QMetaObject* menuWindowClass_;
    bool menuWindowSetUp_ = false;
    QMenu* menu_;
    QPointer<QAction> selectedItem_;
    QPointer<ZEPCustomMenuWindow> menuWindow_;
};
