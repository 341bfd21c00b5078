#pragma once
// The about box, in place of the maker's: the program's picture, name and version, and a
// "Links" menu of the program's pages (the product page and items the program adds, each
// opened in the desktop's browser). The delegate may change the name shown.
// Main thread only.

#include <QImage>
#include <QList>
#include <QUrl>
#include <QWidget>

class QLabel;
class QMenu;
class QToolButton;
class ZEPAboutBox;

class ZEPAboutBoxDelegate {
public:
    virtual ~ZEPAboutBoxDelegate() = default;
    // The name to show for the application called willDisplayAppName.
    virtual QString aboutBoxController(ZEPAboutBox* aboutBox, const QString& willDisplayAppName)
    {
        (void)aboutBox;
        return willDisplayAppName;
    }
};

// An entry of the links menu.
struct ZEPAboutBoxLikeItem {
    QString title;
    QUrl url;
    QImage image;
};

// What the links menu offers. The store identifiers are kept for the program's pages in
// app stores, which this platform does not have; the menu does not show them.
class ZEPAboutBoxLikeMenu {
public:
    QUrl productPageURL() const { return productPageURL_; }
    void setProductPageURL(const QUrl& url) { productPageURL_ = url; }
    QString desktopStoreIdentifier() const { return desktopStoreIdentifier_; }
    void setDesktopStoreIdentifier(const QString& identifier) { desktopStoreIdentifier_ = identifier; }
    QString tabletStoreIdentifier() const { return tabletStoreIdentifier_; }
    void setTabletStoreIdentifier(const QString& identifier) { tabletStoreIdentifier_ = identifier; }

    void addItem(const ZEPAboutBoxLikeItem& item) { items_.append(item); }
    const QList<ZEPAboutBoxLikeItem>& items() const { return items_; }

private:
    QUrl productPageURL_;
    QString desktopStoreIdentifier_;
    QString tabletStoreIdentifier_;
    QList<ZEPAboutBoxLikeItem> items_;
};

class ZEPAboutBox : public QWidget {
    Q_OBJECT
public:
    // The program's one about box.
    static ZEPAboutBox& sharedAboutBox();

    explicit ZEPAboutBox(QWidget* parent = nullptr);

    void setController(ZEPAboutBoxDelegate* delegate) { delegate_ = delegate; }
    ZEPAboutBoxDelegate* controller() const { return delegate_; }
    ZEPAboutBoxLikeMenu& likeMenu() { return likeMenu_; }

    // The name, version and links as they will show (the box refreshes them whenever it
    // is shown).
    void refresh();
    QString displayedAppName() const;
    QMenu* linksMenu() const { return linksMenu_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    ZEPAboutBoxDelegate* delegate_ = nullptr;
    ZEPAboutBoxLikeMenu likeMenu_;
    QLabel* picture_;
    QLabel* name_;
    QLabel* version_;
    QToolButton* links_;
    QMenu* linksMenu_;
};
