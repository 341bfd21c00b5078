#pragma once
// A colour well: a button filled with its colour that opens a colour dialog; a colour the
// user accepts there becomes the well's colour and the well emits colorChosen(). The well's
// key says which of the editor's colours it stands for ("trackOneColor"...).
//
// Main thread only.

#include <QColor>
#include <QPushButton>

class QColorDialog;

class CKColorWell : public QPushButton {
    Q_OBJECT
public:
    explicit CKColorWell(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    // Shows color; tells no one.
    void setColor(const QColor& color);
    QString key() const { return key_; }
    void setKey(const QString& key) { key_ = key; }

    // Opens the colour dialog (window-modal, on the well's window) on the well's colour.
    void openColorDialog();
    // The dialog while it is open (tests answer it), else null.
    QColorDialog* colorDialog() const { return dialog_; }

signals:
    void colorChosen(CKColorWell* well);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    QString key_;
    QColorDialog* dialog_ = nullptr;
};
