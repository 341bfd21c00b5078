#pragma once
// A stand-in for the application shell that writes down every error it is asked to show
// and counts its beeps (installed for its lifetime).

#include "clipdeck/CKClipdeckHost.h"
#include "platform/Error.h"

#include <QStringList>

class ErrorCountingHost : public CKClipdeckHost {
public:
    ErrorCountingHost() { install(this); }
    ~ErrorCountingHost() override { install(nullptr); }
    std::size_t indexOfClipdeck(const CKClipdeck*) const override { return 0; }
    std::shared_ptr<CKClipdeck> clipdeckAtIndex(std::size_t) const override { return nullptr; }
    QString nameForNewClipdeck() const override { return {}; }
    QString pathForNewClipdeck() const override { return {}; }
    void setLoadingEditors(bool) override {}
    void presentError(const Error& error) override { errors << error.description(); }
    void beep() override { ++beeps; }
    QStringList errors;
    int beeps = 0;
};
