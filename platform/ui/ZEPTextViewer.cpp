#include "platform/ui/ZEPTextViewer.h"

#include <QFile>
#include <QFileInfo>
#include <QTextDocument>
#include <QTextBrowser>
#include <QVBoxLayout>

ZEPTextViewer::ZEPTextViewer(const QString& path, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(path), text_(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("ZEPTextViewer"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text_);
    text_->setOpenExternalLinks(true);
    text_->document()->setDocumentMargin(16);
    resize(560, 480);
    setWindowTitle(QFileInfo(path).completeBaseName());

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        text_->setPlainText(tr("The file \"%1\" could not be read: %2").arg(path, file.errorString()));
        return;
    }
    const QString contents = QString::fromUtf8(file.readAll());
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        text_->setHtml(contents);
    else if (suffix == QLatin1String("md"))
        text_->setMarkdown(contents);
    else
        text_->setPlainText(contents);
    hasText_ = true;
}
