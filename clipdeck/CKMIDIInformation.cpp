#include "clipdeck/CKMIDIInformation.h"

namespace {
const QString kChannelKey = QStringLiteral("ZEPMIDIChannel");
const QString kButtonKey = QStringLiteral("ZEPMIDIButtonID");
} // namespace

QVariantMap CKMIDIInformationForChannel(int32_t channel, uint16_t button)
{
    return {{kChannelKey, QVariant::fromValue(quint32(channel))}, {kButtonKey, QVariant::fromValue(quint32(button))}};
}

bool CKMIDIInformationDictionary(const QVariant& information, int32_t* channel, uint16_t* button)
{
    if (information.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = information.toMap();
    if (channel)
        *channel = map.contains(kChannelKey) ? int32_t(map.value(kChannelKey).toLongLong()) : kCKMIDINoChannel;
    if (button)
        *button = map.contains(kButtonKey) ? uint16_t(map.value(kButtonKey).toLongLong()) : kCKMIDINoButton;
    return true;
}
