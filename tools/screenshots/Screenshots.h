#pragma once
// The windows and sheets the documentation shows, each as a function that builds it with
// sample contents and answers its picture. ClipdeckScreenshots.cpp lists them; a window
// added to the program adds its function here and a line there.

#include <QImage>
#include <QWidget>

#include <functional>

class AppController;

// Runs the event loop until done answers true (a state, not a time: a deadline of 10 s only
// stops a program whose display never answers). Answers done's last answer.
bool processEventsUntil(const std::function<bool()>& done);

// The window's picture once it is on screen: shown, exposed, laid out and painted.
QImage pictureOfWindow(QWidget& window);
// Runs the event loop until the controller's window shows its shown board in the grid (the
// grid takes a board a moment after it is shown).
void waitForShownBoard(const AppController& controller);

QImage generalPreferencesScreenshot();
QImage playbackPreferencesScreenshot();
QImage editorPreferencesScreenshot();
QImage midiPreferencesScreenshot();
QImage remotePreferencesScreenshot();
QImage aboutBoxScreenshot();
QImage splashScreenScreenshot();
QImage textViewerScreenshot();
QImage mainWindowScreenshot();
QImage nameSheetScreenshot();
QImage remotePairingSheetScreenshot();
QImage quitConfirmationScreenshot();
QImage deleteConfirmationScreenshot();
QImage errorSheetScreenshot();
QImage exportSheetScreenshot();
QImage importPanelScreenshot();
QImage drawerControlsScreenshot();
QImage drawerOpenScreenshot();
QImage drawerClosedScreenshot();
QImage drawerAloneScreenshot();
QImage boardGridScreenshot();
QImage cellMenuScreenshot();
QImage volumeBubbleScreenshot();
QImage emptyBoardScreenshot();
