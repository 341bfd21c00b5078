#pragma once
// The programming error raised when an inner precondition of a class breaks, or when the
// system refuses a primitive that a class cannot run without; carries the text of the
// failure for logs and tests.

#include <stdexcept>
#include <string>

class NSInternalInconsistencyException : public std::logic_error {
public:
    explicit NSInternalInconsistencyException(const std::string& reason) : std::logic_error(reason) {}
    static const char* name() { return "NSInternalInconsistencyException"; }
};
