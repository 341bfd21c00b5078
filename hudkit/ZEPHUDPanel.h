#pragma once
// The dark translucent HUD panel: a tool window that can fade in when ordered front and
// fade out when closed. Main thread only; it starts no thread and takes no lock.
//
// Fading (with shouldFade set):
// - orderFront() shows the panel at opacity 0 and fades it in over fadeDuration.
// - close() (also reached by the window's own close button) fades the panel out and
//   closes it when the fade is over, and marks the panel as already faded out. A close()
//   while it is so marked closes at once and clears the mark: a second close() during the
//   fade-out, and the first close() after the panel was shown again, close at once; the
//   close() after that fades again.
// - A fade still running when the panel closes at once or is ordered front is stopped, so
//   a stale fade never closes a panel shown again; a closed panel is left at opacity 1.
// Without shouldFade, orderFront() and close() show and close at once.

#include <QWidget>

class ZEPWindowTransformer;

class ZEPHUDPanel : public QWidget {
    Q_OBJECT
public:
    explicit ZEPHUDPanel(const QRect& contentRect, QWidget* parent = nullptr);
    ~ZEPHUDPanel() override;

    bool becomesKeyOnlyIfNeeded() const { return true; }
    bool canBecomeKeyWindow() const { return true; }

    bool shouldFade() const { return mShouldFade; }
    void setShouldFade(bool shouldFade) { mShouldFade = shouldFade; }
    // Seconds.
    float fadeDuration() const { return mFadeDuration; }
    void setFadeDuration(float seconds) { mFadeDuration = seconds; }

    void orderFront();

    // The running fade, or null.
    ZEPWindowTransformer* windowTransformer() const { return mWindowTransformer; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void finishedOrderedFrontTransition(ZEPWindowTransformer* transformer);
    void finishedCloseTransition(ZEPWindowTransformer* transformer);
    // Closes without fading, as the platform's window does, leaving the mark as it is.
    void closeThroughPlatform();
    void releaseTransformer();

    bool mShouldFade = false;
    float mFadeDuration = 1.0f;
    ZEPWindowTransformer* mWindowTransformer = nullptr;
    bool mAlreadyFadedOut = false;
    bool mClosingThroughPlatform = false;
};
