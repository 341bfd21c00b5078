#pragma once
// What the boards ask of the application around them: the list of boards the shell owns
// (a board saves into the folder of its position in that list), the name and folder of the
// next new board, switching the background loading of sound feeds off while an import runs,
// a place to show errors, and the system beep. The application shell installs its own host
// at start-up. Until one is installed, a board's position is its own folder number, the
// new-board name is "My Clipdeck", the next folder is the first number no folder has,
// errors go to the log and nothing beeps. Main thread.

#include "platform/Error.h"

#include <QString>

#include <cstddef>
#include <memory>

class CKClipdeck;

class CKClipdeckHost {
public:
    virtual ~CKClipdeckHost() = default;

    // The board's position in the list; CKClipdeck::kNotFound when it is not there.
    virtual std::size_t indexOfClipdeck(const CKClipdeck* clipdeck) const = 0;
    // The board at that position; null at or beyond the count.
    virtual std::shared_ptr<CKClipdeck> clipdeckAtIndex(std::size_t index) const = 0;
    // The name a new board gets, and the folder it goes to.
    virtual QString nameForNewClipdeck() const = 0;
    virtual QString pathForNewClipdeck() const = 0;
    // Off (false) while an import runs; on again (true) restarts the preloading.
    virtual void setLoadingEditors(bool loading) = 0;
    virtual void presentError(const Error& error) = 0;
    virtual void beep() = 0;

    // The installed host (a neutral one when none is); install(nullptr) removes it.
    static CKClipdeckHost& current();
    static void install(CKClipdeckHost* host);
};
