// The preference panes as a user works them: modifier pop-ups that cannot clash, the editor's
// output device and colours, the durations' ranges, the ducking field, the log folder, and
// MIDI learning one control at a time.
#include "app/AppController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKColorWell.h"
#include "app/CKEditorPreferencesController.h"
#include "app/CKGeneralPreferencesController.h"
#include "app/CKMIDIPreferencesController.h"
#include "app/CKModifierPopUpButton.h"
#include "app/CKPlaybackPreferencesController.h"
#include "app/CKSheetPresenter.h"
#include "clipdeck/CKLoggingController.h"
#include "clipdeck/CKMIDIController.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/ZEPMIDIClient.h"
#include "editor/CKEditorController.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/midi/MIDIVirtualSource.h"
#include "platform/ui/AppKitExtensions.h"
#include "platform/ui/ZEPPreferencesController.h"

#include "AppTestSupport.h"
#include "support/TestEnvironment.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUrl>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }

// Counts the posts of a notification while it lives.
class PostCounter {
public:
    explicit PostCounter(const QString& name)
    {
        NotificationCenter::defaultCenter().addObserver(this, name, nullptr, [this](const Notification&) { ++count; });
    }
    ~PostCounter() { NotificationCenter::defaultCenter().removeObserver(this); }
    int count = 0;
};

// Picks the item at index as a user does: selected, then activated.
void pick(QComboBox* popUp, int index)
{
    popUp->setCurrentIndex(index);
    emit popUp->activated(index);
}

// Which items of a modifier pop-up are enabled, by title.
QStringList enabledTitles(const CKModifierPopUpButton* popUp)
{
    QStringList titles;
    for (int i = 0; i < popUp->count(); ++i)
        if (popUp->isItemEnabled(i))
            titles << popUp->itemText(i);
    return titles;
}

} // namespace

TEST(PreferencesWindow, ThePreferencesCommandOpensTheFivePanesInOrder)
{
    AppController controller;
    application().setDelegate(&controller);
    controller.awakeFromNib();
    controller.mainWindow()->preferencesAction()->trigger();
    ZEPPreferencesController* preferences = controller.preferencesController();
    ASSERT_NE(preferences, nullptr);
    ASSERT_TRUE(waitUntil([&] { return preferences->window()->isVisible(); }));
    QStringList titles;
    for (ZEPPreferencesViewController* pane : preferences->controllers()) {
        titles << pane->title();
        EXPECT_FALSE(pane->toolbarImage().isNull()) << pane->toolbarImageName().toStdString();
    }
    EXPECT_EQ(titles, QStringList({"General", "Playback", "Editor", "MIDI", "Remote"}));
    controller.mainWindow()->preferencesAction()->trigger(); // again: the same window
    EXPECT_EQ(controller.preferencesController(), preferences);
    preferences->window()->close();
    while (QDialog* sheet = CKSheetPresenter::shared().currentSheet())
        sheet->done(0);
    application().setDelegate(nullptr);
}

TEST(GeneralPreferences, AModifierUsedByAnotherActionCannotBeChosenAndAChoiceReachesTheKeyMasks)
{
    finishLaunching(); // the application reads the masks from here on
    defaults().setInteger(18, "pauseSoundKey");
    defaults().setInteger(19, "toggleLoopingKey");
    defaults().setInteger(0, "stopOnLiftKey");
    defaults().setInteger(0, "restartOnPressKey");
    CKGeneralPreferencesController pane;

    QStringList items;
    for (int i = 0; i < pane.stopOnLiftButton()->count(); ++i)
        items << QString("%1 %2").arg(pane.stopOnLiftButton()->itemText(i)).arg(pane.stopOnLiftButton()->itemData(i).toInt());
    EXPECT_EQ(items, QStringList({"None 0", "Shift 17", "Super 18", "Alt 19", "Ctrl 20"}));
    EXPECT_EQ(pane.editSoundButton()->selectedTag(), 18);
    EXPECT_EQ(pane.toggleLoopingButton()->selectedTag(), 19);

    pane.stopOnLiftButton()->showPopup();
    EXPECT_EQ(enabledTitles(pane.stopOnLiftButton()), QStringList({"None", "Shift", "Ctrl"}));
    pane.stopOnLiftButton()->hidePopup();
    pane.editSoundButton()->showPopup();
    EXPECT_EQ(enabledTitles(pane.editSoundButton()), QStringList({"None", "Shift", "Super", "Ctrl"}));
    pane.editSoundButton()->hidePopup();

    pick(pane.stopOnLiftButton(), pane.stopOnLiftButton()->indexOfItemWithTag(17));
    EXPECT_EQ(defaults().integerForKey("stopOnLiftKey"), 17);
    EXPECT_EQ(application().stopOnLiftKeyMask(), 1u << 17);
    // Shift is now taken for the other actions, and freed again by "None".
    pane.restartOnPressButton()->showPopup();
    EXPECT_EQ(enabledTitles(pane.restartOnPressButton()), QStringList({"None", "Ctrl"}));
    pane.restartOnPressButton()->hidePopup();
    pick(pane.stopOnLiftButton(), pane.stopOnLiftButton()->indexOfItemWithTag(0));
    EXPECT_EQ(application().stopOnLiftKeyMask(), 0u);
    pane.restartOnPressButton()->showPopup();
    EXPECT_EQ(enabledTitles(pane.restartOnPressButton()), QStringList({"None", "Shift", "Ctrl"}));
    pane.restartOnPressButton()->hidePopup();

    defaults().setInteger(20, "pauseSoundKey"); // changed elsewhere: the pop-up follows
    EXPECT_EQ(pane.editSoundButton()->selectedTag(), 20);
    defaults().setInteger(40, "toggleLoopingKey"); // no modifier has that bit: nothing is taken
    pane.updateUsedKeyMasks();
    EXPECT_EQ(pane.usedKeysMask(), 1u << 20);
}

TEST(EditorPreferences, DefaultOutputDeviceRemovesTheStoredDeviceOnceAndAListChangeWritesNothing)
{
    defaults().setObject("alsa:Gone Card", CKEditorController::OutputDeviceKey);
    CKEditorPreferencesController pane;
    pane.viewWillAppear();
    QComboBox* popUp = pane.editorOutputButton();
    EXPECT_EQ(popUp->itemText(0), "Default Output Device");
    EXPECT_EQ(popUp->itemData(0).toInt(), 0x7fffffff);
    EXPECT_EQ(popUp->currentIndex(), -1); // the stored device is not connected
    EXPECT_EQ(popUp->placeholderText(), "Gone Card (not connected)");

    PostCounter changes(CKEditorController::OutputDeviceChangedNotification);
    NotificationCenter::defaultCenter().post(CKPlaybackController::DevicesChangedNotification);
    EXPECT_EQ(defaults().stringForKey(CKEditorController::OutputDeviceKey), "alsa:Gone Card");
    EXPECT_EQ(changes.count, 0);

    pick(popUp, 0);
    EXPECT_FALSE(defaults().objectForKey(CKEditorController::OutputDeviceKey).isValid());
    EXPECT_EQ(changes.count, 1);
    pick(popUp, 0);
    EXPECT_EQ(changes.count, 1);
    NotificationCenter::defaultCenter().post(CKPlaybackController::DevicesChangedNotification);
    EXPECT_EQ(popUp->currentIndex(), 0);
    EXPECT_EQ(changes.count, 1);
}

TEST(EditorPreferences, AChosenColourIsStoredInEditorSettingsAndAnnounced)
{
    ASSERT_FALSE(defaults().objectForKey("editorSettings").isValid());
    CKEditorPreferencesController pane;
    pane.show();
    pane.viewWillAppear();
    // No colours were stored: the editor's defaults are, and the wells show them.
    const QVariantMap stored = defaults().dictionaryForKey("editorSettings");
    EXPECT_EQ(stored, CKEditorController::defaultEditorColors());
    QStringList keys;
    for (const CKColorWell* well : pane.colorWells())
        keys << well->key();
    EXPECT_EQ(keys, QStringList({"backgroundColor", "trackOneColor", "trackTwoColor", "trackOneSecondaryColor",
                                 "trackTwoSecondaryColor", "fadeColor", "selectionColor"}));
    EXPECT_EQ(pane.colorWellForKey("trackOneColor")->color(), colorForKey(stored, "trackOneColor"));

    PostCounter announced(CKEditorPreferencesController::ColorsChangedNotification);
    int observed = 0;
    QObject context;
    CKEditorController::sharedEditorController()->observeKey("editorSettings", &context,
                                                             [&](const QVariant&, const QVariant&) { ++observed; });
    CKColorWell* well = pane.colorWellForKey("trackOneColor");
    well->click();
    QColorDialog* dialog = well->colorDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->setCurrentColor(QColor(200, 10, 20));
    dialog->accept();
    EXPECT_EQ(colorForKey(defaults().dictionaryForKey("editorSettings"), "trackOneColor"), QColor(200, 10, 20));
    EXPECT_EQ(colorForKey(defaults().dictionaryForKey("editorSettings"), "fadeColor"),
              colorForKey(stored, "fadeColor"));
    EXPECT_EQ(announced.count, 1);
    EXPECT_EQ(observed, 1);

    pane.resetColors();
    EXPECT_EQ(defaults().dictionaryForKey("editorSettings"), CKEditorController::defaultEditorColors());
    EXPECT_EQ(well->color(), colorForKey(stored, "trackOneColor"));
    EXPECT_EQ(announced.count, 2);
}

TEST(EditorPreferences, DurationsStayInsideTheirRanges)
{
    CKEditorPreferencesController pane;
    struct Range {
        QDoubleSpinBox* field;
        const char* key;
        double minimum, maximum;
    };
    for (const Range& r : {Range{pane.minimumScrubDurationField(), "MinimumScrubDuration", 0.25, 0.5},
                           Range{pane.scrubDurationField(), "ScrubDuration", 0.5, 1.5},
                           Range{pane.fadeDurationField(), "DefaultFadeDuration", 0.0, 30.0}}) {
        EXPECT_EQ(r.field->minimum(), r.minimum) << r.key;
        EXPECT_EQ(r.field->maximum(), r.maximum) << r.key;
        EXPECT_EQ(r.field->value(), defaults().doubleForKey(r.key)) << r.key;
        r.field->setValue(r.maximum + 100);
        EXPECT_EQ(defaults().doubleForKey(r.key), r.maximum) << r.key;
    }
}

TEST(PlaybackPreferences, TheDuckingFieldTakesPercentagesAndRefusesText)
{
    CKPlaybackPreferencesController pane;
    QLineEdit* field = pane.duckingVolumeField();
    EXPECT_EQ(field->text(), "33%");
    field->setText("abc");
    emit field->editingFinished();
    EXPECT_DOUBLE_EQ(defaults().doubleForKey("duckingVolume"), double(0.33f));
    EXPECT_EQ(field->text(), "33%");
    field->setText(" 50 % ");
    emit field->editingFinished();
    EXPECT_DOUBLE_EQ(defaults().doubleForKey("duckingVolume"), 0.5);
    EXPECT_EQ(field->text(), "50%");
}

TEST(PlaybackPreferences, AChosenLogFolderIsStoredAsAFolderURLAndTheLogIsWrittenThere)
{
    QTemporaryDir home;
    const QString folder = home.filePath("Show logs");
    ASSERT_TRUE(QDir().mkpath(folder));
    CKPlaybackPreferencesController pane;
    pane.show();
    pane.chooseLoggingFolder();
    auto* panel = qobject_cast<QFileDialog*>(CKSheetPresenter::shared().currentSheet());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel, pane.loggingFolderPanel());
    EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
    EXPECT_FALSE(panel->testOption(QFileDialog::ReadOnly)); // new folders can be made
    EXPECT_FALSE(application().isForwardingEvents());
    panel->setDirectory(home.path());
    panel->selectFile(folder);
    static_cast<QDialog*>(panel)->accept(); // as the Choose button does
    ASSERT_TRUE(waitUntil([] { return !CKSheetPresenter::shared().isShowingSheet(); }));

    const QString stored = defaults().stringForKey(CKLoggingController::PathKey);
    EXPECT_TRUE(stored.startsWith("file:///")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("Show%20logs")) << stored.toStdString(); // a URL, encoded
    EXPECT_EQ(QUrl(stored).toLocalFile(), folder + "/");
    EXPECT_TRUE(stored.endsWith("/"));
    EXPECT_EQ(pane.loggingPathControl()->text(), folder);

    defaults().setBool(true, CKLoggingController::EnabledKey);
    CKLoggingController log;
    log.writeToFile("Started playing: Thunder");
    log.stopLogging();
    const QStringList files = QDir(folder).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile file(QDir(folder).filePath(files.first()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Started playing: Thunder"));
}

TEST(MIDIPreferences, LearningOnOneControlStopsTheOthers)
{
    MIDIVirtualSource device("Test Keys");
    ASSERT_TRUE(ZEPMIDIClient::sharedMIDIClient());
    {
        CKMIDIPreferencesController pane;
        const std::vector<CKMIDIController*> controllers = pane.allMIDIControllers();
        ASSERT_EQ(controllers.size(), 3u);
        QStringList keys;
        for (const CKMIDIController* controller : controllers) {
            keys << controller->defaultsKey();
            EXPECT_TRUE(controller->needsExclusive());
        }
        EXPECT_EQ(keys, QStringList({"MIDILooping", "MIDIStopOnLift", "MIDIRestartOnPress"}));

        const auto learning = [&] {
            QList<bool> states;
            for (const CKMIDIController* controller : controllers)
                states << controller->learning();
            return states;
        };
        pane.loopingController()->learnButtonPressed();
        EXPECT_EQ(learning(), QList<bool>({true, false, false}));
        pane.restartOnPressController()->learnButtonPressed();
        EXPECT_EQ(learning(), QList<bool>({false, false, true}));
        // The one that learns keeps the client's event lock.
        EXPECT_TRUE(ZEPMIDIClient::sharedMIDIClient()->learning());
        pane.stopOnLiftController()->learnButtonPressed();
        EXPECT_EQ(learning(), QList<bool>({false, true, false}));
        pane.stopOnLiftController()->learnButtonPressed(); // cancel
        EXPECT_EQ(learning(), QList<bool>({false, false, false}));
        EXPECT_FALSE(ZEPMIDIClient::sharedMIDIClient()->learning());
    }
    ZEPMIDIClient::disposeSharedMIDIClient();
}
