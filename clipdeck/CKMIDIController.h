#pragma once
// Binds one MIDI channel and button to one purpose by learning: the user starts a learn,
// presses and releases a button on a MIDI device, and the controller keeps the binding, in
// the user defaults under defaultsKey when it has one (as a CKMIDIInformation dictionary), or
// only in itself for its owner to read (MIDIInformation). The playback controller keeps three
// for the modifier toggles ("MIDILooping", "MIDIStopOnLift", "MIDIRestartOnPress", all with
// needsExclusive); the MIDI preferences and the sound editor show them.
//
// A model for views: each key below is announced through ObservableObject when it changes,
// derived keys included. The view's learn button shows learnButtonTitle ("Learn MIDI" or
// "Cancel") with learnButtonState and calls learnButtonPressed(); its clear button calls
// clearButton() and hides while clearButtonHidden; its label shows MIDIDescription in
// MIDIStatusColor.
//
// Learning takes the MIDI client's event lock, so no sound answers the buttons pressed
// meanwhile, and registers a learning listener for button releases (note up): a button
// is bound when it is released. A button that an ordinary listener already holds is refused
// when needsExclusive is set, and one held by an exclusive listener always is: the system
// beeps, learningTriedToUseTakenButton shows "MIDI button already in use." in red for 2 s
// (TimeSource), and learning goes on.
//
// Threads: main thread. The learning listener hands each release to the main thread, where
// it is accepted or refused.

#include "clipdeck/CKMIDIInformation.h"
#include "clipdeck/ZEPMIDIListener.h"
#include "platform/ObservableObject.h"

#include <QColor>
#include <QVariantMap>

#include <memory>

class Timer;
class ZEPMIDIClient;

class CKMIDIController : public ObservableObject {
    Q_OBJECT
    Q_PROPERTY(QString defaultsKey READ defaultsKey WRITE setDefaultsKey)
    Q_PROPERTY(int channel READ channel)
    Q_PROPERTY(int buttonID READ buttonID)
    Q_PROPERTY(bool learning READ learning)
    Q_PROPERTY(bool needsExclusive READ needsExclusive WRITE setNeedsExclusive)
    Q_PROPERTY(bool learningTriedToUseTakenButton READ learningTriedToUseTakenButton WRITE
                   setLearningTriedToUseTakenButton)
    Q_PROPERTY(bool clearButtonHidden READ clearButtonHidden)
    Q_PROPERTY(QVariantMap MIDIInformation READ MIDIInformation WRITE setMIDIInformation)
    Q_PROPERTY(QString MIDIDescription READ MIDIDescription)
    Q_PROPERTY(QColor MIDIStatusColor READ MIDIStatusColor)
    Q_PROPERTY(QString learnButtonTitle READ learnButtonTitle)
    Q_PROPERTY(bool learnButtonState READ learnButtonState)
public:
    explicit CKMIDIController(QObject* parent = nullptr);
    ~CKMIDIController() override;

    QString defaultsKey() const { return defaultsKey_; }
    // Observes that key of the user defaults and reads the binding stored there.
    void setDefaultsKey(const QString& key);

    int32_t channel() const { return channel_; }
    uint16_t buttonID() const { return buttonID_; }
    bool learning() const { return learning_; }
    bool needsExclusive() const { return needsExclusive_; }
    void setNeedsExclusive(bool needsExclusive);
    bool learningTriedToUseTakenButton() const { return triedTakenButton_; }
    void setLearningTriedToUseTakenButton(bool tried);

    bool clearButtonHidden() const;
    QVariantMap MIDIInformation() const { return CKMIDIInformationForChannel(channel_, buttonID_); }
    void setMIDIInformation(const QVariantMap& information);
    QString MIDIDescription() const;
    QColor MIDIStatusColor() const;
    QString learnButtonTitle() const;
    bool learnButtonState() const { return learning_; }

    // The learn button: learn() when idle, cancelLearn() while learning.
    void learnButtonPressed();
    // Clears the binding and starts learning.
    void learn();
    // Sets the empty binding (writing it under defaultsKey) and reads the defaults again.
    void clearButton();
    // Stops learning, freeing the event lock; the binding stays as it is (a learn cleared it).
    void cancelLearn();
    // The learning listener's action: a released button, accepted or refused.
    void learnThisButton(const ZEPMIDIAction& event);

    // Sets the binding; with defaultsKey, stores it there and writes the defaults out.
    void setMIDIChannel(int32_t channel, uint16_t buttonID);
    void setLearning(bool learning) { setLearning(learning, true); }
    // learning true: with lock, sets the client's learning flag and takes its event lock;
    // registers the learning listener. false: removes it; without stayLocked, frees the event
    // lock and clears the client's learning flag.
    void setLearning(bool learning, bool stayLocked);
    // Reads the binding stored under defaultsKey (none: the empty binding).
    void updateFromDefaults();

private:
    struct Derived {
        bool clearButtonHidden;
        QVariantMap information;
        QString description;
        QColor statusColor;
        QString learnButtonTitle;
        bool learnButtonState;
    };
    Derived derived() const;
    // Announces the derived keys whose values changed since the last announcement.
    void announceDerivedChanges();
    void setBinding(int32_t channel, uint16_t buttonID);

    QString defaultsKey_;
    ZEPMIDIClient* midiClient_ = nullptr; // held from learn() until the binding is next set
    int32_t channel_ = kCKMIDINoChannel;
    uint16_t buttonID_ = kCKMIDINoButton;
    std::shared_ptr<ZEPMIDIListener> upListener_;
    bool learning_ = false;
    bool needsExclusive_ = false;
    bool triedTakenButton_ = false;
    std::unique_ptr<Timer> refusalTimer_;
    QMetaObject::Connection defaultsConnection_;
    Derived announced_;
};
