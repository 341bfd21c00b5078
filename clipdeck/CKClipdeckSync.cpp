#include "clipdeck/CKClipdeckSync.h"

namespace {
CKClipdeckSync* g_installed = nullptr;
} // namespace

CKClipdeckSync* CKClipdeckSync::current() { return g_installed; }

void CKClipdeckSync::install(CKClipdeckSync* sync) { g_installed = sync; }
