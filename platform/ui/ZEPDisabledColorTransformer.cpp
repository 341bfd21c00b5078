#include "platform/ui/ZEPDisabledColorTransformer.h"

#include "platform/VariantValues.h"

#include <QGuiApplication>
#include <QPalette>

std::shared_ptr<ZEPDisabledColorTransformer> ZEPDisabledColorTransformer::disabledColorTransformer()
{
    static const auto shared = std::make_shared<ZEPDisabledColorTransformer>();
    return shared;
}

QColor ZEPDisabledColorTransformer::enabledColor() const
{
    return enabledColor_.isValid() ? enabledColor_ : QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

QColor ZEPDisabledColorTransformer::disabledColor() const
{
    return disabledColor_.isValid() ? disabledColor_
                                    : QGuiApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
}

QVariant ZEPDisabledColorTransformer::transformedValue(const QVariant& value) const
{
    return variant::boolValue(value) ? enabledColor() : disabledColor();
}
