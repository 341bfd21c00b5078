#include "clipdeck/CKMIDIController.h"

#include "clipdeck/ZEPMIDIClient.h"
#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"

#include <QApplication>

namespace {
constexpr double kRefusalFlashSeconds = 2.0;
}

CKMIDIController::CKMIDIController(QObject* parent)
    : ObservableObject(parent), refusalTimer_(std::make_unique<Timer>()), announced_(derived())
{
    refusalTimer_->setAction([this] { setLearningTriedToUseTakenButton(false); });
    defaultsConnection_ = QObject::connect(&UserDefaults::standardUserDefaults(), &UserDefaults::valueChanged, this,
                                           [this](const QString& key) {
                                               if (!defaultsKey_.isEmpty() && key == defaultsKey_)
                                                   updateFromDefaults();
                                           });
}

CKMIDIController::~CKMIDIController()
{
    QObject::disconnect(defaultsConnection_);
    // A learn in progress ends with the controller: it frees the event lock it holds.
    if (learning_)
        setLearning(false, false);
}

void CKMIDIController::setDefaultsKey(const QString& key)
{
    if (changeValue("defaultsKey", defaultsKey_, key)) {
        updateFromDefaults();
        announceDerivedChanges();
    }
}

void CKMIDIController::setNeedsExclusive(bool needsExclusive)
{
    changeValue("needsExclusive", needsExclusive_, needsExclusive);
}

void CKMIDIController::setLearningTriedToUseTakenButton(bool tried)
{
    if (changeValue("learningTriedToUseTakenButton", triedTakenButton_, tried))
        announceDerivedChanges();
}

bool CKMIDIController::clearButtonHidden() const
{
    return channel_ == kCKMIDINoChannel || buttonID_ == kCKMIDINoButton;
}

void CKMIDIController::setMIDIInformation(const QVariantMap& information)
{
    int32_t channel = kCKMIDINoChannel;
    uint16_t button = kCKMIDINoButton;
    CKMIDIInformationDictionary(information, &channel, &button);
    setMIDIChannel(channel, button);
}

QString CKMIDIController::MIDIDescription() const
{
    if (learning_)
        return triedTakenButton_ ? tr("MIDI button already in use.") : tr("Press a MIDI button.");
    if (!clearButtonHidden())
        return tr("Channel %1, button #%2").arg(channel_).arg(buttonID_);
    return tr("No MIDI button specified.");
}

QColor CKMIDIController::MIDIStatusColor() const
{
    return triedTakenButton_ ? QColor(Qt::red) : QColor(Qt::black);
}

QString CKMIDIController::learnButtonTitle() const
{
    return learning_ ? tr("Cancel") : tr("Learn MIDI");
}

void CKMIDIController::learnButtonPressed()
{
    if (learning_)
        cancelLearn();
    else
        learn();
}

void CKMIDIController::learn()
{
    if (!midiClient_) {
        midiClient_ = ZEPMIDIClient::sharedMIDIClient();
        if (midiClient_)
            midiClient_->listenToAllSources();
    }
    clearButton();
    setLearning(true);
}

void CKMIDIController::clearButton()
{
    setMIDIChannel(kCKMIDINoChannel, kCKMIDINoButton);
    updateFromDefaults();
}

void CKMIDIController::cancelLearn()
{
    setMIDIChannel(channel_, buttonID_);
    setLearning(false, false);
    updateFromDefaults();
}

void CKMIDIController::learnThisButton(const ZEPMIDIAction& event)
{
    if (!learning_)
        return;
    const int32_t channel = event.channel();
    const uint16_t button = event.buttonID();
    ZEPMIDIClient* client = ZEPMIDIClient::sharedMIDIClient();
    const auto holder = client ? client->listenerForChannel(channel, button) : nullptr;
    if (holder && (needsExclusive_ || holder->exclusive())) {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()))
            QApplication::beep();
        setLearningTriedToUseTakenButton(true);
        refusalTimer_->start(kRefusalFlashSeconds);
        return;
    }
    setMIDIChannel(channel, button);
    setLearning(false, false);
}

void CKMIDIController::setBinding(int32_t channel, uint16_t buttonID)
{
    changeValue("channel", channel_, channel);
    changeValue("buttonID", buttonID_, buttonID);
    announceDerivedChanges();
}

void CKMIDIController::setMIDIChannel(int32_t channel, uint16_t buttonID)
{
    setBinding(channel, buttonID);
    midiClient_ = nullptr;
    if (!defaultsKey_.isEmpty()) {
        UserDefaults& defaults = UserDefaults::standardUserDefaults();
        defaults.setObject(CKMIDIInformationForChannel(channel, buttonID), defaultsKey_);
        defaults.synchronize();
    }
}

void CKMIDIController::setLearning(bool learning, bool stayLocked)
{
    ZEPMIDIClient* client = ZEPMIDIClient::sharedMIDIClient();
    if (upListener_) {
        if (client)
            client->removeLearningListener(upListener_);
        upListener_.reset();
    }
    if (learning) {
        if (stayLocked && client) {
            client->setLearning(true);
            client->lockEvents();
        }
        if (client) {
            upListener_ = client->addLearningListener(
                this, [this](const ZEPMIDIAction& event) { learnThisButton(event); }, ZEPMIDIAction::kAnyChannel,
                ZEPMIDIAction::kNoteUpEvent, ZEPMIDIAction::kAnyButton, ZEPMIDIListener::Delivery::MainThread);
        }
    } else if (!stayLocked && client) {
        client->unlockEvents();
        client->setLearning(false);
    }
    if (changeValue("learning", learning_, learning))
        announceDerivedChanges();
}

void CKMIDIController::updateFromDefaults()
{
    if (defaultsKey_.isEmpty())
        return;
    int32_t channel = kCKMIDINoChannel;
    uint16_t button = kCKMIDINoButton;
    CKMIDIInformationDictionary(UserDefaults::standardUserDefaults().objectForKey(defaultsKey_), &channel, &button);
    setBinding(channel, button);
}

CKMIDIController::Derived CKMIDIController::derived() const
{
    return {clearButtonHidden(), MIDIInformation(), MIDIDescription(), MIDIStatusColor(), learnButtonTitle(),
            learnButtonState()};
}

void CKMIDIController::announceDerivedChanges()
{
    const Derived now = derived();
    Derived& before = announced_;
    changeValue("clearButtonHidden", before.clearButtonHidden, now.clearButtonHidden);
    changeValue("MIDIInformation", before.information, now.information);
    changeValue("MIDIDescription", before.description, now.description);
    changeValue("MIDIStatusColor", before.statusColor, now.statusColor);
    changeValue("learnButtonTitle", before.learnButtonTitle, now.learnButtonTitle);
    changeValue("learnButtonState", before.learnButtonState, now.learnButtonState);
}
