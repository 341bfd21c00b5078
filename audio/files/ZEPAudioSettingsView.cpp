#include "audio/files/ZEPAudioSettingsView.h"

#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioConverterSettingsView.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "platform/NotificationCenter.h"
#include "platform/VariantValues.h"
#include "platform/ui/ZEPDisabledColorTransformer.h"
#include "platform/ui/ZEPDisplayNameTransformer.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QLoggingCategory>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <sys/resource.h>

namespace {

// The file types offered are logged at debug level.
Q_LOGGING_CATEGORY(lcSettingsView, "clipdeck.audio.settingsview", QtInfoMsg)

const QString kFileTypeKey = QStringLiteral("fileType");
const QString kEncoderSettingsKey = QStringLiteral("encoderSettings");

// The transformers the settings views' labels and file names are shown through.
void registerTransformersOnce()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    ValueTransformer::setValueTransformer(ZEPDisabledColorTransformer::disabledColorTransformer(),
                                          QStringLiteral("ZEPDisabledColorTransformer"));
    ValueTransformer::setValueTransformer(std::make_shared<ZEPDisplayNameTransformer>(),
                                          QStringLiteral("ZEPDisplayNameTransformer"));
}

} // namespace

ZEPAudioSettingsView::ZEPAudioSettingsView(QWidget* parent) : ZEPView(QRect(), parent), mFileType(kAudioFileAIFFType)
{
    registerTransformersOnce();
    auto* layout = new QVBoxLayout(this);
    auto* fileRow = new QHBoxLayout;
    mFileFormatLabel = new QLabel(QCoreApplication::translate("ZEPAudioSettingsView", "File Format:"), this);
    mFileTypePopUp = new QComboBox(this);
    fileRow->addWidget(mFileFormatLabel);
    fileRow->addWidget(mFileTypePopUp, 1);
    layout->addLayout(fileRow);
    mSettingsParent = new QWidget(this);
    auto* settingsLayout = new QVBoxLayout(mSettingsParent);
    settingsLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mSettingsParent, 1);

    makeConverter(mFileType);
    observeConverter();
    updateGUI();
}

ZEPAudioSettingsView::~ZEPAudioSettingsView()
{
    releaseConverter();
}

void ZEPAudioSettingsView::makeConverter(UInt32 fileType)
{
    mCurConverter = ZEPAudioConverter::initWithFileType(fileType);
}

void ZEPAudioSettingsView::releaseConverter()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (mFormatSettingsView)
        mFormatSettingsView->breakControllerCycle();
    mCurConverter.reset();
}

void ZEPAudioSettingsView::observeConverter()
{
    if (!mCurConverter)
        return;
    NotificationCenter::defaultCenter().addObserver(this, ZEPAudioConverter::HasChangedNotification,
                                                    mCurConverter.get(),
                                                    [this](const Notification&) { handleConverterSettingsChanged(); });
}

void ZEPAudioSettingsView::updateGUI()
{
    if (!mFormatSettingsView || mFormatSettingsView->converter() != mCurConverter.get()) {
        delete mFormatSettingsView;
        mFormatSettingsView = nullptr;
        if (mCurConverter) {
            mFormatSettingsView = new ZEPAudioConverterSettingsView(mCurConverter.get(), mSettingsParent);
            mFormatSettingsView->setEnabledTextFieldColor(mEnabledColor, mDisabledColor);
            mFormatSettingsView->updatePopUps();
            mSettingsParent->layout()->addWidget(mFormatSettingsView);
        }
    }
    updatePopUp(mFileTypePopUp, fileTypes());
}

void ZEPAudioSettingsView::updatePopUp(QComboBox* popUp, const QVariantList& content)
{
    ZEPAudioConverterSettingsView::updatePopUp(popUp, content);
    disconnect(popUp, &QComboBox::activated, this, nullptr);
    connect(popUp, &QComboBox::activated, this, [this, popUp] { popUpChanged(popUp); });
}

void ZEPAudioSettingsView::popUpChanged(QComboBox* sender)
{
    if (sender == mFileTypePopUp) {
        const QVariant value = sender->currentData().toMap().value(QStringLiteral("value"));
        if (value.isValid())
            setFileType(UInt32(variant::integerValue(value)));
    }
    updateGUI();
}

QVariantList ZEPAudioSettingsView::fileTypes()
{
    QVariantList types;
    for (const QVariant& type : ZEPAudioFileWriter::writableFileTypes()) {
        QVariantMap entry = type.toMap();
        if (variant::integerValue(entry.value(QStringLiteral("value"))) == qint64(mFileType))
            entry.insert(QStringLiteral("selected"), true);
        types.append(entry);
    }
    qCDebug(lcSettingsView) << "availableFileTypes:" << types;
    return types;
}

void ZEPAudioSettingsView::setFileType(UInt32 fileType)
{
    if (fileType == mFileType)
        return;
    const std::optional<QVariantMap> previous =
        mPreviousFormats.contains(fileType) ? std::optional<QVariantMap>(mPreviousFormats.value(fileType)) : std::nullopt;
    if (mFileType != 0 && mCurConverter) {
        if (const std::optional<QVariantMap> current = mCurConverter->settings())
            mPreviousFormats.insert(mFileType, *current);
    }
    releaseConverter();
    makeConverter(fileType);
    mFileType = fileType;
    if (previous && mCurConverter)
        mCurConverter->setSettings(*previous);
    updateGUI();
    handleConverterSettingsChanged();
    observeConverter();
}

QVariantMap ZEPAudioSettingsView::settings() const
{
    QVariantMap settings{{kFileTypeKey, qlonglong(mFileType)}};
    if (mCurConverter) {
        if (const std::optional<QVariantMap> encoderSettings = mCurConverter->settings())
            settings.insert(kEncoderSettingsKey, *encoderSettings);
    }
    return settings;
}

void ZEPAudioSettingsView::setSettings(const QVariantMap& settings)
{
    ZEPAudioSettingsViewDelegate* delegate = mDelegate;
    const bool posting = mShouldPostNotifications;
    mDelegate = nullptr;
    mShouldPostNotifications = false;
    if (settings.contains(kFileTypeKey))
        setFileType(UInt32(variant::integerValue(settings.value(kFileTypeKey))));
    if (settings.contains(kEncoderSettingsKey) && mCurConverter)
        mCurConverter->setSettings(settings.value(kEncoderSettingsKey).toMap());
    updateGUI();
    mDelegate = delegate;
    NotificationCenter::defaultCenter().post(ChangedNotification, this);
    if (mDelegate)
        mDelegate->settingsViewChanged(this);
    mShouldPostNotifications = posting;
}

void ZEPAudioSettingsView::setEnabledTextColor(const QColor& color)
{
    mEnabledColor = color;
    if (mFormatSettingsView)
        mFormatSettingsView->setEnabledTextFieldColor(mEnabledColor, mDisabledColor);
    QPalette palette = mFileFormatLabel->palette();
    palette.setColor(QPalette::WindowText, color);
    mFileFormatLabel->setPalette(palette);
}

void ZEPAudioSettingsView::setDisabledTextColor(const QColor& color)
{
    mDisabledColor = color;
    if (mFormatSettingsView)
        mFormatSettingsView->setEnabledTextFieldColor(mEnabledColor, mDisabledColor);
}

void ZEPAudioSettingsView::handleConverterSettingsChanged()
{
    if (mShouldPostNotifications)
        NotificationCenter::defaultCenter().post(ChangedNotification, this);
    if (mDelegate)
        mDelegate->settingsViewChanged(this);
}

double ZEPAudioSettingsView::getCPUUsage()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000000.0;
}

void ZEPAudioSettingsView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && isEnabled() && mFormatSettingsView) {
        mFormatSettingsView->updatePopUps();
        updateGUI();
    }
}
