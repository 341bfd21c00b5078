#pragma once
// The programming errors of the socket class: misuse raises AsyncSocketException, a broken
// inner precondition raises NSInternalInconsistencyException. Both carry the texts the
// class has always used, for logs and tests.

#include "platform/InternalInconsistencyException.h"

#include <stdexcept>
#include <string>

class AsyncSocketException : public std::logic_error {
public:
    explicit AsyncSocketException(const std::string& reason) : std::logic_error(reason) {}
    static const char* name() { return "AsyncSocketException"; }
};
