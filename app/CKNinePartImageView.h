#pragma once
// A view filled with a picture of nine parts (four corners at their own size, edges and
// centre stretched): the drawer panes' backgrounds. A part's image is the one named base
// name followed by its part name; a new view uses "drawer-tableview" with "-topleft",
// "-left", "-bottomleft", "-top", "-tile", "-bottom", "-topright", "-right" and
// "-bottomright". Main thread only.

#include <QImage>
#include <QString>
#include <QWidget>

class CKNinePartImageView : public QWidget {
    Q_OBJECT
public:
    explicit CKNinePartImageView(const QRect& frame, QWidget* parent = nullptr);

    QString baseName() const { return mBaseName; }
    void setBaseName(const QString& name);
    QString leftTopPartName() const { return mLeftTopPartName; }
    void setLeftTopPartName(const QString& name);
    QString leftMiddlePartName() const { return mLeftMiddlePartName; }
    void setLeftMiddlePartName(const QString& name);
    QString leftBottomPartName() const { return mLeftBottomPartName; }
    void setLeftBottomPartName(const QString& name);
    QString centerTopPartName() const { return mCenterTopPartName; }
    void setCenterTopPartName(const QString& name);
    QString centerMiddlePartName() const { return mCenterMiddlePartName; }
    void setCenterMiddlePartName(const QString& name);
    QString centerBottomPartName() const { return mCenterBottomPartName; }
    void setCenterBottomPartName(const QString& name);
    QString rightTopPartName() const { return mRightTopPartName; }
    void setRightTopPartName(const QString& name);
    QString rightMiddlePartName() const { return mRightMiddlePartName; }
    void setRightMiddlePartName(const QString& name);
    QString rightBottomPartName() const { return mRightBottomPartName; }
    void setRightBottomPartName(const QString& name);

    // The image named base name followed by partName (null when there is none).
    QImage imageWithPartNamed(const QString& partName) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setName(QString& field, const QString& name);

    QString mBaseName = QStringLiteral("drawer-tableview");
    QString mLeftTopPartName = QStringLiteral("-topleft");
    QString mLeftMiddlePartName = QStringLiteral("-left");
    QString mLeftBottomPartName = QStringLiteral("-bottomleft");
    QString mCenterTopPartName = QStringLiteral("-top");
    QString mCenterMiddlePartName = QStringLiteral("-tile");
    QString mCenterBottomPartName = QStringLiteral("-bottom");
    QString mRightTopPartName = QStringLiteral("-topright");
    QString mRightMiddlePartName = QStringLiteral("-right");
    QString mRightBottomPartName = QStringLiteral("-bottomright");
};
