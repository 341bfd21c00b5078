#include "app/ClipdeckWebAddresses.h"

namespace ClipdeckWebAddresses {
namespace {
QUrl address(const char* setting)
{
    const QString text = QString::fromUtf8(setting).trimmed();
    return text.isEmpty() ? QUrl() : QUrl(text);
}
} // namespace

QUrl supportPage() { return address(CLIPDECK_SUPPORT_URL); }
QUrl productPage() { return address(CLIPDECK_PRODUCT_URL); }
QUrl tutorial() { return address(CLIPDECK_TUTORIAL_URL); }
QUrl webSite() { return address(CLIPDECK_WEBSITE_URL); }
QUrl soundLibrary() { return address(CLIPDECK_SOUND_LIBRARY_URL); }
QUrl remoteStorePage() { return address(CLIPDECK_REMOTE_STORE_URL); }
QString desktopStoreIdentifier() { return QStringLiteral(CLIPDECK_DESKTOP_STORE_ID); }
QString tabletStoreIdentifier() { return QStringLiteral(CLIPDECK_TABLET_STORE_ID); }

} // namespace ClipdeckWebAddresses
