#pragma once
// A small tool panel that can float above the other windows. It never becomes the key or
// the main window: pressing in it leaves the keyboard with the board. It starts as an
// ordinary (not floating) panel. Main thread only.

#include <QWidget>

class CKPlaybackWindow : public QWidget {
    Q_OBJECT
public:
    explicit CKPlaybackWindow(QWidget* parent = nullptr);

    // Floating keeps the panel above ordinary windows; a shown panel stays shown.
    void setFloatingWindow(bool floating);
    bool isFloatingWindow() const;
};
