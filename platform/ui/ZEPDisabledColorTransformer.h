#pragma once
// Turns whether a control is enabled into the colour of its text, for labels that dim with
// the controls they name: true gives the enabled colour, false (or no value) the disabled
// one; the colours are the application palette's text colours unless set. One way only.
// Registered as "ZEPDisabledColorTransformer" by the views that use it.
// Main thread only.

#include "platform/ValueTransformer.h"

#include <QColor>

class ZEPDisabledColorTransformer : public ValueTransformer {
public:
    // The shared instance.
    static std::shared_ptr<ZEPDisabledColorTransformer> disabledColorTransformer();

    QColor enabledColor() const;
    void setEnabledColor(const QColor& color) { enabledColor_ = color; }
    QColor disabledColor() const;
    void setDisabledColor(const QColor& color) { disabledColor_ = color; }

    QMetaType transformedValueClass() const override { return QMetaType::fromType<QColor>(); }
    QVariant transformedValue(const QVariant& value) const override;

private:
    QColor enabledColor_;
    QColor disabledColor_;
};
