#pragma once
// The program's web addresses and store identifiers. They are build settings (CMake cache
// variables of the same names, see app/CMakeLists.txt), empty unless the build gives them:
// a command, menu item or line of text that would open an empty address is not offered.

#include <QString>
#include <QUrl>

namespace ClipdeckWebAddresses {

QUrl supportPage();     // CLIPDECK_SUPPORT_URL: help when the boards cannot be loaded
QUrl productPage();     // CLIPDECK_PRODUCT_URL: the about box's links
QUrl tutorial();        // CLIPDECK_TUTORIAL_URL: the splash screen's tutorial button
QUrl webSite();         // CLIPDECK_WEBSITE_URL: the splash screen's web site button
QUrl soundLibrary();    // CLIPDECK_SOUND_LIBRARY_URL: the Get More Sounds command
QUrl remoteStorePage(); // CLIPDECK_REMOTE_STORE_URL: the about box's remote item
QString desktopStoreIdentifier(); // CLIPDECK_DESKTOP_STORE_ID
QString tabletStoreIdentifier();  // CLIPDECK_TABLET_STORE_ID

} // namespace ClipdeckWebAddresses
