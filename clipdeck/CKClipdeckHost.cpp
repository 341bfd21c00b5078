#include "clipdeck/CKClipdeckHost.h"

#include "clipdeck/CKClipdeck.h"

#include <QFileInfo>
#include <QtGlobal>

namespace {

// The host of a program whose shell has not installed its own: each board stands for its
// own folder.
class NoShell final : public CKClipdeckHost {
public:
    std::size_t indexOfClipdeck(const CKClipdeck* clipdeck) const override
    {
        return clipdeck && !clipdeck->isDeleted() ? clipdeck->boardIndex() : CKClipdeck::kNotFound;
    }
    std::shared_ptr<CKClipdeck> clipdeckAtIndex(std::size_t) const override { return nullptr; }
    QString nameForNewClipdeck() const override { return QStringLiteral("My Clipdeck"); }
    QString pathForNewClipdeck() const override
    {
        std::size_t index = 0;
        while (QFileInfo::exists(CKClipdeck::pathForBundleAtIndex(index)))
            ++index;
        return CKClipdeck::pathForBundleAtIndex(index);
    }
    void setLoadingEditors(bool) override {}
    void presentError(const Error& error) override
    {
        qWarning("%s: %s", qPrintable(error.description()), qPrintable(error.localizedFailureReason));
    }
    void beep() override {}
};

CKClipdeckHost* g_installed = nullptr;

} // namespace

CKClipdeckHost& CKClipdeckHost::current()
{
    static NoShell none;
    return g_installed ? *g_installed : none;
}

void CKClipdeckHost::install(CKClipdeckHost* host) { g_installed = host; }
