#pragma once
// A HUD panel holding one of every control of the kit, as the documentation's screenshot
// shows them.

#include "hudkit/ZEPHUDPanel.h"

#include <QImage>

#include <memory>

std::unique_ptr<ZEPHUDPanel> makeHUDKitShowcase();

// The panel drawn over a plain backdrop, as it looks on a desktop.
QImage pictureOfShowcase(ZEPHUDPanel& panel);
