#pragma once
// A plain container for a HUD panel's controls: it draws nothing, so the panel's dark
// background shows through. Main thread only.

#include <QWidget>

class ZEPHUDContentView : public QWidget {
    Q_OBJECT
public:
    explicit ZEPHUDContentView(const QRect& frame, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
