#include "platform/ui/ZEPAboutBox.h"

#include "platform/ui/ZEPBoardArt.h"
#include "platform/ui/ZEPSharedWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>

ZEPAboutBox& ZEPAboutBox::sharedAboutBox() { return ZEPSharedWindow<ZEPAboutBox>(); }

ZEPAboutBox::ZEPAboutBox(QWidget* parent)
    : QWidget(parent, Qt::Dialog), picture_(new QLabel(this)), name_(new QLabel(this)), version_(new QLabel(this)),
      links_(new QToolButton(this)), linksMenu_(new QMenu(this))
{
    setObjectName(QStringLiteral("ZEPAboutBox"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(20);
    layout->addWidget(picture_, 0, Qt::AlignTop);
    auto* text = new QVBoxLayout;
    text->setSpacing(6);
    QFont nameFont = name_->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.8);
    nameFont.setBold(true);
    name_->setFont(nameFont);
    text->addWidget(name_);
    text->addWidget(version_);
    text->addStretch(1);
    links_->setText(tr("Links"));
    links_->setMenu(linksMenu_);
    links_->setPopupMode(QToolButton::InstantPopup);
    text->addWidget(links_, 0, Qt::AlignLeft);
    layout->addLayout(text);
    refresh();
}

QString ZEPAboutBox::displayedAppName() const
{
    const QString name = QCoreApplication::applicationName();
    return delegate_ ? delegate_->aboutBoxController(const_cast<ZEPAboutBox*>(this), name) : name;
}

void ZEPAboutBox::refresh()
{
    const QIcon icon = QApplication::windowIcon();
    picture_->setPixmap(icon.isNull() ? QPixmap::fromImage(ZEPBoardMarkImage(QSize(128, 64))) : icon.pixmap(96, 96));
    const QString name = displayedAppName();
    setWindowTitle(tr("About %1").arg(QCoreApplication::applicationName()));
    name_->setText(name);
    const QString version = QCoreApplication::applicationVersion();
    version_->setText(version.isEmpty() ? QString() : tr("Version %1").arg(version));

    linksMenu_->clear();
    const auto open = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    if (likeMenu_.productPageURL().isValid()) {
        const QUrl url = likeMenu_.productPageURL();
        linksMenu_->addAction(tr("Visit the %1 Web Site").arg(QCoreApplication::applicationName()), this,
                              [open, url] { open(url); });
    }
    for (const ZEPAboutBoxLikeItem& item : likeMenu_.items()) {
        const QUrl url = item.url;
        QAction* action = linksMenu_->addAction(item.title, this, [open, url] { open(url); });
        if (!item.image.isNull())
            action->setIcon(QIcon(QPixmap::fromImage(item.image)));
    }
    links_->setVisible(!linksMenu_->isEmpty());
}

void ZEPAboutBox::showEvent(QShowEvent* event)
{
    refresh();
    QWidget::showEvent(event);
}
