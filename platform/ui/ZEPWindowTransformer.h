#pragma once
// Fades a window's opacity: type FadeIn from its current opacity to fully opaque, type
// FadeOut from its current opacity to fully transparent, over the given time, on the Qt
// event loop. It does not show, hide or close the window. When the fade has run its
// course, windowTransformComplete is sent with the transformer and the notification
// ZEPWindowTransformCompleteKey (platform/ZEPAppKitConstants.h) is posted with the
// transformer as object; a stopped fade sends nothing. Main thread only.
//
// Ownership: the factory methods return a transformer parented to the window, so it lives
// at most as long as the window; a transformer keeps running while it exists. Never delete
// a transformer from a slot of its own signal: call deleteLater().

#include <QObject>
#include <QPointer>

class QVariantAnimation;
class QWidget;

class ZEPWindowTransformer : public QObject {
    Q_OBJECT
public:
    enum AnimationType {
        FadeIn = 0,
        FadeOut = 1,
    };

    ZEPWindowTransformer(QWidget* window, int animationType, double animationDurationSecs,
                         QObject* parent = nullptr);
    ~ZEPWindowTransformer() override;

    static ZEPWindowTransformer* fadeInTransformerWithWindow(QWidget* window,
                                                             double animationDurationSecs);
    static ZEPWindowTransformer* fadeOutTransformerWithWindow(QWidget* window,
                                                              double animationDurationSecs);

    void startWindowTransformation();
    void stopWindowTransformation();
    bool isRunning() const;

    QWidget* window() const { return window_; }
    int animationType() const { return animationType_; }
    double animationDurationSecs() const { return animationDurationSecs_; }

signals:
    void windowTransformComplete(ZEPWindowTransformer* transformer);

private:
    QPointer<QWidget> window_;
    int animationType_;
    double animationDurationSecs_;
    QVariantAnimation* animation_;
};
