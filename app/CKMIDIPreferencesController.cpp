#include "app/CKMIDIPreferencesController.h"

#include "clipdeck/CKMIDIController.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

struct Binding {
    const char* defaultsKey;
    const char* label;
};
const Binding kBindings[] = {
    {"MIDILooping", QT_TRANSLATE_NOOP("CKMIDIPreferencesController", "Toggle looping:")},
    {"MIDIStopOnLift", QT_TRANSLATE_NOOP("CKMIDIPreferencesController", "Toggle stop on lift:")},
    {"MIDIRestartOnPress", QT_TRANSLATE_NOOP("CKMIDIPreferencesController", "Toggle restart on press:")},
};

} // namespace

CKMIDIPreferencesController::CKMIDIPreferencesController(QWidget* parent) : ZEPPreferencesViewController(parent)
{
    auto* form = new QFormLayout(this);
    form->setContentsMargins(24, 20, 24, 20);
    form->addRow(new QLabel(tr("Hold a MIDI button while pressing a sound's trigger to:"), this));
    for (int i = 0; i < 3; ++i) {
        controllers_[i] = std::make_unique<CKMIDIController>();
        CKMIDIController* controller = controllers_[i].get();
        controller->setDefaultsKey(QString::fromLatin1(kBindings[i].defaultsKey));
        controller->setNeedsExclusive(true);
        controller->observeKey(QStringLiteral("learning"), this, [this, controller](const QVariant&, const QVariant& now) {
            if (now.toBool())
                controllerStartedLearning(controller);
        });
        form->addRow(tr(kBindings[i].label), rowFor(controller));
    }
}

CKMIDIPreferencesController::~CKMIDIPreferencesController()
{
    for (auto& controller : controllers_)
        if (controller && controller->learning())
            controller->cancelLearn();
}

std::vector<CKMIDIController*> CKMIDIPreferencesController::allMIDIControllers() const
{
    return {controllers_[0].get(), controllers_[1].get(), controllers_[2].get()};
}

void CKMIDIPreferencesController::controllerStartedLearning(CKMIDIController* learner)
{
    for (auto& controller : controllers_)
        if (controller && controller.get() != learner)
            controller->setLearning(false, true);
}

QWidget* CKMIDIPreferencesController::rowFor(CKMIDIController* controller)
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* description = new QLabel(row);
    description->setMinimumWidth(200);
    auto* learn = new QPushButton(row);
    learn->setCheckable(true);
    auto* clear = new QPushButton(tr("Clear"), row);
    layout->addWidget(description, 1);
    layout->addWidget(learn);
    layout->addWidget(clear);

    const auto show = [controller, description, learn, clear] {
        description->setText(controller->MIDIDescription());
        QPalette palette = description->palette();
        palette.setColor(QPalette::WindowText, controller->MIDIStatusColor());
        description->setPalette(palette);
        learn->setText(controller->learnButtonTitle());
        learn->setChecked(controller->learnButtonState());
        clear->setHidden(controller->clearButtonHidden());
    };
    show();
    connect(controller, &ObservableObject::valueChanged, row, [show] { show(); });
    connect(learn, &QPushButton::clicked, row, [controller, show] {
        controller->learnButtonPressed();
        show();
    });
    connect(clear, &QPushButton::clicked, row, [controller] { controller->clearButton(); });
    return row;
}
