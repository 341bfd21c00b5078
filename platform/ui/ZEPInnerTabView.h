#pragma once
// The page area inside a custom tab view: a stack of pages, one shown at a time. It keeps
// the transition style it is given (pages switch without animation here) and draws the
// window background behind its pages only while it draws a background. Main thread only.

#include <QStackedWidget>

class ZEPInnerTabView : public QStackedWidget {
    Q_OBJECT
public:
    explicit ZEPInnerTabView(QWidget* parent = nullptr);

    void setTransitionStyle(int style) { transitionStyle_ = style; }
    int transitionStyle() const { return transitionStyle_; }

    void setDrawsBackground(bool draws);
    bool drawsBackground() const { return autoFillBackground(); }

private:
    int transitionStyle_ = 0;
};
