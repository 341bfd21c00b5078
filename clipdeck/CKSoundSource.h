#pragma once
// One sound button of a board: its name, identity, cell index, trigger settings (loop,
// restart on press, behaviour on release), volume, label colour and MIDI and key bindings;
// its playback feed (the edit model of its audio file, CKAudioFileEditor, which streams the
// sound to the board mixer); and the logic that turns a press, a release or a remote
// command into play, restart, pause, fade or stop through the playback controller.
//
// The sound plays from its feed. Where the feed's file lies is the subclass's business (the
// board's cached file sound keeps it in its board's cache); a sound made here loads it from
// a path (buildEditorWithPath()).
//
// Play states (isPlaying, in the controller's lists, fade):
//   idle       NO   no   none
//   playing    YES  yes  none, or a running volume fade
//   fading out NO   yes  running; its end stops the sound
//   paused     as it was, yes, halted
// A press starts an idle sound, restarts a playing one when restart on press holds (else
// fades it out), cancels a fade-out and restarts, resumes a paused one. A release stops the
// sound when its lift behaviour is "stop".
//
// Observed keys (ObservableObject), announced with old and new values: the model keys
// "name", "loops", "restartOnPress", "uuid", "playbackVolume", "liftBehavior", "index",
// "backgroundColor", "sticky", "isPlayable" (the remote mirror watches these), and
// "isPlaying", "paused", "error".
//
// Ownership: sounds are always held by std::shared_ptr (make them with std::make_shared):
// the board holds its sounds, the playback controller holds a sound while it plays. The
// sound owns its feed (shared with the board mixer while it plays) and its running fade;
// its board and its cell are references it does not own.
//
// Triggers (CKSoundSourceTriggers.cpp): a sound listens for its MIDI note (on the shared MIDI
// client, from the moment its binding is set: a board's sounds answer MIDI as soon as the
// board has loaded, shown or not), for the remote's commands aimed at its uuid (from the
// moment it has one) and for its computer key (while it has one; the key dispatcher calls
// it only for the board the window shows). registersTriggers() off keeps it deaf to all
// three. Destroying the sound removes every registration.
//
// Threads: main thread, except where a method says otherwise. handleMIDIPress() may be
// called on any thread (it hops to the main thread); audioEditorRanOutOfData() comes on the
// board mixer's render thread.

#include "platform/Error.h"
#include "platform/ObservableObject.h"
#include "platform/XMLElement.h"

#include "audio/editor/ZEPAudioEditorDelegate.h"

#include <QString>
#include <QVariantMap>

#include <memory>
#include <mutex>
#include <optional>

class CKAudioFileEditor;
class CKEditorFaderAnimation;
class CKKeyEventListener;
class CKSoundCell;
class CKSoundParent;
class CKSysExListener;
class ZEPMIDIListener;

class CKSoundSource : public ObservableObject,
                      public ZEPAudioEditorDelegate,
                      public std::enable_shared_from_this<CKSoundSource> {
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(bool loops READ loops WRITE setLoops)
    Q_PROPERTY(bool restartOnPress READ restartOnPress WRITE setRestartOnPress)
    Q_PROPERTY(QString uuid READ uuid WRITE setUuid)
    Q_PROPERTY(float playbackVolume READ playbackVolume WRITE setPlaybackVolume)
    Q_PROPERTY(qulonglong liftBehavior READ liftBehavior WRITE setLiftBehavior)
    Q_PROPERTY(qulonglong index READ index WRITE setIndex)
    Q_PROPERTY(QString backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(bool sticky READ sticky WRITE setSticky)
    Q_PROPERTY(bool isPlayable READ isPlayable WRITE setIsPlayable)
    Q_PROPERTY(bool isPlaying READ isPlaying)
    Q_PROPERTY(bool paused READ isPaused)

public:
    // Lift behaviours.
    static constexpr qulonglong kKeepPlayingOnLift = 0;
    static constexpr qulonglong kStopOnLift = 2;
    // resetLiftBehaviorTo() when there is nothing to put back.
    static constexpr int kNoLiftBehaviorToReset = 10;
    // The MIDI binding of a sound that has none.
    static constexpr SInt32 kNoMIDIChannel = 0x7FFFFFFF;
    static constexpr UInt16 kNoMIDIButton = 65535;
    // Keys of the MIDI information dictionary.
    static inline const QString MIDIChannelKey = QStringLiteral("ZEPMIDIChannel");
    static inline const QString MIDIButtonIDKey = QStringLiteral("ZEPMIDIButtonID");
    // The error domain of a sound whose audio cannot be loaded.
    static inline const QString ImportErrorDomain = QStringLiteral("CKSoundImport");

    // Notifications, posted on the main thread with the sound as object.
    static inline const QString BeganPlayingNotification = QStringLiteral("CKClipdeckSoundBeganPlayingNotification");
    static inline const QString FinishedPlayingNotification =
        QStringLiteral("CKClipdeckSoundFinishedPlayingNotification");
    static inline const QString LoopedNotification = QStringLiteral("CKClipdeckSoundLoopedNotification");

    // No name, index 0, no flags, no colour (""), volume 1.0, playable, unbound.
    CKSoundSource();
    ~CKSoundSource() override;

    // ---- Persistence: the "sound" element of the board document (CKSoundSourceXML.cpp) ----

    // A sound read from a "sound" element (its observers registered), listening for its
    // MIDI binding and its uuid unless registersTriggers is false.
    static std::shared_ptr<CKSoundSource> createWithXMLElement(const XMLElement& element,
                                                               bool registersTriggers = true);
    // The element: "name", "loops", "restartOnPress", "uuid" (made now when none),
    // "playbackVolume", the MIDI binding ("MIDIEventType", "MIDIChannel", "MIDIButtonID")
    // when bound, "backgroundColor" when set, "liftBehavior", "sticky". The board adds
    // "index"; a subclass its file attributes, or nothing when it has no element yet.
    virtual std::optional<XMLElement> saveAndReturnXMLElement();

    // ---- Model ----

    QString name() const { return mName; }
    void setName(const QString& name) { changeValue(QStringLiteral("name"), mName, name); }
    // Made (upper-case, without braces) on first read when none is set.
    QString uuid();
    // The remote's commands for the new uuid reach the sound from now on (updateSysExListener()).
    void setUuid(const QString& uuid);
    // The next read makes a new one. (The cached file sound also renames its cache file.)
    virtual void resetUUID() { setUuid(QString()); }
    qulonglong index() const { return mIndex; }
    void setIndex(qulonglong index) { changeValue(QStringLiteral("index"), mIndex, index); }
    CKSoundParent* parentClipdeck() const { return mParentClipdeck; }
    void setParentClipdeck(CKSoundParent* parent) { mParentClipdeck = parent; }
    bool loops() const { return mLoops; }
    void setLoops(bool loops) { changeValue(QStringLiteral("loops"), mLoops, loops); }
    // The stored flag, inverted while the restart-on-press toggle is held.
    bool restartOnPress() const;
    bool storedRestartOnPress() const { return mRestartOnPress; }
    void setRestartOnPress(bool restart) { changeValue(QStringLiteral("restartOnPress"), mRestartOnPress, restart); }
    bool sticky() const { return mSticky; }
    void setSticky(bool sticky) { changeValue(QStringLiteral("sticky"), mSticky, sticky); }
    bool isPlayable() const { return mIsPlayable; }
    void setIsPlayable(bool playable) { changeValue(QStringLiteral("isPlayable"), mIsPlayable, playable); }
    // Always within [0, 1].
    float playbackVolume() const { return mPlaybackVolume; }
    // Clamped to [0, 1]; the feed gets the stored volume.
    void setPlaybackVolume(float volume);
    void setPlaybackVolumeNumber(double volume) { setPlaybackVolume(float(volume)); }
    qulonglong liftBehavior() const { return mLiftBehavior; }
    void setLiftBehavior(qulonglong behavior) { changeValue(QStringLiteral("liftBehavior"), mLiftBehavior, behavior); }
    int resetLiftBehaviorTo() const { return mResetLiftBehaviorTo; }
    void setResetLiftBehaviorTo(int behavior) { mResetLiftBehaviorTo = behavior; }
    QString backgroundColor() const { return mBackgroundColor; }
    void setBackgroundColor(const QString& color) { changeValue(QStringLiteral("backgroundColor"), mBackgroundColor, color); }
    QVariantMap editorSettings() const;
    void setEditorSettings(const QVariantMap& settings);

    // The MIDI binding (kNoMIDIChannel and kNoMIDIButton: none).
    SInt32 midiChannel() const { return mMIDIChannel; }
    UInt16 midiButton() const { return mMIDIButton; }
    bool hasMIDIBinding() const { return mMIDIChannel != kNoMIDIChannel && mMIDIButton < kNoMIDIButton; }
    // Sets the binding and listens for it at once (resetMIDIListeners()).
    void setMIDIChannel(SInt32 channel, UInt16 button);
    // {"ZEPMIDIChannel": channel, "ZEPMIDIButtonID": button} as unsigned numbers.
    static QVariantMap MIDIInformationForChannel(SInt32 channel, UInt16 button);
    QVariantMap MIDIInformation() const { return MIDIInformationForChannel(mMIDIChannel, mMIDIButton); }
    // With a dictionary, its channel and button (the unbound values for missing keys);
    // without one, nothing is written.
    static void MIDIInformationDictionary(const QVariantMap* dictionary, SInt32* channel, UInt16* button);
    void setMIDIInformation(const QVariantMap& information);

    // The computer-key binding: the key's string and its key code. An empty key clears it.
    // The key's press plays the sound (play()), its release is the sound's release
    // (handleMIDILift()); the cell's key cap is told the key.
    QString triggerKey() const { return mTriggerKey; }
    quint16 triggerKeyCode() const { return mTriggerKeyCode; }
    void setTriggerKey(const QString& key, quint16 keyCode);
    // Drops the key binding (the cell that showed the sound goes). The MIDI and remote
    // listeners stay: MIDI plays the sounds of every board.
    void removeTriggers() { setTriggerKey(QString(), 0); }
    // Whether the sound listens for its key, MIDI and system-exclusive triggers at all. A
    // board loaded only as a copy (for an export) turns it off before its sounds load, so
    // no key, note or remote command ever reaches the copy. On by default; turning it off
    // removes every registration (the bindings themselves are kept), turning it on
    // registers them again.
    bool registersTriggers() const { return mRegistersTriggers; }
    void setRegistersTriggers(bool registers);

    // Registers the note-on (press) and note-off (release) listeners of the MIDI binding on
    // the shared MIDI client, replacing those the sound had; none when the sound is unbound,
    // does not register triggers, or MIDI is off. A note plays the sound whichever board is
    // shown, and its release counts for it likewise; both reach the sound on the main thread.
    void resetMIDIListeners();
    // Registers the listener of the remote's commands aimed at the sound's uuid, replacing
    // the one the sound had; none without a uuid (or triggers, or MIDI).
    void updateSysExListener();
    // The registrations, null when absent.
    const std::shared_ptr<ZEPMIDIListener>& MIDIListener() const { return mMIDIListener; }
    const std::shared_ptr<ZEPMIDIListener>& MIDILiftListener() const { return mMIDILiftListener; }
    const std::shared_ptr<CKSysExListener>& sysExListener() const { return mSysExListener; }
    const std::shared_ptr<CKKeyEventListener>& keyListener() const { return mKeyListener; }
    const std::shared_ptr<CKKeyEventListener>& liftKeyListener() const { return mLiftKeyListener; }

    CKSoundCell* cellLayer() const { return mCellLayer; }
    void setCellLayer(CKSoundCell* cell) { mCellLayer = cell; }
    // The running fade, owned.
    CKEditorFaderAnimation* fader() const { return mFader.get(); }
    void setFader(std::unique_ptr<CKEditorFaderAnimation> fader);
    // The error recorded while loading; a sound with one does not play.
    const std::optional<Error>& error() const { return mError; }
    void setError(const Error& error);
    SInt64 lastPlayID() const { return mLastPlayID; }
    void setLastPlayID(SInt64 playID) { mLastPlayID = playID; }
    bool suppressPlayNotification() const { return mSuppressPlayNotification; }
    void setSuppressPlayNotification(bool suppress) { mSuppressPlayNotification = suppress; }
    bool suppressStopNotification() const { return mSuppressStopNotification; }
    void setSuppressStopNotification(bool suppress) { mSuppressStopNotification = suppress; }
    bool suppressParentClipdeckCheck() const { return mSuppressParentClipdeckCheck; }
    void setSuppressParentClipdeckCheck(bool suppress) { mSuppressParentClipdeckCheck = suppress; }

    // From now on the sound reacts to changes of its own keys: "sticky" follows "loops",
    // "liftBehavior" and "restartOnPress", and the board is told to save. Once.
    void addObservers();
    void removeObservers();

    // The general description with "\nuuid: " and "\nlastPlayID: ".
    QString description();
    // Asks the board to delete the sound's cell.
    void deleteFromParentClipdeck();

    // ---- Playing ----

    // A press (mouse, key, or a remote's press): see the header note. On another thread it
    // hops to the main thread.
    virtual void play();
    // The MIDI note-on (and the remote's press): play() for a sound of any board. Any thread.
    void handleMIDIPress();
    // The release of a trigger (MIDI note-off, key up, mouse up): stops when the lift
    // behaviour is "stop", then puts back a lift behaviour swapped by a toggle.
    void handleMIDILift();
    // A remote command aimed at this sound (values of the system-exclusive action):
    // triggerAction 0 stops a playing sound, 2 presses it (restarting, looping when
    // playbackMode is 1, the stored flags put back afterwards), 10 sets the volume; others
    // do nothing.
    void handleSysExAction(UInt32 triggerAction, UInt32 playbackMode, Float32 volume);
    // Fades out (through the controller); the sound stays in the controller's lists until
    // the fade ends.
    void fadeOut();
    // The controller's stop: a fade or at once (see CKPlaybackController::stopSound()).
    void stop();
    void stopImmediately();
    // The controller took the sound out of its lists: the feed is rewound, the play count
    // drops (announcing the end of the last start), the fade is dropped.
    virtual void didStop();

    bool isPlaying() const { return mIsPlaying; }
    // The controller holds the sound paused (its mixer input off).
    bool isPaused() const;
    qulonglong playingCount() const { return mPlayingCount; }
    // Shown on a board of the window (or the check is suppressed for a MIDI press).
    bool canBePlayedFromParentClipdeck() const;

    // ---- The feed (CKSoundSourceFeed.cpp) ----

    // The feed; null when there is none (or, for a subclass that builds its feed on demand,
    // when it cannot be built).
    virtual CKAudioFileEditor* editor();
    std::shared_ptr<CKAudioFileEditor> sharedEditor() const { return mEditor; }
    // The feed is ready to play.
    bool isEditorLoaded() const { return mEditorIsLoaded; }
    void setEditorLoaded(bool loaded);
    void unloadEditor();
    // Opens the sound file at path as the feed (read in the background when asynchronous),
    // with the sound's editor settings and volume; the feed is ready once the file has
    // loaded. False, with the recoverable "Sound could not be loaded" error recorded, when
    // the file cannot be opened.
    bool buildEditorWithPath(const QString& path, bool asynchronous = false);
    // The sound's position: seconds of the edited sound, seconds played, and their ratio.
    double duration();
    double currentTime();
    virtual float playbackProgress();
    // Levels of the sound's mixer input (the floor level when it is off the mixer).
    float leftPeakLevel() const;
    float rightPeakLevel() const;
    float leftAvgLevel() const;
    float rightAvgLevel() const;

    // Feed delegate.
    void editorDidFinishLoading(ZEPAudioEditor* editor) override;
    void editorDidChangePlaybackVolume(ZEPAudioEditor* editor) override;
    // Render thread: answers the playback controller's answer for the feed.
    std::optional<OSStatus> audioEditorRanOutOfData(ZEPAudioEditor* editor) override;

protected:
    // The steps of a start that tell the controller and the world: the controller places the
    // feed on the mixer (a failure rolls the start back and is answered); then, unless
    // suppressed, the began notification.
    virtual OSStatus postBeginPlayingNotification();
    // The press itself, once the feed is ready and the toggles are applied.
    void pressBehavior();
    // A loaded feed is made ready to play: settings, effects, extraction, forced loop;
    // false when it has no extraction format. The subclass runs it before its own checks.
    bool prepareLoadedEditor(CKAudioFileEditor* feed);
    // The feed's head is read and its ring made; the sound is playable.
    void finishLoadingEditor(CKAudioFileEditor* feed);
    // Called once the feed's file has loaded; a subclass with conversions replaces it.
    virtual void editorFinishedLoading(CKAudioFileEditor* feed);
    // Hands the feed to the sound (its delegate and volume set), replacing the one it had.
    void setEditor(std::shared_ptr<CKAudioFileEditor> feed);
    // An error the user may answer by removing the sound from its board: the options "Leave"
    // (nothing happens) and "Remove" (the board deletes the sound's cell).
    Error removableSoundError(qint64 code, const QString& description, const QString& failureReason);
    // Records the recoverable "Sound could not be loaded" error.
    void setLoadFailedError();
    // Reads the attributes of a "sound" element into the sound (a subclass's reading of its
    // element starts here; set registersTriggers first for a sound that must not listen).
    void readXMLElement(const XMLElement& element);

private:
    void announceToRemotes(const QString& key, const QVariant& oldValue, const QVariant& newValue);
    void restartAndContinue();
    void decrementPlayingCount();
    // Undoes a start the controller refused: not counted, not playing, the feed rewound.
    void rollBackStart();
    void setIsPlaying(bool playing) { changeValue(QStringLiteral("isPlaying"), mIsPlaying, playing); }
    void dropFader();
    void modelKeyChanged(const QString& key);
    // The key listeners of the binding, replacing those the sound had (none when triggers
    // are off).
    void resetKeyListeners();
    void removeKeyListeners();
    // The note listeners and the listener of the remote's commands.
    void removeMIDIListeners();
    // A MIDI note-off: the release for a sound of any board.
    void handleMIDINoteOff();

    QString mName;
    QString mUuid;
    qulonglong mIndex = 0;
    CKSoundParent* mParentClipdeck = nullptr;
    qulonglong mPlayingCount = 0;
    bool mIsPlaying = false;
    bool mLoops = false;
    bool mRestartOnPress = false;
    bool mSticky = false;
    bool mIsPlayable = true;
    float mPlaybackVolume = 1.0f;
    qulonglong mLiftBehavior = kKeepPlayingOnLift;
    int mResetLiftBehaviorTo = kNoLiftBehaviorToReset;
    QString mBackgroundColor = QStringLiteral("");
    SInt32 mMIDIChannel = kNoMIDIChannel;
    UInt16 mMIDIButton = kNoMIDIButton;
    QString mTriggerKey;
    quint16 mTriggerKeyCode = 0;
    bool mRegistersTriggers = true;
    mutable std::mutex mEditorSettingsMutex;
    QVariantMap mEditorSettings;
    CKSoundCell* mCellLayer = nullptr;
    std::unique_ptr<CKEditorFaderAnimation> mFader;
    std::optional<Error> mError;
    SInt64 mLastPlayID = 0;
    bool mSuppressPlayNotification = false;
    bool mSuppressStopNotification = false;
    bool mSuppressParentClipdeckCheck = false;
    QMetaObject::Connection mSelfObservation;
    std::shared_ptr<ZEPMIDIListener> mMIDIListener;
    std::shared_ptr<ZEPMIDIListener> mMIDILiftListener;
    std::shared_ptr<CKSysExListener> mSysExListener;
    std::shared_ptr<CKKeyEventListener> mKeyListener;
    std::shared_ptr<CKKeyEventListener> mLiftKeyListener;
    std::shared_ptr<CKAudioFileEditor> mEditor;
    bool mEditorIsLoaded = false;
};
