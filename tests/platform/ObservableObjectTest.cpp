#include "platform/ObservableObject.h"

#include <gtest/gtest.h>

namespace {

// A model with one property-backed key.
class Volume : public ObservableObject {
    Q_OBJECT
    Q_PROPERTY(double gain READ gain WRITE setGain)
public:
    double gain() const { return gain_; }
    void setGain(double gain) { changeValue(QStringLiteral("gain"), gain_, gain); }

private:
    double gain_ = 1.0;
};

} // namespace

TEST(ObservableObject, AKeyChangeReachesItsObserverWithOldAndNewValues)
{
    Volume volume;
    QObject context;
    std::vector<std::pair<double, double>> changes;
    volume.observeKey("gain", &context, [&](const QVariant& oldValue, const QVariant& newValue) {
        changes.emplace_back(oldValue.toDouble(), newValue.toDouble());
    });

    volume.setGain(0.5);
    volume.setGain(0.5); // no change, no announcement
    EXPECT_TRUE(volume.setValueForKey("gain", 0.25));
    EXPECT_FALSE(volume.setValueForKey("noSuchKey", 1));

    const std::vector<std::pair<double, double>> expected = {{1.0, 0.5}, {0.5, 0.25}};
    EXPECT_EQ(changes, expected);
    EXPECT_DOUBLE_EQ(volume.valueForKey("gain").toDouble(), 0.25);
    EXPECT_FALSE(volume.valueForKey("noSuchKey").isValid());
}

#include "ObservableObjectTest.moc"
