// The encoder settings views under the offscreen platform, against the real encoders and
// their capability table, and the entry lists against an encoder whose answers are set.
#include "audio/files/ZEPAudioSettingsView.h"

#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioConverterSettingsView.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "platform/NotificationCenter.h"
#include "platform/ValueTransformer.h"
#include "platform/codecs/AudioFormatCatalog.h"

#include <QComboBox>
#include <QLabel>
#include <QStandardItemModel>
#include <gtest/gtest.h>

namespace {

QVariant valueAt(QComboBox* popUp, int index)
{
    return popUp->itemData(index).toMap().value("value");
}

QVariantList valuesOf(QComboBox* popUp)
{
    QVariantList values;
    for (int i = 0; i < popUp->count(); ++i)
        values.append(valueAt(popUp, i));
    return values;
}

QVariant selectedValue(QComboBox* popUp)
{
    return popUp->currentIndex() < 0 ? QVariant() : valueAt(popUp, popUp->currentIndex());
}

// What a user's choice does: the item becomes current and the menu reports it.
void choose(QComboBox* popUp, const QVariant& value)
{
    for (int i = 0; i < popUp->count(); ++i) {
        if (valueAt(popUp, i).toDouble() == value.toDouble()) {
            popUp->setCurrentIndex(i);
            emit popUp->activated(i);
            return;
        }
    }
    ADD_FAILURE() << "no item " << value.toString().toStdString();
}

struct CountingDelegate : ZEPAudioSettingsViewDelegate {
    void settingsViewChanged(ZEPAudioSettingsView*) override { ++changes; }
    int changes = 0;
};

double numberAt(const QVariantMap& settings, const char* key)
{
    return settings.value("encoderSettings").toMap().value(key).toDouble();
}

} // namespace

// Choosing a file type fills the encoder's menus from what the table offers for it, and the
// chosen settings are the encoder's.
TEST(AudioSettingsView, aFileTypeFillsTheMenusFromTheCapabilityTableAndChoicesReachTheEncoder)
{
    ZEPAudioSettingsView view;
    CountingDelegate delegate;
    view.setDelegate(&delegate);
    EXPECT_TRUE(ValueTransformer::valueTransformerForName("ZEPDisabledColorTransformer"));
    EXPECT_TRUE(ValueTransformer::valueTransformerForName("ZEPDisplayNameTransformer"));
    EXPECT_EQ(view.fileType(), kAudioFileAIFFType);
    EXPECT_EQ(selectedValue(view.fileTypePopUp()).toLongLong(), qlonglong(kAudioFileAIFFType));
    EXPECT_EQ(view.fileTypePopUp()->count(), ZEPAudioFileWriter::writableFileTypes().size());
    ZEPAudioConverterSettingsView* encoderView = view.formatSettingsView();
    ASSERT_TRUE(encoderView);
    // Linear PCM: no bit rate, so that menu and its label are off.
    EXPECT_FALSE(encoderView->bitRatePopUp()->isEnabled());
    EXPECT_FALSE(encoderView->labelOf(encoderView->bitRatePopUp())->isEnabled());
    EXPECT_TRUE(encoderView->bitsPerChannelPopUp()->isEnabled());

    choose(view.fileTypePopUp(), qlonglong(kAudioFileM4AType));
    EXPECT_EQ(view.fileType(), kAudioFileM4AType);
    EXPECT_GE(delegate.changes, 1);
    encoderView = view.formatSettingsView();
    ASSERT_TRUE(encoderView);
    ASSERT_EQ(encoderView->converter(), view.converter());

    EXPECT_EQ(valuesOf(encoderView->audioFormatPopUp()),
              ZEPAudioFileWriter::availableFormatsForFileType(kAudioFileM4AType).value());
    EXPECT_EQ(selectedValue(encoderView->audioFormatPopUp()).toLongLong(), qlonglong(kAudioFormatMPEG4AAC));

    std::vector<AudioValueRange> rates;
    ASSERT_EQ(AudioFormatCatalog::availableEncodeSampleRates(kAudioFormatMPEG4AAC, &rates), noErr);
    QVariantList offeredRates = valuesOf(encoderView->sampleRatePopUp());
    ASSERT_FALSE(offeredRates.isEmpty());
    for (const AudioValueRange& range : rates)
        EXPECT_TRUE(offeredRates.contains(range.mMaximum)) << range.mMaximum;
    EXPECT_EQ(encoderView->sampleRatePopUp()->currentText(), "44.100 kHz");

    std::vector<AudioValueRange> bitRates;
    ASSERT_EQ(AudioFormatCatalog::availableEncodeBitRates(kAudioFormatMPEG4AAC, &bitRates), noErr);
    const QVariantList offeredBitRates = valuesOf(encoderView->bitRatePopUp());
    EXPECT_TRUE(encoderView->bitRatePopUp()->isEnabled());
    EXPECT_EQ(size_t(offeredBitRates.size()), bitRates.size());
    for (const AudioValueRange& range : bitRates)
        EXPECT_TRUE(offeredBitRates.contains(qlonglong(range.mMaximum))) << range.mMaximum;
    EXPECT_FALSE(encoderView->bitsPerChannelPopUp()->isEnabled());

    EXPECT_EQ(valuesOf(encoderView->channelsPopUp()), (QVariantList{1, 2}));
    EXPECT_EQ(selectedValue(encoderView->channelsPopUp()).toInt(), 2);

    const int before = delegate.changes;
    choose(encoderView->bitRatePopUp(), qlonglong(128000));
    choose(encoderView->channelsPopUp(), 1);
    EXPECT_GT(delegate.changes, before);
    UInt32 bitRate = 0;
    ASSERT_EQ(view.converter()->getBitRate(&bitRate), noErr);
    EXPECT_EQ(bitRate, 128000u);
    const QVariantMap settings = view.settings();
    EXPECT_EQ(settings.value("fileType").toLongLong(), qlonglong(kAudioFileM4AType));
    EXPECT_EQ(numberAt(settings, "bitRate"), 128000);
    EXPECT_EQ(numberAt(settings, "mChannelsPerFrame"), 1);
    EXPECT_EQ(numberAt(settings, "mFormatID"), kAudioFormatMPEG4AAC);
    // The menus show what the encoder now has.
    EXPECT_EQ(selectedValue(encoderView->bitRatePopUp()).toLongLong(), 128000);
    EXPECT_EQ(selectedValue(encoderView->channelsPopUp()).toInt(), 1);
}

TEST(AudioSettingsView, returningToAFileTypeRestoresWhatWasChosenForIt)
{
    ZEPAudioSettingsView view;
    choose(view.fileTypePopUp(), qlonglong(kAudioFileM4AType));
    choose(view.formatSettingsView()->bitRatePopUp(), qlonglong(96000));
    choose(view.fileTypePopUp(), qlonglong(kAudioFileAIFFType));
    EXPECT_EQ(numberAt(view.settings(), "mFormatID"), kAudioFormatLinearPCM);
    choose(view.fileTypePopUp(), qlonglong(kAudioFileM4AType));
    EXPECT_EQ(numberAt(view.settings(), "bitRate"), 96000);
    EXPECT_EQ(selectedValue(view.formatSettingsView()->bitRatePopUp()).toLongLong(), 96000);
}

// Applying settings changes the type and the encoder, and tells it once, at the end.
TEST(AudioSettingsView, applyingSettingsTellsTheChangeOnce)
{
    ZEPAudioSettingsView view;
    CountingDelegate delegate;
    view.setDelegate(&delegate);
    int notices = 0;
    NotificationCenter::defaultCenter().addObserver(&notices, ZEPAudioSettingsView::ChangedNotification, &view,
                                                    [&](const Notification&) { ++notices; });
    std::unique_ptr<ZEPAudioConverter> aac = ZEPAudioConverter::initWithFileType(kAudioFileM4AType);
    aac->setBitRate(64000);
    view.setSettings({{"fileType", qlonglong(kAudioFileM4AType)}, {"encoderSettings", *aac->settings()}});
    NotificationCenter::defaultCenter().removeObserver(&notices);
    EXPECT_EQ(delegate.changes, 1);
    EXPECT_EQ(notices, 1);
    EXPECT_TRUE(view.shouldPostNotifications());
    EXPECT_EQ(view.fileType(), kAudioFileM4AType);
    EXPECT_EQ(numberAt(view.settings(), "bitRate"), 64000);
    EXPECT_EQ(selectedValue(view.formatSettingsView()->bitRatePopUp()).toLongLong(), 64000);
}

namespace {

// An encoder whose lists and settings the test sets.
class SetEncoder : public ZEPAudioConverter {
public:
    SetEncoder()
    {
        mOutput.mSampleRate = 44100;
        mOutput.mFormatID = kAudioFormatLinearPCM;
        mOutput.mBitsPerChannel = 16;
        mOutput.mChannelsPerFrame = 2;
    }
    OSStatus getOutputDescription(AudioStreamBasicDescription* description) override
    {
        *description = mOutput;
        return noErr;
    }
    OSStatus getBitRate(UInt32* bitRate) override
    {
        *bitRate = 64000;
        return hasBitRate ? noErr : -1;
    }
    OSStatus getCodecQuality(UInt32* quality) override
    {
        *quality = 64;
        return hasQuality ? noErr : -1;
    }
    std::optional<QVariantList> availableSampleRates() override { return QVariantList{0, 8000, 44100, 96000}; }
    std::optional<QVariantList> applicableSampleRates() override { return QVariantList{44100}; }
    std::optional<QVariantList> availableBitsPerChannel() override { return QVariantList{8, 16, 24}; }
    std::optional<QVariantList> applicableBitsPerChannel() override { return QVariantList{16}; }
    std::optional<QVariantList> availableBitRates() override { return available; }
    std::optional<QVariantList> applicableBitRates() override { return applicable; }
    std::optional<QVariantList> applicableChannels() override { return QVariantList{2}; }

    AudioStreamBasicDescription mOutput;
    bool hasBitRate = true;
    bool hasQuality = true;
    std::optional<QVariantList> available = QVariantList{8, 64000, 128000, 1000000};
    std::optional<QVariantList> applicable = QVariantList{64000};
};

QStringList titles(const QVariantList& entries)
{
    QStringList names;
    for (const QVariant& entry : entries)
        names.append(entry.toMap().value("localizedName").toString());
    return names;
}

QList<bool> applicability(const QVariantList& entries)
{
    QList<bool> flags;
    for (const QVariant& entry : entries)
        flags.append(entry.toMap().value("applicable").toBool());
    return flags;
}

} // namespace

TEST(AudioConverterSettingsView, entryListsTitleFilterAndMarkWhatTheEncoderOffers)
{
    SetEncoder encoder;
    using View = ZEPAudioConverterSettingsView;
    EXPECT_EQ(titles(View::sampleRates(encoder)), (QStringList{"8.000 kHz", "44.100 kHz", "96.000 kHz"}));
    EXPECT_EQ(applicability(View::sampleRates(encoder)), (QList<bool>{false, true, false}));
    EXPECT_EQ(titles(View::bitsPerChannel(encoder)), (QStringList{"8-bit", "16-bit", "24-bit"}));
    EXPECT_EQ(applicability(View::bitsPerChannel(encoder)), (QList<bool>{false, true, false}));
    // 8 bps and 1000000 bps are not offered.
    EXPECT_EQ(titles(View::bitRates(encoder)), (QStringList{"64 kbps", "128 kbps"}));
    EXPECT_EQ(View::qualityLevels(encoder).size(), 5);
    EXPECT_EQ(titles(View::channels(encoder)), (QStringList{"Mono", "Stereo"}));
    EXPECT_EQ(applicability(View::channels(encoder)), (QList<bool>{false, true}));
    EXPECT_EQ(View::availableEncodingTypes().size(), 3);

    encoder.hasQuality = false;
    EXPECT_TRUE(View::qualityLevels(encoder).isEmpty());
    encoder.applicable.reset();
    EXPECT_TRUE(View::bitRates(encoder).isEmpty());
    encoder.applicable = QVariantList{64000};
    encoder.available.reset();
    EXPECT_TRUE(View::bitRates(encoder).isEmpty());

    // The view shows it: an inapplicable item is disabled, an empty menu is off, and so is
    // its label.
    View view(&encoder);
    QComboBox* rates = view.sampleRatePopUp();
    auto* model = qobject_cast<QStandardItemModel*>(rates->model());
    ASSERT_TRUE(model);
    EXPECT_FALSE(model->item(0)->isEnabled());
    EXPECT_TRUE(model->item(1)->isEnabled());
    EXPECT_EQ(rates->currentText(), "44.100 kHz");
    EXPECT_FALSE(view.bitRatePopUp()->isEnabled());
    EXPECT_FALSE(view.labelOf(view.bitRatePopUp())->isEnabled());
    EXPECT_FALSE(view.qualityPopUp()->isEnabled());
}

TEST(AudioConverterSettingsView, aMenuShowsTheLastSelectedEntryAndSkipsIncompleteOnes)
{
    QComboBox popUp;
    ZEPAudioConverterSettingsView::updatePopUp(
        &popUp, {QVariantMap{{"value", 1}, {"localizedName", "One"}, {"selected", true}},
                 QVariantMap{{"localizedName", "No value"}, {"selected", true}},
                 QVariantMap{{"value", 3}, {"localizedName", "Three"}, {"selected", true}},
                 QVariantMap{{"value", 4}, {"localizedName", "Four"}, {"applicable", false}}});
    ASSERT_EQ(popUp.count(), 3);
    EXPECT_EQ(popUp.currentText(), "Three");
    EXPECT_TRUE(popUp.isEnabled());
    ZEPAudioConverterSettingsView::updatePopUp(&popUp, {QVariantMap{{"value", 1}, {"localizedName", "One"}}});
    EXPECT_EQ(popUp.currentIndex(), -1);
    ZEPAudioConverterSettingsView::updatePopUp(&popUp, {});
    EXPECT_FALSE(popUp.isEnabled());
}
