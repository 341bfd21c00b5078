#pragma once
// The editor sheet's controller as the board window sees it: one per program, asked to open
// the editor on a sound. The sheet itself is not built yet: a request is announced
// (editRequested) and nothing opens, so isShowing() stays false and presses on the grid go on
// working.
//
// Main thread.

#include <QObject>

#include <memory>

class CKSoundSource;

class CKEditorController : public QObject {
    Q_OBJECT
public:
    static CKEditorController& sharedEditorController();

    // The editor sheet is up (the grid ignores presses then).
    bool isShowing() const { return isShowing_; }
    // Asks for the editor on the sound; a null sound (an empty cell) asks for nothing.
    void editSoundSource(const std::shared_ptr<CKSoundSource>& sound, void* layer = nullptr);

signals:
    void editRequested(std::shared_ptr<CKSoundSource> sound);

private:
    CKEditorController() = default;
    bool isShowing_ = false;
};
