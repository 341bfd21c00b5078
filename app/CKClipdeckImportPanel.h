#pragma once
// The panel of the menu's Import: a non-native file dialog that picks board folders
// (".clipdeck", which are plain folders here) as well as board archives (".ckzip"), several
// at once. Open on a selection of such folders and files ends the panel; a selection holding
// any other folder opens that folder, as file dialogs do.
//
// Main thread only.

#include <QFileDialog>

class CKClipdeckImportPanel : public QFileDialog {
    Q_OBJECT
public:
    explicit CKClipdeckImportPanel(QWidget* parent = nullptr);

    // Whether Open takes path as it is: an existing ".clipdeck" folder, or a file.
    static bool isImportable(const QString& path);

public slots:
    void accept() override;
};
