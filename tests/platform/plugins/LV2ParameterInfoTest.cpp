// Effect parameters as an editor shows them, checked against what lilv's own lv2info tool
// prints for the installed mda and example plugins.
#include "platform/plugins/LV2EffectUnit.h"

#include "platform/audiounits/MatrixMixerUnit.h"
#include "platform/plugins/LV2TestPlugins.h"

#include <QMap>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace clipdeck::test;

namespace {

// One port as lv2info prints it.
struct PrintedPort {
    QStringList types;
    QString name;
    QString minimum, maximum, defaultValue;
    QStringList properties;
    QList<QPair<double, QString>> scalePoints;

    bool isControlInput() const
    {
        return types.contains("http://lv2plug.in/ns/lv2core#ControlPort") &&
               types.contains("http://lv2plug.in/ns/lv2core#InputPort");
    }
};

// lv2info's report of a plugin, port by port.
QMap<int, PrintedPort> lv2info(const QString& uri)
{
    QProcess process;
    process.start("lv2info", {uri});
    EXPECT_TRUE(process.waitForFinished(30000)) << "lv2info (lilv-utils) did not run";
    EXPECT_EQ(process.exitCode(), 0);
    const QString report = QString::fromUtf8(process.readAllStandardOutput());

    static const QRegularExpression portLine(R"(^\tPort (\d+):$)");
    static const QRegularExpression keyLine(R"(^\t\t([A-Za-z][A-Za-z ]*):\s*(.*)$)");
    static const QRegularExpression scalePointLine(R"re(^\t\t\t(\S+) = "(.*)"$)re");
    static const QRegularExpression continuationLine(R"(^\t\t +(\S.*)$)");
    QMap<int, PrintedPort> ports;
    PrintedPort* port = nullptr;
    QString key;
    for (const QString& line : report.split('\n')) {
        if (auto m = portLine.match(line); m.hasMatch()) {
            port = &ports[m.captured(1).toInt()];
            key.clear();
        } else if (!port) {
            continue;
        } else if (auto m = scalePointLine.match(line); m.hasMatch() && key == "Scale Points") {
            port->scalePoints.append({m.captured(1).toDouble(), m.captured(2)});
        } else if (auto m = keyLine.match(line); m.hasMatch()) {
            key = m.captured(1);
            const QString value = m.captured(2).trimmed();
            if (key == "Type")
                port->types.append(value);
            else if (key == "Name")
                port->name = value;
            else if (key == "Minimum")
                port->minimum = value;
            else if (key == "Maximum")
                port->maximum = value;
            else if (key == "Default")
                port->defaultValue = value;
            else if (key == "Properties")
                port->properties.append(value);
        } else if (auto m = continuationLine.match(line); m.hasMatch()) {
            if (key == "Type")
                port->types.append(m.captured(1));
            else if (key == "Properties")
                port->properties.append(m.captured(1));
        }
    }
    return ports;
}

// lv2info prints ranges with six decimals.
void expectPrinted(float actual, const QString& printed, const char* what)
{
    ASSERT_FALSE(printed.isEmpty()) << what << " not printed";
    const double expected = printed.toDouble();
    EXPECT_NEAR(actual, expected, 1e-5 * std::max(1.0, std::fabs(expected))) << what;
}

class LV2ParameterInfo : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTestPlugins(); }
};

} // namespace

TEST_F(LV2ParameterInfo, MdaAndExamplePluginsDescribeTheirParametersAsLv2infoPrintsThem)
{
    int pluginsChecked = 0, enumerationsChecked = 0;
    for (const LV2PluginInfo& plugin : LV2Catalogue::shared().effects()) {
        if (!plugin.uri.startsWith("http://drobilla.net/plugins/mda/") &&
            !plugin.uri.startsWith("http://lv2plug.in/plugins/eg-"))
            continue;
        SCOPED_TRACE(plugin.uri.toStdString());
        auto unit = LV2EffectUnit::create(plugin);
        ASSERT_TRUE(unit);
        const QMap<int, PrintedPort> printed = lv2info(plugin.uri);

        std::vector<AudioUnitParameterID> expectedIds;
        for (auto it = printed.cbegin(); it != printed.cend(); ++it) {
            if (it->isControlInput())
                expectedIds.push_back(AudioUnitParameterID(it.key()));
        }
        EXPECT_EQ(unit->parameterList(kAudioUnitScope_Global), expectedIds);

        for (const AudioUnitParameterID id : expectedIds) {
            const PrintedPort& port = printed[int(id)];
            SCOPED_TRACE(port.name.toStdString());
            AudioUnitParameterInfo info;
            ASSERT_EQ(unit->getParameterInfo(id, kAudioUnitScope_Global, 0, &info), noErr);
            EXPECT_EQ(info.name, port.name);
            expectPrinted(info.minValue, port.minimum, "minimum");
            expectPrinted(info.maxValue, port.maximum, "maximum");
            expectPrinted(info.defaultValue, port.defaultValue, "default");

            const auto has = [&](const char* property) {
                return std::any_of(port.properties.begin(), port.properties.end(),
                                   [&](const QString& p) { return p.endsWith(property); });
            };
            EXPECT_EQ(bool(info.flags & kAudioUnitParameterFlag_IsToggled), has("#toggled"));
            EXPECT_EQ(bool(info.flags & kAudioUnitParameterFlag_IsInteger), has("#integer"));
            EXPECT_EQ(bool(info.flags & kAudioUnitParameterFlag_IsEnumeration), has("#enumeration"));
            EXPECT_EQ(bool(info.flags & kAudioUnitParameterFlag_DisplayLogarithmic), has("#logarithmic"));
            EXPECT_TRUE(info.flags & kAudioUnitParameterFlag_IsWritable);

            QList<QPair<double, QString>> points = port.scalePoints;
            std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            ASSERT_EQ(info.valueNames.size(), points.size());
            EXPECT_EQ(bool(info.flags & kAudioUnitParameterFlag_ValuesHaveStrings), !points.isEmpty());
            for (qsizetype i = 0; i < points.size(); ++i) {
                EXPECT_NEAR(info.valueNames[i].value, points[i].first, 1e-6);
                EXPECT_EQ(info.valueNames[i].name, points[i].second);
            }
            if (info.flags & kAudioUnitParameterFlag_IsEnumeration)
                ++enumerationsChecked;
        }
        ++pluginsChecked;
    }
    EXPECT_GE(pluginsChecked, 20);
    EXPECT_GE(enumerationsChecked, 5);
}

TEST_F(LV2ParameterInfo, UnitsComeFromThePortsUnitAndToggledPortsAreBoolean)
{
    const struct {
        const char* uri;
        const char* symbol;
        AudioUnitParameterUnit unit;
        const char* unitName;
    } cases[] = {
        {kAmpURI, "gain", kAudioUnitParameterUnit_Decibels, "dB"},
        {"http://drobilla.net/plugins/mda/RePsycho", "tune", kAudioUnitParameterUnit_RelativeSemiTones, "semi"},
        {"http://drobilla.net/plugins/mda/RePsycho", "fine", kAudioUnitParameterUnit_Cents, "ct"},
        {"http://drobilla.net/plugins/mda/Combo", "stereo", kAudioUnitParameterUnit_Boolean, ""},
        {"http://drobilla.net/plugins/mda/Combo", "drive", kAudioUnitParameterUnit_Generic, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.symbol);
        const LV2PluginInfo* plugin = LV2Catalogue::shared().effectWithURI(c.uri);
        ASSERT_TRUE(plugin);
        auto unit = LV2EffectUnit::create(*plugin);
        ASSERT_TRUE(unit);
        const auto port = std::find_if(plugin->controlInputs.begin(), plugin->controlInputs.end(),
                                       [&](const LV2ControlPort& p) { return p.symbol == c.symbol; });
        ASSERT_NE(port, plugin->controlInputs.end());
        AudioUnitParameterInfo info;
        ASSERT_EQ(unit->getParameterInfo(port->index, kAudioUnitScope_Global, 0, &info), noErr);
        EXPECT_EQ(info.unit, c.unit);
        EXPECT_EQ(info.unitName, c.unitName);
    }
}

TEST_F(LV2ParameterInfo, OnlyTheUnitsOwnParametersAreDescribed)
{
    const LV2PluginInfo* plugin = LV2Catalogue::shared().effectWithURI(kAmpURI);
    ASSERT_TRUE(plugin);
    auto unit = LV2EffectUnit::create(*plugin);
    ASSERT_TRUE(unit);
    AudioUnitParameterInfo info;
    EXPECT_EQ(unit->getParameterInfo(1, kAudioUnitScope_Global, 0, &info), kAudioUnitErr_InvalidParameter); // audio port
    EXPECT_EQ(unit->getParameterInfo(0, kAudioUnitScope_Input, 0, &info), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(unit->getParameterInfo(0, kAudioUnitScope_Global, 0, nullptr), kAudio_ParamError);

    // A unit that describes none of its parameters says so.
    MatrixMixerUnit mixer;
    EXPECT_EQ(mixer.getParameterInfo(kMatrixMixerParam_Volume, kAudioUnitScope_Global, 0, &info),
              kAudioUnitErr_InvalidParameter);
}
