#pragma once
// A level meter: one linear audio level shown as a bar drawn from images. The lit image
// shows the value, the background image the rest, a 2-point peak indicator fades out over
// two seconds after the peak was set, and an optional low zone is drawn with the disabled
// image over everything.
//
// The meter draws at its images' size, not the view's, at the view's bottom-left corner.
// Its images are horizontal art (the bar grows to the right); a meter higher than wide is
// vertical and draws them turned a quarter turn, so the bar grows upward. Whatever the
// value, minimum or maximum, nothing is drawn outside the background image's rectangle:
// the lit and low lengths are kept between 0 and the image's width (a level read that
// failed may hand in raw decibels, far below 0).
//
// The meter does no timing of its own: its owner sets the value and the peak (every 0.05 s
// while playback runs) and each set redraws. The peak ages on TimeSource's clock, so tests
// move time by hand.
//
// Main thread only.

#include <QColor>
#include <QImage>
#include <QWidget>

// A level of d decibels as the linear amplitude the meter shows: 10^(0.05 d) - 0.000001,
// the conversion the output player applies to its levels.
double ZEPAudioMeterAmplitudeForDecibels(double decibels);

class ZEPAudioMeter : public QWidget {
    Q_OBJECT
public:
    // Loads the default images "meter_bg", "meter_lit" and "meter_disabled"; minimum 0,
    // maximum 1.0, draws by itself, a clipped peak fills the meter.
    explicit ZEPAudioMeter(const QRect& frame, QWidget* parent = nullptr);

    // These keep the image or colour and do not redraw.
    void setBackgroundImage(const QImage& image) { mBackgroundImage = image; }
    QImage backgroundImage() const { return mBackgroundImage; }
    void setLitImage(const QImage& image) { mLitImage = image; }
    QImage litImage() const { return mLitImage; }
    void setDisabledImage(const QImage& image) { mDisabledImage = image; }
    QImage disabledImage() const { return mDisabledImage; }
    // The peak indicator's colour; without one (an invalid colour) the indicator is a
    // slice of the lit image.
    void setPeakColor(const QColor& color) { mPeakColor = color; }
    QColor peakColor() const { return mPeakColor; }

    // A value of 1.0 or more is stored as the maximum; any other value as it is (so 0.99
    // stays 0.99 above a maximum of 0.8). Redraws.
    void setFloatValue(float value);
    float floatValue() const { return mValue; }
    // Stores the peak and the time it was set; redraws. A peak of 0 removes the indicator.
    void setPeakValue(float value);
    float peakValue() const { return mPeakValue; }

    // These store and redraw only when the value changes.
    void setLowLevel(float value);
    float lowLevel() const { return mLowValue; }
    void setMinValue(float value);
    float minValue() const { return mMinValue; }
    void setMaxValue(float value);
    float maxValue() const { return mMaxValue; }

    // Flags kept for the meter's owner; drawing does not read them. (Named apart from
    // QWidget's own enabled and visible states, which they are not.)
    void setMeterEnabled(bool enabled);
    bool isMeterEnabled() const { return mEnabled; }
    void setMeterVisible(bool visible);
    bool isMeterVisible() const { return mVisible; }

    void setAutoDraws(bool autoDraws) { mAutoDraws = autoDraws; }
    bool autoDraws() const { return mAutoDraws; }
    // An opaque meter paints every pixel of its view itself (no background behind it).
    void setOpaque(bool opaque);
    bool isOpaque() const { return mIsOpaque; }
    void setIndicatesPeakWithFullMeter(bool flag) { mIndicatesPeakWithFullMeter = flag; }
    bool indicatesPeakWithFullMeter() const { return mIndicatesPeakWithFullMeter; }
    bool isVertical() const { return mIsVertical; }

    // Asks for a redraw when the meter draws by itself; otherwise only notes that one is
    // due (the owner draws the meter when it wants). needsDisplay answers false for a
    // meter that does not draw by itself, and whether a redraw is still due otherwise.
    void setNeedsDisplay();
    bool needsDisplay() const { return mAutoDraws && mRedrawPending; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Draws the bar in its own coordinates: the background image's rectangle at (0, 0),
    // y downward, the bar growing to the right.
    void drawBar(QPainter& painter);
    void drawPeak(QPainter& painter, double span, double bgW, double bgH);

    QImage mBackgroundImage;
    QImage mLitImage;
    QImage mDisabledImage;
    float mMinValue = 0;
    float mMaxValue = 1.0f;
    float mLowValue = 0;
    float mPeakValue = 0;
    float mValue = 0;
    bool mEnabled = true;
    bool mVisible = true;
    double mPeakSetTime = 0;
    QColor mPeakColor;
    bool mNeedsDisplay = false;
    bool mRedrawPending = false;
    bool mAutoDraws = true;
    bool mIsOpaque = false;
    bool mIsVertical = false;
    bool mIndicatesPeakWithFullMeter = true;
};
