#pragma once
// The small bubble beside a cell's slider knob that shows the volume in percent while it
// changes: a frameless tool window that never takes focus or the mouse, placed in screen
// coordinates, faded in and out by ZEPWindowTransformer. Flipped, it sits left of the knob
// and points right.
//
// Main thread.

#include <QWidget>

#include <functional>

class CKPercentageTransformer;
class ZEPWindowTransformer;

class CKVolumeIndicatorWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 55;
    static constexpr int kHeight = 20;

    explicit CKVolumeIndicatorWindow(QWidget* parentWindow);
    ~CKVolumeIndicatorWindow() override;

    double percentage() const { return percentage_; }
    void setPercentage(double percentage);
    // The text shown ("50.0%").
    QString displayText() const { return text_; }
    bool flippedHorizontally() const { return flipped_; }
    void setFlippedHorizontally(bool flipped);

    // Shows it and fades it in over 0.2 s from transparent.
    void fadeIn();
    // Fades out over 0.4 s, then calls done (on a later pass of the loop).
    void fadeOut(std::function<void()> done);
    bool isFadingOut() const { return fadeOut_ != nullptr; }
    // Stops a fade-out and shows the bubble at full opacity.
    void showFully();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double percentage_ = 0;
    QString text_;
    bool flipped_ = false;
    std::unique_ptr<CKPercentageTransformer> transformer_;
    ZEPWindowTransformer* fadeOut_ = nullptr;
};
