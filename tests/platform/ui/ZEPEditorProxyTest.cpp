// The proxy the editor sheet changes a sound through: nothing reaches the sound before OK.
#include "platform/ui/ZEPEditorProxy.h"

#include "platform/UndoManager.h"

#include <gtest/gtest.h>

namespace {

// A sound's observable keys, as the sheet reads and changes them.
class Sound : public ObservableObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(bool loopsNumber READ loopsNumber WRITE setLoopsNumber)
    Q_PROPERTY(int liftBehaviorNumber READ liftBehaviorNumber WRITE setLiftBehaviorNumber)
public:
    QString name() const { return name_; }
    void setName(const QString& name) { changeValue(QStringLiteral("name"), name_, name); }
    bool loopsNumber() const { return loops_; }
    void setLoopsNumber(bool loops) { changeValue(QStringLiteral("loopsNumber"), loops_, loops); }
    int liftBehaviorNumber() const { return lift_; }
    void setLiftBehaviorNumber(int lift) { changeValue(QStringLiteral("liftBehaviorNumber"), lift_, lift); }

private:
    QString name_ = QStringLiteral("Applause");
    bool loops_ = false;
    int lift_ = 0;
};

// Every change the proxy announces, as "key: old -> new".
struct Announcements {
    explicit Announcements(ZEPEditorProxy& proxy)
    {
        QObject::connect(&proxy, &ObservableObject::valueChanged, &context,
                         [this](const QString& key, const QVariant& oldValue, const QVariant& newValue) {
                             list << QStringLiteral("%1: %2 -> %3").arg(key, oldValue.toString(), newValue.toString());
                         });
    }
    QObject context;
    QStringList list;
};

} // namespace

TEST(ZEPEditorProxy, ChangesShowThroughTheProxyOnlyUntilTheyAreSaved)
{
    Sound sound;
    ZEPEditorProxy proxy(&sound);
    Announcements announced(proxy);
    EXPECT_EQ(proxy.valueForKey("name").toString(), "Applause");

    EXPECT_TRUE(proxy.setValueForKey("liftBehaviorNumber", 2));
    EXPECT_TRUE(proxy.setValueForKey("name", QStringLiteral("Big Applause")));
    EXPECT_TRUE(proxy.setValueForKey("name", QStringLiteral("Big Applause"))); // the same again: no change
    EXPECT_EQ(proxy.valueForKey("name").toString(), "Big Applause");
    EXPECT_EQ(sound.name(), "Applause");
    EXPECT_EQ(sound.liftBehaviorNumber(), 0);
    EXPECT_EQ(proxy.changedKeys(), (QStringList{"liftBehaviorNumber", "name"}));
    EXPECT_EQ(announced.list, (QStringList{"liftBehaviorNumber: 0 -> 2", "name: Applause -> Big Applause"}));

    // The sound's own change of a key the proxy has not changed shows through it.
    sound.setLoopsNumber(true);
    sound.setName("Renamed behind the sheet"); // a key the proxy changed: hidden
    EXPECT_EQ(announced.list.size(), 3);
    EXPECT_EQ(announced.list.last(), "loopsNumber: false -> true");
    EXPECT_EQ(proxy.valueForKey("name").toString(), "Big Applause");

    EXPECT_TRUE(proxy.saveChangesToProxiedObject());
    EXPECT_EQ(sound.name(), "Big Applause");
    EXPECT_EQ(sound.liftBehaviorNumber(), 2);
    EXPECT_FALSE(proxy.hasChanges());
    EXPECT_EQ(proxy.valueForKey("name").toString(), "Big Applause");
}

TEST(ZEPEditorProxy, ChangesAreUndoneAndRedoneThroughTheSheetsUndoManager)
{
    Sound sound;
    UndoManager undo;
    undo.setGroupsByEvent(false);
    ZEPEditorProxy proxy(&sound);
    proxy.proxySetUndoManager(&undo);
    Announcements announced(proxy);

    proxy.setValueForKey("loopsNumber", true);
    proxy.setValueForKey("loopsNumber", false);
    EXPECT_TRUE(proxy.hasChangeForKey("loopsNumber")); // false, but as a change of its own
    undo.undo();
    EXPECT_EQ(proxy.valueForKey("loopsNumber"), QVariant(true));
    undo.undo();
    EXPECT_FALSE(proxy.hasChanges()); // back to the sound's own value
    EXPECT_EQ(proxy.valueForKey("loopsNumber"), QVariant(false));
    EXPECT_FALSE(undo.canUndo());
    undo.redo();
    EXPECT_EQ(proxy.valueForKey("loopsNumber"), QVariant(true));
    EXPECT_FALSE(sound.loopsNumber());
    EXPECT_EQ(announced.list, (QStringList{"loopsNumber: false -> true", "loopsNumber: true -> false",
                                           "loopsNumber: false -> true", "loopsNumber: true -> false",
                                           "loopsNumber: false -> true"}));

    // Discarding takes every key back to the sound's value and leaves nothing to undo.
    proxy.setValueForKey("name", QStringLiteral("Cheers"));
    proxy.discardChanges();
    EXPECT_EQ(announced.list.mid(6), (QStringList{"loopsNumber: true -> false", "name: Cheers -> Applause"}));
    EXPECT_FALSE(undo.canUndo());
    EXPECT_TRUE(proxy.saveChangesToProxiedObject());
    EXPECT_FALSE(sound.loopsNumber());
    EXPECT_EQ(sound.name(), "Applause");
}

TEST(ZEPEditorProxy, AKeyTheSoundRefusesIsReportedWhileTheOthersAreSaved)
{
    Sound sound;
    ZEPEditorProxy proxy(&sound);
    proxy.setValueForKey("MIDIInformation", QVariantMap{{"channel", 3}}); // not a key of this sound
    proxy.setValueForKey("name", QStringLiteral("Drum roll"));
    EXPECT_EQ(proxy.valueForKey("MIDIInformation").toMap().value("channel").toInt(), 3);
    EXPECT_FALSE(proxy.saveChangesToProxiedObject());
    EXPECT_EQ(sound.name(), "Drum roll");
    EXPECT_FALSE(proxy.hasChanges());
}

#include "ZEPEditorProxyTest.moc"
