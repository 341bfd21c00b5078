#include "audio/files/ZEPAudioConverterSettingsView.h"

#include "audio/files/ZEPAudioConverter.h"
#include "platform/NotificationCenter.h"
#include "platform/VariantValues.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QStandardItemModel>

#include <functional>
#include <limits>

namespace {

const QString kValue = QStringLiteral("value");
const QString kLocalizedName = QStringLiteral("localizedName");
const QString kApplicable = QStringLiteral("applicable");
const QString kSelected = QStringLiteral("selected");

QString localized(const char* text, const char* key = nullptr)
{
    return QCoreApplication::translate("ZEPAudioConverter", text, key);
}

bool listHolds(const std::optional<QVariantList>& list, double value)
{
    if (!list)
        return false;
    for (const QVariant& entry : *list) {
        if (variant::doubleValue(entry) == value)
            return true;
    }
    return false;
}

QVariantMap entry(const QVariant& value, const QString& name, bool selected)
{
    return {{kValue, value}, {kLocalizedName, name}, {kSelected, selected}};
}

// "#,###.000" and "#,###": grouped thousands, a fixed number of decimals.
QString formatted(double value, int decimals)
{
    return QLocale(QLocale::English).toString(value, 'f', decimals);
}

} // namespace

ZEPAudioConverterSettingsView::ZEPAudioConverterSettingsView(ZEPAudioConverter* converter, QWidget* parent)
    : QWidget(parent), mConverter(converter)
{
    auto* layout = new QFormLayout(this);
    mAudioFormatPopUp = addPopUp(localized("Format:"), &mAudioFormatLabel);
    mAudioFormatSubtypesPopUp = addPopUp(localized("Sample Encoding:"), &mAudioFormatSubtypesLabel);
    mBitsPerChannelPopUp = addPopUp(localized("Bit Depth:"), &mBitsPerChannelLabel);
    mSampleRatePopUp = addPopUp(localized("Sample Rate:"), &mSampleRateLabel);
    mBitRatePopUp = addPopUp(localized("Bit Rate:"), &mBitRateLabel);
    mQualityPopUp = addPopUp(localized("Quality:"), &mQualityLabel);
    mChannelsPopUp = addPopUp(localized("Channels:"), &mChannelsLabel);
    mVersionLabel = new QLabel(this);
    layout->addRow(mVersionLabel);
    observeConverter(true);
    updateGUI();
}

ZEPAudioConverterSettingsView::~ZEPAudioConverterSettingsView()
{
    observeConverter(false);
}

QComboBox* ZEPAudioConverterSettingsView::addPopUp(const QString& title, QLabel** label)
{
    auto* popUp = new QComboBox(this);
    *label = new QLabel(title, this);
    static_cast<QFormLayout*>(layout())->addRow(*label, popUp);
    connect(popUp, &QComboBox::activated, this, [this, popUp] { popUpValueChanged(popUp); });
    return popUp;
}

void ZEPAudioConverterSettingsView::observeConverter(bool observe)
{
    if (!mConverter)
        return;
    if (!observe) {
        NotificationCenter::defaultCenter().removeObserver(this);
        return;
    }
    NotificationCenter::defaultCenter().addObserver(this, ZEPAudioConverter::HasChangedNotification, mConverter,
                                                    [this](const Notification&) { updateGUI(); });
}

QLabel* ZEPAudioConverterSettingsView::labelOf(QComboBox* popUp) const
{
    const std::pair<QComboBox*, QLabel*> pairs[] = {
        {mAudioFormatPopUp, mAudioFormatLabel}, {mAudioFormatSubtypesPopUp, mAudioFormatSubtypesLabel},
        {mBitsPerChannelPopUp, mBitsPerChannelLabel}, {mSampleRatePopUp, mSampleRateLabel},
        {mBitRatePopUp, mBitRateLabel}, {mQualityPopUp, mQualityLabel}, {mChannelsPopUp, mChannelsLabel},
    };
    for (const auto& [candidate, label] : pairs) {
        if (candidate == popUp)
            return label;
    }
    return nullptr;
}

void ZEPAudioConverterSettingsView::updateGUI()
{
    mVersionLabel->setText(mConverter ? mConverter->version() : QString());
    updatePopUps();
}

void ZEPAudioConverterSettingsView::updatePopUps()
{
    if (!mConverter)
        return;
    const std::pair<QComboBox*, QVariantList> menus[] = {
        {mAudioFormatPopUp, audioFormats(*mConverter)},
        {mAudioFormatSubtypesPopUp, mConverter->availableFormatFlags().value_or(QVariantList())},
        {mBitsPerChannelPopUp, bitsPerChannel(*mConverter)},
        {mSampleRatePopUp, sampleRates(*mConverter)},
        {mBitRatePopUp, bitRates(*mConverter)},
        {mQualityPopUp, qualityLevels(*mConverter)},
        {mChannelsPopUp, channels(*mConverter)},
    };
    for (const auto& [popUp, content] : menus) {
        updatePopUp(popUp, content);
        QLabel* label = labelOf(popUp);
        label->setEnabled(!content.isEmpty());
        setTextField(label, !content.isEmpty());
    }
}

void ZEPAudioConverterSettingsView::updatePopUp(QComboBox* popUp, const QVariantList& content)
{
    const QSignalBlocker quiet(popUp);
    popUp->clear();
    auto* model = qobject_cast<QStandardItemModel*>(popUp->model());
    int selected = -1;
    for (const QVariant& item : content) {
        const QVariantMap values = item.toMap();
        if (!values.contains(kValue) || !values.contains(kLocalizedName))
            continue;
        popUp->addItem(values.value(kLocalizedName).toString(), values);
        const bool applicable = !values.contains(kApplicable) || variant::boolValue(values.value(kApplicable));
        if (model)
            model->item(popUp->count() - 1)->setEnabled(applicable);
        if (variant::boolValue(values.value(kSelected)))
            selected = popUp->count() - 1;
    }
    popUp->setCurrentIndex(selected);
    popUp->setEnabled(!content.isEmpty());
}

void ZEPAudioConverterSettingsView::popUpValueChanged(QComboBox* sender)
{
    if (!mConverter)
        return;
    const QVariant value = sender->currentData().toMap().value(kValue);
    if (value.isValid()) {
        ZEPAudioConverter& c = *mConverter;
        const UInt32 number = UInt32(variant::integerValue(value));
        if (sender == mAudioFormatPopUp)
            c.setAudioFormatID(number);
        else if (sender == mAudioFormatSubtypesPopUp)
            c.setFormatFlags(number);
        else if (sender == mBitsPerChannelPopUp)
            c.setBitsPerChannel(number);
        else if (sender == mSampleRatePopUp)
            c.setSampleRate(variant::doubleValue(value));
        else if (sender == mBitRatePopUp)
            c.setBitRate(number);
        else if (sender == mQualityPopUp)
            c.setCodecQuality(number);
        else if (sender == mChannelsPopUp)
            c.setNumberChannels(number);
    }
    updatePopUps();
}

void ZEPAudioConverterSettingsView::setEnabledTextFieldColor(const QColor& enabledColor, const QColor& disabledColor)
{
    if (enabledColor.isValid())
        mEnabledTextFieldColor = enabledColor;
    if (disabledColor.isValid())
        mDisabledTextFieldColor = disabledColor;
}

void ZEPAudioConverterSettingsView::setTextField(QLabel* field, bool enabled)
{
    const QColor color = enabled ? mEnabledTextFieldColor : mDisabledTextFieldColor;
    if (!field || !color.isValid())
        return;
    QPalette palette = field->palette();
    palette.setColor(QPalette::WindowText, color);
    field->setPalette(palette);
}

void ZEPAudioConverterSettingsView::setSettingsViewEnabled(bool enabled)
{
    if (enabled == mSettingsViewEnabled)
        return;
    mSettingsViewEnabled = enabled;
    setEnabled(enabled);
}

void ZEPAudioConverterSettingsView::breakControllerCycle()
{
    observeConverter(false);
    mConverter = nullptr;
}

// Entry lists.

QVariantList ZEPAudioConverterSettingsView::audioFormats(ZEPAudioConverter& converter)
{
    const std::optional<QVariantList> formats = converter.availableAudioFormats();
    const std::optional<QVariantList> names = converter.availableAudioFormatNames();
    const std::optional<QVariantMap> settings = converter.settings();
    QVariantList entries;
    if (!formats || !names)
        return entries;
    const qsizetype count = std::min(formats->size(), names->size());
    for (qsizetype i = 0; i < count; ++i) {
        const QVariant format = formats->at(i);
        const bool selected = settings && variant::integerValue(settings->value("mFormatID")) ==
                                              variant::integerValue(format);
        entries.append(entry(format, names->at(i).toString(), selected));
    }
    return entries;
}

namespace {

// The entries of the numbers an encoder offers that lie between lowest and highest: each
// titled by title, applicable when the applicable list holds it, selected when it is the
// value of key in the encoder's settings.
QVariantList numberEntries(const QVariantList& numbers, const std::optional<QVariantList>& applicable,
                           const std::optional<QVariantMap>& settings, const char* key, double lowest,
                           double highest, bool integers, const std::function<QString(double)>& title)
{
    QVariantList entries;
    for (const QVariant& number : numbers) {
        const double value = variant::doubleValue(number);
        if (value <= lowest || value >= highest)
            continue;
        QVariantMap item = entry(integers ? QVariant(qlonglong(value)) : QVariant(value), title(value),
                                 settings && variant::doubleValue(settings->value(QLatin1String(key))) == value);
        item.insert(kApplicable, listHolds(applicable, value));
        entries.append(item);
    }
    return entries;
}

constexpr double kUnbounded = std::numeric_limits<double>::infinity();

} // namespace

QVariantList ZEPAudioConverterSettingsView::sampleRates(ZEPAudioConverter& converter)
{
    return numberEntries(converter.availableSampleRates().value_or(QVariantList()), converter.applicableSampleRates(),
                         converter.settings(), "mSampleRate", 0, kUnbounded, false,
                         [](double rate) { return formatted(rate / 1000.0, 3) + QStringLiteral(" kHz"); });
}

QVariantList ZEPAudioConverterSettingsView::bitsPerChannel(ZEPAudioConverter& converter)
{
    return numberEntries(converter.availableBitsPerChannel().value_or(QVariantList()),
                         converter.applicableBitsPerChannel(), converter.settings(), "mBitsPerChannel", 0, kUnbounded,
                         true, [](double bits) { return formatted(bits, 0) + QStringLiteral("-bit"); });
}

QVariantList ZEPAudioConverterSettingsView::bitRates(ZEPAudioConverter& converter)
{
    const std::optional<QVariantList> rates = converter.availableBitRates();
    const std::optional<QVariantList> applicable = converter.applicableBitRates();
    if (!rates || !applicable)
        return {};
    return numberEntries(*rates, applicable, converter.settings(), "bitRate", 10, 1000000, true, [](double rate) {
        return QString::number(qlonglong(rate) / 1000) + QStringLiteral(" kbps");
    });
}

QVariantList ZEPAudioConverterSettingsView::qualityLevels(ZEPAudioConverter& converter)
{
    UInt32 quality = 0;
    if (converter.getCodecQuality(&quality) != noErr)
        return {};
    const std::optional<QVariantMap> settings = converter.settings();
    const qlonglong current = settings ? variant::integerValue(settings->value("quality")) : -1;
    // The keys of the strings table, with their English text.
    const std::pair<qlonglong, QString> levels[] = {
        {0, localized("Minimum", "kAudioConverterQuality_Min")},
        {32, localized("Low", "kAudioConverterQuality_Low")},
        {64, localized("Medium", "kAudioConverterQuality_Medium")},
        {96, localized("High", "kAudioConverterQuality_High")},
        {127, localized("Maximum", "kAudioConverterQuality_Max")},
    };
    QVariantList entries;
    for (const auto& [value, name] : levels)
        entries.append(entry(value, name, settings && current == value));
    return entries;
}

QVariantList ZEPAudioConverterSettingsView::channels(ZEPAudioConverter& converter)
{
    const std::optional<QVariantList> applicable = converter.applicableChannels();
    const std::optional<QVariantMap> settings = converter.settings();
    const qlonglong current = settings ? variant::integerValue(settings->value("mChannelsPerFrame")) : -1;
    QVariantList entries;
    for (const auto& [value, name] : {std::pair<qlonglong, QString>{1, localized("Mono")}, {2, localized("Stereo")}}) {
        QVariantMap item = entry(value, name, current == value);
        item.insert(kApplicable, listHolds(applicable, double(value)));
        entries.append(item);
    }
    return entries;
}

QVariantList ZEPAudioConverterSettingsView::availableEncodingTypes()
{
    QVariantList types;
    const char* names[] = {"Constant Bitrate", "Average Bitrate", "Variable Bitrate"};
    for (int type = 0; type < 3; ++type)
        types.append(QVariantMap{{QStringLiteral("encodingType"), type}, {kLocalizedName, localized(names[type])}});
    return types;
}
