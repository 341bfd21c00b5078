#pragma once
// A text label drawn with a shadow under its text (the drawer panes' titles). Without a
// shadow it draws as a plain label. Main thread only.

#include "platform/ui/ZEPTextAttributes.h"

#include <QLabel>

#include <optional>

class CKShadowLabel : public QLabel {
    Q_OBJECT
public:
    explicit CKShadowLabel(const QString& text = QString(), QWidget* parent = nullptr);

    void setShadow(const std::optional<ZEPShadow>& shadow);
    std::optional<ZEPShadow> shadow() const { return shadow_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<ZEPShadow> shadow_;
};
