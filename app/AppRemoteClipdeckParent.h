#pragma once
// The application's list of boards as the remote sees it: the boards in tab order, the one
// shown, and the loading and unloading of sound editors a remote session asks for.
//
// Main thread only.

#include "app/AppController.h"
#include "remote/CKClipdeckParent.h"

class AppRemoteClipdeckParent final : public CKClipdeckParent {
public:
    explicit AppRemoteClipdeckParent(AppController& controller) : controller_(controller) {}

    QList<std::shared_ptr<CKClipdeck>> clipdecks() const override { return controller_.clipdecks(); }

    std::optional<std::size_t> selectedClipdeckIndex() const override
    {
        if (!controller_.shownClipdeck())
            return std::nullopt;
        return std::size_t(controller_.selectedClipdeckIndex());
    }

    void flushCache() override { controller_.flushCache(); }

    void loadEditorsOfClipdeck(const std::shared_ptr<CKClipdeck>& clipdeck) override
    {
        controller_.loadEditorsOfClipdeck(clipdeck.get());
    }

private:
    AppController& controller_;
};
