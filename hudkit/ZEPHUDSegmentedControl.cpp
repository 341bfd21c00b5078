#include "hudkit/ZEPHUDSegmentedControl.h"

#include "hudkit/ZEPHUDImage.h"

ZEPHUDSegmentedControl::ZEPHUDSegmentedControl(QWidget* parent)
    : ZEPCustomSegmentedControl(parent)
{
    setup();
}

void ZEPHUDSegmentedControl::setup()
{
    setInactiveTabLeftImage(ZEPHUDImageNamed(QStringLiteral("tab-leftcap-normal")),
                            ZEPHUDImageNamed(QStringLiteral("tab-tile-normal")),
                            ZEPHUDImageNamed(QStringLiteral("tab-rightcap-normal")));
    setActiveTabLeftImage(ZEPHUDImageNamed(QStringLiteral("tab-leftcap-active")),
                          ZEPHUDImageNamed(QStringLiteral("tab-tile-active")),
                          ZEPHUDImageNamed(QStringLiteral("tab-rightcap-active")));
    setSegmentSeperatorImage(ZEPHUDImageNamed(QStringLiteral("tab-divider")));
    setAttributesForLabels(ZEPTextAttributes{ZEPSystemFontOfSize(11), Qt::white, std::nullopt});
}
