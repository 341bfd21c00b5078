#pragma once
// The progress sheet that long work of a board shows on the main window: a title, an icon,
// a progress bar and a Cancel button. The application's export sheet (CKExportController)
// is one; the archive unpacking queue talks to it only through this interface, and makes
// it through the factory its owner gives it.
//
// Threads: main thread.

#include <QString>

#include <functional>
#include <memory>

class QWidget;
class CKProgressSheet;

// Hears the sheet's Cancel button.
class CKExportControllerDelegate {
public:
    virtual ~CKExportControllerDelegate() = default;
    virtual void exportControllerDidCancel(CKProgressSheet* controller) = 0;
};

class CKProgressSheet {
public:
    using Factory = std::function<std::unique_ptr<CKProgressSheet>()>;

    virtual ~CKProgressSheet() = default;

    virtual void setTitle(const QString& title) = 0;
    // An image by its resource name ("clipdeckarchive").
    virtual void setIcon(const QString& imageName) = 0;
    // 0.0 to 1.0.
    virtual void setProgress(float progress) = 0;
    // Not owned.
    virtual void setDelegate(CKExportControllerDelegate* delegate) = 0;

    // Whether the sheet is shown on a window now.
    virtual bool isSheetShown() const = 0;
    // Shows the sheet, modal for parent (a sheet of no window when parent is null).
    virtual void beginSheetModalForWindow(QWidget* parent) = 0;
    // Ends the sheet and hides it.
    virtual void dismiss() = 0;
};
