#include "clipdeck/CKPlaybackHost.h"

#include <QtGlobal>

namespace {

// The host of a program whose shell has not installed its own.
class NoHost final : public CKPlaybackHost {
public:
    const CKSoundParent* selectedClipdeck() const override { return nullptr; }
    bool isTogglingLooping() const override { return false; }
    bool isTogglingStopOnLift() const override { return false; }
    bool isTogglingRestartOnPress() const override { return false; }
    void presentError(const Error& error) override
    {
        qWarning("%s: %s", qPrintable(error.description()), qPrintable(error.localizedFailureReason));
    }
};

CKPlaybackHost* g_installed = nullptr;

} // namespace

CKPlaybackHost& CKPlaybackHost::current()
{
    static NoHost none;
    return g_installed ? *g_installed : none;
}

void CKPlaybackHost::install(CKPlaybackHost* host) { g_installed = host; }
