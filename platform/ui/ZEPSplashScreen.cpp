#include "platform/ui/ZEPSplashScreen.h"

#include "platform/UserDefaults.h"

#include "platform/ui/ZEPBoardArt.h"
#include "platform/ui/ZEPSharedWindow.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

ZEPSplashScreen& ZEPSplashScreen::sharedController() { return ZEPSharedWindow<ZEPSplashScreen>(); }

ZEPSplashScreen::ZEPSplashScreen(QWidget* parent)
    : QDialog(parent), tutorial_(new QPushButton(tr("Watch the Tutorial"), this)),
      webSite_(new QPushButton(tr("Visit the Web Site"), this)), close_(new QPushButton(tr("Close"), this))
{
    setObjectName(QStringLiteral("ZEPSplashScreen"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 28, 28, 20);
    layout->setSpacing(14);

    auto* picture = new QLabel(this);
    picture->setPixmap(QPixmap::fromImage(ZEPBoardMarkImage(QSize(360, 180))));
    picture->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);

    auto* title = new QLabel(this);
    title->setObjectName(QStringLiteral("title"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto* message = new QLabel(tr("Drop sound files on a board, then play them with a click, a key, "
                                  "a MIDI note or a tablet remote. The tutorial shows the rest."),
                               this);
    message->setWordWrap(true);
    message->setAlignment(Qt::AlignCenter);
    layout->addWidget(message);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(tutorial_);
    buttons->addWidget(webSite_);
    buttons->addStretch(1);
    buttons->addWidget(close_);
    layout->addLayout(buttons);
    close_->setDefault(true);

    connect(tutorial_, &QPushButton::clicked, this, [this] {
        if (delegate_)
            delegate_->launchVideoURL(this);
    });
    connect(webSite_, &QPushButton::clicked, this, [this] {
        if (delegate_)
            delegate_->launchWebSiteURL(this);
    });
    connect(close_, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    setFixedWidth(440);
}

void ZEPSplashScreen::showEvent(QShowEvent* event)
{
    const QString name = QCoreApplication::applicationName();
    setWindowTitle(name);
    findChild<QLabel*>(QStringLiteral("title"))->setText(tr("Welcome to %1").arg(name));
    QDialog::showEvent(event);
}

int ZEPSplashScreen::runModal()
{
    setWindowModality(Qt::ApplicationModal);
    return exec();
}

bool ZEPSplashScreen::runModalIfNeeded(const UserDefaults& defaults)
{
    if (defaults.boolForKey(OnStartupKey))
        return false;
    runModal();
    return true;
}

void ZEPSplashScreen::run()
{
    setWindowModality(Qt::NonModal);
    show();
    raise();
    activateWindow();
}

void ZEPSplashScreen::done(int result)
{
    if (!isVisible()) {
        QDialog::done(result);
        return;
    }
    if (delegate_)
        delegate_->splashScreenWillClose(this);
    QDialog::done(result);
    if (delegate_)
        delegate_->splashScreenDidClose();
}
