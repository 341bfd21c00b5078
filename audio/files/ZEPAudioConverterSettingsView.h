#pragma once
// The settings view of one encoder: pop-up menus for its format, sample encoding, bits per
// channel, sample rate, bit rate, quality and channels, each with its label, and the
// encoder's version. The menus are filled from entry lists built from what the codec and
// the file type accept (the capability table behind ZEPCoreAudioConverter); a choice is
// applied to the encoder at once and the menus are filled again.
//
// A menu entry is a map: "value" (a number), "localizedName" (the title), "applicable"
// (optional; NO shows the item disabled), "selected" (the item shown as chosen).
//
// The view follows the encoder: a change of its settings (its changed notification) fills
// the menus again. It does not own the encoder; whoever lets the encoder go calls
// breakControllerCycle() first. Main thread only.

#include <QColor>
#include <QVariantList>
#include <QWidget>

class QComboBox;
class QLabel;
class ZEPAudioConverter;

class ZEPAudioConverterSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit ZEPAudioConverterSettingsView(ZEPAudioConverter* converter, QWidget* parent = nullptr);
    ~ZEPAudioConverterSettingsView() override;

    ZEPAudioConverter* converter() const { return mConverter; }

    // The version label, then every menu.
    void updateGUI();
    // Fills each menu from its list; a label is enabled when its list is not empty.
    void updatePopUps();
    // Empties the menu and adds an item for each entry with a "value" and a "localizedName";
    // the last entry "selected" becomes the chosen item (none when no entry is); the menu
    // is enabled exactly when the list is not empty.
    static void updatePopUp(QComboBox* popUp, const QVariantList& content);
    // The chosen item's value goes to the encoder's matching setter; the menus are filled
    // again in every case.
    void popUpValueChanged(QComboBox* sender);

    // Colours of enabled and disabled labels (an invalid colour leaves the current one).
    void setEnabledTextFieldColor(const QColor& enabledColor, const QColor& disabledColor);
    void setTextField(QLabel* field, bool enabled);
    void setSettingsViewEnabled(bool enabled);
    bool isSettingsViewEnabled() const { return mSettingsViewEnabled; }
    // Lets go of the encoder: the view no longer reads or changes it.
    void breakControllerCycle();

    // The entry lists of an encoder.
    static QVariantList audioFormats(ZEPAudioConverter& converter);
    static QVariantList sampleRates(ZEPAudioConverter& converter);
    static QVariantList bitsPerChannel(ZEPAudioConverter& converter);
    // Empty unless the encoder tells both its available and its applicable bit rates.
    static QVariantList bitRates(ZEPAudioConverter& converter);
    // Empty unless the encoder tells its quality.
    static QVariantList qualityLevels(ZEPAudioConverter& converter);
    static QVariantList channels(ZEPAudioConverter& converter);
    // {"encodingType": 0, 1, 2, "localizedName"}: constant, average, variable bit rate.
    static QVariantList availableEncodingTypes();

    // The menus and labels, for the settings view around this one and for tests.
    QComboBox* audioFormatPopUp() const { return mAudioFormatPopUp; }
    QComboBox* audioFormatSubtypesPopUp() const { return mAudioFormatSubtypesPopUp; }
    QComboBox* bitsPerChannelPopUp() const { return mBitsPerChannelPopUp; }
    QComboBox* sampleRatePopUp() const { return mSampleRatePopUp; }
    QComboBox* bitRatePopUp() const { return mBitRatePopUp; }
    QComboBox* qualityPopUp() const { return mQualityPopUp; }
    QComboBox* channelsPopUp() const { return mChannelsPopUp; }
    QLabel* labelOf(QComboBox* popUp) const;
    QLabel* versionLabel() const { return mVersionLabel; }

private:
    QComboBox* addPopUp(const QString& title, QLabel** label);
    void observeConverter(bool observe);

    ZEPAudioConverter* mConverter;
    QComboBox* mAudioFormatPopUp = nullptr;
    QComboBox* mAudioFormatSubtypesPopUp = nullptr;
    QComboBox* mBitsPerChannelPopUp = nullptr;
    QComboBox* mSampleRatePopUp = nullptr;
    QComboBox* mBitRatePopUp = nullptr;
    QComboBox* mQualityPopUp = nullptr;
    QComboBox* mChannelsPopUp = nullptr;
    QLabel* mAudioFormatLabel = nullptr;
    QLabel* mAudioFormatSubtypesLabel = nullptr;
    QLabel* mBitsPerChannelLabel = nullptr;
    QLabel* mSampleRateLabel = nullptr;
    QLabel* mBitRateLabel = nullptr;
    QLabel* mQualityLabel = nullptr;
    QLabel* mChannelsLabel = nullptr;
    QLabel* mVersionLabel = nullptr;
    QColor mEnabledTextFieldColor;
    QColor mDisabledTextFieldColor;
    bool mSettingsViewEnabled = true;
};
