#pragma once
// The welcome screen shown at start, in place of the maker's: the program's picture and
// name over a short welcome, with buttons to watch the tutorial, visit the web site or
// close. What the first two open is the delegate's business (it is told, and closes the
// screen when it wants); closing tells the delegate before and after.
// Main thread only.

#include <QDialog>

class QPushButton;
class UserDefaults;
class ZEPSplashScreen;

class ZEPSplashScreenDelegate {
public:
    virtual ~ZEPSplashScreenDelegate() = default;
    virtual void launchVideoURL(ZEPSplashScreen* sender) { (void)sender; }
    virtual void launchWebSiteURL(ZEPSplashScreen* sender) { (void)sender; }
    virtual void splashScreenWillClose(ZEPSplashScreen* splashScreen) { (void)splashScreen; }
    virtual void splashScreenDidClose() {}
};

class ZEPSplashScreen : public QDialog {
    Q_OBJECT
public:
    // The program's one splash screen.
    static ZEPSplashScreen& sharedController();

    explicit ZEPSplashScreen(QWidget* parent = nullptr);

    void setDelegate(ZEPSplashScreenDelegate* delegate) { delegate_ = delegate; }
    ZEPSplashScreenDelegate* delegate() const { return delegate_; }

    // The default that holds YES once the screen has been closed at least once (the
    // delegate stores it from splashScreenDidClose()).
    static inline const QString OnStartupKey = QStringLiteral("ZEPSplashScreenOnStartup");

    // Shows the screen application-modal and returns when it has closed.
    int runModal();
    // At launch: runModal() unless defaults hold YES under OnStartupKey; answers whether it
    // ran.
    bool runModalIfNeeded(const UserDefaults& defaults);
    // Shows the screen and returns at once.
    void run();

    QPushButton* tutorialButton() const { return tutorial_; }
    QPushButton* webSiteButton() const { return webSite_; }
    QPushButton* closeButton() const { return close_; }

    // Every way of closing (the button, the window's close box, Escape) ends here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ZEPSplashScreenDelegate* delegate_ = nullptr;
    QPushButton* tutorial_;
    QPushButton* webSite_;
    QPushButton* close_;
};
