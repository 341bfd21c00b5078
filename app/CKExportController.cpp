#include "app/CKExportController.h"

#include "app/CKSheetPresenter.h"

#include "platform/MainThread.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kIconSize = 64;
constexpr int kProgressSteps = 1000;

} // namespace

CKExportController::CKExportController(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("exportSheet"));
    setWindowTitle(tr("Clipdeck"));
    iconView_ = new QLabel(this);
    iconView_->setFixedSize(kIconSize, kIconSize);
    iconView_->setAlignment(Qt::AlignCenter);
    nameLabel_ = new QLabel(this);
    nameLabel_->setObjectName(QStringLiteral("nameLabel"));
    QFont bold = nameLabel_->font();
    bold.setBold(true);
    nameLabel_->setFont(bold);
    fileLabel_ = new QLabel(this);
    fileLabel_->setObjectName(QStringLiteral("fileLabel"));
    progressBar_ = new QProgressBar(this);
    progressBar_->setRange(0, kProgressSteps);
    progressBar_->setTextVisible(false);
    progressBar_->setMinimumWidth(320);
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, &CKExportController::cancel);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setHorizontalSpacing(16);
    layout->addWidget(iconView_, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(nameLabel_, 0, 1);
    layout->addWidget(progressBar_, 1, 1);
    layout->addWidget(fileLabel_, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancelButton_);
    layout->addLayout(buttons, 3, 0, 1, 2);

    connect(&CKSheetPresenter::shared(), &CKSheetPresenter::sheetDidBegin, this, [this](QDialog* sheet) {
        if (sheet == this && endWhenOpened_) {
            endWhenOpened_ = false;
            done(QDialog::Accepted);
        }
    });
}

CKExportController::~CKExportController()
{
    message_.clear();
    title_.clear();
    icon_.clear();
}

void CKExportController::beginSheetModalForWindow(QWidget* window)
{
    endWhenOpened_ = false;
    if (begun_)
        return;
    begun_ = true;
    if (inPresenter_)
        return; // dismissed and begun again while it still waited
    inPresenter_ = true;
    QPointer<CKExportController> self(this);
    CKSheetPresenter::shared().beginSheet(
        this, window,
        [self](int) {
            if (self)
                self->inPresenter_ = false;
        },
        false);
}

void CKExportController::dismiss()
{
    if (!begun_)
        return;
    begun_ = false;
    if (CKSheetPresenter::shared().currentSheet() == this)
        done(QDialog::Accepted);
    else
        endWhenOpened_ = true;
    hide();
}

void CKExportController::cancel()
{
    if (delegate_)
        delegate_->exportControllerDidCancel(this);
}

void CKExportController::reject() { cancel(); }

void CKExportController::setInfo(const QVariantMap& info)
{
    if (mainthread::isMainThread()) {
        applyInfo(info);
        return;
    }
    QPointer<CKExportController> self(this);
    mainthread::post([self, info] {
        if (self)
            self->applyInfo(info);
    });
}

void CKExportController::applyInfo(const QVariantMap& info)
{
    if (info.contains(TitleKey))
        setTitle(info.value(TitleKey).toString());
    if (info.contains(MessageKey))
        setMessage(info.value(MessageKey).toString());
    if (info.contains(ProgressKey))
        setProgress(float(info.value(ProgressKey).toDouble()));
    if (info.contains(IconKey))
        setIcon(info.value(IconKey).toString());
}

QVariantMap CKExportController::info() const
{
    QVariantMap info;
    if (!title_.isNull())
        info.insert(TitleKey, title_);
    if (!message_.isNull())
        info.insert(MessageKey, message_);
    info.insert(ProgressKey, double(progress_));
    if (!icon_.isNull())
        info.insert(IconKey, icon_);
    return info;
}

void CKExportController::setTitle(const QString& title)
{
    title_ = title;
    nameLabel_->setText(title);
}

void CKExportController::setMessage(const QString& message)
{
    if (message == message_ && !message_.isNull())
        return;
    message_ = message;
    fileLabel_->setText(message);
    emit messageChanged(message);
}

void CKExportController::setProgress(float progress)
{
    progress_ = progress;
    const float clamped = std::isfinite(progress) ? std::clamp(progress, 0.0f, 1.0f) : 0.0f;
    progressBar_->setValue(int(std::lround(clamped * kProgressSteps)));
}

void CKExportController::setIcon(const QString& imageName)
{
    icon_ = imageName;
    const QImage image = ZEPImageNamed(imageName);
    iconView_->setPixmap(image.isNull() ? QPixmap()
                                        : QPixmap::fromImage(image).scaled(kIconSize, kIconSize, Qt::KeepAspectRatio,
                                                                           Qt::SmoothTransformation));
}
