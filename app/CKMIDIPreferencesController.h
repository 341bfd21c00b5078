#pragma once
// The MIDI pane: the MIDI buttons that toggle looping, stop on lift and restart on press
// while held, each learnt by a CKMIDIController of the pane's own over the user defaults
// "MIDILooping", "MIDIStopOnLift" and "MIDIRestartOnPress". The three buttons must differ
// from every sound's (exclusive), and only one learns at a time: when one starts learning,
// the others stop, leaving the MIDI client's event lock to the one that learns.
//
// Main thread only.

#include "platform/ui/ZEPPreferencesViewController.h"

#include <memory>
#include <vector>

class CKMIDIController;

class CKMIDIPreferencesController : public ZEPPreferencesViewController {
    Q_OBJECT
public:
    explicit CKMIDIPreferencesController(QWidget* parent = nullptr);
    ~CKMIDIPreferencesController() override;

    QString title() const override { return tr("MIDI"); }
    QString toolbarImageName() const override { return QStringLiteral("prefs_toolbar_midi"); }

    CKMIDIController* loopingController() const { return controllers_[0].get(); }
    CKMIDIController* stopOnLiftController() const { return controllers_[1].get(); }
    CKMIDIController* restartOnPressController() const { return controllers_[2].get(); }
    // Looping, stop on lift, restart on press.
    std::vector<CKMIDIController*> allMIDIControllers() const;

private:
    void controllerStartedLearning(CKMIDIController* learner);
    QWidget* rowFor(CKMIDIController* controller);

    std::unique_ptr<CKMIDIController> controllers_[3];
};
