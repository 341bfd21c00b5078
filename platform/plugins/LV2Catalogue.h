#pragma once
// The installed LV2 plugins that can serve as effects, in place of the platform's effect
// components. Read through lilv from the standard LV2 folders, or from $LV2_PATH when it
// is set (it replaces the standard folders).
//
// A plugin is offered as an effect when it processes audio (it has audio inputs and
// outputs), is not an instrument or a generator, fits a stereo chain (two main inputs and
// outputs; one of each, which runs as two instances; or one input and two outputs, fed the
// mix of both channels), and needs no host feature beyond the ones listed by
// providedFeatures().
//
// Identity keeps the shape of the program's unit dictionaries: "type" is 'aufx' for an
// effect, 'aumx' for a mixer and 'aumf' for an effect with a MIDI input; "subtype" and
// "manufacturer" are non-zero 32-bit hashes of the plugin URI and of its author; the
// component name is "Author: Name"; "uri" names the plugin and wins wherever present.
//
// Main thread (or one thread at a time); reload() makes a new catalogue while instances of
// the old one live on.

#include "platform/CoreAudioTypes.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <vector>

struct LV2World; // the lilv world and host features behind a catalogue

// A value of a control port with a label of its own (an LV2 scale point).
struct LV2ScalePoint {
    float value = 0.0f;
    QString label;
};

struct LV2ControlPort {
    UInt32 index = 0;
    QString symbol;
    QString name;
    float minimum = 0.0f;
    float maximum = 1.0f;
    float defaultValue = 0.0f;
    bool toggled = false;
    bool integer = false;
    bool logarithmic = false;
    bool enumeration = false; // only the scale points' values are meant
    QString unitURI;          // the port's unit (an LV2 units URI), empty without one
    QString unitSymbol;       // that unit's sign ("dB"), empty when it has none
    std::vector<LV2ScalePoint> scalePoints; // by ascending value
};

struct LV2PluginInfo {
    enum class Layout {
        Stereo,       // two main inputs, two main outputs
        DualMono,     // one input, one output: one instance per channel
        MonoToStereo, // one input fed (left + right) / 2, two outputs
    };

    QString uri;
    QString name;
    QString author;
    QString classURI;
    UInt32 type = 0;
    UInt32 subtype = 0;
    UInt32 manufacturer = 0;
    UInt32 version = 0;
    Layout layout = Layout::Stereo;
    std::vector<UInt32> audioInputs;     // main inputs, in order
    std::vector<UInt32> audioOutputs;    // main outputs, in order
    std::vector<UInt32> silentInputs;    // side chains and other extra audio or CV inputs
    std::vector<UInt32> discardedOutputs;
    std::vector<UInt32> atomInputs;      // fed an empty event sequence
    std::vector<UInt32> atomOutputs;
    std::vector<LV2ControlPort> controlInputs;
    std::vector<UInt32> controlOutputs;
    int latencyPort = -1;
    UInt32 portCount = 0;

    // "Author: Name".
    QString componentName() const;
    // {"type", "subtype", "manufacturer", "name", "version", "uri"}.
    QVariantMap identity() const;
    const LV2ControlPort* controlInput(UInt32 index) const;
};

class LV2Catalogue {
public:
    // The catalogue of this process, read on first use.
    static LV2Catalogue& shared();

    const std::vector<LV2PluginInfo>& effects() const { return effects_; }
    // Null when no offered plugin matches.
    const LV2PluginInfo* effectWithURI(const QString& uri) const;
    const LV2PluginInfo* effectWithCodes(UInt32 type, UInt32 subtype, UInt32 manufacturer) const;

    // Reads the installed plugins again.
    void reload();

    // The host features we give plugins (LV2 feature URIs).
    static QStringList providedFeatures();

    // A non-zero 32-bit hash of text (FNV-1a; 0 becomes 1).
    static UInt32 identityHash(const QString& text);

    std::shared_ptr<LV2World> world() const { return world_; }

private:
    LV2Catalogue();
    std::shared_ptr<LV2World> world_;
    std::vector<LV2PluginInfo> effects_;
};
