#pragma once
// The choice of an export format: a file-type pop-up menu above the settings view of the
// current encoder (ZEPAudioConverterSettingsView). Choosing another file type makes a new
// encoder for it (with the settings last chosen for that type, when it was shown before);
// the view reads and writes the encode settings dictionary {"fileType": type,
// "encoderSettings": the encoder's settings}.
//
// Every change of the encoder's settings is told as the notification
// "ZEPAudioSettingsViewChanged" (the view as object) and to the delegate.
// Main thread only. Laid out by Qt layouts, so its coordinates are Qt's (flipped).

#include "platform/CoreAudioTypes.h"
#include "platform/ui/ZEPView.h"

#include <QColor>
#include <QMap>
#include <QVariantList>
#include <QVariantMap>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class ZEPAudioConverter;
class ZEPAudioConverterSettingsView;
class ZEPAudioSettingsView;

class ZEPAudioSettingsViewDelegate {
public:
    virtual ~ZEPAudioSettingsViewDelegate() = default;
    virtual void settingsViewChanged(ZEPAudioSettingsView* view) = 0;
};

class ZEPAudioSettingsView : public ZEPView {
    Q_OBJECT
public:
    static inline const QString ChangedNotification = QStringLiteral("ZEPAudioSettingsViewChanged");

    // Starts with an AIFF encoder. The first view made registers the value transformers
    // "ZEPDisabledColorTransformer" and "ZEPDisplayNameTransformer".
    explicit ZEPAudioSettingsView(QWidget* parent = nullptr);
    ~ZEPAudioSettingsView() override;

    bool isFlipped() const override { return true; }

    // Shows the current encoder's settings view and fills the file-type menu.
    void updateGUI();
    // As the encoder view's, and the menu's choices come to popUpChanged().
    void updatePopUp(QComboBox* popUp, const QVariantList& content);
    // A file type chosen: setFileType() with its value; then updateGUI().
    void popUpChanged(QComboBox* sender);
    // The file writer's writable types, the current one selected.
    QVariantList fileTypes();

    UInt32 fileType() const { return mFileType; }
    // Keeps the current type's settings and makes an encoder for the new type, with the
    // settings it had last time.
    void setFileType(UInt32 fileType);
    // {"fileType", "encoderSettings"} (the latter left out when the encoder has none).
    QVariantMap settings() const;
    // Applies "fileType" and then "encoderSettings"; tells the change once, at the end.
    void setSettings(const QVariantMap& settings);

    void setDelegate(ZEPAudioSettingsViewDelegate* delegate) { mDelegate = delegate; }
    ZEPAudioSettingsViewDelegate* delegate() const { return mDelegate; }
    void setShouldPostNotifications(bool post) { mShouldPostNotifications = post; }
    bool shouldPostNotifications() const { return mShouldPostNotifications; }
    void setAutosaveIdentifier(const QString& identifier) { mAutosaveIdentifier = identifier; }
    QString autosaveIdentifier() const { return mAutosaveIdentifier; }

    void setEnabledTextColor(const QColor& color);
    void setDisabledTextColor(const QColor& color);

    // Tells the change (notification and delegate).
    void handleConverterSettingsChanged();
    // User plus system processor time of the process, in seconds.
    static double getCPUUsage();

    ZEPAudioConverter* converter() const { return mCurConverter.get(); }
    ZEPAudioConverterSettingsView* formatSettingsView() const { return mFormatSettingsView; }
    QComboBox* fileTypePopUp() const { return mFileTypePopUp; }
    QLabel* fileFormatLabel() const { return mFileFormatLabel; }

protected:
    // Enabling the view refreshes the encoder's menus.
    void changeEvent(QEvent* event) override;

private:
    void makeConverter(UInt32 fileType);
    void releaseConverter();
    void observeConverter();

    QWidget* mSettingsParent = nullptr;
    QComboBox* mFileTypePopUp = nullptr;
    QLabel* mFileFormatLabel = nullptr;
    ZEPAudioSettingsViewDelegate* mDelegate = nullptr;
    std::unique_ptr<ZEPAudioConverter> mCurConverter;
    ZEPAudioConverterSettingsView* mFormatSettingsView = nullptr;
    UInt32 mFileType = 0;
    QString mAutosaveIdentifier;
    QMap<UInt32, QVariantMap> mPreviousFormats; // file type -> the encoder settings last shown
    QColor mEnabledColor;
    QColor mDisabledColor;
    bool mShouldPostNotifications = true;
};
