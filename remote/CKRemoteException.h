#pragma once
// The programming error of the remote message layer: a property change or a mirrored
// property whose value is missing or null. Callers pass only values of the mirrored
// properties, so this is never a remote's fault (what a remote sends is checked, not thrown).

#include <stdexcept>
#include <string>

class CKRemoteException : public std::logic_error {
public:
    explicit CKRemoteException(const std::string& reason) : std::logic_error(reason) {}
    static const char* name() { return "CKRemoteException"; }
};
