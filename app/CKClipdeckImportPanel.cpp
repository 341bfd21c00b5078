#include "app/CKClipdeckImportPanel.h"

#include "clipdeck/CKClipdeck.h"

#include <QFileInfo>

#include <algorithm>

CKClipdeckImportPanel::CKClipdeckImportPanel(QWidget* parent) : QFileDialog(parent, tr("Import Clipdeck"))
{
    setObjectName(QStringLiteral("importPanel"));
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFiles);
    setNameFilter(tr("Clipdecks (*.%1 *.%2)").arg(CKClipdeck::BundleExtension, CKClipdeck::ArchiveExtension));
    setLabelText(QFileDialog::Accept, tr("Import"));
}

bool CKClipdeckImportPanel::isImportable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    return info.isDir() ? info.suffix().compare(CKClipdeck::BundleExtension, Qt::CaseInsensitive) == 0 : true;
}

void CKClipdeckImportPanel::accept()
{
    const QStringList chosen = selectedFiles();
    // A board folder is picked, not entered.
    if (!chosen.isEmpty() && std::all_of(chosen.cbegin(), chosen.cend(), &isImportable)) {
        QDialog::accept();
        return;
    }
    QFileDialog::accept();
}
