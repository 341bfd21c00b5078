#pragma once
// What the sync controller asks of the owner of the list of boards (the application shell):
// the boards in tab order, which one the window shows, and the loading of sound editors a
// remote asks for. Boards and the list take no structural change from a remote: additions,
// moves and deletions voted by a remote are refused without asking the parent.
//
// Main thread only.

#include <QList>

#include <cstddef>
#include <memory>
#include <optional>

class CKClipdeck;

class CKClipdeckParent {
public:
    virtual ~CKClipdeckParent() = default;

    // The open boards in tab order.
    virtual QList<std::shared_ptr<CKClipdeck>> clipdecks() const = 0;
    // The position of the board the window shows; nothing when none is shown.
    virtual std::optional<std::size_t> selectedClipdeckIndex() const = 0;
    // Unloads the least recently played sound editors beyond the number kept loaded.
    virtual void flushCache() {}
    // Queues the sound editors of clipdeck for loading.
    virtual void loadEditorsOfClipdeck(const std::shared_ptr<CKClipdeck>& clipdeck) { (void)clipdeck; }
};
