#pragma once
// Hears a board's export to an archive (CKClipdeck::exportToPath()).
//
// Threads: every call comes on the export's own thread, never on the main thread. A handler
// that touches a window or the list of boards hops to the main thread itself
// (mainthread::post); it must not wait there for the main thread to do export work (an
// export's renders end on the main thread), and it must not destroy the board.
//
// Order: clipdeckStartedExportingSounds, then per sound clipdeckStartedExportingFile and
// any number of clipdeckExportProgressUpdated, then exactly one of clipdeckFinishedExporting,
// clipdeckExportDidCancel and clipdeckDidFailToExport, which is the last call.

#include "platform/Error.h"

#include <QString>

#include <cstddef>

class CKClipdeck;

class CKClipdeckExportDelegate {
public:
    virtual ~CKClipdeckExportDelegate() = default;

    virtual void clipdeckStartedExportingSounds(CKClipdeck* clipdeck) = 0;
    // name: the sound's name; index: the sounds done before it (0 for the first).
    virtual void clipdeckStartedExportingFile(CKClipdeck* clipdeck, const QString& name, std::size_t index) = 0;
    // progress: the board's exportProgress(), 0.0 to 1.0.
    virtual void clipdeckExportProgressUpdated(CKClipdeck* clipdeck, float progress) = 0;
    virtual void clipdeckFinishedExporting(CKClipdeck* clipdeck) = 0;
    virtual void clipdeckExportDidCancel(CKClipdeck* clipdeck) = 0;
    // error: what failed (the same error exportToPath() answers).
    virtual void clipdeckDidFailToExport(CKClipdeck* clipdeck, const Error& error) = 0;
};
